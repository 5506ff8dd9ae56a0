#include "detection/graticule.h"

#include "projection/projectionconverter.h"

#include <QtMath>

#include <algorithm>
#include <cmath>

namespace {

// The steps graticules are drawn at, in degrees.
constexpr int kSteps[] = { 5, 10, 15, 20, 30 };

struct Fit
{
    QString projection;
    double factor = 0.0;
    double k = 0.0; // pixels per degree
    double a = 0.0; // row of the equator
    double worst = 0.0; // largest distance of a parallel from its row
    double lonStep = 0.0; // the meridians' step this fit implies, or 0
};

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// The slope of the straight line through (x, y) fitted by least squares.
double leastSquaresSlope(const std::vector<double> &x, const std::vector<double> &y)
{
    const double n = double(x.size());
    double mx = 0, my = 0;
    for (size_t i = 0; i < x.size(); ++i) {
        mx += x[i];
        my += y[i];
    }
    mx /= n;
    my /= n;
    double sxy = 0, sxx = 0;
    for (size_t i = 0; i < x.size(); ++i) {
        sxy += (x[i] - mx) * (y[i] - my);
        sxx += (x[i] - mx) * (x[i] - mx);
    }
    return sxx > 0.0 ? sxy / sxx : 0.0;
}

} // namespace

double latitudeFromProjected(double y, double factor)
{
    const double a = factor * M_PI / 180.0;
    const double lat = std::clamp(std::asin(std::tanh(a * y)) / a, -90.0, 90.0);
    const double whole = std::round(lat);
    return std::fabs(lat - whole) <= 0.3 ? whole : std::round(lat * 10.0) / 10.0;
}

bool evenSpacing(
    const std::vector<double> &lines, double tolerance, double *spacing, double *first, int *count)
{
    if (lines.size() < 3)
        return false;
    std::vector<double> gaps;
    for (size_t i = 1; i < lines.size(); ++i)
        gaps.push_back(lines[i] - lines[i - 1]);
    const double d0 = median(gaps);
    if (d0 <= 2.0 * tolerance)
        return false;
    // The anchor that most lines agree with; a stray line (a border inside
    // the map, a straight coast) is left out.
    std::vector<double> best;
    for (double anchor : lines) {
        std::vector<double> agree;
        for (double x : lines) {
            const double n = std::round((x - anchor) / d0);
            if (std::fabs(x - anchor - n * d0) <= tolerance)
                agree.push_back(x);
        }
        if (agree.size() > best.size())
            best = agree;
    }
    if (best.size() < 3 || best.size() * 10 < lines.size() * 7)
        return false;
    // Least squares over the lines kept, each at its whole number of steps.
    double sn = 0, sx = 0, snn = 0, snx = 0;
    for (double x : best) {
        const double n = std::round((x - best.front()) / d0);
        sn += n;
        sx += x;
        snn += n * n;
        snx += n * x;
    }
    const double m = double(best.size());
    const double d = (m * snx - sn * sx) / (m * snn - sn * sn);
    const double c = (sx - d * sn) / m;
    for (double x : best) {
        const double n = std::round((x - best.front()) / d0);
        if (std::fabs(c + n * d - x) > tolerance)
            return false;
    }
    *spacing = d;
    *first = c;
    *count = int(best.size());
    return true;
}

double GraticuleReading::lonSpan(int left, int right) const
{
    return pixelsPerDegree > 0.0 ? (right - left) / pixelsPerDegree : 0.0;
}

std::vector<double> GraticuleReading::lonMinCandidates(int left) const
{
    std::vector<double> v;
    if (!meridians || !(lonStep > 0.0) || !(pixelsPerDegree > 0.0))
        return v;
    const double offset = (firstMeridian - left) / pixelsPerDegree;
    for (double lon = -180.0; lon < 180.0 - 1e-9; lon += lonStep) {
        double lonMin = std::remainder(lon - offset, 360.0);
        if (lonMin >= 180.0 - 1e-9)
            lonMin -= 360.0;
        const double whole = std::round(lonMin);
        v.push_back(std::fabs(lonMin - whole) <= 0.3 ? whole : std::round(lonMin * 10.0) / 10.0);
    }
    return v;
}

GraticuleReading readGraticule(const std::vector<double> &rows, const std::vector<double> &columns,
    int left, int right, int top, int bottom, double scale)
{
    GraticuleReading g;
    const int width = right - left + 1;
    const int height = bottom - top + 1;
    const double tolerance = std::max(1.0, 0.001 * std::max(width, height));
    double spacing = 0.0;
    double firstColumn = 0.0;
    int meridianCount = 0;
    const bool even = evenSpacing(columns, tolerance, &spacing, &firstColumn, &meridianCount);

    std::vector<Fit> fits;
    const int n = int(rows.size());
    ProjectionConverter converter;
    // With meridians, the scale is their spacing over the parallels' step,
    // as most graticules are drawn; otherwise the parallels' own fit.
    auto collect = [&](bool fromMeridians) {
        for (const QString &name : { QStringLiteral("miller"), QStringLiteral("mercator") }) {
            // Three parallels leave one degree of freedom with the scale
            // pinned by the meridians; without it, two.
            if (n < (fromMeridians ? 3 : 4) || !converter.setProjection(name))
                continue;
            const double factor = converter.projectionFactor();
            for (const int step : kSteps) {
                for (int first = 90 - 90 % step; first - step * (n - 1) >= -90; first -= step) {
                    std::vector<double> x(static_cast<size_t>(n));
                    bool finite = true;
                    for (int i = 0; i < n; ++i) {
                        x[size_t(i)] = -converter.projectLatitude(first - step * i);
                        finite = finite && std::fabs(x[size_t(i)]) < 1e3;
                    }
                    if (!finite)
                        continue;
                    double k = fromMeridians ? spacing / step : leastSquaresSlope(x, rows);
                    if (!(k > 0.0) || (width - 1) / k > 361.0)
                        continue;
                    double a = 0.0;
                    for (int i = 0; i < n; ++i)
                        a += rows[size_t(i)] - k * x[size_t(i)];
                    a /= n;
                    double worst = 0.0;
                    for (int i = 0; i < n; ++i)
                        worst = std::max(worst, std::fabs(a + k * x[size_t(i)] - rows[size_t(i)]));
                    if (worst <= tolerance)
                        fits.push_back({ name, factor, k, a, worst, fromMeridians ? step : 0.0 });
                }
            }
        }
    };
    if (even)
        collect(true);
    if (fits.empty())
        collect(false);

    if (!fits.empty()) {
        const auto best = std::min_element(
            fits.begin(), fits.end(), [](const Fit &p, const Fit &q) { return p.worst < q.worst; });
        auto latitudeAt = [](const Fit &f, int row) {
            return latitudeFromProjected(-(row - f.a) / f.k, f.factor);
        };
        // Another reading that fits about as well leaves the answer open.
        bool unique = true;
        for (const Fit &f : fits) {
            if (&f == &*best || f.worst > best->worst * 1.5 + 0.2)
                continue;
            if (f.projection != best->projection
                || std::fabs(latitudeAt(f, top) - latitudeAt(*best, top)) > 1.0
                || std::fabs(latitudeAt(f, bottom) - latitudeAt(*best, bottom)) > 1.0
                || std::fabs(f.k - best->k) > 0.01 * best->k)
                unique = false;
        }
        if (unique) {
            g.latitudes = true;
            g.projection = best->projection;
            g.parallels = n;
            g.pixelsPerDegree = best->k;
            g.latMax = latitudeAt(*best, top);
            g.latMin = latitudeAt(*best, bottom);
            if (best->lonStep > 0.0) {
                g.meridians = true;
                g.lonStep = best->lonStep;
            }
        }
    }
    if (!g.latitudes && scale > 0.0)
        g.pixelsPerDegree = scale;
    if (even) {
        g.meridianCount = meridianCount;
        g.firstMeridian = firstColumn;
        if (!g.meridians && g.pixelsPerDegree > 0.0) {
            // Meridians at a step of their own.
            for (const int step : { 5, 10, 15, 20, 30, 45, 60 }) {
                if (std::fabs(spacing / g.pixelsPerDegree - step) <= 0.02 * step) {
                    g.meridians = true;
                    g.lonStep = step;
                }
            }
        }
    }
    return g;
}
