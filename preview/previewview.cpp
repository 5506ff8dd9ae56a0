#include "preview/previewview.h"

#include "mainwindow/sourceview.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>

namespace {

const int kMinDragSide = 8;

} // namespace

PreviewView::PreviewView(QWidget *parent)
    : QLabel(parent)
{ }

PreviewView::~PreviewView() = default;

int PreviewView::toImage(int v, double scale) const
{
    return SourceView::viewToImage(v, scale, hasScaledContents());
}

void PreviewView::mousePressEvent(QMouseEvent *event)
{
    if (m_drag.press(SourceView::holdsPixmap(*this), *event)) {
        const double s = SourceView::viewScale(*this);
        emit mouseleftdown(
            toImage(m_drag.pressPoint().x(), s), toImage(m_drag.pressPoint().y(), s));
    }
}

void PreviewView::mouseReleaseEvent(QMouseEvent *event)
{
    const Qt::MouseButtons held = event->buttons();
    if (m_drag.leftDrag() && !(held & Qt::LeftButton)) {
        if (!SourceView::holdsPixmap(*this))
            return;
        const double s = SourceView::viewScale(*this);
        if (pointMode) {
            emit mouseleftup(toImage(event->x(), s), toImage(event->y(), s));
        } else {
            const QPoint press = m_drag.pressPoint();
            const QRect rect = SourceView::dragRect(press, event->pos());
            if (rect.width() >= kMinDragSide && rect.height() >= kMinDragSide)
                emit size_changed(toImage(press.x(), s), toImage(press.y(), s),
                    SourceView::dragLength(rect, s, hasScaledContents()));
        }
    }
    if (m_drag.release(held))
        emit mouserightup();
}

void PreviewView::mouseMoveEvent(QMouseEvent *event)
{
    if (!m_drag.leftDrag() || !SourceView::holdsPixmap(*this))
        return;
    const std::array<int, 8> v
        = m_drag.changing(SourceView::viewScale(*this), hasScaledContents(), event->pos());
    emit size_changing(v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7]);
}

void PreviewView::paintEvent(QPaintEvent *event)
{
    const QPixmap pixmap = SourceView::labelPixmap(*this);
    // A text in place of a picture is the label's own to draw.
    if (pixmap.isNull()) {
        QLabel::paintEvent(event);
        return;
    }
    QPainter painter(this);
    if (hasScaledContents())
        painter.drawPixmap(
            QRect(QPoint(0, 0), SourceView::fittedSize(rect().size(), pixmap.size())), pixmap);
    else
        painter.drawPixmap(0, 0, pixmap);
}
