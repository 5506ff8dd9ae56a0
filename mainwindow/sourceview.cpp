#include "mainwindow/sourceview.h"

#include "views/fitting.h"

#include <QLayout>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPixmap>
#include <QScrollArea>

#include <algorithm>
#include <cmath>

namespace {

// Larger than any screen the fitted view is shown on.
constexpr int kReducedSide = 3072;

} // namespace

SourceView::SourceView(QWidget *parent)
    : QLabel(parent)
{
    setMinimumSize(0, 0);
}

SourceView::~SourceView() = default;

void SourceView::setImage(const QImage &image)
{
    const bool keepReduced = showsStandIn() && !image.isNull() && image.size() == m_standInSize;
    m_image = image;
    m_fitted = QPixmap();
    if (keepReduced) {
        m_reducedKey = m_image.cacheKey();
    } else {
        m_reduced = QImage();
        m_reducedKey = 0;
    }
    m_standInSize = QSize();
    m_overlay = OverlayLines();
    update();
}

void SourceView::setStandIn(const QImage &reduced, const QSize &fullSize)
{
    setImage(QImage());
    m_reduced = reduced;
    m_standInSize = reduced.isNull() ? QSize() : fullSize;
}

double SourceView::imagePerViewPixel() const
{
    if (!hasScaledContents() || imageSize().isEmpty())
        return 1.0;
    return viewScale(size(), imageSize());
}

void SourceView::setOverlay(const OverlayLines &lines, const QPen &pen)
{
    m_overlay = lines;
    m_pen = pen;
    update();
}

bool LabelDrag::press(bool hasPicture, const QMouseEvent &event)
{
    if (!(event.buttons() & Qt::LeftButton) || !hasPicture)
        return false;
    m_leftDrag = true;
    m_pressPoint = event.pos();
    return true;
}

void LabelDrag::release(Qt::MouseButtons held)
{
    if (!(held & Qt::LeftButton))
        m_leftDrag = false;
}

std::array<int, 8> LabelDrag::changing(double s, bool scaled, const QPoint &pos) const
{
    auto image = [s, scaled](int v) { return viewToImage(v, s, scaled); };
    const QRect rect = dragRect(m_pressPoint, pos);
    return { image(m_pressPoint.x()), image(m_pressPoint.y()), image(rect.left()),
        image(rect.top()), image(rect.right()), image(rect.bottom()), image(pos.x()),
        image(pos.y()) };
}

void SourceView::mousePressEvent(QMouseEvent *event)
{
    if (m_drag.press(hasPicture(), *event)) {
        const double s = imagePerViewPixel();
        emit mouseleftdown(
            toImage(m_drag.pressPoint().x(), s), toImage(m_drag.pressPoint().y(), s));
    }
}

void SourceView::mouseReleaseEvent(QMouseEvent *event)
{
    const Qt::MouseButtons held = event->buttons();
    if (m_drag.leftDrag() && !(held & Qt::LeftButton)) {
        // Without a picture the drag stays open until a release over one ends it.
        if (!hasPicture())
            return;
        const double s = imagePerViewPixel();
        if (pointMode)
            emit mouseleftup(toImage(event->x(), s), toImage(event->y(), s));
    }
    m_drag.release(held);
}

void SourceView::mouseMoveEvent(QMouseEvent *event)
{
    if (!m_drag.leftDrag()) {
        QLabel::mouseMoveEvent(event);
        return;
    }
    if (!hasPicture())
        return;
    const std::array<int, 8> v
        = m_drag.changing(imagePerViewPixel(), hasScaledContents(), event->pos());
    emit size_changing(v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7]);
}

const QPixmap &SourceView::fittedPixmap(const QSize &fitted)
{
    const qreal ratio = devicePixelRatioF();
    const QSize device(qRound(fitted.width() * ratio), qRound(fitted.height() * ratio));
    const qint64 key = showsStandIn() ? m_reduced.cacheKey() : m_image.cacheKey();
    if (m_fitted.isNull() || m_fittedKey != key || m_fitted.size() != device) {
        // Area-averaged once here rather than resampled at every paint.
        // A real-size map is first reduced once to a few screens' worth, so a
        // window resize scales that rather than the whole map.
        if (!showsStandIn() && m_reducedKey != m_image.cacheKey()) {
            m_reduced = m_image.width() > kReducedSide || m_image.height() > kReducedSide
                ? m_image.scaled(
                    kReducedSide, kReducedSide, Qt::KeepAspectRatio, Qt::SmoothTransformation)
                : m_image;
            m_reducedKey = m_image.cacheKey();
        }
        const QImage &from
            = showsStandIn() || m_reduced.width() >= device.width() ? m_reduced : m_image;
        QImage scaled = from.scaled(device, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        m_fitted = QPixmap::fromImage(std::move(scaled));
        m_fitted.setDevicePixelRatio(ratio);
        m_fittedKey = key;
    }
    return m_fitted;
}

void SourceView::paintEvent(QPaintEvent *event)
{
    // Only the picture and the overlay: the label's own frame and alignment are
    // not wanted here.
    if (m_image.isNull() && !showsStandIn())
        return;
    QPainter painter(this);
    double viewPerImage = 1.0;
    if (hasScaledContents()) {
        const QSize fitted = fittedSize(rect().size(), imageSize());
        if (fitted.isEmpty())
            return;
        const QPixmap &pixmap = fittedPixmap(fitted);
        if (pixmap.isNull())
            return; // no memory for it: nothing rather than a wrong picture
        painter.drawPixmap(QRect(QPoint(0, 0), fitted), pixmap);
        viewPerImage = 1.0 / imagePerViewPixel();
    } else if (showsStandIn()) {
        const QRect exposed = event->rect() & QRect(QPoint(0, 0), m_standInSize);
        const double fx = double(m_reduced.width()) / m_standInSize.width();
        const double fy = double(m_reduced.height()) / m_standInSize.height();
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(QRectF(exposed), m_reduced,
            QRectF(
                exposed.x() * fx, exposed.y() * fy, exposed.width() * fx, exposed.height() * fy));
    } else {
        // Only the exposed part: a real-size map is far larger than the screen.
        const QRect exposed = event->rect() & m_image.rect();
        painter.drawImage(exposed, m_image, exposed);
    }
    paintOverlay(painter, m_overlay, m_pen, viewPerImage);
}

void sizeSourcePane(QScrollArea *area, SourceView *view, bool fitted, int lineAbove)
{
    area->setWidgetResizable(fitted);
    view->setScaledContents(fitted);
    QWidget *contents = area->widget();
    QSize size(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    QSize least(0, 0);
    if (!fitted) {
        size = view->imageSize();
        if (!size.isEmpty()) {
            const QMargins margins = contents->layout()->contentsMargins();
            size += QSize(margins.left() + margins.right(),
                margins.top() + margins.bottom() + contents->layout()->spacing() + lineAbove);
        }
        least = size;
        contents->resize(size);
    }
    contents->setMinimumSize(least);
    contents->setMaximumSize(size);
    view->updateGeometry();
}
