#include "globe/globeview.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kDegree = kPi / 180;
// Degrees an arrow key turns the globe at zoom 1.
constexpr double kKeyStep = 15;

} // namespace

GlobeView normalisedView(GlobeView view)
{
    view.lon = std::fmod(view.lon + 180, 360);
    if (view.lon < 0)
        view.lon += 360;
    view.lon -= 180;
    view.lat = std::clamp(view.lat, -90.0, 90.0);
    view.zoom = std::clamp(view.zoom, kGlobeMinZoom, kGlobeMaxZoom);
    return view;
}

double globeRadius(const QSize &size, double zoom)
{
    return std::min(size.width(), size.height()) * zoom / 2;
}

GlobeView draggedView(const GlobeView &view, const QPointF &delta, const QSize &size)
{
    const double radius = globeRadius(size, view.zoom);
    if (radius <= 0)
        return view;
    GlobeView turned = view;
    // Near the centre a pixel is 1/radius of arc, and a parallel's degree is
    // cos(lat) of one; near a pole, where a parallel shrinks to a point, the
    // pointer cannot be followed and the turn is held to four times the equator's.
    const double parallel = std::max(std::cos(view.lat * kDegree), 0.25);
    turned.lon -= delta.x() / radius / parallel / kDegree;
    // Dragging down brings the north in.
    turned.lat += delta.y() / radius / kDegree;
    return normalisedView(turned);
}

GlobeView wheelZoomedView(const GlobeView &view, int angleDelta)
{
    GlobeView zoomed = view;
    zoomed.zoom = view.zoom * std::exp2(angleDelta / 480.0);
    return normalisedView(zoomed);
}

GlobeView keyTurnedView(const GlobeView &view, int dx, int dy)
{
    GlobeView turned = view;
    const double step = kKeyStep / view.zoom;
    turned.lon += dx * step;
    turned.lat += dy * step;
    return normalisedView(turned);
}

std::optional<QPointF> lonLatAtPixel(const GlobeView &view, const QSize &size, const QPoint &pixel)
{
    const double radius = globeRadius(size, view.zoom);
    if (radius <= 0)
        return std::nullopt;
    const double x = (pixel.x() + 0.5 - size.width() / 2.0) / radius;
    const double y = (size.height() / 2.0 - (pixel.y() + 0.5)) / radius;
    const double r2 = x * x + y * y;
    if (r2 > 1)
        return std::nullopt;
    // The view's east, north and facing axes turned back onto the globe's.
    const double z = std::sqrt(1 - r2);
    const double sinLat0 = std::sin(view.lat * kDegree);
    const double cosLat0 = std::cos(view.lat * kDegree);
    const double lat = std::asin(std::clamp(y * cosLat0 + z * sinLat0, -1.0, 1.0));
    const double lon = view.lon * kDegree + std::atan2(x, z * cosLat0 - y * sinLat0);
    const GlobeView seen = normalisedView({ lon / kDegree, lat / kDegree, view.zoom });
    return QPointF(seen.lon, seen.lat);
}

std::optional<QPointF> viewPointOf(const GlobeView &view, const QSize &size, double lon, double lat)
{
    const double radius = globeRadius(size, view.zoom);
    const double dLon = (lon - view.lon) * kDegree;
    const double sinLat = std::sin(lat * kDegree);
    const double cosLat = std::cos(lat * kDegree);
    const double sinLat0 = std::sin(view.lat * kDegree);
    const double cosLat0 = std::cos(view.lat * kDegree);
    const double facing = sinLat0 * sinLat + cosLat0 * cosLat * std::cos(dLon);
    if (facing < 0)
        return std::nullopt;
    const double x = cosLat * std::sin(dLon);
    const double y = cosLat0 * sinLat - sinLat0 * cosLat * std::cos(dLon);
    return QPointF(size.width() / 2.0 + x * radius, size.height() / 2.0 - y * radius);
}
