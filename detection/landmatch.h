// Which longitudes a map shows, decided by its land: the map area's pixels
// are read as sea (the area's commonest colour) or not, and matched against
// the world's land mask placed in the box being tried.
#pragma once

#include <QImage>
#include <QString>

#include <functional>
#include <vector>

class WorldMap;

class LandSamples
{
public:
    // Samples the inclusive area of a 32-bit image on a grid of at most
    // maxColumns × maxRows points.
    LandSamples(const QImage &image, int left, int top, int right, int bottom, int maxColumns = 360,
        int maxRows = 180);

    // The correlation, −1 … 1, of the samples' sea with the world's sea when
    // the area shows this box (lonSpan degrees eastwards from lonMin).
    double agreement(const QString &projection, double latMin, double latMax, double lonMin,
        double lonSpan) const;

    // The same for samples placed anywhere on the globe: sample k (in the
    // order of rows(), then columns()) at lon[k] + shift, lat[k]; NaN
    // longitudes (outside the map) are left out.
    double agreementAt(
        const std::vector<double> &lon, const std::vector<double> &lat, double shift) const;
    const std::vector<int> &columns() const { return m_columns; }
    const std::vector<int> &rows() const { return m_rows; }

private:
    std::vector<int> m_columns;
    std::vector<int> m_rows;
    // 1 sea, 0 anything else, 2 not looked at (transparent).
    std::vector<unsigned char> m_sea;
    int m_left = 0;
    int m_right = 0;
    int m_top = 0;
    int m_bottom = 0;
};

struct LandChoice
{
    bool decided = false;
    double lonMin = 0.0;
    double score = 0.0;
    // The best score of a start more than a few degrees from the chosen one.
    double runnerUp = 0.0;
};

// Tries each start in `starts` (every degree, refined to a quarter, when
// empty). A whole-world map must put its commonest colour on the sea; a
// regional one may have land as its commonest colour. Decided when the best
// start agrees well and clearly better than any other.
LandChoice chooseLongitudes(const LandSamples &samples, const QString &projection, double latMin,
    double latMax, double lonSpan, const std::vector<double> &starts, bool wholeWorld);

// The start of a whole-world map in one of PROJ's projections (the map as
// drawn from -180°, its area the samples'), tried every degree.
LandChoice chooseWorldStart(const LandSamples &samples, const WorldMap &map);

// The search both use: score(start) for each start (every degree, refined to
// a quarter, when empty).
LandChoice chooseStart(
    const std::function<double(double)> &score, const std::vector<double> &starts);
