#include "mainwindow/overlay.h"

#include "projection/projectionconverter.h"
#include "projection/worldmap.h"

#include <QPainter>
#include <QPolygon>

#include <algorithm>
#include <cmath>

QPen overlayPen(int width, const QColor &color)
{
    return QPen(QBrush(color), static_cast<double>(width), Qt::SolidLine);
}

namespace {

// The grid of a map in one of PROJ's projections: meridians and parallels as
// chains of one-degree chords, which stay within a pixel of the curves, and
// the outline of the box (its edge meridians and parallels).
void worldGrid(const WorldMap &map, QVector<QLine> *grid)
{
    if (!map.isValid())
        return;
    const WorldBox &box = map.box();
    auto chain = [&](auto pointAt, double from, double to) {
        QPoint last;
        bool have = false;
        const int steps = std::max(1, int(std::ceil(to - from)));
        for (int k = 0; k <= steps; ++k) {
            double u = 0.0;
            double v = 0.0;
            const double t = from + (to - from) * k / steps;
            if (!pointAt(t, &u, &v)) {
                have = false;
                continue;
            }
            const QPoint p(int(std::floor(u)), int(std::floor(v)));
            if (have)
                grid->append(QLine(last, p));
            last = p;
            have = true;
        }
    };
    auto meridian = [&](double lon) {
        chain([&](double lat, double *u, double *v) { return map.position(lon, lat, u, v); },
            box.latMin, box.latMax);
    };
    auto parallel = [&](double lat) {
        chain([&](double east, double *u,
                  double *v) { return map.position(box.lonMin + east, lat, u, v); },
            0.0, box.lonSpan - 1e-6);
    };
    for (int lon = -180; lon < 180; lon += 30)
        meridian(lon);
    for (int lat = -90; lat < 90; lat += 30) {
        if (lat > box.latMin && lat < box.latMax)
            parallel(lat);
    }
    meridian(box.lonMin);
    meridian(box.lonMin + box.lonSpan - 1e-6);
    parallel(box.latMin);
    parallel(box.latMax);
}

} // namespace

OverlayLines overlayLines(
    const ConvertParams &params, bool pointMode, QSize imageSize, ProjectionConverter &converter)
{
    OverlayLines lines;
    if (!pointMode || imageSize.isEmpty())
        return lines;
    const ParamSet set = ParamSet::fromTable(params);
    const int width = imageSize.width();
    const int height = imageSize.height();
    const int left = set.marginLeft;
    const int top = set.marginTop;
    const int right = width - set.marginRight - 1;
    const int bottom = height - set.marginBottom - 1;
    lines.shown = true;
    lines.frame = QRect(left, top, right - left, bottom - top);

    // A bad name must not take the program down while the user edits; the
    // frame alone shows that no grid can be placed.
    if (!set.applyTo(converter))
        return lines;
    if (converter.isWorldProjection()) {
        worldGrid(WorldMap(converter.worldBox(width, height)), &lines.grid);
        return lines;
    }
    converter.prepare(width, height);
    for (int lon = -180; lon < 180; lon += 30) {
        const int x = converter.lonToColumn(lon);
        if (left <= x && x <= right)
            lines.grid.append(QLine(x, top, x, bottom));
    }
    for (int lat = -90; lat < 90; lat += 30) {
        const int y = converter.latToRow(lat);
        if (top <= y && y <= bottom)
            lines.grid.append(QLine(left, y, right, y));
    }
    return lines;
}

int imageToView(int v, double viewPerImage)
{
    if (viewPerImage == 1.0)
        return v;
    return static_cast<int>(std::floor((v + 0.5) * viewPerImage));
}

void paintOverlay(
    QPainter &painter, const OverlayLines &lines, const QPen &pen, double viewPerImage)
{
    if (!lines.shown)
        return;
    auto map = [viewPerImage](const QPoint &p) {
        return QPoint(imageToView(p.x(), viewPerImage), imageToView(p.y(), viewPerImage));
    };
    QPen framePen = pen;
    framePen.setStyle(Qt::SolidLine);
    painter.setPen(framePen);
    const QRect &f = lines.frame;
    // QRect's right() is one short of left + width; the corners are what count.
    painter.drawRect(QRect(map(f.topLeft()), map(QPoint(f.x() + f.width(), f.y() + f.height())))
                         .adjusted(0, 0, -1, -1));
    QPen gridPen = pen;
    gridPen.setStyle(Qt::DotLine);
    painter.setPen(gridPen);
    // Chains of chords (the curves of world maps) as one polyline each, so
    // that the dots run on along the curve instead of restarting per chord.
    QPolygon chain;
    auto flush = [&] {
        if (chain.size() == 2)
            painter.drawLine(chain[0], chain[1]);
        else if (chain.size() > 2)
            painter.drawPolyline(chain);
        chain.clear();
    };
    for (const QLine &line : lines.grid) {
        if (!chain.isEmpty() && chain.last() != map(line.p1()))
            flush();
        if (chain.isEmpty())
            chain << map(line.p1());
        chain << map(line.p2());
    }
    flush();
}

QImage renderOverlay(const QImage &source, const ConvertParams &params, const QPen &pen,
    bool pointMode, ProjectionConverter &converter)
{
    if (source.isNull())
        return QImage();
    QImage image = source.convertToFormat(QImage::Format_ARGB32);
    const OverlayLines lines = overlayLines(params, pointMode, image.size(), converter);
    if (!lines.shown)
        return image;
    QPainter painter(&image);
    paintOverlay(painter, lines, pen);
    return image;
}
