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
#include <mutex>
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
    // The outer pixels inside the outline that are a drawn frame line.
    int frame = 0;
};

bool operator==(const WorldBox &a, const WorldBox &b);

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
    // Where each pixel of an equirectangular target (longitude -180 … 180
    // over its columns, latitude 90 … -90 over its rows) lies on the source,
    // computed once for a size. Exact where x is linear in the longitude; for
    // Winkel tripel bilinear between knots less than a degree apart, within
    // 0.05 px of position().
    class Target
    {
    public:
        int width() const { return m_width; }
        int height() const { return m_height; }
        // Row i's positions, width() of each: ok[j] is 0 outside the box.
        void row(int i, double *u, double *v, unsigned char *ok) const;
        // The knots' positions interpolated down to row i, one per knot
        // column, and the row of cells it lies in.
        void knotRow(int i, int *cellRow, double *along, double *u, double *v) const;

    private:
        friend class WorldMap;
        struct Exact
        {
            int column;
            double u;
            double v;
            unsigned char ok;
        };
        int m_width = 0;
        int m_height = 0;
        bool m_linear = true;
        // Each column's longitude east of the box's middle, and whether it
        // lies inside the box.
        std::vector<double> m_offset;
        std::vector<unsigned char> m_columnOk;
        // Where x is linear in the longitude: the central meridian's source
        // column, and each row's source pixels per degree and source row
        // position (ok 0 outside the box).
        double m_centre = 0.0;
        std::vector<double> m_pixelsPerDegree;
        std::vector<double> m_rowV;
        std::vector<unsigned char> m_rowOk;
        // Otherwise: knots at these columns and rows, each cell either
        // straight (all four knots inside, no wrap between) or computed
        // pixel by pixel into m_exact.
        std::vector<int> m_knotColumns;
        std::vector<int> m_knotRows;
        std::vector<double> m_knotU;
        std::vector<double> m_knotV;
        std::vector<unsigned char> m_knotOk;
        std::vector<unsigned char> m_straight;
        std::vector<unsigned char> m_interior;
        std::vector<int> m_cellOfColumn;
        std::vector<double> m_alongCell;
        std::vector<std::vector<Exact>> m_exact;

        // The source column of a column offset on a row: the one expression
        // every remap path uses.
        double columnAt(double offset, double pixelsPerDegree) const
        {
            return m_centre + offset * pixelsPerDegree;
        }
    };
    // The positions for a target of this size, kept for the next call.
    std::shared_ptr<const Target> target(int width, int height, int threads = 0) const;
    // The span of row v inside the outline, in pixel positions: the centres
    // of its first and last whole pixels (hi < lo where the outline is less
    // than a pixel wide), infinite where the row misses the map.
    void rowSpan(int v, double *lo, double *hi) const;

    // An equirectangular image of the whole globe from the source: pixels
    // outside the box stay as they are (transparent in a new target). Taps
    // outside the outline are left out and the rest renormalised; a
    // whole-world map wraps them to the other end of their row.
    void remap(const QImage &source, QImage &target, Resampling method, int threads) const;
    // The same pixel by pixel, without the fast gather of nearest.
    void remapReference(const QImage &source, QImage &target, Resampling method, int threads) const;

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
    double latitudeOnMeridian(double relativeLon, double y, const std::vector<double> &sampleLat,
        const std::vector<double> &sampleY) const;

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
    mutable std::mutex m_targetLock;
    mutable std::shared_ptr<const Target> m_target;

    void remapRows(
        const QImage &source, QImage &target, Resampling method, int threads, bool reference) const;
    int nearestInside(int v, double p) const;
};
