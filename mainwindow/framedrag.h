// Geometry of dragging the map-area frame on the source view: which edges a
// press grabs, how a drag moves edges or the whole frame, and the rectangle of a
// new frame. All values are source-image pixels and may lie outside the image.
#pragma once

#include <optional>

struct Margins
{
    int left = 0;
    int right = 0;
    int bottom = 0;
    int top = 0;

    bool operator==(const Margins &o) const
    {
        return left == o.left && right == o.right && bottom == o.bottom && top == o.top;
    }
    bool operator!=(const Margins &o) const { return !(*this == o); }
};

struct FrameZones
{
    bool left = false;
    bool right = false;
    bool top = false;
    bool bottom = false;
    bool inside = false;

    bool anyEdge() const { return left || right || top || bottom; }
};

// The half-width of the grab bands in image pixels: 12, or 6 screen pixels when
// the view shows the image smaller than that.
int grabRadius(double imagePerViewPixel);

// Each zone is the ellipse inscribed in a band `grab` px either side of an edge
// (or in the frame shrunk by `grab` px), so the corners of the bands do not count.
FrameZones hitZones(const Margins &m, int width, int height, int x, int y, int grab = 12);

// Moves the grabbed edges by the pointer offset, each kept inside the image; the
// edges may cross each other.
Margins dragEdges(
    const Margins &m, const FrameZones &grabbed, int dx, int dy, int width, int height);

// Moves the whole frame; the offset is cut so the frame keeps its size and stays
// inside the image.
Margins moveFrame(const Margins &m, int dx, int dy);

// The frame spanned by two pointer positions, cut to the image.
Margins newFrame(int startX, int startY, int x, int y, int width, int height);

// What one left-button drag on the source view does. The owner keeps the
// frame-active flag and the view's point mode flag and calls, from its slots:
//   press:   press(); if the frame is shown and step() at the press point has
//            a value, draw it (a press on a hidden frame draws nothing).
//   moving:  if !frameActive, set point mode (a new frame is being dragged out);
//            draw step() when it has a value.
//   release: release(); Commit stores *committed (and shows the frame when it
//            was hidden), HideFrame hides the frame, Nothing leaves all as is.
// None of these touch the owner's margins; only a committed release does.
class FrameDrag
{
public:
    enum class Mode { None, EdgeDrag, FrameMove, OutsidePress };
    enum class Release { Nothing, Commit, HideFrame };

    // Stores the start point and clears the mode; a shown frame then picks the
    // mode from the zones under the press.
    void press(int x, int y, bool frameActive, const Margins &current, int width, int height,
        int grab = 12);

    // The tentative margins for the pointer at (x, y); std::nullopt when there is
    // nothing to draw (an outside press, or no mode while the frame is shown).
    std::optional<Margins> step(
        int x, int y, bool frameActive, const Margins &current, int width, int height) const;

    // Ends the drag; the mode is cleared whatever the outcome.
    Release release(int x, int y, bool frameActive, const Margins &current, int width, int height,
        Margins *committed);

    // Ends the drag without an outcome, for a release with no image loaded.
    void clear();

    Mode mode() const { return m_mode; }
    FrameZones grabbed() const { return m_grabbed; }

private:
    Mode m_mode = Mode::None;
    FrameZones m_grabbed;
    int m_startX = 0;
    int m_startY = 0;
};
