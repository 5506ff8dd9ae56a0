// The globe preview's view state and the maths between it and the screen: a
// sphere in orthographic view, centred in the picture. Plain functions, so the
// window stays glue and the tests call them directly.
#pragma once

#include <QPoint>
#include <QPointF>
#include <QSize>

#include <optional>

struct GlobeView
{
    double lon = 0; // degrees, the point facing the viewer
    double lat = 0;
    double zoom = 1; // the sphere's diameter over the picture's shorter side
};

constexpr double kGlobeMinZoom = 1;
constexpr double kGlobeMaxZoom = 8;

// Longitude wrapped into [-180, 180), latitude clamped at the poles, zoom to its range.
GlobeView normalisedView(GlobeView view);
// The sphere's radius in pixels.
double globeRadius(const QSize &size, double zoom);
// A drag by delta pixels: the surface at the disc's centre follows the pointer
// (up to 75 degrees from the equator; closer to a pole less).
GlobeView draggedView(const GlobeView &view, const QPointF &delta, const QSize &size);
// A wheel turn in eighths of a degree (120 a notch); a notch zooms by 2^(1/4).
GlobeView wheelZoomedView(const GlobeView &view, int angleDelta);
// An arrow key: dx and dy are -1, 0 or 1 (right and up positive). A step turns
// the globe less the closer it is.
GlobeView keyTurnedView(const GlobeView &view, int dx, int dy);
// Longitude and latitude (x, y, in degrees) seen at a pixel's centre; none off the disc.
std::optional<QPointF> lonLatAtPixel(const GlobeView &view, const QSize &size, const QPoint &pixel);
// Where a point of the sphere is seen, in picture coordinates (pixel centres at
// n + 0.5); none on the far side.
std::optional<QPointF> viewPointOf(
    const GlobeView &view, const QSize &size, double lon, double lat);
