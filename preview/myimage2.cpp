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
    if (event->buttons() & Qt::LeftButton) {
        if (!MyImage::holdsPixmap(*this))
            return;
        m_leftDrag = true;
        m_pressPoint = event->pos();
        const double s = MyImage::viewScale(*this);
        emit mouseleftdown(toImage(m_pressPoint.x(), s), toImage(m_pressPoint.y(), s));
    }
    if (event->buttons() & Qt::RightButton)
        m_rightPress = true;
}

void MyImage2::mouseReleaseEvent(QMouseEvent *event)
{
    const Qt::MouseButtons held = event->buttons();
    if (m_leftDrag && !(held & Qt::LeftButton)) {
        if (!MyImage::holdsPixmap(*this))
            return;
        const double s = MyImage::viewScale(*this);
        if (pointMode) {
            emit mouseleftup(toImage(event->x(), s), toImage(event->y(), s));
        } else {
            const QRect rect = MyImage::dragRect(m_pressPoint, event->pos());
            if (rect.width() >= kMinDragSide && rect.height() >= kMinDragSide)
                emit size_changed(toImage(m_pressPoint.x(), s), toImage(m_pressPoint.y(), s),
                    MyImage::dragLength(rect, s, hasScaledContents()));
        }
    }
    if (m_rightPress && !(held & Qt::RightButton))
        emit mouserightup();
    if (!(held & Qt::LeftButton))
        m_leftDrag = false;
    if (!(held & Qt::RightButton))
        m_rightPress = false;
}

void MyImage2::mouseMoveEvent(QMouseEvent *event)
{
    if (!m_leftDrag || !MyImage::holdsPixmap(*this))
        return;
    const double s = MyImage::viewScale(*this);
    const QRect rect = MyImage::dragRect(m_pressPoint, event->pos());
    emit size_changing(toImage(m_pressPoint.x(), s), toImage(m_pressPoint.y(), s),
        toImage(rect.left(), s), toImage(rect.top(), s), toImage(rect.right(), s),
        toImage(rect.bottom(), s), toImage(event->x(), s), toImage(event->y(), s));
}

void MyImage2::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const QPixmap pixmap = MyImage::labelPixmap(*this);
    if (pixmap.isNull())
        return;
    if (hasScaledContents())
        painter.drawPixmap(
            QRect(QPoint(0, 0), MyImage::fittedSize(rect().size(), pixmap.size())), pixmap);
    else
        painter.drawPixmap(0, 0, pixmap);
}
