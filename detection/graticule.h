// Reads a cylindrical map's graticule: the rows of its parallels tell the
// projection, the latitudes of the map area's top and bottom rows and the
// scale; evenly spaced meridians give the longitude step and span, and where
// along the circle the map may start.
#pragma once

#include <QString>
#include <QStringList>

#include <vector>

// A box the parallels fit: its projection, latitudes and scale, and the
// meridians' step when they pinned the scale (else 0).
struct GraticuleBox
{
    QString projection;
    double latMin = 0.0;
    double latMax = 0.0;
    double pixelsPerDegree = 0.0;
    double lonStep = 0.0;
    // False where another projection fits the same box about as well.
    bool named = true;
};

struct GraticuleReading
{
    // Projection and latitudes, read from the parallels.
    bool latitudes = false;
    QString projection;
    double latMin = 0.0;
    double latMax = 0.0;
    int parallels = 0;
    // Pixels per degree of longitude (and of the projected latitude).
    double pixelsPerDegree = 0.0;
    // Evenly spaced meridians: the step in degrees, their count and the
    // column of the first, when the scale is known.
    bool meridians = false;
    int meridianCount = 0;
    double lonStep = 0.0;
    double firstMeridian = 0.0;
    // Boxes that the parallels fit about as well as each other (evenly
    // spaced parallels fit every step), left for the land to decide; empty
    // when the reading is unique.
    std::vector<GraticuleBox> rivals;

    // Pixels between evenly spaced meridians, or 0.
    double meridianSpacing = 0.0;

    // Takes the box as the one read.
    void take(const GraticuleBox &box);
    // The meridians' step, where their spacing is a usual step at the scale.
    void meridiansAtOwnStep();

    // Degrees between the area's first and last columns' centres.
    double lonSpan(int left, int right) const;
    // The area's western longitudes the meridians allow: those that put a
    // meridian on a multiple of the step.
    std::vector<double> lonMinCandidates(int left) const;
};

// rows and columns are the centres of the lines found, in image pixels,
// sorted. The area runs from top to bottom and left to right (inclusive).
// `scale`, pixels per degree known from the area's shape, or 0, stands in
// when the parallels do not give it.
GraticuleReading readGraticule(const std::vector<double> &rows, const std::vector<double> &columns,
    int left, int right, int top, int bottom, double scale = 0.0);

// Evenly spaced positions (missing ones allowed) among `lines`: the spacing
// and the position of the first, or false when fewer than three agree.
bool evenSpacing(
    const std::vector<double> &lines, double tolerance, double *spacing, double *first, int *count);

// The latitude whose projected value is y (degree units), rounded to the whole
// degree when close to one.
double latitudeFromProjected(double y, double factor);

// The cylindrical projections whose parallels are read.
const QStringList &cylindricalProjections();
// The projected y of a latitude on a cylindrical map, in degrees of longitude
// (0 at the equator, north positive); NaN for another projection.
double cylindricalY(const QString &projection, double latitude);
// The latitude of a projected y.
double cylindricalLatitude(const QString &projection, double y);
