#include "detection/landmatch.h"

#include "detection/graticule.h"
#include "detection/landmask.h"
#include "projection/worldmap.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace {

// Largest channel difference from the commonest colour still read as sea.
constexpr int kSeaTolerance = 40;
// The agreement a start needs, and its lead over any start farther away
// than kDistinctDegrees.
constexpr double kMinAgreement = 0.3;
constexpr double kMinLead = 0.08;
constexpr double kDistinctDegrees = 3.0;

std::vector<int> spreadOver(int first, int last, int count)
{
    std::vector<int> v;
    const int n = std::max(1, std::min(count, last - first + 1));
    for (int i = 0; i < n; ++i)
        v.push_back(first + int(qint64(last - first) * i / std::max(1, n - 1)));
    v.erase(std::unique(v.begin(), v.end()), v.end());
    return v;
}

// The phi coefficient of a 2 × 2 table [sample is sea][mask is sea].
double correlation(const qint64 counts[2][2])
{
    const double a = double(counts[1][1]), b = double(counts[1][0]);
    const double c = double(counts[0][1]), d = double(counts[0][0]);
    const double denominator = std::sqrt((a + b) * (c + d) * (a + c) * (b + d));
    return denominator > 0.0 ? (a * d - b * c) / denominator : 0.0;
}

double circularDistance(double a, double b)
{
    return std::fabs(std::remainder(a - b, 360.0));
}

} // namespace

LandSamples::LandSamples(
    const QImage &image, int left, int top, int right, int bottom, int maxColumns, int maxRows)
    : m_columns(spreadOver(left, right, maxColumns))
    , m_rows(spreadOver(top, bottom, maxRows))
    , m_left(left)
    , m_right(right)
    , m_top(top)
    , m_bottom(bottom)
{
    const bool alpha = image.hasAlphaChannel();
    std::vector<QRgb> pixels;
    pixels.reserve(m_columns.size() * m_rows.size());
    std::vector<int> counts(4096, 0);
    for (int y : m_rows) {
        const QRgb *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int x : m_columns) {
            const QRgb p = line[x];
            pixels.push_back(p);
            if (!alpha || qAlpha(p) >= 128)
                ++counts[size_t(((qRed(p) >> 4) << 8) | ((qGreen(p) >> 4) << 4) | (qBlue(p) >> 4))];
        }
    }
    const int mode = int(std::max_element(counts.begin(), counts.end()) - counts.begin());
    qint64 r = 0, g = 0, b = 0, n = 0;
    for (QRgb p : pixels) {
        if ((alpha && qAlpha(p) < 128)
            || (((qRed(p) >> 4) << 8) | ((qGreen(p) >> 4) << 4) | (qBlue(p) >> 4)) != mode)
            continue;
        r += qRed(p);
        g += qGreen(p);
        b += qBlue(p);
        ++n;
    }
    n = std::max<qint64>(1, n);
    const int sr = int(r / n), sg = int(g / n), sb = int(b / n);
    m_sea.reserve(pixels.size());
    for (QRgb p : pixels) {
        if (alpha && qAlpha(p) < 128) {
            m_sea.push_back(2);
            continue;
        }
        const int d = std::max(
            { std::abs(qRed(p) - sr), std::abs(qGreen(p) - sg), std::abs(qBlue(p) - sb) });
        m_sea.push_back(d <= kSeaTolerance ? 1 : 0);
    }
}

double LandSamples::agreement(
    const QString &projection, double latMin, double latMax, double lonMin, double lonSpan) const
{
    const LandMask &mask = LandMask::world();
    if (mask.isNull() || !cylindricalProjections().contains(projection) || m_right <= m_left
        || m_bottom <= m_top)
        return 0.0;
    const double yMax = cylindricalY(projection, latMax);
    const double yMin = cylindricalY(projection, latMin);
    std::vector<int> maskRows;
    for (int y : m_rows) {
        const double projected = yMax - (yMax - yMin) * (y - m_top) / double(m_bottom - m_top);
        maskRows.push_back(LandMask::row(cylindricalLatitude(projection, projected)));
    }
    std::vector<int> maskColumns;
    for (int x : m_columns)
        maskColumns.push_back(
            LandMask::column(lonMin + lonSpan * (x - m_left) / double(m_right - m_left)));

    qint64 counts[2][2] = { { 0, 0 }, { 0, 0 } }; // [sea sample][sea in the mask]
    size_t i = 0;
    for (int row : maskRows) {
        for (int column : maskColumns) {
            const unsigned char sea = m_sea[i++];
            if (sea < 2)
                ++counts[sea][mask.cell(column, row) ? 0 : 1];
        }
    }
    return correlation(counts);
}

double LandSamples::agreementAt(
    const std::vector<double> &lon, const std::vector<double> &lat, double shift) const
{
    const LandMask &mask = LandMask::world();
    if (mask.isNull() || lon.size() != m_sea.size() || lat.size() != m_sea.size())
        return 0.0;
    qint64 counts[2][2] = { { 0, 0 }, { 0, 0 } };
    for (size_t i = 0; i < m_sea.size(); ++i) {
        if (m_sea[i] < 2 && std::isfinite(lon[i]))
            ++counts[m_sea[i]]
                    [mask.cell(LandMask::column(lon[i] + shift), LandMask::row(lat[i])) ? 0 : 1];
    }
    return correlation(counts);
}

LandChoice chooseLongitudes(const LandSamples &samples, const QString &projection, double latMin,
    double latMax, double lonSpan, const std::vector<double> &starts, bool wholeWorld)
{
    return chooseStart(
        [&](double lonMin) {
            const double phi = samples.agreement(projection, latMin, latMax, lonMin, lonSpan);
            return wholeWorld ? phi : std::fabs(phi);
        },
        starts);
}

LandChoice chooseWorldStart(const LandSamples &samples, const WorldMap &map)
{
    // Each sample's place on the map drawn from -180°, read once; another
    // start only turns them all east.
    std::vector<double> lon;
    std::vector<double> lat;
    for (int y : samples.rows()) {
        for (int x : samples.columns()) {
            double l = 0.0;
            double p = 0.0;
            const bool inside = map.lonLatAt(x + 0.5, y + 0.5, &l, &p);
            lon.push_back(inside ? l : std::numeric_limits<double>::quiet_NaN());
            lat.push_back(p);
        }
    }
    return chooseStart(
        [&](double lonMin) { return samples.agreementAt(lon, lat, lonMin - map.box().lonMin); },
        std::vector<double>());
}

LandChoice chooseStart(
    const std::function<double(double)> &score, const std::vector<double> &starts)
{
    std::vector<std::pair<double, double>> tried; // start, score
    if (starts.empty()) {
        for (int lon = -180; lon < 180; ++lon)
            tried.emplace_back(lon, score(lon));
    } else {
        for (double lon : starts)
            tried.emplace_back(lon, score(lon));
    }
    LandChoice choice;
    if (tried.empty())
        return choice;
    auto best = *std::max_element(tried.begin(), tried.end(),
        [](const auto &p, const auto &q) { return p.second < q.second; });
    for (const auto &t : tried) {
        if (circularDistance(t.first, best.first) > kDistinctDegrees)
            choice.runnerUp = std::max(choice.runnerUp, t.second);
    }
    if (starts.empty()) {
        const double coarse = best.first;
        for (double d = -1.0; d <= 1.0; d += 0.25) {
            const double s = score(coarse + d);
            if (s > best.second)
                best = { coarse + d, s };
        }
    }
    double lonMin = std::remainder(best.first, 360.0);
    if (lonMin >= 180.0)
        lonMin -= 360.0;
    // To the whole degree when close: maps start at round longitudes.
    const double whole = std::round(lonMin);
    choice.lonMin = std::fabs(lonMin - whole) <= 0.3 ? whole : std::round(lonMin * 10.0) / 10.0;
    choice.score = best.second;
    choice.decided = best.second >= kMinAgreement && best.second - choice.runnerUp >= kMinLead;
    return choice;
}
