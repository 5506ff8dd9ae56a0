#include "preview/previewview.h"

#include "views/fitting.h"

#include <QPainter>
#include <QPixmap>

PreviewView::PreviewView(QWidget *parent)
    : QLabel(parent)
{ }

PreviewView::~PreviewView() = default;

void PreviewView::paintEvent(QPaintEvent *event)
{
    // The pointer form is deprecated from 5.15 on; the copy shares the data.
#if QT_VERSION >= QT_VERSION_CHECK(5, 15, 0)
    const QPixmap shown = pixmap(Qt::ReturnByValue);
#else
    const QPixmap shown = pixmap() ? *pixmap() : QPixmap();
#endif
    // A text in place of a picture is the label's own to draw.
    if (shown.isNull()) {
        QLabel::paintEvent(event);
        return;
    }
    QPainter painter(this);
    if (hasScaledContents())
        painter.drawPixmap(QRect(QPoint(0, 0), fittedSize(rect().size(), shown.size())), shown);
    else
        painter.drawPixmap(0, 0, shown);
}
