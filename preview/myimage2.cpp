#include "preview/myimage2.h"

#include "mainwindow/myimage.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>

namespace {

const int kMinDragSide = 8;

} // namespace

MyImage2::MyImage2(QWidget *parent)
    : QLabel(parent)
{ }

MyImage2::~MyImage2() = default;

int MyImage2::toImage(int v, double scale) const
{
    return MyImage::viewToImage(v, scale, hasScaledContents());
}

void MyImage2::mousePressEvent(QMouseEvent *event)
{
    if (m_drag.press(MyImage::holdsPixmap(*this), *event)) {
        const double s = MyImage::viewScale(*this);
        emit mouseleftdown(
            toImage(m_drag.pressPoint().x(), s), toImage(m_drag.pressPoint().y(), s));
    }
}

void MyImage2::mouseReleaseEvent(QMouseEvent *event)
{
    const Qt::MouseButtons held = event->buttons();
    if (m_drag.leftDrag() && !(held & Qt::LeftButton)) {
        if (!MyImage::holdsPixmap(*this))
            return;
        const double s = MyImage::viewScale(*this);
        if (pointMode) {
            emit mouseleftup(toImage(event->x(), s), toImage(event->y(), s));
        } else {
            const QPoint press = m_drag.pressPoint();
            const QRect rect = MyImage::dragRect(press, event->pos());
            if (rect.width() >= kMinDragSide && rect.height() >= kMinDragSide)
                emit size_changed(toImage(press.x(), s), toImage(press.y(), s),
                    MyImage::dragLength(rect, s, hasScaledContents()));
        }
    }
    if (m_drag.release(held))
        emit mouserightup();
}

void MyImage2::mouseMoveEvent(QMouseEvent *event)
{
    if (!m_drag.leftDrag() || !MyImage::holdsPixmap(*this))
        return;
    const std::array<int, 8> v
        = m_drag.changing(MyImage::viewScale(*this), hasScaledContents(), event->pos());
    emit size_changing(v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7]);
}

void MyImage2::paintEvent(QPaintEvent *event)
{
    const QPixmap pixmap = MyImage::labelPixmap(*this);
    // A text in place of a picture is the label's own to draw.
    if (pixmap.isNull()) {
        QLabel::paintEvent(event);
        return;
    }
    QPainter painter(this);
    if (hasScaledContents())
        painter.drawPixmap(
            QRect(QPoint(0, 0), MyImage::fittedSize(rect().size(), pixmap.size())), pixmap);
    else
        painter.drawPixmap(0, 0, pixmap);
}
