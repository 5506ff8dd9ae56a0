#include "mainwindow/overlay.h"

#include "projection/projectionconverter.h"

#include <QPainter>

#include <cmath>

QPen overlayPen(int width, const QColor &color)
{
    return QPen(QBrush(color), static_cast<double>(width), Qt::SolidLine);
}

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
    for (const QLine &line : lines.grid)
        painter.drawLine(map(line.p1()), map(line.p2()));
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
