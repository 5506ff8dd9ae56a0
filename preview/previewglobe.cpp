#include "preview/previewglobe.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

PreviewGlobe::PreviewGlobe(QWidget *parent)
    : QWidget(parent)
{
    setFocusPolicy(Qt::StrongFocus);
}

PreviewGlobe::~PreviewGlobe() = default;

void PreviewGlobe::setImage(const QImage &image)
{
    m_source = image;
    m_texture = QImage();
    m_frame = QImage();
    update();
}

void PreviewGlobe::setView(const GlobeView &view)
{
    m_view = normalisedView(view);
    m_frame = QImage();
    update();
}

void PreviewGlobe::setGraticule(bool shown)
{
    m_options.graticule = shown;
    m_frame = QImage();
    update();
}

QImage PreviewGlobe::frame()
{
    if (m_source.isNull())
        return QImage();
    if (!m_frame.isNull() && m_frame.size() == size())
        return m_frame;
    // Converted once per image rather than on every frame.
    if (m_texture.isNull()) {
        m_texture = m_source.format() == QImage::Format_RGB32
            ? m_source
            : m_source.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    }
    m_frame = renderGlobe(m_texture, m_view.lon, m_view.lat, m_view.zoom, size(), m_options);
    return m_frame;
}

void PreviewGlobe::paintEvent(QPaintEvent *)
{
    const QImage shown = frame();
    if (shown.isNull())
        return;
    QPainter painter(this);
    painter.drawImage(0, 0, shown);
}

void PreviewGlobe::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    m_dragging = true;
    m_dragFrom = event->pos();
}

void PreviewGlobe::mouseMoveEvent(QMouseEvent *event)
{
    if (!m_dragging || !(event->buttons() & Qt::LeftButton)) {
        QWidget::mouseMoveEvent(event);
        return;
    }
    setView(draggedView(m_view, event->pos() - m_dragFrom, size()));
    m_dragFrom = event->pos();
}

void PreviewGlobe::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        m_dragging = false;
    QWidget::mouseReleaseEvent(event);
}

void PreviewGlobe::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mouseDoubleClickEvent(event);
        return;
    }
    if (const auto seen = lonLatAtPixel(m_view, size(), event->pos()))
        setView({ seen->x(), seen->y(), m_view.zoom });
}

void PreviewGlobe::wheelEvent(QWheelEvent *event)
{
    setView(wheelZoomedView(m_view, event->angleDelta().y()));
    event->accept();
}

void PreviewGlobe::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Left:
        setView(keyTurnedView(m_view, -1, 0));
        break;
    case Qt::Key_Right:
        setView(keyTurnedView(m_view, 1, 0));
        break;
    case Qt::Key_Up:
        setView(keyTurnedView(m_view, 0, 1));
        break;
    case Qt::Key_Down:
        setView(keyTurnedView(m_view, 0, -1));
        break;
    case Qt::Key_Home:
        setView({ 0, 0, m_view.zoom });
        break;
    default:
        QWidget::keyPressEvent(event);
    }
}
