#include "projection/convertparams.h"

#include "projection/forwardprojection.h"
#include "projection/projectionconverter.h"

#include <QSettings>

#include <cmath>

namespace {

const QString kMarginLeft = QStringLiteral("margin_left");
const QString kMarginRight = QStringLiteral("margin_right");
const QString kMarginBottom = QStringLiteral("margin_bottom");
const QString kMarginTop = QStringLiteral("margin_top");
const QString kMapProj = QStringLiteral("map_proj");
const QString kLonMin = QStringLiteral("lon_min");
const QString kLonMax = QStringLiteral("lon_max");
const QString kLatMin = QStringLiteral("lat_min");
const QString kLatMax = QStringLiteral("lat_max");
const QString kFrameLine = QStringLiteral("frame_line");

} // namespace

ConvertParams ParamSet::toTable() const
{
    ConvertParams t;
    t.insert(kMarginLeft, marginLeft);
    t.insert(kMarginRight, marginRight);
    t.insert(kMarginBottom, marginBottom);
    t.insert(kMarginTop, marginTop);
    t.insert(kMapProj, projection);
    t.insert(kLonMin, lonMin);
    t.insert(kLonMax, lonMax);
    t.insert(kLatMin, latMin);
    t.insert(kLatMax, latMax);
    t.insert(kFrameLine, frameLine);
    return t;
}

ParamSet ParamSet::fromTable(const ConvertParams &table)
{
    ParamSet p;
    p.marginLeft = table.value(kMarginLeft).toInt();
    p.marginRight = table.value(kMarginRight).toInt();
    p.marginBottom = table.value(kMarginBottom).toInt();
    p.marginTop = table.value(kMarginTop).toInt();
    p.projection = table.value(kMapProj).toString();
    p.lonMin = table.value(kLonMin).toDouble();
    p.lonMax = table.value(kLonMax).toDouble();
    p.latMin = table.value(kLatMin).toDouble();
    p.latMax = table.value(kLatMax).toDouble();
    p.frameLine = table.value(kFrameLine).toInt();
    return p;
}

bool ParamSet::applyTo(ProjectionConverter &converter) const
{
    converter.setMargins(marginLeft, marginRight, marginBottom, marginTop);
    converter.setFrameLine(frameLine);
    const bool known = converter.setProjection(projection);
    converter.setLonRange(lonMin, lonMax);
    converter.setLatRange(latMin, latMax);
    return known;
}

void ParamSet::readConvertGroup(QSettings &settings, QStringList *problems)
{
    settings.beginGroup(QStringLiteral("Convert"));
    // A value that is no number keeps the current one and is named as written.
    auto text = [&settings](const QString &key) {
        const QVariant v = settings.value(key);
        return v.type() == QVariant::StringList ? v.toStringList().join(QStringLiteral(", "))
                                                : v.toString();
    };
    auto readInt = [&](const char *key, int *value) {
        const QString name = QLatin1String(key);
        if (!settings.contains(name))
            return;
        bool ok = false;
        // Read from the text: a variant would cut a number too large for an int.
        const int v = text(name).trimmed().toInt(&ok);
        if (ok)
            *value = v;
        else if (problems)
            problems->append(
                QStringLiteral("%1=%2 is not a whole number of pixels").arg(name, text(name)));
    };
    auto readDouble = [&](const char *key, double *value) {
        const QString name = QLatin1String(key);
        if (!settings.contains(name))
            return;
        bool ok = false;
        const double v = text(name).trimmed().toDouble(&ok);
        // NaN and infinities are kept as read, so that they are refused and
        // written back as they were rather than silently replaced.
        if (ok)
            *value = v;
        if ((!ok || !std::isfinite(v)) && problems)
            problems->append(QStringLiteral("%1=%2 is not a finite number").arg(name, text(name)));
    };
    readInt("MarginLeft", &marginLeft);
    readInt("MarginRight", &marginRight);
    readInt("MarginBottom", &marginBottom);
    readInt("MarginTop", &marginTop);
    projection = settings.value(QStringLiteral("MapProjection"), projection).toString();
    readDouble("LongitudeMinimum", &lonMin);
    readDouble("LongitudeMaximum", &lonMax);
    readDouble("LatitudeMinimum", &latMin);
    readDouble("LatitudeMaximum", &latMax);
    int frame = frameLine;
    readInt("FrameLine", &frame);
    if (frame >= 0)
        frameLine = frame;
    else if (problems)
        problems->append(QStringLiteral("FrameLine=%1 is a negative number of pixels").arg(frame));
    settings.endGroup();
}

void ParamSet::writeConvertGroup(QSettings &settings) const
{
    settings.beginGroup(QStringLiteral("Convert"));
    settings.setValue(QStringLiteral("MarginLeft"), marginLeft);
    settings.setValue(QStringLiteral("MarginRight"), marginRight);
    settings.setValue(QStringLiteral("MarginBottom"), marginBottom);
    settings.setValue(QStringLiteral("MarginTop"), marginTop);
    settings.setValue(QStringLiteral("MapProjection"), projection);
    settings.setValue(QStringLiteral("LongitudeMinimum"), lonMin);
    settings.setValue(QStringLiteral("LongitudeMaximum"), lonMax);
    settings.setValue(QStringLiteral("LatitudeMinimum"), latMin);
    settings.setValue(QStringLiteral("LatitudeMaximum"), latMax);
    settings.setValue(QStringLiteral("FrameLine"), frameLine);
    settings.endGroup();
}

bool ParamSet::operator==(const ParamSet &o) const
{
    return marginLeft == o.marginLeft && marginRight == o.marginRight
        && marginBottom == o.marginBottom && marginTop == o.marginTop && projection == o.projection
        && latMin == o.latMin && latMax == o.latMax && lonMin == o.lonMin && lonMax == o.lonMax
        && frameLine == o.frameLine;
}

const QStringList &projectionList()
{
    // Miller and Mercator first, in the order the projection list has always had.
    static const QStringList list = ForwardProjection::names();
    return list;
}
