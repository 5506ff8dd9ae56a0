// The conversion parameters: map-area margins, the frame line inside them,
// source projection and the longitude/latitude box, as plain members and as the string-keyed table
// that travels between the converter, the overlay and the frame drag.
#pragma once

#include <QHash>
#include <QString>
#include <QStringList>
#include <QVariant>

using ConvertParams = QHash<QString, QVariant>;

class ProjectionConverter;
class QSettings;

struct ParamSet
{
    int marginLeft = 0;
    int marginRight = 0;
    int marginBottom = 0;
    int marginTop = 0;
    QString projection = QStringLiteral("miller");
    double latMin = -90.0;
    double latMax = 90.0;
    double lonMin = -180.0;
    double lonMax = 180.0;
    // The outer pixels of the map area that are a drawn frame line (0: none).
    int frameLine = 0;

    ConvertParams toTable() const;
    // Missing keys read as an empty variant: 0, the empty name or 0.0.
    static ParamSet fromTable(const ConvertParams &table);

    // setMargins, setFrameLine, setProjection, setLonRange, setLatRange in
    // this order; false when the projection name is unknown.
    bool applyTo(ProjectionConverter &converter) const;

    // Group "Convert" of a settings or parameter file, keys MarginLeft ...
    // LatitudeMaximum and FrameLine. Reading keeps the current value for a
    // missing key and for a margin or frame line that is no whole number (or a
    // negative frame line); each value that is no finite
    // number is named in *problems as "Key=text ...".
    void readConvertGroup(QSettings &settings, QStringList *problems = nullptr);
    void writeConvertGroup(QSettings &settings) const;

    bool operator==(const ParamSet &o) const;
    bool operator!=(const ParamSet &o) const { return !(*this == o); }
};

// "miller", "mercator": the order of the projection selector's entries.
const QStringList &projectionList();
