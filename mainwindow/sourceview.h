// The source view: shows the map image, scaled to fit or at natural size, with
// the owner's frame and grid over it, and reports presses, drags and releases in
// the image's pixel grid. What a drag means is the owner's business.
#pragma once

#include "mainwindow/overlay.h"
#include "views/fitting.h"

#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QPoint>
#include <QRect>
#include <QSize>

#include <array>

class QMouseEvent;
class QPaintEvent;

// The press and release bookkeeping of a left drag: whether one is under way
// and where it began.
class LabelDrag
{
public:
    bool leftDrag() const { return m_leftDrag; }
    QPoint pressPoint() const { return m_pressPoint; }
    // Held buttons decide, so a right press during a left drag restarts it.
    // True when the press starts a left drag (only over a picture).
    bool press(bool hasPicture, const QMouseEvent &event);
    void release(Qt::MouseButtons held);
    // size_changing's values for the pointer at pos: press point, drag
    // rectangle and pointer, each in image pixels.
    std::array<int, 8> changing(double scale, bool scaled, const QPoint &pos) const;

private:
    bool m_leftDrag = false;
    QPoint m_pressPoint;
};

class SourceView : public QLabel
{
    Q_OBJECT

public:
    explicit SourceView(QWidget *parent = nullptr);
    ~SourceView() override;

    // Set by the owner while a frame is shown or being drawn: a finished left
    // drag is then reported as its release point; clear, it is not reported.
    bool pointMode = false;

    // The picture shown; the view shares its data and never copies it. The
    // overlay is cleared.
    void setImage(const QImage &image);
    // While the image is decoded: `reduced` drawn as a picture of fullSize,
    // so the view's geometry is already the image's. The pointer does nothing
    // meanwhile. The next setImage of that size keeps `reduced` as its
    // reduction for fitting, which spares reducing the whole image once.
    void setStandIn(const QImage &reduced, const QSize &fullSize);
    const QImage &image() const { return m_image; }
    // The image's size, or the stand-in's full size while it shows.
    QSize imageSize() const { return m_image.isNull() ? m_standInSize : m_image.size(); }
    bool hasImage() const { return !m_image.isNull(); }
    bool showsStandIn() const { return m_image.isNull() && !m_reduced.isNull(); }
    // The image or its reduced stand-in: the frame can be dragged over either.
    bool hasPicture() const { return hasImage() || showsStandIn(); }
    // Image pixels per view pixel as shown now: 1 at natural size.
    double imagePerViewPixel() const;
    // The frame and grid to draw over the picture, in image pixels; the pen's
    // width is in screen pixels whatever the zoom.
    void setOverlay(const OverlayLines &lines, const QPen &pen);
    const OverlayLines &overlay() const { return m_overlay; }
    const QPen &pen() const { return m_pen; }

signals:
    void mouseleftdown(int x, int y);
    void mouseleftup(int x, int y);
    void size_changing(int cx, int cy, int x1, int y1, int x2, int y2, int x, int y);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    int toImage(int v, double scale) const { return viewToImage(v, scale, hasScaledContents()); }
    // The fitted picture at device resolution, made again only when the image
    // or the fitted size changed.
    const QPixmap &fittedPixmap(const QSize &fitted);

    LabelDrag m_drag;
    QImage m_image;
    QImage m_reduced;
    qint64 m_reducedKey = 0;
    QSize m_standInSize;
    QPixmap m_fitted;
    qint64 m_fittedKey = 0;
    OverlayLines m_overlay;
    QPen m_pen;
};

class QScrollArea;
// The source pane: fitted, the view follows the scroll area; at natural size
// the contents hold the image and, around it, the layout's margins and the
// line above it, so that the last rows and columns can be reached.
void sizeSourcePane(QScrollArea *area, SourceView *view, bool fitted, int lineAbove);
