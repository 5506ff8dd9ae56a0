// The preview's globe: the converted image on a sphere that a drag turns, the
// wheel zooms, a double click centres and the arrow keys and Home turn. The
// picture and the view's maths come from globe/; this keeps the state.
#pragma once

#include "globe/globerender.h"
#include "globe/globeview.h"

#include <QImage>
#include <QPoint>
#include <QWidget>

class PreviewGlobe : public QWidget
{
    Q_OBJECT

public:
    explicit PreviewGlobe(QWidget *parent = nullptr);
    ~PreviewGlobe() override;

    void setImage(const QImage &image);
    bool hasImage() const { return !m_source.isNull(); }
    GlobeView view() const { return m_view; }
    void setView(const GlobeView &view);
    bool graticule() const { return m_options.graticule; }
    void setGraticule(bool shown);
    // What is painted: the picture at the widget's size for the current view.
    QImage frame();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    QImage m_source;
    // The source in a format the renderer samples directly, made at the first frame.
    QImage m_texture;
    GlobeView m_view;
    GlobeOptions m_options;
    QImage m_frame;
    QPoint m_dragFrom;
    bool m_dragging = false;
};
