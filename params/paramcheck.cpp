#include "params/paramcheck.h"

#include <cmath>

namespace {

struct DoubleField
{
    double ParamSet::*member;
    const char *key;
};

const DoubleField kAngles[] = {
    { &ParamSet::lonMin, "LongitudeMinimum" },
    { &ParamSet::lonMax, "LongitudeMaximum" },
    { &ParamSet::latMin, "LatitudeMinimum" },
    { &ParamSet::latMax, "LatitudeMaximum" },
};

// Margins are unchecked ints; their sum must not overflow.
QString crossingMargins(int size, int near, int far, const char *nearKey, const char *farKey,
    const char *what, const char *extent)
{
    if (qint64(size) - near - far >= 1)
        return QString();
    return QStringLiteral("%1 + %2 (%3 + %4) leave no %5 of the %6-pixel %7 image")
        .arg(QLatin1String(nearKey), QLatin1String(farKey))
        .arg(near)
        .arg(far)
        .arg(QLatin1String(what))
        .arg(size)
        .arg(QLatin1String(extent));
}

} // namespace

QString paramProblem(const ParamSet &params, QSize sourceSize)
{
    for (const DoubleField &field : kAngles) {
        if (!std::isfinite(params.*field.member))
            return QStringLiteral("%1 is not a number").arg(QLatin1String(field.key));
    }
    if (params.latMin == params.latMax) {
        return QStringLiteral("LatitudeMinimum and LatitudeMaximum are equal (%1)")
            .arg(params.latMin);
    }
    if (!sourceSize.isValid())
        return QString();
    QString crossing = crossingMargins(sourceSize.width(), params.marginLeft, params.marginRight,
        "MarginLeft", "MarginRight", "column", "wide");
    if (crossing.isEmpty()) {
        crossing = crossingMargins(sourceSize.height(), params.marginTop, params.marginBottom,
            "MarginTop", "MarginBottom", "row", "high");
    }
    return crossing;
}

QString outputSizeProblem(int width, int height, qint64 maxPixels)
{
    if (width < 1 || height < 1) {
        return QStringLiteral("the output size %1 \u00d7 %2 (OutputSizeX \u00d7 OutputSizeY) is no "
                              "image size; both must be whole numbers of 1 or more")
            .arg(width)
            .arg(height);
    }
    if (maxPixels > 0 && qint64(width) * height > maxPixels) {
        return QStringLiteral("the output size %1 \u00d7 %2 (OutputSizeX \u00d7 OutputSizeY) is "
                              "larger than the limit of %3 pixels (MaxImagePixels)")
            .arg(width)
            .arg(height)
            .arg(maxPixels);
    }
    return QString();
}

QString outputMemoryProblem(int width, int height)
{
    return QStringLiteral("not enough memory for the %1 \u00d7 %2 output image "
                          "(OutputSizeX \u00d7 OutputSizeY)")
        .arg(width)
        .arg(height);
}

ParamSet boundedParams(ParamSet p)
{
    // Rounded as a spin box with these decimals rounds, ties included.
    const auto degrees = [](double v, double limit) {
        return QString::number(qBound(-limit, v, limit), 'f', kDegreeDecimals).toDouble();
    };
    p.marginLeft = qMax(0, p.marginLeft);
    p.marginRight = qMax(0, p.marginRight);
    p.marginBottom = qMax(0, p.marginBottom);
    p.marginTop = qMax(0, p.marginTop);
    p.lonMin = degrees(p.lonMin, kMaxLongitude);
    p.lonMax = degrees(p.lonMax, kMaxLongitude);
    p.latMin = degrees(p.latMin, kMaxLatitude);
    p.latMax = degrees(p.latMax, kMaxLatitude);
    return p;
}
