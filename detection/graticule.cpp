#include "detection/graticule.h"

#include <QtMath>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// The steps graticules are drawn at, in degrees.
constexpr int kSteps[] = { 5, 10, 15, 20, 30 };

// How y grows with the latitude: Miller and Mercator as the converter has
// them (atanh of the sine of a scaled latitude), the plate carrée evenly, the
// stereographic cylinder cut at ±45° (Gall) with tan(lat / 2), and the
// equal-area cylinder with sin(lat) over cos² of its standard parallel.
enum class Growth { Conformal, Even, Stereographic, EqualArea };

struct Cylinder
{
    const char *name;
    Growth growth;
    double c;
};

constexpr Cylinder kCylinders[] = {
    { "miller", Growth::Conformal, 0.8 }, { "mercator", Growth::Conformal, 1.0 },
    { "equirectangular", Growth::Even, 1.0 },
    { "gall-stereographic", Growth::Stereographic, 1.0 + M_SQRT2 },
    { "gall-peters", Growth::EqualArea, 2.0 }, // standard parallels ±45°
    { "behrmann", Growth::EqualArea, 4.0 / 3.0 }, // ±30°
};

const Cylinder *cylinder(const QString &name)
{
    for (const Cylinder &c : kCylinders) {
        if (name == QLatin1String(c.name))
            return &c;
    }
    return nullptr;
}

double roundedLatitude(double lat)
{
    const double whole = std::round(lat);
    return std::fabs(lat - whole) <= 0.3 ? whole : std::round(lat * 10.0) / 10.0;
}

struct Fit
{
    QString projection;
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
    return roundedLatitude(std::clamp(std::asin(std::tanh(a * y)) / a, -90.0, 90.0));
}

const QStringList &cylindricalProjections()
{
    static const QStringList names = [] {
        QStringList list;
        for (const Cylinder &c : kCylinders)
            list << QString::fromLatin1(c.name);
        return list;
    }();
    return names;
}

double cylindricalY(const QString &projection, double latitude)
{
    const Cylinder *cyl = cylinder(projection);
    if (!cyl)
        return std::numeric_limits<double>::quiet_NaN();
    const double lat = qDegreesToRadians(latitude);
    switch (cyl->growth) {
    case Growth::Conformal: {
        // The converter's own rows, which stop just short of the poles.
        const double a = cyl->c * M_PI / 180.0;
        return std::atanh(std::clamp(std::sin(a * latitude), -0.99999, 0.99999)) / a;
    }
    case Growth::Even:
        return latitude;
    case Growth::Stereographic:
        return qRadiansToDegrees(cyl->c * std::tan(lat / 2.0));
    case Growth::EqualArea:
        return qRadiansToDegrees(cyl->c * std::sin(lat));
    }
    return std::numeric_limits<double>::quiet_NaN();
}

double cylindricalLatitude(const QString &projection, double y)
{
    const Cylinder *cyl = cylinder(projection);
    if (!cyl)
        return std::numeric_limits<double>::quiet_NaN();
    const double t = qDegreesToRadians(y) / cyl->c;
    double lat = 0.0;
    switch (cyl->growth) {
    case Growth::Conformal: {
        const double a = cyl->c * M_PI / 180.0;
        lat = std::asin(std::tanh(a * y)) / a;
        break;
    }
    case Growth::Even:
        lat = y;
        break;
    case Growth::Stereographic:
        lat = qRadiansToDegrees(2.0 * std::atan(t));
        break;
    case Growth::EqualArea:
        lat = qRadiansToDegrees(std::asin(std::clamp(t, -1.0, 1.0)));
        break;
    }
    return std::clamp(lat, -90.0, 90.0);
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

void GraticuleReading::take(const GraticuleBox &box)
{
    latitudes = true;
    projection = box.projection;
    latMin = box.latMin;
    latMax = box.latMax;
    pixelsPerDegree = box.pixelsPerDegree;
    meridians = box.lonStep > 0.0;
    lonStep = box.lonStep;
    meridiansAtOwnStep();
}

void GraticuleReading::meridiansAtOwnStep()
{
    if (meridians || !(meridianSpacing > 0.0) || !(pixelsPerDegree > 0.0))
        return;
    for (const int step : { 5, 10, 15, 20, 30, 45, 60 }) {
        if (std::fabs(meridianSpacing / pixelsPerDegree - step) <= 0.02 * step) {
            meridians = true;
            lonStep = step;
        }
    }
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
    if (even) {
        g.meridianCount = meridianCount;
        g.firstMeridian = firstColumn;
        g.meridianSpacing = spacing;
    }

    std::vector<Fit> fits;
    const int n = int(rows.size());
    // With meridians, the scale is their spacing over the parallels' step,
    // as most graticules are drawn; otherwise the parallels' own fit.
    auto collect = [&](bool fromMeridians) {
        // Three parallels leave one degree of freedom with the scale pinned
        // by the meridians; without it, two.
        if (n < (fromMeridians ? 3 : 4))
            return;
        for (const QString &name : cylindricalProjections()) {
            // No row of the area lies beyond a pole.
            const double pole = cylindricalY(name, 90.0);
            for (const int step : kSteps) {
                for (int first = 90 - 90 % step; first - step * (n - 1) >= -90; first -= step) {
                    std::vector<double> x(static_cast<size_t>(n));
                    bool finite = true;
                    for (int i = 0; i < n; ++i) {
                        x[size_t(i)] = -cylindricalY(name, first - step * i);
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
                    const double slack = tolerance / k;
                    if ((a - top) / k > pole + slack || (a - bottom) / k < -pole - slack)
                        continue;
                    double worst = 0.0;
                    for (int i = 0; i < n; ++i)
                        worst = std::max(worst, std::fabs(a + k * x[size_t(i)] - rows[size_t(i)]));
                    if (worst <= tolerance)
                        fits.push_back({ name, k, a, worst, fromMeridians ? step : 0.0 });
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
        auto boxOf = [&](const Fit &f) {
            // Near a pole the equal-area rows crowd together: an edge within
            // reach of the pole's row, its pixel's other side included, is
            // the pole.
            const double pole = cylindricalY(f.projection, 90.0);
            auto latitudeAt = [&](int row) {
                const double y = -(row - f.a) / f.k;
                if (std::fabs(y) >= pole - (tolerance + 0.5) / f.k)
                    return std::copysign(90.0, y);
                return roundedLatitude(cylindricalLatitude(f.projection, y));
            };
            return GraticuleBox { f.projection, latitudeAt(bottom), latitudeAt(top), f.k,
                f.lonStep };
        };
        auto sameBox = [](const GraticuleBox &p, const GraticuleBox &q) {
            return std::fabs(p.latMax - q.latMax) <= 1.0 && std::fabs(p.latMin - q.latMin) <= 1.0
                && std::fabs(p.pixelsPerDegree - q.pixelsPerDegree) <= 0.01 * q.pixelsPerDegree;
        };
        // Another reading that fits about as well leaves the answer open:
        // other boxes to the land, which can tell them apart, another
        // projection in the same box to nobody (near the equator the
        // cylinders' rows differ by less than the lines' width).
        std::vector<GraticuleBox> rivals { boxOf(*best) };
        for (const Fit &f : fits) {
            if (&f == &*best || f.worst > best->worst * 1.5 + 0.2)
                continue;
            const GraticuleBox box = boxOf(f);
            const auto same = std::find_if(rivals.begin(), rivals.end(),
                [&](const GraticuleBox &r) { return sameBox(r, box); });
            if (same == rivals.end())
                rivals.push_back(box);
            else if (same->projection != box.projection)
                same->named = false;
        }
        g.parallels = n;
        if (rivals.size() > 1)
            g.rivals = rivals;
        else if (rivals.front().named)
            g.take(rivals.front());
    }
    if (!g.latitudes && scale > 0.0) {
        g.pixelsPerDegree = scale;
        g.meridiansAtOwnStep();
    }
    return g;
}
