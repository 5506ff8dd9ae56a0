#include "projection/projectionconverter.h"

#include "app/logging.h"

#include <QCoreApplication>

#include <climits>
#include <cmath>
#include <limits>
#include <vector>

namespace {

// Beyond this distance whole turns are removed with fmod first: adding or
// subtracting 360 one turn at a time would take for ever on huge values, and
// never end on values where x + 360 == x.
constexpr double kFarAway = 360.0 * 1024.0;

double nearTurns(double x)
{
    return std::fabs(x) > kFarAway ? std::fmod(x, 360.0) : x;
}

// The inclusive wrap into [lonMin, lonMin + 360]. NaN when there is nothing to
// wrap, so the column fails every bounds test instead of looping for ever.
double wrapLongitude(double lon, double lonMin)
{
    if (!std::isfinite(lon) || !std::isfinite(lonMin))
        return std::numeric_limits<double>::quiet_NaN();
    if (std::fabs(lon - lonMin) > kFarAway)
        lon = lonMin + std::fmod(lon - lonMin, 360.0);
    while (lonMin > lon)
        lon += 360.0;
    while (lon > lonMin + 360.0)
        lon -= 360.0;
    return lon;
}

// a is the projection factor times the degree factor. The clamp keeps Mercator
// finite at the poles; a NaN sine ends on the lower clamp, as "not greater".
double projectedY(double a, double latitude)
{
    double s = std::sin(a * latitude);
    if (s > 0.99999)
        s = 0.99999;
    if (!(s > -0.99999))
        s = -0.99999;
    return std::atanh(s) / a;
}

// Targets below two pixels would divide by zero: their one row or column
// stands for lat 90 or lon -180, the first of the regular grid.
double gridStep(double range, int count)
{
    return count > 1 ? range / (count - 1) : 0.0;
}

// Premultiplied pixels copied raw would darken translucent colours in the
// ARGB32 target, so only the two formats that hold plain ARGB words are read
// as they are.
QImage readableSource(const QImage &source)
{
    if (source.format() == QImage::Format_ARGB32 || source.format() == QImage::Format_RGB32)
        return source;
    return source.convertToFormat(QImage::Format_ARGB32);
}

// Raw QRgb words are written through scan lines, which only an ARGB32 target
// can take as they are.
void makeWritableTarget(QImage &target)
{
    if (!target.isNull() && target.format() != QImage::Format_ARGB32)
        target = target.convertToFormat(QImage::Format_ARGB32);
}

// The map area's last column or row; 64-bit since the margins are unchecked.
qint64 lastInside(int size, int farMargin)
{
    return qint64(size) - farMargin - 1;
}

// Four loads before four stores: a store may alias the column table (int and
// QRgb may share storage), so a one-at-a-time loop waits for each store.
void gatherRun(const QRgb *from, const int *columns, QRgb *to, int count)
{
    int k = 0;
    for (; k + 4 <= count; k += 4) {
        const QRgb p0 = from[columns[k]];
        const QRgb p1 = from[columns[k + 1]];
        const QRgb p2 = from[columns[k + 2]];
        const QRgb p3 = from[columns[k + 3]];
        to[k] = p0;
        to[k + 1] = p1;
        to[k + 2] = p2;
        to[k + 3] = p3;
    }
    for (; k < count; ++k)
        to[k] = from[columns[k]];
}

void yieldToEventLoop(bool processEvents)
{
    if (processEvents && QCoreApplication::instance())
        QCoreApplication::processEvents();
}

} // namespace

ProjectionConverter::ProjectionConverter()
    : m_pi(std::acos(-1.0))
    , m_degree(m_pi / 180.0)
{
    reset();
}

void ProjectionConverter::reset()
{
    m_marginLeft = 0;
    m_marginRight = 0;
    m_marginBottom = 0;
    m_marginTop = 0;
    m_projection = QStringLiteral("miller");
    // Derived state: every use sets the projection again before computing.
    m_factor = 1.0;
    m_lonMin = -180.0;
    m_lonMax = 180.0;
    m_latMin = -90.0;
    m_latMax = 90.0;
    m_lonSpan = 360.0;
    m_scaleX = 1.0;
    m_offsetX = 0.0;
    m_scaleY = 1.0;
    m_offsetY = 0.0;
    m_usable = true;
}

void ProjectionConverter::setMargins(int left, int right, int bottom, int top)
{
    m_marginLeft = left;
    m_marginRight = right;
    m_marginBottom = bottom;
    m_marginTop = top;
}

bool ProjectionConverter::setProjection(const QString &name)
{
    m_projection = name;
    if (name == QLatin1String("mercator")) {
        m_factor = 1.0;
        m_usable = true;
        return true;
    }
    if (name == QLatin1String("miller")) {
        m_factor = 0.8;
        m_usable = true;
        return true;
    }
    // A name from a hand-edited file must not end the program; the converter
    // just refuses to compute until a known name arrives.
    planoDebug() << "Invalid Map-Projection name:" << name;
    m_usable = false;
    return false;
}

void ProjectionConverter::setLonRange(double min, double max)
{
    m_lonMin = min;
    m_lonMax = max;
    if (std::isfinite(m_lonMin)) {
        m_lonMin = nearTurns(m_lonMin);
        while (m_lonMin < -180.0)
            m_lonMin += 360.0;
        while (m_lonMin >= 180.0)
            m_lonMin -= 360.0;
    }
    if (std::isfinite(m_lonMax)) {
        m_lonMax = nearTurns(m_lonMax);
        while (m_lonMax <= -180.0)
            m_lonMax += 360.0;
        while (m_lonMax > 180.0)
            m_lonMax -= 360.0;
    }
    m_lonSpan = m_lonMax - m_lonMin;
    if (std::isfinite(m_lonSpan)) {
        while (m_lonSpan <= 0.0)
            m_lonSpan += 360.0;
        while (m_lonSpan > 360.0)
            m_lonSpan -= 360.0;
    }
}

void ProjectionConverter::setLatRange(double min, double max)
{
    m_latMin = min;
    m_latMax = max;
}

double ProjectionConverter::projectLatitude(double latitude) const
{
    return projectedY(m_factor * m_degree, latitude);
}

ProjectionConverter::LinearMaps ProjectionConverter::linearMaps(double width, double height) const
{
    LinearMaps m;
    m.scaleX = (double(truncToInt(width - m_marginLeft - m_marginRight)) - 1.0) / m_lonSpan;
    m.offsetX = m_marginLeft - m.scaleX * m_lonMin;
    const double yMax = projectLatitude(m_latMax);
    const double yMin = projectLatitude(m_latMin);
    m.scaleY = -((double(truncToInt(height - m_marginBottom - m_marginTop)) - 1.0) / (yMax - yMin));
    m.offsetY = m_marginTop - m.scaleY * yMax;
    return m;
}

void ProjectionConverter::prepare(double width, double height)
{
    const LinearMaps m = linearMaps(width, height);
    m_scaleX = m.scaleX;
    m_offsetX = m.offsetX;
    m_scaleY = m.scaleY;
    m_offsetY = m.offsetY;
}

int ProjectionConverter::lonToColumn(double longitude) const
{
    if (!m_usable)
        return INT_MIN;
    return truncToInt(wrapLongitude(longitude, m_lonMin) * m_scaleX + m_offsetX);
}

int ProjectionConverter::latToRow(double latitude) const
{
    if (!m_usable)
        return INT_MIN;
    return truncToInt(projectLatitude(latitude) * m_scaleY + m_offsetY);
}

int ProjectionConverter::truncToInt(double v)
{
    if (!std::isfinite(v))
        return INT_MIN;
    const double t = std::trunc(v);
    if (t < double(INT_MIN) || t > double(INT_MAX))
        return INT_MIN;
    return int(t);
}

void ProjectionConverter::remap(const QImage &source, QImage &target, bool processEvents)
{
    if (!m_usable)
        return;

    // Everything the rows need is taken now: handlers that run during the
    // yields may reconfigure this converter, or even destroy it, so the loop
    // below touches no member. The source is a shallow copy for the same reason.
    const QImage src = readableSource(source);
    makeWritableTarget(target);
    const int w = src.width();
    const int h = src.height();
    const int w2 = target.width();
    const int h2 = target.height();
    const QImage::Format targetFormat = target.format();
    const int left = m_marginLeft;
    const int top = m_marginTop;
    const qint64 right = lastInside(w, m_marginRight);
    const qint64 bottom = lastInside(h, m_marginBottom);
    const double rowStep = gridStep(180.0, h2);
    const double columnStep = gridStep(360.0, w2);
    const LinearMaps m = linearMaps(w, h);
    const double a = m_factor * m_degree;
    const double lonMin = m_lonMin;

    // Source column per target column, as runs of consecutive accepted
    // columns so that each row is one tight copy loop.
    std::vector<int> column(size_t(qMax(w2, 0)), -1);
    struct Run
    {
        int begin;
        int end;
    };
    std::vector<Run> runs;
    for (int j = 0; j < w2; ++j) {
        const double lon = wrapLongitude(j * columnStep - 180.0, lonMin);
        const int u = truncToInt(lon * m.scaleX + m.offsetX);
        if (!(0 <= u && u < w && left <= u && u <= right))
            continue;
        column[size_t(j)] = u;
        if (!runs.empty() && runs.back().end == j)
            runs.back().end = j + 1;
        else
            runs.push_back({ j, j + 1 });
    }

    const int *const u = column.data();
    for (int i = 0; i < h2; ++i) {
        const double lat = 90.0 - i * rowStep;
        const int v = truncToInt(projectedY(a, lat) * m.scaleY + m.offsetY);
        const bool rowInside = 0 <= v && v < h && top <= v && v <= bottom;
        // A handler that replaced the target during a yield gets no stray rows.
        const bool sameTarget
            = target.width() == w2 && target.height() == h2 && target.format() == targetFormat;
        if (!sameTarget)
            break;
        if (rowInside && !runs.empty()) {
            const QRgb *const from = reinterpret_cast<const QRgb *>(src.constScanLine(v));
            QRgb *const to = reinterpret_cast<QRgb *>(target.scanLine(i));
            for (const Run &run : runs)
                gatherRun(from, u + run.begin, to + run.begin, run.end - run.begin);
        }
        yieldToEventLoop(processEvents);
    }
    planoDebug().nospace() << "Convert error " << 0;
}

void ProjectionConverter::remapReference(const QImage &source, QImage &target) const
{
    if (!m_usable)
        return;

    const QImage src = readableSource(source);
    makeWritableTarget(target);
    const int w = src.width();
    const int h = src.height();
    const int w2 = target.width();
    const int h2 = target.height();
    const qint64 right = lastInside(w, m_marginRight);
    const qint64 bottom = lastInside(h, m_marginBottom);
    const double rowStep = gridStep(180.0, h2);
    const double columnStep = gridStep(360.0, w2);
    const LinearMaps m = linearMaps(w, h);
    const double a = m_factor * m_degree;

    for (int i = 0; i < h2; ++i) {
        const double lat = 90.0 - i * rowStep;
        QRgb *const to = reinterpret_cast<QRgb *>(target.scanLine(i));
        for (int j = 0; j < w2; ++j) {
            double s = std::sin(a * lat);
            if (s > 0.99999)
                s = 0.99999;
            if (!(s > -0.99999))
                s = -0.99999;
            const double y = std::atanh(s) / a;
            const int v = truncToInt(y * m.scaleY + m.offsetY);
            const double lon = wrapLongitude(j * columnStep - 180.0, m_lonMin);
            const int u = truncToInt(lon * m.scaleX + m.offsetX);
            if (0 <= u && u < w && 0 <= v && v < h && m_marginLeft <= u && u <= right
                && m_marginTop <= v && v <= bottom)
                to[j] = reinterpret_cast<const QRgb *>(src.constScanLine(v))[u];
        }
    }
}

ConvertParams ProjectionConverter::exportParams() const
{
    ConvertParams t;
    t.insert(QStringLiteral("margin_left"), m_marginLeft);
    t.insert(QStringLiteral("margin_right"), m_marginRight);
    t.insert(QStringLiteral("margin_bottom"), m_marginBottom);
    t.insert(QStringLiteral("margin_top"), m_marginTop);
    t.insert(QStringLiteral("map_proj"), m_projection);
    t.insert(QStringLiteral("lon_min"), m_lonMin);
    t.insert(QStringLiteral("lon_max"), m_lonMax);
    t.insert(QStringLiteral("lat_min"), m_latMin);
    t.insert(QStringLiteral("lat_max"), m_latMax);
    return t;
}
