#include "mainwindow/myimage.h"

#include "projection/projectionconverter.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>

#include <algorithm>

MyImage::MyImage(QWidget *parent)
    : QLabel(parent)
{
    setMinimumSize(0, 0);
}

MyImage::~MyImage() = default;

double MyImage::viewScale(const QSize &label, const QSize &pixmap)
{
    return std::max(static_cast<double>(pixmap.width()) / label.width(),
        static_cast<double>(pixmap.height()) / label.height());
}

int MyImage::viewToImage(int v, double scale, bool scaled)
{
    return scaled ? ProjectionConverter::truncToInt(v * scale) : v;
}

QRect MyImage::dragRect(const QPoint &press, const QPoint &pointer)
{
    QRect rect;
    rect.setCoords(press.x(), press.y(), pointer.x(), pointer.y());
    return rect.normalized();
}

int MyImage::dragLength(const QRect &rect, double scale, bool scaled)
{
    return std::max(
        viewToImage(rect.width(), scale, scaled), viewToImage(rect.height(), scale, scaled));
}

QSize MyImage::fittedSize(const QSize &area, const QSize &pixmap)
{
    const double f = std::min(static_cast<double>(area.width()) / pixmap.width(),
        static_cast<double>(area.height()) / pixmap.height());
    return QSize(ProjectionConverter::truncToInt(pixmap.width() * f),
        ProjectionConverter::truncToInt(pixmap.height() * f));
}

QPixmap MyImage::labelPixmap(const QLabel &label)
{
    // The pointer form is deprecated from 5.15 on; the copy shares the data.
#if QT_VERSION >= QT_VERSION_CHECK(5, 15, 0)
    return label.pixmap(Qt::ReturnByValue);
#else
    const QPixmap *pixmap = label.pixmap();
    return pixmap ? *pixmap : QPixmap();
#endif
}

double MyImage::viewScale(const QLabel &label)
{
    return viewScale(label.size(), labelPixmap(label).size());
}

bool LabelDrag::press(const QLabel &label, const QMouseEvent &event)
{
    bool started = false;
    if (event.buttons() & Qt::LeftButton) {
        if (!MyImage::holdsPixmap(label))
            return false;
        m_leftDrag = true;
        m_pressPoint = event.pos();
        started = true;
    }
    if (event.buttons() & Qt::RightButton)
        m_rightPress = true;
    return started;
}

bool LabelDrag::release(Qt::MouseButtons held)
{
    const bool rightUp = m_rightPress && !(held & Qt::RightButton);
    if (!(held & Qt::LeftButton))
        m_leftDrag = false;
    if (!(held & Qt::RightButton))
        m_rightPress = false;
    return rightUp;
}

std::array<int, 8> LabelDrag::changing(const QLabel &label, const QPoint &pos) const
{
    const double s = MyImage::viewScale(label);
    const bool scaled = label.hasScaledContents();
    auto image = [s, scaled](int v) { return MyImage::viewToImage(v, s, scaled); };
    const QRect rect = MyImage::dragRect(m_pressPoint, pos);
    return { image(m_pressPoint.x()), image(m_pressPoint.y()), image(rect.left()),
        image(rect.top()), image(rect.right()), image(rect.bottom()), image(pos.x()),
        image(pos.y()) };
}

void MyImage::mousePressEvent(QMouseEvent *event)
{
    if (m_drag.press(*this, *event)) {
        const double s = viewScale(*this);
        emit mouseleftdown(
            toImage(m_drag.pressPoint().x(), s), toImage(m_drag.pressPoint().y(), s));
    }
}

void MyImage::mouseReleaseEvent(QMouseEvent *event)
{
    const Qt::MouseButtons held = event->buttons();
    if (m_drag.leftDrag() && !(held & Qt::LeftButton)) {
        // Without a pixmap the drag stays open until a release over one ends it.
        if (!holdsPixmap(*this))
            return;
        const double s = viewScale(*this);
        if (pointMode) {
            emit mouseleftup(toImage(event->x(), s), toImage(event->y(), s));
        } else {
            const QPoint press = m_drag.pressPoint();
            emit size_changed(toImage(press.x(), s), toImage(press.y(), s),
                dragLength(dragRect(press, event->pos()), s, hasScaledContents()));
        }
    }
    if (m_drag.release(held))
        emit mouserightup();
}

void MyImage::mouseMoveEvent(QMouseEvent *event)
{
    if (m_drag.leftDrag()) {
        if (!holdsPixmap(*this))
            return;
        const std::array<int, 8> v = m_drag.changing(*this, event->pos());
        emit size_changing(v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7]);
    } else if (pointMode) {
        if (holdsPixmap(*this)) {
            const double s = viewScale(*this);
            emit mouse_move(toImage(event->x(), s), toImage(event->y(), s));
        }
    } else {
        QLabel::mouseMoveEvent(event);
    }
}

void MyImage::paintEvent(QPaintEvent *)
{
    // Only the pixmap: the label's own frame and alignment are not wanted here.
    QPainter painter(this);
    const QPixmap pixmap = labelPixmap(*this);
    if (pixmap.isNull())
        return;
    updateGeometry();
    if (hasScaledContents()) {
        painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
        painter.drawPixmap(QRect(QPoint(0, 0), fittedSize(rect().size(), pixmap.size())), pixmap);
    } else {
        painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
        painter.drawPixmap(0, 0, pixmap);
    }
}
