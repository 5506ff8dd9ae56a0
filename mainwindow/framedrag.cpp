#include "mainwindow/framedrag.h"

#include <QPoint>
#include <QRect>
#include <QRegion>

#include <algorithm>
#include <cmath>

namespace {

const int kGrabImagePixels = 12;
const int kGrabScreenPixels = 6;

bool inEllipse(const QPoint &corner1, const QPoint &corner2, int x, int y)
{
    return QRegion(QRect(corner1, corner2), QRegion::Ellipse).contains(QPoint(x, y));
}

int clampMargin(int value, int extent)
{
    return std::min(std::max(value, 0), extent - 1);
}

} // namespace

int grabRadius(double imagePerViewPixel)
{
    const double screen = std::ceil(kGrabScreenPixels * imagePerViewPixel);
    if (!(screen > kGrabImagePixels))
        return kGrabImagePixels;
    return screen < 1e6 ? static_cast<int>(screen) : 1000000;
}

FrameZones hitZones(const Margins &m, int width, int height, int x, int y, int grab)
{
    const int l = m.left;
    const int t = m.top;
    const int r = width - m.right - 1;
    const int b = height - m.bottom - 1;
    FrameZones z;
    z.left = inEllipse(QPoint(l - grab, t - grab), QPoint(l + grab, b + grab), x, y);
    z.right = inEllipse(QPoint(r - grab, t - grab), QPoint(r + grab, b + grab), x, y);
    z.top = inEllipse(QPoint(l - grab, t - grab), QPoint(r + grab, t + grab), x, y);
    z.bottom = inEllipse(QPoint(l - grab, b - grab), QPoint(r + grab, b + grab), x, y);
    z.inside = inEllipse(QPoint(l + grab, t + grab), QPoint(r - grab, b - grab), x, y);
    return z;
}

Margins dragEdges(
    const Margins &m, const FrameZones &grabbed, int dx, int dy, int width, int height)
{
    Margins out = m;
    if (grabbed.left)
        out.left = clampMargin(m.left + dx, width);
    if (grabbed.right)
        out.right = clampMargin(m.right - dx, width);
    if (grabbed.bottom)
        out.bottom = clampMargin(m.bottom - dy, height);
    if (grabbed.top)
        out.top = clampMargin(m.top + dy, height);
    return out;
}

Margins moveFrame(const Margins &m, int dx, int dy)
{
    dx = std::min(std::max(dx, -m.left), m.right);
    dy = std::min(std::max(dy, -m.top), m.bottom);
    return Margins { m.left + dx, m.right - dx, m.bottom - dy, m.top + dy };
}

Margins newFrame(int startX, int startY, int x, int y, int width, int height)
{
    const int left = std::max(std::min(startX, x), 0);
    const int right = std::min(std::max(startX, x), width - 1);
    const int top = std::max(std::min(startY, y), 0);
    const int bottom = std::min(std::max(startY, y), height - 1);
    return Margins { left, width - right - 1, height - bottom - 1, top };
}

void FrameDrag::press(
    int x, int y, bool frameActive, const Margins &current, int width, int height, int grab)
{
    m_startX = x;
    m_startY = y;
    clear();
    if (!frameActive)
        return;
    const FrameZones zones = hitZones(current, width, height, x, y, grab);
    if (zones.anyEdge()) {
        m_mode = Mode::EdgeDrag;
        m_grabbed = zones;
        m_grabbed.inside = false;
    } else if (zones.inside) {
        m_mode = Mode::FrameMove;
    } else {
        m_mode = Mode::OutsidePress;
    }
}

std::optional<Margins> FrameDrag::step(
    int x, int y, bool frameActive, const Margins &current, int width, int height) const
{
    if (!frameActive)
        return newFrame(m_startX, m_startY, x, y, width, height);
    const int dx = x - m_startX;
    const int dy = y - m_startY;
    switch (m_mode) {
    case Mode::EdgeDrag:
        return dragEdges(current, m_grabbed, dx, dy, width, height);
    case Mode::FrameMove:
        return moveFrame(current, dx, dy);
    case Mode::None:
    case Mode::OutsidePress:
        break;
    }
    return std::nullopt;
}

FrameDrag::Release FrameDrag::release(int x, int y, bool frameActive, const Margins &current,
    int width, int height, Margins *committed)
{
    Release outcome = Release::Nothing;
    if (frameActive && m_mode == Mode::OutsidePress) {
        outcome = Release::HideFrame;
    } else if (const std::optional<Margins> margins
        = step(x, y, frameActive, current, width, height)) {
        outcome = Release::Commit;
        if (committed)
            *committed = *margins;
    }
    clear();
    return outcome;
}

void FrameDrag::clear()
{
    m_mode = Mode::None;
    m_grabbed = FrameZones();
}
