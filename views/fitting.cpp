#include "views/fitting.h"

#include "projection/projectionconverter.h"

#include <algorithm>

double viewScale(const QSize &label, const QSize &image)
{
    return std::max(static_cast<double>(image.width()) / label.width(),
        static_cast<double>(image.height()) / label.height());
}

int viewToImage(int v, double scale, bool scaled)
{
    return scaled ? ProjectionConverter::truncToInt(v * scale) : v;
}

QRect dragRect(const QPoint &press, const QPoint &pointer)
{
    QRect rect;
    rect.setCoords(press.x(), press.y(), pointer.x(), pointer.y());
    return rect.normalized();
}

QSize fittedSize(const QSize &area, const QSize &image)
{
    const double f = std::min(static_cast<double>(area.width()) / image.width(),
        static_cast<double>(area.height()) / image.height());
    return QSize(ProjectionConverter::truncToInt(image.width() * f),
        ProjectionConverter::truncToInt(image.height() * f));
}
