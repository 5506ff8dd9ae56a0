#include "projection/worldmap.h"

#include "projection/forwardprojection.h"

#include <QtMath>

#include <algorithm>
#include <cmath>
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

    // The bounding rectangle of the box's outline.
    bool first = true;
    auto take = [&](double d, double lat) {
        double x = 0.0;
        double y = 0.0;
        if (!forward(d, lat, &x, &y))
            return;
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
    for (int k = 0; k <= kSteps; ++k) {
        const double d = -half + kEdge + (box.lonSpan - 2 * kEdge) * k / kSteps;
        const double lat = box.latMin + (box.latMax - box.latMin) * k / kSteps;
        take(d, box.latMin);
        take(d, box.latMax);
        take(-half + kEdge, lat);
        take(half - kEdge, lat);
        take(0.0, lat);
    }
    if (first || !(m_xMax > m_xMin) || !(m_yMax > m_yMin))
        return;
    m_scaleX = (box.right - box.left) / (m_xMax - m_xMin);
    m_scaleY = (box.bottom - box.top) / (m_yMax - m_yMin);

    // Each row's span between the edge meridians.
    m_rowLo.resize(size_t(box.bottom - box.top + 1));
    m_rowHi.resize(m_rowLo.size());
    for (int v = box.top; v <= box.bottom; ++v) {
        const double y = std::clamp(m_yMax - (v + 0.5 - box.top) / m_scaleY, m_yMin, m_yMax);
        double lo = std::numeric_limits<double>::infinity();
        double hi = -lo;
        const double west = latitudeOnMeridian(-half + kEdge, y);
        const double east = latitudeOnMeridian(half - kEdge, y);
        double xw = 0.0;
        double xe = 0.0;
        double unused = 0.0;
        if (std::isfinite(west) && std::isfinite(east) && forward(-half + kEdge, west, &xw, &unused)
            && forward(half - kEdge, east, &xe, &unused)) {
            // Whole pixels only: the outline's own pixels are blended with the page.
            lo = box.left + (xw - m_xMin) * m_scaleX + 0.5;
            hi = box.left + (xe - m_xMin) * m_scaleX - 0.5;
        }
        m_rowLo[size_t(v - box.top)] = lo;
        m_rowHi[size_t(v - box.top)] = hi;
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
// on the central meridian gives it; otherwise bisection.
double WorldMap::latitudeOnMeridian(double relativeLon, double y) const
{
    double x = 0.0;
    if (m_linear) {
        double lon = 0.0;
        double lat = 0.0;
        if (!m_forward->inverse(0.0, y, &lon, &lat) || lat < m_box.latMin - 1e-9
            || lat > m_box.latMax + 1e-9)
            return std::numeric_limits<double>::quiet_NaN();
        return std::clamp(lat, m_box.latMin, m_box.latMax);
    }
    double south = 0.0;
    double north = 0.0;
    if (!forward(relativeLon, m_box.latMin, &x, &south)
        || !forward(relativeLon, m_box.latMax, &x, &north) || y < south || y > north)
        return std::numeric_limits<double>::quiet_NaN();
    double lo = m_box.latMin;
    double hi = m_box.latMax;
    for (int i = 0; i < 52; ++i) {
        const double mid = (lo + hi) / 2.0;
        double ym = 0.0;
        if (!forward(relativeLon, mid, &x, &ym))
            return std::numeric_limits<double>::quiet_NaN();
        (ym < y ? lo : hi) = mid;
    }
    return (lo + hi) / 2.0;
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

void WorldMap::rowPositions(double lat, const std::vector<double> &east, std::vector<double> *u,
    std::vector<double> *v, std::vector<unsigned char> *ok) const
{
    const size_t n = east.size();
    u->assign(n, 0.0);
    v->assign(n, 0.0);
    ok->assign(n, 0);
    if (!m_valid || lat < m_box.latMin || lat > m_box.latMax)
        return;
    const double half = m_box.lonSpan / 2.0;
    auto exact = [&](size_t k) {
        if (!(east[k] <= m_box.lonSpan))
            return;
        double x = 0.0;
        double y = 0.0;
        if (!forward(std::clamp(east[k] - half, -half + kEdge, half - kEdge), lat, &x, &y))
            return;
        (*u)[k] = m_box.left + (x - m_xMin) * m_scaleX;
        (*v)[k] = m_box.top + (m_yMax - y) * m_scaleY;
        (*ok)[k] = 1;
    };
    if (m_linear) {
        double perDegree = 0.0;
        double y = 0.0;
        if (!rowGeometry(lat, &perDegree, &y))
            return;
        const double row = m_box.top + (m_yMax - y) * m_scaleY;
        for (size_t k = 0; k < n; ++k) {
            if (!(east[k] <= m_box.lonSpan))
                continue;
            (*u)[k] = columnOf(east[k], perDegree);
            (*v)[k] = row;
            (*ok)[k] = 1;
        }
        return;
    }
    // Knots about a degree apart; between two knots inside the box with no
    // wrap between them, a straight line, else each sample on its own.
    double step = n > 1 ? std::fmod(east[1] - east[0] + 360.0, 360.0) : 1.0;
    if (!(step > 0.0))
        step = 1.0;
    const size_t kKnot = size_t(std::clamp(int(1.0 / step), 1, 64));
    for (size_t a = 0; a < n; a += kKnot)
        exact(a);
    if (n > 0)
        exact(n - 1);
    for (size_t a = 0; a < n; a += kKnot) {
        const size_t b = std::min(a + kKnot, n - 1);
        const bool straight = (*ok)[a] && (*ok)[b] && east[b] > east[a];
        for (size_t k = a + 1; k < b; ++k) {
            if (!straight) {
                exact(k);
                continue;
            }
            const double t = (east[k] - east[a]) / (east[b] - east[a]);
            (*u)[k] = (*u)[a] + t * ((*u)[b] - (*u)[a]);
            (*v)[k] = (*v)[a] + t * ((*v)[b] - (*v)[a]);
            (*ok)[k] = 1;
        }
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

void WorldMap::remap(const QImage &source, QImage &target, Resampling method, int threads) const
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
    const double rowStep = h2 > 1 ? 180.0 / (h2 - 1) : 0.0;
    const double columnStep = w2 > 1 ? 360.0 / (w2 - 1) : 0.0;
    const bool world = m_box.lonSpan >= 360.0;

    // The pixel of row v nearest to position p inside the outline, wrapped
    // around a whole-world row; -1 where there is none.
    auto inside = [&](int v, double p) {
        double lo = 0.0;
        double hi = 0.0;
        rowSpan(v, &lo, &hi);
        if (!(hi - lo >= 1.0))
            return -1;
        if (p >= lo && p <= hi) {
            // Inside already: no wrap to compute.
        } else if (world) {
            const double width = hi - lo;
            p = lo + std::fmod(std::fmod(p - lo, width) + width, width);
        } else {
            return -1;
        }
        return std::clamp(int(std::floor(p)), int(std::ceil(lo - 0.5)), int(std::floor(hi - 0.5)));
    };

    // Each target column's longitude east of the box's west edge, once.
    std::vector<double> eastOf(size_t(std::max(0, w2)));
    for (int j = 0; j < w2; ++j)
        eastOf[size_t(j)] = wrapEast(j * columnStep - 180.0, m_box.lonMin);

    auto rows = [&](int from, int to) {
        // PROJ objects are not shared between threads.
        const WorldMap own(*this, Clone());
        std::vector<double> us;
        std::vector<double> vs;
        std::vector<unsigned char> oks;
        AxisTaps columnTaps;
        AxisTaps rowTaps;
        const AxisRange columns { m_box.left, m_box.right, 0 };
        const AxisRange rowRange { m_box.top, m_box.bottom, 0 };
        for (int i = from; i < to; ++i) {
            const double lat = 90.0 - i * rowStep;
            QRgb *out = reinterpret_cast<QRgb *>(target.scanLine(i));
            own.rowPositions(lat, eastOf, &us, &vs, &oks);
            for (int j = 0; j < w2; ++j) {
                if (!oks[size_t(j)])
                    continue;
                const double lon = j * columnStep - 180.0;
                const double u = us[size_t(j)];
                const double v = vs[size_t(j)];
                if (method == Resampling::Nearest) {
                    // Where the outline narrows to a point (Mollweide's poles), the
                    // nearest row that the map crosses.
                    int pv = std::clamp(int(std::floor(v)), m_box.top, m_box.bottom);
                    const int towards = pv < (m_box.top + m_box.bottom) / 2 ? 1 : -1;
                    int pu = inside(pv, u);
                    for (int k = 0; k < 4 && pu < 0; ++k) {
                        pv += towards;
                        pu = inside(pv, u);
                    }
                    if (pu >= 0)
                        out[j] = reinterpret_cast<const QRgb *>(src.constScanLine(pv))[pu];
                    continue;
                }
                // Footprints from the neighbouring samples' positions.
                double u2 = u;
                double v2 = v;
                double unused = 0.0;
                if (!own.position(lon + columnStep, lat, &u2, &unused))
                    own.position(lon - columnStep, lat, &u2, &unused);
                if (!own.position(lon, lat - rowStep, &unused, &v2))
                    own.position(lon, lat + rowStep, &unused, &v2);
                columnTaps.clear();
                rowTaps.clear();
                appendTaps(columnTaps, method, u, std::max(1e-9, std::fabs(u2 - u)), columns);
                appendTaps(rowTaps, method, v, std::max(1e-9, std::fabs(v2 - v)), rowRange);
                float sum[4] = { 0, 0, 0, 0 };
                double weights = 0.0;
                for (int r = rowTaps.first[0]; r < rowTaps.first[1]; ++r) {
                    const int pv = rowTaps.index[size_t(r)];
                    const QRgb *line = reinterpret_cast<const QRgb *>(src.constScanLine(pv));
                    for (int c = columnTaps.first[0]; c < columnTaps.first[1]; ++c) {
                        const int pu = inside(pv, columnTaps.index[size_t(c)] + 0.5);
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
                if (weights <= 0.0)
                    continue;
                for (float &s : sum)
                    s = float(s / weights);
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
