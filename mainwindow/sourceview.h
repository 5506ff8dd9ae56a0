// The source view: shows the map image, scaled to fit or at natural size, with
// the owner's frame and grid over it, and reports presses, drags and releases in
// the image's pixel grid. What a drag means is the owner's business.
#pragma once

#include "mainwindow/overlay.h"

#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QPoint>
#include <QRect>
#include <QSize>

#include <array>

class QMouseEvent;
class QPaintEvent;

// The press and release bookkeeping that the source view and the preview label
// share: a left drag, a right press and where the drag began.
class LabelDrag
{
public:
    bool leftDrag() const { return m_leftDrag; }
    QPoint pressPoint() const { return m_pressPoint; }
    // Held buttons decide, so a right press during a left drag restarts it.
    // True when the press starts a left drag (only over a picture).
    bool press(bool hasPicture, const QMouseEvent &event);
    // Clears what the release left up; true when a right press has ended.
    bool release(Qt::MouseButtons held);
    // size_changing's values for the pointer at pos: press point, drag
    // rectangle and pointer, each in image pixels.
    std::array<int, 8> changing(double scale, bool scaled, const QPoint &pos) const;

private:
    bool m_leftDrag = false;
    bool m_rightPress = false;
    QPoint m_pressPoint;
};

class SourceView : public QLabel
{
    Q_OBJECT

public:
    explicit SourceView(QWidget *parent = nullptr);
    ~SourceView() override;

    // Set by the owner: a finished left drag is reported as its release point
    // and hovering is reported; clear, a finished drag is reported as a size.
    bool pointMode = false;

    // Image pixels per label pixel when the pixmap is fitted into the label.
    static double viewScale(const QSize &label, const QSize &pixmap);
    // A label coordinate or length in image pixels, truncated toward zero and
    // not clamped, since drags may leave the label.
    static int viewToImage(int v, double scale, bool scaled);
    // The rectangle between the press point and the pointer, in label pixels.
    static QRect dragRect(const QPoint &press, const QPoint &pointer);
    // The longer side of a drag rectangle in image pixels.
    static int dragLength(const QRect &rect, double scale, bool scaled);
    // The size the pixmap is painted at when fitted: aspect kept, top-left hung.
    static QSize fittedSize(const QSize &area, const QSize &pixmap);
    // The label's pixmap, null when it has none.
    static QPixmap labelPixmap(const QLabel &label);
    static bool holdsPixmap(const QLabel &label) { return !labelPixmap(label).isNull(); }
    // The view scale for the label's current size and pixmap.
    static double viewScale(const QLabel &label);

    // The picture shown; the view shares its data and never copies it. The
    // overlay is cleared.
    void setImage(const QImage &image);
    const QImage &image() const { return m_image; }
    bool hasImage() const { return !m_image.isNull(); }
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
    void mouserightup();
    void size_changed(int x, int y, int r);
    void size_changing(int cx, int cy, int x1, int y1, int x2, int y2, int x, int y);
    void mouse_move(int x, int y);

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
    QPixmap m_fitted;
    qint64 m_fittedKey = 0;
    OverlayLines m_overlay;
    QPen m_pen;
};
