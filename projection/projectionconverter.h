// Turns a Miller or Mercator world map into an equirectangular image by inverse
// mapping, nearest-neighbour or interpolated, with the rows split over the
// machine's cores. The same linear maps place the grid lines of the overlay on
// the source image.
#pragma once

#include "projection/convertparams.h"
#include "projection/resampling.h"
#include "projection/worldmap.h"

#include <QImage>
#include <QString>

#include <memory>
#include <mutex>

class ProjectionConverter
{
public:
    ProjectionConverter();

    void reset();
    void setMargins(int left, int right, int bottom, int top);
    // The outer pixels of the map area that are a drawn frame line, not map
    // (0: none). Interpolation leaves them out; nearest takes the nearest map
    // pixel inside them.
    void setFrameLine(int pixels) { m_frameLine = std::max(0, pixels); }
    int frameLine() const { return m_frameLine; }
    // Stores the name; returns false (and leaves the converter unusable until a
    // known name is set) when the name is not in projectionList().
    bool setProjection(const QString &name);
    void setLonRange(double min, double max);
    void setLatRange(double min, double max);

    bool isUsable() const { return m_usable; }
    // A projection beyond Miller and Mercator, computed through PROJ by WorldMap.
    bool isWorldProjection() const;
    // The projection, box and map area of a width x height source, for WorldMap.
    WorldBox worldBox(int width, int height) const;

    // Kept by reset(): how remap samples, and on how many threads (0: one per
    // core). Neither changes the result, only how it is computed.
    void setResampling(Resampling method) { m_resampling = method; }
    Resampling resampling() const { return m_resampling; }
    void setThreadCount(int count) { m_threadCount = count; }
    int threadCount() const { return m_threadCount; }

    double projectLatitude(double latitude) const;
    void prepare(double width, double height);
    int lonToColumn(double longitude) const;
    int latToRow(double latitude) const;

    // Fast gather over per-row source rows and per-column source columns, or
    // separable interpolation from per-row and per-column tap tables. With
    // processEvents the event loop runs between blocks of rows. A source in
    // another format than (A)RGB32 is converted, a target turned into ARGB32;
    // a one-row target stands for lat 90, a one-column target for lon -180.
    void remap(const QImage &source, QImage &target, bool processEvents = true);
    // Straightforward per-pixel evaluation; the reference the fast path must equal.
    void remapReference(const QImage &source, QImage &target) const;

    ConvertParams exportParams() const;

    // The widest vector instructions remap may use, where the processor has
    // them; the result never depends on it. Lets tests and benchmarks run the
    // narrower paths on any machine.
    static void setWidestVectorPath(VectorPath widest);
    static VectorPath vectorPath();

    // Truncation toward zero; non-finite or out-of-range values give INT_MIN.
    static int truncToInt(double v);

    int marginLeft() const { return m_marginLeft; }
    int marginRight() const { return m_marginRight; }
    int marginBottom() const { return m_marginBottom; }
    int marginTop() const { return m_marginTop; }
    QString projection() const { return m_projection; }
    double projectionFactor() const { return m_factor; }
    double lonMin() const { return m_lonMin; }
    double lonMax() const { return m_lonMax; }
    double latMin() const { return m_latMin; }
    double latMax() const { return m_latMax; }
    double lonSpan() const { return m_lonSpan; }
    double scaleX() const { return m_scaleX; }
    double offsetX() const { return m_offsetX; }
    double scaleY() const { return m_scaleY; }
    double offsetY() const { return m_offsetY; }

private:
    // The two linear maps of prepare, as one value so that remap can keep a copy.
    struct LinearMaps
    {
        double scaleX;
        double offsetX;
        double scaleY;
        double offsetY;
    };
    LinearMaps linearMaps(double width, double height) const;

    // Where the samples of a width2 x height2 target fall in the source, and
    // how many source pixels each covers; one definition for the fast path
    // and the reference.
    struct SampleGeometry
    {
        int w = 0;
        int h = 0;
        int left = 0;
        int top = 0;
        qint64 right = 0;
        qint64 bottom = 0;
        double rowStep = 0.0;
        double columnStep = 0.0;
        double scaleX = 1.0;
        double offsetX = 0.0;
        double scaleY = 1.0;
        double offsetY = 0.0;
        double a = 1.0;
        double lonMin = -180.0;
        double columnFootprint = 1.0;
        AxisRange columns;
        AxisRange rows;

        double columnPosition(int j) const;
        double rowPosition(int i) const;
        double rowFootprint(int i) const;
        bool columnInside(int u) const;
        bool rowInside(int v) const;
    };
    SampleGeometry sampleGeometry(const QImage &src, int width2, int height2) const;
    void interpolateReference(const QImage &src, QImage &target) const;

    const double m_pi;
    const double m_degree;
    int m_marginLeft = 0;
    int m_marginRight = 0;
    int m_marginBottom = 0;
    int m_marginTop = 0;
    QString m_projection;
    double m_factor = 1.0;
    double m_lonMin = -180.0;
    double m_lonMax = 180.0;
    double m_latMin = -90.0;
    double m_latMax = 90.0;
    double m_lonSpan = 360.0;
    double m_scaleX = 1.0;
    double m_offsetX = 0.0;
    double m_scaleY = 1.0;
    double m_offsetY = 0.0;
    bool m_usable = true;
    Resampling m_resampling = Resampling::Nearest;
    int m_threadCount = 0;
    int m_frameLine = 0;
    // The last world map's geometry, for the next remap with the same box;
    // copies of the converter (a batch's workers) share it.
    struct WorldCache
    {
        std::mutex lock;
        std::shared_ptr<const WorldMap> map;
    };
    std::shared_ptr<WorldCache> m_worldCache = std::make_shared<WorldCache>();
};
