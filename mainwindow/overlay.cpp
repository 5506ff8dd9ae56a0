#include "mainwindow/overlay.h"

#include "projection/projectionconverter.h"

#include <QPainter>

QPen overlayPen(int width, const QColor &color)
{
    return QPen(QBrush(color), static_cast<double>(width), Qt::SolidLine);
}

QImage renderOverlay(const QImage &source, const ConvertParams &params, const QPen &pen,
    bool pointMode, ProjectionConverter &converter)
{
    if (source.isNull())
        return QImage();
    QImage image = source.convertToFormat(QImage::Format_ARGB32);
    if (!pointMode)
        return image;

    const ParamSet set = ParamSet::fromTable(params);
    const int width = image.width();
    const int height = image.height();
    const int left = set.marginLeft;
    const int top = set.marginTop;
    const int right = width - set.marginRight - 1;
    const int bottom = height - set.marginBottom - 1;

    QPainter painter(&image);
    QPen framePen = pen;
    framePen.setStyle(Qt::SolidLine);
    painter.setPen(framePen);
    // Sized so the stroke covers the map area's outer columns and rows themselves,
    // where the grid lines for -180 and -90 fall.
    painter.drawRect(QRect(left, top, right - left, bottom - top));

    if (!set.applyTo(converter)) {
        // A bad name must not take the program down while the user edits; the
        // frame alone shows that no grid can be placed.
        return image;
    }
    converter.prepare(width, height);

    QPen gridPen = pen;
    gridPen.setStyle(Qt::DotLine);
    painter.setPen(gridPen);
    for (int lon = -180; lon < 180; lon += 30) {
        const int x = converter.lonToColumn(lon);
        if (left <= x && x <= right)
            painter.drawLine(QPoint(x, top), QPoint(x, bottom));
    }
    for (int lat = -90; lat < 90; lat += 30) {
        const int y = converter.latToRow(lat);
        if (top <= y && y <= bottom)
            painter.drawLine(QPoint(left, y), QPoint(right, y));
    }
    return image;
}
