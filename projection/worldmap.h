// World maps drawn in the projections PROJ computes (Robinson, Mollweide,
// plate carrée …): where each longitude and latitude lies on the source, which
// source pixels lie inside the map's outline, and the remap that reads only
// those. The map area (the four margins) is the bounding rectangle of the
// projected longitude/latitude box; the map is centred on the box's middle.
#pragma once

#include "projection/resampling.h"

#include <QImage>
#include <QString>

#include <memory>
#include <vector>

class ForwardProjection;

struct WorldBox
{
    QString projection;
    double lonMin = -180.0;
    double lonSpan = 360.0; // 0 < span <= 360
    double latMin = -90.0;
    double latMax = 90.0;
    // The map area, inclusive, in source pixels.
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};

class WorldMap
{
public:
    explicit WorldMap(const WorldBox &box);
    ~WorldMap();
    WorldMap(const WorldMap &) = delete;
    WorldMap &operator=(const WorldMap &) = delete;

    bool isValid() const { return m_valid; }
    const WorldBox &box() const { return m_box; }
    // The source position of a longitude and latitude (a pixel u covers
    // [u, u + 1)); false outside the box.
    bool position(double lon, double lat, double *u, double *v) const;
    // The longitude and latitude at a source position; false outside the
    // outline.
    bool lonLatAt(double u, double v, double *lon, double *lat) const;
    // The positions of a row of samples at one latitude, given each sample's
    // longitude east of the box's west edge: ok[k] is 0 where a sample lies
    // outside the box. Exact where x is linear in the longitude; for Winkel
    // tripel exact at samples about a degree apart and interpolated between,
    // within 0.05 px of position().
    void rowPositions(double lat, const std::vector<double> &east, std::vector<double> *u,
        std::vector<double> *v, std::vector<unsigned char> *ok) const;
    // The span of row v inside the outline, in pixel positions: the centres
    // of its first and last whole pixels (hi < lo where the outline is less
    // than a pixel wide), infinite where the row misses the map.
    void rowSpan(int v, double *lo, double *hi) const;

    // An equirectangular image of the whole globe from the source: pixels
    // outside the box stay as they are (transparent in a new target). Taps
    // outside the outline are left out and the rest renormalised; a
    // whole-world map wraps them to the other end of their row.
    void remap(const QImage &source, QImage &target, Resampling method, int threads) const;

private:
    // The same geometry with a PROJ object of its own, for another thread.
    struct Clone
    {
    };
    WorldMap(const WorldMap &other, Clone);
    bool forward(double relativeLon, double lat, double *x, double *y) const;
    // Where x is the longitude east of the centre times a factor of the
    // latitude alone (every projection here but Winkel tripel): that factor,
    // per degree, and y, both from one PROJ call per latitude.
    bool rowGeometry(double lat, double *xPerDegree, double *y) const;
    double columnOf(double east, double xPerDegree) const;
    double latitudeOnMeridian(double relativeLon, double y) const;

    WorldBox m_box;
    std::unique_ptr<ForwardProjection> m_forward;
    bool m_valid = false;
    bool m_linear = false;
    double m_lon0 = 0.0;
    double m_xMin = 0.0;
    double m_xMax = 0.0;
    double m_yMin = 0.0;
    double m_yMax = 0.0;
    double m_scaleX = 1.0;
    double m_scaleY = 1.0;
    std::vector<double> m_rowLo;
    std::vector<double> m_rowHi;
};
