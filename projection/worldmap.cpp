#include "projection/worldmap.h"

#include "projection/forwardprojection.h"
#include "projection/projectionconverter.h"
#include "projection/worldcolumns.h"

#include <QtMath>

#include <algorithm>
#include <cmath>
#include <functional>
#include <thread>

namespace {

// Just inside the edge meridians, so that PROJ does not wrap them to the
// other side.
constexpr double kEdge = 1e-7;

double wrapEast(double lon, double lonMin)
{
    double d = std::fmod(lon - lonMin, 360.0);
    if (d < 0.0)
        d += 360.0;
    return d;
}

} // namespace

bool operator==(const WorldBox &a, const WorldBox &b)
{
    return a.projection == b.projection && a.lonMin == b.lonMin && a.lonSpan == b.lonSpan
        && a.latMin == b.latMin && a.latMax == b.latMax && a.left == b.left && a.top == b.top
        && a.right == b.right && a.bottom == b.bottom && a.frame == b.frame;
}

WorldMap::WorldMap(const WorldBox &box)
    : m_box(box)
{
    const double half = box.lonSpan / 2.0;
    m_lon0 = std::remainder(box.lonMin + half, 360.0);
    m_forward = std::make_unique<ForwardProjection>(box.projection, m_lon0);
    m_linear = box.projection != QLatin1String("winkel-tripel");
    if (!m_forward->isValid() || box.right <= box.left || box.bottom <= box.top
        || !(box.lonSpan > 0.0) || !(box.latMax > box.latMin))
        return;

    // The bounding rectangle of the box's outline, and the edge meridians
    // sampled for the rows' spans below.
    bool first = true;
    auto take = [&](double x, double y) {
        if (first) {
            m_xMin = m_xMax = x;
            m_yMin = m_yMax = y;
            first = false;
        }
        m_xMin = std::min(m_xMin, x);
        m_xMax = std::max(m_xMax, x);
        m_yMin = std::min(m_yMin, y);
        m_yMax = std::max(m_yMax, y);
    };
    constexpr int kSteps = 1440;
    std::vector<double> sampleLat;
    std::vector<double> westY;
    std::vector<double> eastY;
    for (int k = 0; k <= kSteps; ++k) {
        const double lat = box.latMin + (box.latMax - box.latMin) * k / kSteps;
        double x = 0.0;
        double y = 0.0;
        if (m_linear) {
            // x is largest on the edge meridians, y depends on the latitude alone.
            double perDegree = 0.0;
            if (rowGeometry(lat, &perDegree, &y)) {
                take(-half * perDegree, y);
                take(half * perDegree, y);
            }
            continue;
        }
        const double d = -half + kEdge + (box.lonSpan - 2 * kEdge) * k / kSteps;
        if (forward(d, box.latMin, &x, &y))
            take(x, y);
        if (forward(d, box.latMax, &x, &y))
            take(x, y);
        if (forward(0.0, lat, &x, &y))
            take(x, y);
        double xw = 0.0;
        double yw = 0.0;
        double xe = 0.0;
        double ye = 0.0;
        if (forward(-half + kEdge, lat, &xw, &yw) && forward(half - kEdge, lat, &xe, &ye)) {
            take(xw, yw);
            take(xe, ye);
            sampleLat.push_back(lat);
            westY.push_back(yw);
            eastY.push_back(ye);
        }
    }
    if (m_linear) {
        // The widest row: the one nearest the equator.
        double perDegree = 0.0;
        double y = 0.0;
        if (rowGeometry(std::clamp(0.0, box.latMin, box.latMax), &perDegree, &y)) {
            take(-half * perDegree, y);
            take(half * perDegree, y);
        }
    }
    if (first || !(m_xMax > m_xMin) || !(m_yMax > m_yMin))
        return;
    m_scaleX = (box.right - box.left) / (m_xMax - m_xMin);
    m_scaleY = (box.bottom - box.top) / (m_yMax - m_yMin);

    // Each row's span between the edge meridians; whole pixels only, since
    // the outline's own pixels are blended with the page.
    m_rowLo.resize(size_t(box.bottom - box.top + 1));
    m_rowHi.resize(m_rowLo.size());
    for (int v = box.top; v <= box.bottom; ++v) {
        const double y = std::clamp(m_yMax - (v + 0.5 - box.top) / m_scaleY, m_yMin, m_yMax);
        double lo = std::numeric_limits<double>::infinity();
        double hi = -lo;
        if (m_linear) {
            const double lat = latitudeOnMeridian(0.0, y, {}, {});
            double perDegree = 0.0;
            double unused = 0.0;
            if (std::isfinite(lat) && rowGeometry(lat, &perDegree, &unused)) {
                lo = box.left + (-half * perDegree - m_xMin) * m_scaleX + 0.5;
                hi = box.left + (half * perDegree - m_xMin) * m_scaleX - 0.5;
            }
        } else {
            const double west = latitudeOnMeridian(-half + kEdge, y, sampleLat, westY);
            const double east = latitudeOnMeridian(half - kEdge, y, sampleLat, eastY);
            double xw = 0.0;
            double xe = 0.0;
            double unused = 0.0;
            if (std::isfinite(west) && std::isfinite(east)
                && forward(-half + kEdge, west, &xw, &unused)
                && forward(half - kEdge, east, &xe, &unused)) {
                lo = box.left + (xw - m_xMin) * m_scaleX + 0.5;
                hi = box.left + (xe - m_xMin) * m_scaleX - 0.5;
            }
        }
        // A frame line along the outline is not map: the spans end inside it,
        // and its rows at the top and bottom have none.
        if (v < box.top + box.frame || v > box.bottom - box.frame) {
            lo = std::numeric_limits<double>::infinity();
            hi = -lo;
        }
        m_rowLo[size_t(v - box.top)] = lo + box.frame;
        m_rowHi[size_t(v - box.top)] = hi - box.frame;
    }
    m_valid = true;
}

WorldMap::WorldMap(const WorldMap &other, Clone)
    : m_box(other.m_box)
    , m_forward(std::make_unique<ForwardProjection>(other.m_box.projection, other.m_lon0))
    , m_valid(other.m_valid)
    , m_linear(other.m_linear)
    , m_lon0(other.m_lon0)
    , m_xMin(other.m_xMin)
    , m_xMax(other.m_xMax)
    , m_yMin(other.m_yMin)
    , m_yMax(other.m_yMax)
    , m_scaleX(other.m_scaleX)
    , m_scaleY(other.m_scaleY)
    , m_rowLo(other.m_rowLo)
    , m_rowHi(other.m_rowHi)
{ }

WorldMap::~WorldMap() = default;

bool WorldMap::forward(double relativeLon, double lat, double *x, double *y) const
{
    return m_forward->forward(m_lon0 + relativeLon, lat, x, y);
}

// Along a meridian y grows with the latitude: the latitude of a projected y,
// or NaN beyond the box. Where y depends on the latitude alone PROJ's inverse
// on the central meridian gives it; otherwise regula falsi between the two
// samples of the meridian (latitudes and their y) that hold it.
double WorldMap::latitudeOnMeridian(double relativeLon, double y,
    const std::vector<double> &sampleLat, const std::vector<double> &sampleY) const
{
    constexpr double kNone = std::numeric_limits<double>::quiet_NaN();
    if (m_linear) {
        double lon = 0.0;
        double lat = 0.0;
        if (!m_forward->inverse(0.0, y, &lon, &lat) || lat < m_box.latMin - 1e-9
            || lat > m_box.latMax + 1e-9)
            return kNone;
        return std::clamp(lat, m_box.latMin, m_box.latMax);
    }
    if (sampleY.empty() || y < sampleY.front() || y > sampleY.back())
        return kNone;
    const size_t k = size_t(std::upper_bound(sampleY.begin(), sampleY.end(), y) - sampleY.begin());
    if (k >= sampleY.size())
        return sampleLat.back();
    if (k == 0)
        return sampleLat.front();
    double a = sampleLat[k - 1];
    double b = sampleLat[k];
    double fa = sampleY[k - 1] - y;
    double fb = sampleY[k] - y;
    // The Illinois variant: an end kept twice has its value halved, so both
    // ends close in.
    int kept = 0;
    for (int i = 0; i < 60 && b - a > 1e-12 && fa != 0.0; ++i) {
        double c = fb != fa ? (a * fb - b * fa) / (fb - fa) : (a + b) / 2.0;
        if (!(c > a && c < b))
            c = (a + b) / 2.0;
        double x = 0.0;
        double yc = 0.0;
        if (!forward(relativeLon, c, &x, &yc))
            return kNone;
        const double fc = yc - y;
        if (fc == 0.0)
            return c;
        if ((fc > 0.0) == (fb > 0.0)) {
            b = c;
            fb = fc;
            if (kept == -1)
                fa /= 2.0;
            kept = -1;
        } else {
            a = c;
            fa = fc;
            if (kept == 1)
                fb /= 2.0;
            kept = 1;
        }
        if (std::fabs(fc) < 1e-15)
            return c;
    }
    return std::fabs(fa) <= std::fabs(fb) ? a : b;
}

bool WorldMap::rowGeometry(double lat, double *xPerDegree, double *y) const
{
    double x = 0.0;
    if (!forward(90.0, lat, &x, y))
        return false;
    *xPerDegree = x / 90.0;
    return true;
}

double WorldMap::columnOf(double east, double xPerDegree) const
{
    return m_box.left + ((east - m_box.lonSpan / 2.0) * xPerDegree - m_xMin) * m_scaleX;
}

bool WorldMap::position(double lon, double lat, double *u, double *v) const
{
    if (!m_valid || !std::isfinite(lon) || lat < m_box.latMin || lat > m_box.latMax)
        return false;
    const double east = wrapEast(lon, m_box.lonMin);
    if (east > m_box.lonSpan)
        return false;
    double x = 0.0;
    double y = 0.0;
    if (m_linear) {
        double perDegree = 0.0;
        if (!rowGeometry(lat, &perDegree, &y))
            return false;
        *u = columnOf(east, perDegree);
    } else {
        const double half = m_box.lonSpan / 2.0;
        if (!forward(std::clamp(east - half, -half + kEdge, half - kEdge), lat, &x, &y))
            return false;
        *u = m_box.left + (x - m_xMin) * m_scaleX;
    }
    *v = m_box.top + (m_yMax - y) * m_scaleY;
    return true;
}

namespace {

bool sameColumns(const ColumnSpan &a, const ColumnSpan &b)
{
    return a.pixelsPerDegree == b.pixelsPerDegree && a.plain == b.plain && a.lo == b.lo
        && a.hi == b.hi && a.first == b.first && a.last == b.last;
}

// The knots along one axis of n samples, about `every` apart, the last
// sample always one; never fewer than two (equal for a single sample).
std::vector<int> knotsOf(int n, int every)
{
    std::vector<int> knots;
    for (int k = 0; k < n - 1; k += every)
        knots.push_back(k);
    knots.push_back(std::max(0, n - 1));
    if (knots.size() < 2)
        knots.push_back(knots.back());
    return knots;
}

// The cell of sample k among the knots (the last sample closes the last
// cell) and how far along it the sample lies.
void cellOf(const std::vector<int> &knots, int k, int *cell, double *along)
{
    const int last = int(knots.size()) - 2;
    int c = int(std::upper_bound(knots.begin(), knots.end(), k) - knots.begin()) - 1;
    c = std::clamp(c, 0, last);
    *cell = c;
    *along = double(k - knots[size_t(c)]) / std::max(1, knots[size_t(c) + 1] - knots[size_t(c)]);
}

// Runs fn(from, to, map) over [0, count) on up to `threads` threads, each
// with a PROJ object of its own.
template <typename Fn>
void splitOver(int count, int threads, const WorldMap &map, const Fn &fn,
    const std::function<std::unique_ptr<WorldMap>()> &clone)
{
    const int n = std::max(
        1, std::min(count, threads > 0 ? threads : int(std::thread::hardware_concurrency())));
    std::vector<std::thread> workers;
    for (int t = 1; t < n; ++t)
        workers.emplace_back([&, t] {
            const std::unique_ptr<WorldMap> own = clone();
            fn(count * t / n, count * (t + 1) / n, *own);
        });
    fn(0, count / n, map);
    for (std::thread &worker : workers)
        worker.join();
}

// Winkel tripel's positions are smooth enough for bilinear interpolation
// within 0.05 px over cells of this many radians at `scale` pixels per unit:
// the error is at most an eighth of the cell squared times the second
// derivative, bounded by kCurvature.
constexpr double kCurvature = 2.5;
constexpr double kKnotError = 0.05;

} // namespace

std::shared_ptr<const WorldMap::Target> WorldMap::target(int width, int height, int threads) const
{
    std::lock_guard<std::mutex> lock(m_targetLock);
    if (m_target && m_target->m_width == width && m_target->m_height == height)
        return m_target;
    auto t = std::make_shared<Target>();
    const int w2 = std::max(0, width);
    const int h2 = std::max(0, height);
    t->m_width = w2;
    t->m_height = h2;
    t->m_linear = m_linear;
    t->m_centre = m_box.left - m_xMin * m_scaleX;
    const double rowStep = h2 > 1 ? 180.0 / (h2 - 1) : 0.0;
    const double columnStep = w2 > 1 ? 360.0 / (w2 - 1) : 0.0;
    const double half = m_box.lonSpan / 2.0;
    t->m_offset.resize(size_t(w2));
    t->m_columnOk.resize(size_t(w2));
    for (int j = 0; j < w2; ++j) {
        const double east = wrapEast(j * columnStep - 180.0, m_box.lonMin);
        t->m_offset[size_t(j)] = east - half;
        t->m_columnOk[size_t(j)] = m_valid && east <= m_box.lonSpan ? 1 : 0;
    }
    auto latOf = [&](int i) { return 90.0 - i * rowStep; };
    auto inLatitude = [&](double lat) { return lat >= m_box.latMin && lat <= m_box.latMax; };

    if (m_linear) {
        t->m_pixelsPerDegree.assign(size_t(h2), 0.0);
        t->m_rowV.assign(size_t(h2), 0.0);
        t->m_rowOk.assign(size_t(h2), 0);
        for (int i = 0; i < h2 && m_valid; ++i) {
            double perDegree = 0.0;
            double y = 0.0;
            if (inLatitude(latOf(i)) && rowGeometry(latOf(i), &perDegree, &y)) {
                t->m_pixelsPerDegree[size_t(i)] = perDegree * m_scaleX;
                t->m_rowV[size_t(i)] = m_box.top + (m_yMax - y) * m_scaleY;
                t->m_rowOk[size_t(i)] = 1;
            }
        }
        m_target = t;
        return t;
    }

    // The exact position of a sample, through a given map's PROJ object.
    auto exact = [&](const WorldMap &own, int i, int j, double *u, double *v) {
        const double lat = latOf(i);
        double x = 0.0;
        double y = 0.0;
        if (!t->m_columnOk[size_t(j)] || !inLatitude(lat)
            || !own.forward(
                std::clamp(t->m_offset[size_t(j)], -half + kEdge, half - kEdge), lat, &x, &y))
            return false;
        *u = m_box.left + (x - m_xMin) * m_scaleX;
        *v = m_box.top + (m_yMax - y) * m_scaleY;
        return true;
    };
    const double cell = std::min(2.0,
        qRadiansToDegrees(
            std::sqrt(8.0 * kKnotError / (kCurvature * std::max(m_scaleX, m_scaleY)))));
    t->m_knotColumns = knotsOf(w2, columnStep > 0.0 ? std::max(1, int(cell / columnStep)) : 1);
    t->m_knotRows = knotsOf(h2, rowStep > 0.0 ? std::max(1, int(cell / rowStep)) : 1);
    const size_t nc = t->m_knotColumns.size();
    const size_t nr = t->m_knotRows.size();
    t->m_knotU.assign(nc * nr, 0.0);
    t->m_knotV.assign(nc * nr, 0.0);
    t->m_knotOk.assign(nc * nr, 0);
    t->m_cellOfColumn.resize(size_t(w2));
    t->m_alongCell.resize(size_t(w2));
    for (int j = 0; j < w2; ++j)
        cellOf(t->m_knotColumns, j, &t->m_cellOfColumn[size_t(j)], &t->m_alongCell[size_t(j)]);
    t->m_exact.assign(size_t(h2), {});
    if (!m_valid || w2 == 0 || h2 == 0) {
        t->m_straight.assign((nc - 1) * (nr - 1), 0);
        m_target = t;
        return t;
    }
    auto clone = [this] { return std::unique_ptr<WorldMap>(new WorldMap(*this, Clone())); };
    splitOver(
        int(nr), threads, *this,
        [&](int from, int to, const WorldMap &own) {
            for (int r = from; r < to; ++r)
                for (size_t c = 0; c < nc; ++c) {
                    const size_t k = size_t(r) * nc + c;
                    t->m_knotOk[k] = exact(own, t->m_knotRows[size_t(r)], t->m_knotColumns[c],
                        &t->m_knotU[k], &t->m_knotV[k]);
                }
        },
        clone);
    // A cell is straight when its four knots lie inside the box with no wrap
    // between its columns; any other cell is computed pixel by pixel.
    t->m_straight.assign((nc - 1) * (nr - 1), 0);
    for (size_t r = 0; r + 1 < nr; ++r)
        for (size_t c = 0; c + 1 < nc; ++c) {
            const size_t k = r * nc + c;
            const int j0 = t->m_knotColumns[c];
            const int j1 = t->m_knotColumns[c + 1];
            t->m_straight[r * (nc - 1) + c] = t->m_knotOk[k] && t->m_knotOk[k + 1]
                && t->m_knotOk[k + nc] && t->m_knotOk[k + nc + 1]
                && t->m_offset[size_t(j1)] > t->m_offset[size_t(j0)];
        }
    // A straight cell is interior when every position in it (between its
    // knots' extremes) lies a pixel or more inside the span of each source
    // row it reaches: nearest needs no look at the outline there.
    t->m_interior.assign(t->m_straight.size(), 0);
    for (size_t r = 0; r + 1 < nr; ++r)
        for (size_t c = 0; c + 1 < nc; ++c) {
            if (!t->m_straight[r * (nc - 1) + c])
                continue;
            const size_t k[4]
                = { r * nc + c, r * nc + c + 1, (r + 1) * nc + c, (r + 1) * nc + c + 1 };
            double uLo = t->m_knotU[k[0]];
            double uHi = uLo;
            double vLo = t->m_knotV[k[0]];
            double vHi = vLo;
            for (const size_t q : k) {
                uLo = std::min(uLo, t->m_knotU[q]);
                uHi = std::max(uHi, t->m_knotU[q]);
                vLo = std::min(vLo, t->m_knotV[q]);
                vHi = std::max(vHi, t->m_knotV[q]);
            }
            // A margin for the rounding of the interpolation.
            vLo -= 1e-6;
            vHi += 1e-6;
            if (!(vLo >= m_box.top && vHi < m_box.bottom))
                continue;
            bool inside = true;
            for (int pv = int(vLo); pv <= int(vHi) && inside; ++pv) {
                const double lo = m_rowLo[size_t(pv - m_box.top)];
                const double hi = m_rowHi[size_t(pv - m_box.top)];
                inside = lo >= 0.0 && uLo >= lo + 1.0 && uHi <= hi - 1.0;
            }
            t->m_interior[r * (nc - 1) + c] = inside;
        }
    splitOver(
        h2, threads, *this,
        [&](int from, int to, const WorldMap &own) {
            for (int i = from; i < to; ++i) {
                int r = 0;
                double along = 0.0;
                cellOf(t->m_knotRows, i, &r, &along);
                for (int j = 0; j < w2; ++j) {
                    if (t->m_straight[size_t(r) * (nc - 1) + size_t(t->m_cellOfColumn[size_t(j)])])
                        continue;
                    Target::Exact e { j, 0.0, 0.0, 0 };
                    e.ok = exact(own, i, j, &e.u, &e.v) ? 1 : 0;
                    t->m_exact[size_t(i)].push_back(e);
                }
            }
        },
        clone);
    m_target = t;
    return t;
}

void WorldMap::Target::row(int i, double *u, double *v, unsigned char *ok) const
{
    const size_t w = size_t(m_width);
    if (m_linear) {
        const bool rowOk = m_rowOk[size_t(i)];
        const double perDegree = m_pixelsPerDegree[size_t(i)];
        for (size_t j = 0; j < w; ++j) {
            u[j] = columnAt(m_offset[j], perDegree);
            v[j] = m_rowV[size_t(i)];
            ok[j] = rowOk && m_columnOk[j];
        }
        return;
    }
    int r = 0;
    double t = 0.0;
    const size_t nc = m_knotColumns.size();
    std::vector<double> au(nc);
    std::vector<double> av(nc);
    knotRow(i, &r, &t, au.data(), av.data());
    const unsigned char *straight = m_straight.data() + size_t(r) * (nc - 1);
    for (size_t j = 0; j < w; ++j) {
        const size_t c = size_t(m_cellOfColumn[j]);
        ok[j] = straight[c];
        if (!ok[j])
            continue;
        const double s = m_alongCell[j];
        u[j] = au[c] + s * (au[c + 1] - au[c]);
        v[j] = av[c] + s * (av[c + 1] - av[c]);
    }
    for (const Exact &e : m_exact[size_t(i)]) {
        u[e.column] = e.u;
        v[e.column] = e.v;
        ok[e.column] = e.ok;
    }
}

bool WorldMap::lonLatAt(double u, double v, double *lon, double *lat) const
{
    if (!m_valid)
        return false;
    const double x = m_xMin + (u - m_box.left) / m_scaleX;
    const double y = m_yMax - (v - m_box.top) / m_scaleY;
    double l = 0.0;
    double p = 0.0;
    if (!m_forward->inverse(x, y, &l, &p) || p < m_box.latMin || p > m_box.latMax)
        return false;
    // PROJ's inverse answers outside the outline too: the forward of its
    // answer must come back to the same place.
    const double east = wrapEast(l, m_box.lonMin);
    double bu = 0.0;
    double bv = 0.0;
    if (east > m_box.lonSpan || !position(l, p, &bu, &bv) || std::fabs(bu - u) > 0.5
        || std::fabs(bv - v) > 0.5)
        return false;
    *lon = l;
    *lat = p;
    return true;
}

void WorldMap::rowSpan(int v, double *lo, double *hi) const
{
    if (!m_valid || v < m_box.top || v > m_box.bottom) {
        *lo = std::numeric_limits<double>::infinity();
        *hi = -*lo;
        return;
    }
    *lo = m_rowLo[size_t(v - m_box.top)];
    *hi = m_rowHi[size_t(v - m_box.top)];
}

void WorldMap::Target::knotRow(int i, int *r, double *t, double *u, double *v) const
{
    cellOf(m_knotRows, i, r, t);
    const size_t nc = m_knotColumns.size();
    const size_t k = size_t(*r) * nc;
    const VectorPath path = ProjectionConverter::vectorPath();
    interpolateKnots(m_knotU.data() + k, m_knotU.data() + k + nc, *t, int(nc), u, path);
    interpolateKnots(m_knotV.data() + k, m_knotV.data() + k + nc, *t, int(nc), v, path);
}

// The pixel of row v nearest to position p inside the outline, wrapped around
// a whole-world row; -1 where there is none.
int WorldMap::nearestInside(int v, double p) const
{
    double lo = 0.0;
    double hi = 0.0;
    rowSpan(v, &lo, &hi);
    if (!(hi - lo >= 1.0))
        return -1;
    if (p >= lo && p <= hi) {
        // Inside already: no wrap to compute.
    } else if (m_box.lonSpan >= 360.0) {
        const double width = hi - lo;
        p = lo + std::fmod(std::fmod(p - lo, width) + width, width);
    } else {
        return -1;
    }
    return std::clamp(int(std::floor(p)), int(std::ceil(lo - 0.5)), int(std::floor(hi - 0.5)));
}

void WorldMap::remap(const QImage &source, QImage &target, Resampling method, int threads) const
{
    remapRows(source, target, method, threads, false);
}

void WorldMap::remapReference(
    const QImage &source, QImage &target, Resampling method, int threads) const
{
    remapRows(source, target, method, threads, true);
}

void WorldMap::remapRows(
    const QImage &source, QImage &target, Resampling method, int threads, bool reference) const
{
    if (!m_valid || target.isNull())
        return;
    const QImage src
        = source.format() == QImage::Format_RGB32 || source.format() == QImage::Format_ARGB32
        ? source
        : source.convertToFormat(QImage::Format_ARGB32);
    if (target.format() != QImage::Format_ARGB32)
        target = target.convertToFormat(QImage::Format_ARGB32);
    if (src.width() <= m_box.right || src.height() <= m_box.bottom || m_box.left < 0
        || m_box.top < 0)
        return;
    const int w2 = target.width();
    const int h2 = target.height();
    const std::shared_ptr<const Target> positions = this->target(w2, h2, threads);
    const Target &g = *positions;
    const VectorPath path = ProjectionConverter::vectorPath();
    // Source pixels by offset from the first, rows stride pixels apart.
    const QRgb *const bits = reinterpret_cast<const QRgb *>(src.constBits());
    const qint64 stride = src.bytesPerLine() / qint64(sizeof(QRgb));
    auto sourceLine = [&](int v) { return bits + v * stride; };

    // Nearest, pixel by pixel: where the outline narrows to a point
    // (Mollweide's poles), the nearest row that the map crosses.
    auto nearestPixel = [&](double u, double v, QRgb *out) {
        int pv = std::clamp(int(std::floor(v)), m_box.top, m_box.bottom);
        const int towards = pv < (m_box.top + m_box.bottom) / 2 ? 1 : -1;
        int pu = nearestInside(pv, u);
        for (int k = 0; k < 4 + m_box.frame && pu < 0; ++k) {
            pv += towards;
            pu = nearestInside(pv, u);
        }
        if (pu >= 0)
            *out = sourceLine(pv)[pu];
    };
    // The fast gather: inside row v's span, the pixel under u; elsewhere
    // pixel by pixel. The span's columns are filled in where a row's source
    // columns are computed together.
    auto spanOf = [&](int pv) {
        ColumnSpan span;
        rowSpan(pv, &span.lo, &span.hi);
        span.plain = span.hi - span.lo >= 1.0 && span.lo >= 0.0;
        if (span.plain) {
            span.first = int(std::ceil(span.lo - 0.5));
            span.last = int(std::floor(span.hi - 0.5));
        }
        return span;
    };

    auto rows = [&](int from, int to) {
        const size_t n = size_t(w2);
        std::vector<double> u(n);
        std::vector<double> v(n);
        std::vector<unsigned char> ok(n);
        std::vector<double> vNear(n);
        std::vector<unsigned char> okNear(n);
        std::vector<double> unused(n);
        std::vector<int> index(n);
        ColumnSpan indexFor;
        bool indexed = false;
        std::vector<int> negatives;
        AxisTaps columnTaps;
        AxisTaps rowTaps;
        const AxisRange columns { m_box.left, m_box.right, 0 };
        const AxisRange rowRange { m_box.top, m_box.bottom, 0 };
        if (method == Resampling::Nearest && !reference && !g.m_linear) {
            // Interior cells straight from their knots; the others pixel by
            // pixel.
            const size_t nc = g.m_knotColumns.size();
            std::vector<double> knotU(nc);
            std::vector<double> knotV(nc);
            for (int i = from; i < to; ++i) {
                QRgb *out = reinterpret_cast<QRgb *>(target.scanLine(i));
                int r = 0;
                double t = 0.0;
                g.knotRow(i, &r, &t, knotU.data(), knotV.data());
                KnotRow row;
                row.u = knotU.data();
                row.v = knotV.data();
                row.columns = g.m_knotColumns.data();
                row.interior = g.m_interior.data() + size_t(r) * (nc - 1);
                row.cells = int(nc) - 1;
                row.along = g.m_alongCell.data();
                gatherInteriorCells(row, 0, row.cells, bits, stride, out, path);
                // The other cells as row() gives them: straight ones from the
                // same knots, the rest from the exact pixels.
                const unsigned char *straight = g.m_straight.data() + size_t(r) * (nc - 1);
                const std::vector<Target::Exact> &exact = g.m_exact[size_t(i)];
                size_t e = 0;
                int lastRow = -1;
                ColumnSpan span;
                for (int c = 0; c + 1 < int(nc); ++c) {
                    if (row.interior[c])
                        continue;
                    const int end = c + 2 == int(nc) ? row.columns[c + 1] + 1 : row.columns[c + 1];
                    for (int j = row.columns[c]; j < end; ++j) {
                        double pu = 0.0;
                        double pv = 0.0;
                        if (straight[c]) {
                            const double s = row.along[j];
                            pu = knotU[size_t(c)] + s * (knotU[size_t(c) + 1] - knotU[size_t(c)]);
                            pv = knotV[size_t(c)] + s * (knotV[size_t(c) + 1] - knotV[size_t(c)]);
                        } else {
                            while (e < exact.size() && exact[e].column < j)
                                ++e;
                            if (e == exact.size() || exact[e].column != j || !exact[e].ok)
                                continue;
                            pu = exact[e].u;
                            pv = exact[e].v;
                        }
                        if (pv >= 0.0) {
                            const int pr = std::clamp(int(pv), m_box.top, m_box.bottom);
                            if (pr != lastRow) {
                                span = spanOf(pr);
                                lastRow = pr;
                            }
                            if (span.plain && pu >= span.lo && pu <= span.hi) {
                                out[j] = sourceLine(pr)[std::clamp(int(pu), span.first, span.last)];
                                continue;
                            }
                        }
                        nearestPixel(pu, pv, out + j);
                    }
                }
            }
            return;
        }
        for (int i = from; i < to; ++i) {
            QRgb *out = reinterpret_cast<QRgb *>(target.scanLine(i));
            if (method == Resampling::Nearest && !reference && g.m_linear) {
                // One source row for the whole target row.
                if (!g.m_rowOk[size_t(i)])
                    continue;
                const double perDegree = g.m_pixelsPerDegree[size_t(i)];
                const double rowV = g.m_rowV[size_t(i)];
                const int pv = std::clamp(int(std::floor(rowV)), m_box.top, m_box.bottom);
                ColumnSpan columnSpan = spanOf(pv);
                const QRgb *line = sourceLine(pv);
                // The source column of every target column first (-1 outside
                // the box, -2 where the pixel needs the outline's care), then
                // the runs copied. Rows of a cylindrical map share one table.
                columnSpan.centre = g.m_centre;
                columnSpan.pixelsPerDegree = perDegree;
                if (!(indexed && sameColumns(columnSpan, indexFor))) {
                    worldColumns(g.m_offset.data(), g.m_columnOk.data(), w2, columnSpan,
                        index.data(), &negatives, path);
                    indexFor = columnSpan;
                    indexed = true;
                }
                int j = 0;
                for (const int q : negatives) {
                    gatherRun(line, index.data() + j, out + j, q - j);
                    if (index[size_t(q)] == -2)
                        nearestPixel(g.columnAt(g.m_offset[size_t(q)], perDegree), rowV, out + q);
                    j = q + 1;
                }
                gatherRun(line, index.data() + j, out + j, w2 - j);
                continue;
            }
            g.row(i, u.data(), v.data(), ok.data());
            if (method == Resampling::Nearest) {
                for (int j = 0; j < w2; ++j)
                    if (ok[size_t(j)])
                        nearestPixel(u[size_t(j)], v[size_t(j)], out + j);
                continue;
            }
            // Footprints from the neighbouring samples' positions: the next
            // row's (the previous at the box's edge), and the nearest pair of
            // columns with no wrap between them.
            const int below = i + 1 < h2 ? i + 1 : i - 1;
            const int above = i - 1 >= 0 ? i - 1 : i + 1;
            auto columnFootprint = [&](int j) {
                for (const int d : { 0, -1, 1, -2 }) {
                    const int a = j + d;
                    const int b = a + 1;
                    if (a >= 0 && b < w2 && ok[size_t(a)] && ok[size_t(b)]
                        && g.m_offset[size_t(b)] > g.m_offset[size_t(a)])
                        return std::fabs(u[size_t(b)] - u[size_t(a)]);
                }
                return 1.0;
            };
            std::vector<double> rowFootprint(n, 1.0);
            for (const int n : { above, below }) {
                if (n < 0 || n >= h2 || n == i)
                    continue;
                g.row(n, unused.data(), vNear.data(), okNear.data());
                for (int j = 0; j < w2; ++j)
                    if (okNear[size_t(j)] && ok[size_t(j)])
                        rowFootprint[size_t(j)] = std::fabs(vNear[size_t(j)] - v[size_t(j)]);
            }
            for (int j = 0; j < w2; ++j) {
                if (!ok[size_t(j)])
                    continue;
                columnTaps.clear();
                rowTaps.clear();
                appendTaps(
                    columnTaps, method, u[size_t(j)], std::max(1e-9, columnFootprint(j)), columns);
                appendTaps(rowTaps, method, v[size_t(j)], std::max(1e-9, rowFootprint[size_t(j)]),
                    rowRange);
                float sum[4] = { 0, 0, 0, 0 };
                double weights = 0.0;
                for (int r = rowTaps.first[0]; r < rowTaps.first[1]; ++r) {
                    const int pv = rowTaps.index[size_t(r)];
                    const QRgb *line = sourceLine(pv);
                    for (int c = columnTaps.first[0]; c < columnTaps.first[1]; ++c) {
                        const int pu = nearestInside(pv, columnTaps.index[size_t(c)] + 0.5);
                        if (pu < 0)
                            continue;
                        const float w = rowTaps.weight[size_t(r)] * columnTaps.weight[size_t(c)];
                        float p[4];
                        premultiplied(line[pu], p);
                        for (int k = 0; k < 4; ++k)
                            sum[k] += w * p[k];
                        weights += w;
                    }
                }
                // Every tap on the frame line: the nearest map pixel.
                if (weights <= 0.0) {
                    if (m_box.frame > 0)
                        nearestPixel(u[size_t(j)], v[size_t(j)], out + j);
                    continue;
                }
                for (float &x : sum)
                    x = float(x / weights);
                out[j] = unpremultiplied(sum);
            }
        }
    };

    const int count = std::max(
        1, std::min(h2, threads > 0 ? threads : int(std::thread::hardware_concurrency())));
    std::vector<std::thread> workers;
    for (int t = 1; t < count; ++t)
        workers.emplace_back(rows, h2 * t / count, h2 * (t + 1) / count);
    rows(0, h2 / count);
    for (std::thread &worker : workers)
        worker.join();
}
