#include "projection/projectionconverter.h"

#include "logging/logging.h"
#include "projection/integerblend.h"
#include "projection/vectorpaths.h"

#include <QCoreApplication>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstdint>
#include <limits>
#include <thread>
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

// Whether every pixel the interpolation may read is opaque: such maps are
// blended in integers, whatever format they came in, so that equal pixels
// give equal results.
bool opaqueMapArea(const QImage &src, const AxisRange &columns, const AxisRange &rows)
{
    if (src.format() == QImage::Format_RGB32)
        return true;
    for (int v = rows.lo; v <= rows.hi; ++v) {
        const QRgb *const line = reinterpret_cast<const QRgb *>(src.constScanLine(v));
        QRgb all = 0xff000000u;
        for (int u = columns.lo; u <= columns.hi; ++u)
            all &= line[u];
        if ((all & 0xff000000u) != 0xff000000u)
            return false;
    }
    return true;
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
    m_frameLine = 0;
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
    if (projectionList().contains(name)) {
        m_factor = 1.0;
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

namespace {

#ifdef PLANO_WIDE_VECTORS
// AVX2 and AVX-512 without FMA: every lane does the reference's multiply,
// then add, in its order, so the results stay bit-identical.

// Two columns' premultiplied sums over n neighbouring taps each, one column
// per half of the vector.
template <int n>
__attribute__((target("avx2"))) inline void horizontalPairAvx2(
    const float *q0, const float *w0, const float *q1, const float *w1, float *out)
{
    __m256 sum = _mm256_setzero_ps();
    // Four weights of each column in one load, spread tap by tap in place.
    const __m256 w4 = n == 4
        ? _mm256_insertf128_ps(_mm256_castps128_ps256(_mm_loadu_ps(w0)), _mm_loadu_ps(w1), 1)
        : _mm256_setzero_ps();
    for (int t = 0; t < n; ++t) {
        __m256 w;
        if (n == 4 && t == 0)
            w = _mm256_permute_ps(w4, 0x00);
        else if (n == 4 && t == 1)
            w = _mm256_permute_ps(w4, 0x55);
        else if (n == 4 && t == 2)
            w = _mm256_permute_ps(w4, 0xaa);
        else if (n == 4)
            w = _mm256_permute_ps(w4, 0xff);
        else
            w = _mm256_insertf128_ps(
                _mm256_castps128_ps256(_mm_set1_ps(w0[t])), _mm_set1_ps(w1[t]), 1);
        const __m256 q = _mm256_insertf128_ps(
            _mm256_castps128_ps256(_mm_loadu_ps(q0 + 4 * t)), _mm_loadu_ps(q1 + 4 * t), 1);
        sum = _mm256_add_ps(sum, _mm256_mul_ps(w, q));
    }
    _mm256_storeu_ps(out, sum);
}

// Horizontal pass over pairs of columns with the same number of neighbouring
// taps (2, 4 or 6) into premultiplied sums; returns the first column it left
// to the caller (j1, or one it has no pair for).
__attribute__((target("avx2"))) int horizontalPairsAvx2(const int *first, const int *index,
    const float *weight, int j, int j1, const float *origin, float *out)
{
    for (; j + 1 < j1; j += 2) {
        const int b0 = first[j];
        const int b1 = first[j + 1];
        const int n = b1 - b0;
        // Steps between taps are +1, 0 where clamped, or a drop where
        // wrapped, so first + n - 1 == last only for neighbours.
        if (first[j + 2] - b1 != n || index[b0 + n - 1] - index[b0] != n - 1
            || index[b1 + n - 1] - index[b1] != n - 1)
            break;
        const float *const q0 = origin + size_t(index[b0]) * 4;
        const float *const q1 = origin + size_t(index[b1]) * 4;
        float *const o = out + size_t(j) * 4;
        if (n == 4)
            horizontalPairAvx2<4>(q0, weight + b0, q1, weight + b1, o);
        else if (n == 2)
            horizontalPairAvx2<2>(q0, weight + b0, q1, weight + b1, o);
        else if (n == 6)
            horizontalPairAvx2<6>(q0, weight + b0, q1, weight + b1, o);
        else
            break;
    }
    return j;
}

QRgb verticalOne(const float *const *rows, const float *w, int taps, size_t k)
{
    float sum[4] = { 0.0f, 0.0f, 0.0f, 0.0f };
    for (int t = 0; t < taps; ++t)
        for (int ch = 0; ch < 4; ++ch)
            sum[ch] += w[t] * rows[t][k + size_t(ch)];
    return unpremultiplied(sum);
}

// Down n rows from the top one, then unpremultiplied: two pixels' channels
// as int32 lanes a, r, g, b, zero where alpha is below one half.
template <int n>
__attribute__((target("avx2"))) inline __m256i verticalPairAvx2(
    const float *const *rows, const __m256 *w, size_t k)
{
    __m256 sum = _mm256_setzero_ps();
    for (int t = 0; t < n; ++t)
        sum = _mm256_add_ps(sum, _mm256_mul_ps(w[t], _mm256_loadu_ps(rows[t] + k)));
    const __m256 alpha = _mm256_permute_ps(sum, 0);
    __m256 v = _mm256_div_ps(sum, alpha);
    v = _mm256_blend_ps(v, sum, 0x11);
    v = _mm256_max_ps(v, _mm256_setzero_ps());
    v = _mm256_min_ps(v, _mm256_set1_ps(255.0f));
    v = _mm256_add_ps(v, _mm256_set1_ps(0.5f));
    // Alpha below one half is transparent.
    v = _mm256_and_ps(v, _mm256_cmp_ps(alpha, _mm256_set1_ps(0.5f), _CMP_GE_OQ));
    return _mm256_cvttps_epi32(v);
}

template <int n>
__attribute__((target("avx2"))) void verticalRunAvx2(
    const float *const *rows, const float *weights, int &j, int j1, QRgb *to)
{
    __m256 w[n];
    for (int t = 0; t < n; ++t)
        w[t] = _mm256_set1_ps(weights[t]);
    // Bytes a, r, g, b of each pixel to b, g, r, a (ARGB32 in memory).
    const __m256i bgra = _mm256_setr_epi8(3, 2, 1, 0, 7, 6, 5, 4, 11, 10, 9, 8, 15, 14, 13, 12, 3,
        2, 1, 0, 7, 6, 5, 4, 11, 10, 9, 8, 15, 14, 13, 12);
    // After the packs the low half holds pixels 0, 2, 4, 6, the high 1, 3, 5, 7.
    const __m256i order = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
    for (; j + 8 <= j1; j += 8) {
        const size_t k = size_t(j) * 4;
        const __m256i c01 = _mm256_packs_epi32(
            verticalPairAvx2<n>(rows, w, k), verticalPairAvx2<n>(rows, w, k + 8));
        const __m256i c23 = _mm256_packs_epi32(
            verticalPairAvx2<n>(rows, w, k + 16), verticalPairAvx2<n>(rows, w, k + 24));
        const __m256i bytes = _mm256_shuffle_epi8(_mm256_packus_epi16(c01, c23), bgra);
        // Streamed: the target is far larger than the caches, and reading
        // its lines in before overwriting them would double the traffic.
        _mm256_stream_si256(
            reinterpret_cast<__m256i *>(to + j), _mm256_permutevar8x32_epi32(bytes, order));
    }
}

// Vertical pass over the horizontally blended rows and the unpremultiply.
__attribute__((target("avx2"))) void verticalAvx2(
    const float *const *rows, const float *w, int taps, int j0, int j1, QRgb *to)
{
    int j = j0;
    // Scalar up to a 32-byte boundary of the target for the streamed stores.
    while (j < j1 && (reinterpret_cast<uintptr_t>(to + j) & 31) != 0) {
        to[j] = verticalOne(rows, w, taps, size_t(j) * 4);
        ++j;
    }
    if (taps == 4)
        verticalRunAvx2<4>(rows, w, j, j1, to);
    else if (taps == 2)
        verticalRunAvx2<2>(rows, w, j, j1, to);
    else if (taps == 6)
        verticalRunAvx2<6>(rows, w, j, j1, to);
    for (; j < j1; ++j)
        to[j] = verticalOne(rows, w, taps, size_t(j) * 4);
    _mm_sfence();
}

// A row of source pixels premultiplied as premultiplied() does it, two at a
// time: the products of two small integers are exact in float.
__attribute__((target("avx2"))) void premultipliedRowAvx2(const QRgb *from, int count, float *out)
{
    int c = 0;
    for (; c + 2 <= count; c += 2) {
        const __m256i bytes
            = _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i *>(from + c)));
        // Bytes b, g, r, a of each pixel to lanes a, r, g, b.
        const __m256 v = _mm256_permute_ps(_mm256_cvtepi32_ps(bytes), 0x1b);
        const __m256 a = _mm256_permute_ps(v, 0x00);
        _mm256_storeu_ps(out + size_t(c) * 4, _mm256_blend_ps(_mm256_mul_ps(v, a), a, 0x11));
    }
    for (; c < count; ++c)
        premultiplied(from[c], out + size_t(c) * 4);
}

// The same passes four pixels to a vector, one per 128-bit lane.
__attribute__((target("avx512f"))) inline __m512 lanes(__m128 a, __m128 b, __m128 c, __m128 d)
{
    return _mm512_insertf32x4(
        _mm512_insertf32x4(_mm512_insertf32x4(_mm512_castps128_ps512(a), b, 1), c, 2), d, 3);
}

template <int n>
__attribute__((target("avx512f"))) inline void horizontalQuadAvx512(
    const float *const *q, const float *const *w, float *out)
{
    __m512 sum = _mm512_setzero_ps();
    const __m512 w4 = n == 4
        ? lanes(_mm_loadu_ps(w[0]), _mm_loadu_ps(w[1]), _mm_loadu_ps(w[2]), _mm_loadu_ps(w[3]))
        : _mm512_setzero_ps();
    for (int t = 0; t < n; ++t) {
        __m512 wt;
        if (n == 4 && t == 0)
            wt = _mm512_permute_ps(w4, 0x00);
        else if (n == 4 && t == 1)
            wt = _mm512_permute_ps(w4, 0x55);
        else if (n == 4 && t == 2)
            wt = _mm512_permute_ps(w4, 0xaa);
        else if (n == 4)
            wt = _mm512_permute_ps(w4, 0xff);
        else
            wt = lanes(_mm_set1_ps(w[0][t]), _mm_set1_ps(w[1][t]), _mm_set1_ps(w[2][t]),
                _mm_set1_ps(w[3][t]));
        const __m512 qt = lanes(_mm_loadu_ps(q[0] + 4 * t), _mm_loadu_ps(q[1] + 4 * t),
            _mm_loadu_ps(q[2] + 4 * t), _mm_loadu_ps(q[3] + 4 * t));
        sum = _mm512_add_ps(sum, _mm512_mul_ps(wt, qt));
    }
    _mm512_storeu_ps(out, sum);
}

// Horizontal pass over groups of four columns with the same number of
// neighbouring taps; returns the first column it left to the caller.
__attribute__((target("avx512f"))) int horizontalQuadsAvx512(const int *first, const int *index,
    const float *weight, int j, int j1, const float *origin, float *out)
{
    for (; j + 3 < j1; j += 4) {
        const int n = first[j + 1] - first[j];
        if (n != 4 && n != 2 && n != 6)
            break;
        const float *q[4];
        const float *w[4];
        bool neighbours = true;
        for (int c = 0; c < 4; ++c) {
            const int b = first[j + c];
            neighbours
                = neighbours && first[j + c + 1] - b == n && index[b + n - 1] - index[b] == n - 1;
            q[c] = origin + size_t(index[b]) * 4;
            w[c] = weight + b;
        }
        if (!neighbours)
            break;
        float *const o = out + size_t(j) * 4;
        if (n == 4)
            horizontalQuadAvx512<4>(q, w, o);
        else if (n == 2)
            horizontalQuadAvx512<2>(q, w, o);
        else
            horizontalQuadAvx512<6>(q, w, o);
    }
    return j;
}

// Down the rows and unpremultiplied, four pixels; n = 0 takes the tap count
// from taps. Returns their bytes b, g, r, a.
template <int n>
__attribute__((target("avx512f"))) inline __m128i verticalQuadAvx512(
    const float *const *rows, const __m512 *w, const float *weights, int taps, size_t k)
{
    __m512 sum = _mm512_setzero_ps();
    const int count = n > 0 ? n : taps;
    for (int t = 0; t < count; ++t) {
        const __m512 wt = n > 0 ? w[t] : _mm512_set1_ps(weights[t]);
        sum = _mm512_add_ps(sum, _mm512_mul_ps(wt, _mm512_loadu_ps(rows[t] + k)));
    }
    const __m512 alpha = _mm512_permute_ps(sum, 0);
    __m512 v = _mm512_div_ps(sum, alpha);
    v = _mm512_mask_blend_ps(0x1111, v, sum);
    v = _mm512_max_ps(v, _mm512_setzero_ps());
    v = _mm512_min_ps(v, _mm512_set1_ps(255.0f));
    v = _mm512_add_ps(v, _mm512_set1_ps(0.5f));
    // Alpha below one half is transparent.
    v = _mm512_maskz_mov_ps(_mm512_cmp_ps_mask(alpha, _mm512_set1_ps(0.5f), _CMP_GE_OQ), v);
    // Lanes a, r, g, b of each pixel to b, g, r, a (ARGB32 in memory).
    v = _mm512_permute_ps(v, 0x1b);
    return _mm512_cvtepi32_epi8(_mm512_cvttps_epi32(v));
}

template <int n>
__attribute__((target("avx512f"))) void verticalRunAvx512(
    const float *const *rows, const float *weights, int taps, int &j, int j1, QRgb *to)
{
    __m512 w[n > 0 ? n : 1];
    for (int t = 0; t < n; ++t)
        w[t] = _mm512_set1_ps(weights[t]);
    for (; j + 16 <= j1; j += 16) {
        const size_t k = size_t(j) * 4;
        const __m512i lo = _mm512_inserti32x4(
            _mm512_castsi128_si512(verticalQuadAvx512<n>(rows, w, weights, taps, k)),
            verticalQuadAvx512<n>(rows, w, weights, taps, k + 16), 1);
        const __m512i half
            = _mm512_inserti32x4(lo, verticalQuadAvx512<n>(rows, w, weights, taps, k + 32), 2);
        // Streamed, as in the AVX2 path.
        _mm512_stream_si512(reinterpret_cast<__m512i *>(to + j),
            _mm512_inserti32x4(half, verticalQuadAvx512<n>(rows, w, weights, taps, k + 48), 3));
    }
}

__attribute__((target("avx512f"))) void verticalAvx512(
    const float *const *rows, const float *w, int taps, int j0, int j1, QRgb *to)
{
    int j = j0;
    while (j < j1 && (reinterpret_cast<uintptr_t>(to + j) & 63) != 0) {
        to[j] = verticalOne(rows, w, taps, size_t(j) * 4);
        ++j;
    }
    if (taps == 4)
        verticalRunAvx512<4>(rows, w, taps, j, j1, to);
    else if (taps == 2)
        verticalRunAvx512<2>(rows, w, taps, j, j1, to);
    else if (taps == 6)
        verticalRunAvx512<6>(rows, w, taps, j, j1, to);
    else
        verticalRunAvx512<0>(rows, w, taps, j, j1, to);
    for (; j < j1; ++j)
        to[j] = verticalOne(rows, w, taps, size_t(j) * 4);
    _mm_sfence();
}
#endif

// Everything a remap needs, taken from the converter before the first row so
// that the rows touch no member: handlers that run during the yields may
// reconfigure the converter, or even destroy it.
struct RemapPlan
{
    Resampling method = Resampling::Nearest;
    // Interpolated in integers: the map area has no transparent pixel.
    bool opaque = false;
    int w2 = 0;
    int h2 = 0;
    // Nearest: source column per target column (-1 outside), source row per
    // target row (-1 outside).
    std::vector<int> column;
    std::vector<int> row;
    // Runs of consecutive accepted target columns.
    struct Run
    {
        int begin;
        int end;
    };
    std::vector<Run> runs;
    // Interpolation: taps per target column and row, within these ranges.
    AxisRange columns;
    AxisRange rows;
    AxisTaps columnTaps;
    AxisTaps rowTaps;
    // The vector path every thread takes, and an opaque source's column
    // groups for it.
    VectorPath path = VectorPath::Sse2;
    AcrossGroups groups;
};

// Rows handed to a thread at a time: long enough to keep the row cache warm,
// short enough to balance the cheap pole rows against the rest.
constexpr int kRowBlock = 16;
// Interpolating blocks are longer: each block blends the source rows its
// taps reach across again, and a longer block shares more of them.
constexpr int kInterpolatedRowBlock = 48;

// One thread's scratch for interpolated rows: one premultiplied source row,
// and source rows blended across to the target columns in a direct-mapped
// cache that holds every row of one target row's taps. Opaque sources are
// blended in integers, straight from their bytes.
class RowWorker
{
public:
    RowWorker(const RemapPlan &plan, const QImage &src)
        : m_plan(plan)
        , m_src(src)
        , m_width(plan.columns.hi - plan.columns.lo + 1)
    {
        if (plan.method == Resampling::Nearest || m_width <= 0)
            return;
        if (!plan.opaque)
            m_source.resize(size_t(m_width) * 4);
        m_slots = std::max(plan.rowTaps.maxCount(), 1);
        // Rows start on cache lines, so that no vector load or store of a
        // group of four pixels straddles two lines.
        constexpr size_t kLine = 64;
        const size_t valueSize = plan.opaque ? sizeof(qint16) : sizeof(float);
        m_rowBytes = (size_t(plan.w2) * 4 * valueSize + kLine - 1) / kLine * kLine;
        m_cache.resize(m_rowBytes * size_t(m_slots) + kLine);
        const size_t misaligned = reinterpret_cast<uintptr_t>(m_cache.data()) % kLine;
        m_cacheStart = m_cache.data() + (misaligned ? kLine - misaligned : 0);
        m_tags.assign(size_t(m_slots), -1);
        m_rows.resize(size_t(m_slots));
        m_opaqueRows.resize(size_t(m_slots));
    }

    void render(int i, QRgb *to)
    {
        if (m_plan.method == Resampling::Nearest)
            renderNearest(i, to);
        else
            renderInterpolated(i, to);
    }

private:
    void renderNearest(int i, QRgb *to) const
    {
        const int v = m_plan.row[size_t(i)];
        if (v < 0)
            return;
        const QRgb *const from = reinterpret_cast<const QRgb *>(m_src.constScanLine(v));
        const int *const u = m_plan.column.data();
        for (const RemapPlan::Run &run : m_plan.runs)
            gatherRun(from, u + run.begin, to + run.begin, run.end - run.begin);
    }

    // Source row v blended across, premultiplied, for every target column of
    // the runs; kept in a direct-mapped cache that holds every row of one
    // target row's taps, since the next target rows mostly want them again.
    const float *blendedRow(int v)
    {
        const size_t slot = size_t(v % m_slots);
        float *const row = reinterpret_cast<float *>(m_cacheStart + slot * m_rowBytes);
        if (m_tags[slot] != v) {
            const QRgb *const from
                = reinterpret_cast<const QRgb *>(m_src.constScanLine(v)) + m_plan.columns.lo;
            float *const source = m_source.data();
#ifdef PLANO_WIDE_VECTORS
            if (m_path != VectorPath::Sse2)
                premultipliedRowAvx2(from, m_width, source);
            else
#endif
                for (int c = 0; c < m_width; ++c)
                    premultiplied(from[c], source + size_t(c) * 4);
            const float *const origin = source - size_t(m_plan.columns.lo) * 4;
            for (const RemapPlan::Run &run : m_plan.runs)
                horizontal(m_plan.columnTaps, run.begin, run.end, origin, row, m_path);
            m_tags[slot] = v;
        }
        return row;
    }

    // The same for an opaque source, in integers.
    const qint16 *blendedOpaqueRow(int v)
    {
        const size_t slot = size_t(v % m_slots);
        qint16 *const row = reinterpret_cast<qint16 *>(m_cacheStart + slot * m_rowBytes);
        if (m_tags[slot] != v) {
            const QRgb *const origin = reinterpret_cast<const QRgb *>(m_src.constScanLine(v));
            for (const RemapPlan::Run &run : m_plan.runs)
                blendAcrossOpaque(
                    m_plan.columnTaps, m_plan.groups, run.begin, run.end, origin, row);
            m_tags[slot] = v;
        }
        return row;
    }

    void renderOpaque(int i, QRgb *to)
    {
        const AxisTaps &rt = m_plan.rowTaps;
        const int t0 = rt.first[size_t(i)];
        const int taps = rt.first[size_t(i) + 1] - t0;
        for (int t = 0; t < taps; ++t)
            m_opaqueRows[size_t(t)] = blendedOpaqueRow(rt.index[size_t(t0 + t)]);
        for (const RemapPlan::Run &run : m_plan.runs)
            blendDownOpaque(m_opaqueRows.data(), rt.fixedWeight.data() + t0, taps, run.begin,
                run.end, to, m_path);
    }

    void renderInterpolated(int i, QRgb *to)
    {
        if (m_plan.row[size_t(i)] < 0 || m_plan.runs.empty())
            return;
        if (m_plan.opaque) {
            renderOpaque(i, to);
            return;
        }
        // Across first, then down, in the order the reference sums: each
        // row's taps from the leftmost one, then the rows from the top one.
        const AxisTaps &rt = m_plan.rowTaps;
        const int t0 = rt.first[size_t(i)];
        const int taps = rt.first[size_t(i) + 1] - t0;
        for (int t = 0; t < taps; ++t)
            m_rows[size_t(t)] = blendedRow(rt.index[size_t(t0 + t)]);
        const float *const w = rt.weight.data() + t0;
        const float *const *const rows = m_rows.data();
        for (const RemapPlan::Run &run : m_plan.runs) {
#ifdef PLANO_WIDE_VECTORS
            if (m_path == VectorPath::Avx512) {
                verticalAvx512(rows, w, taps, run.begin, run.end, to);
                continue;
            }
            if (m_path == VectorPath::Avx2) {
                verticalAvx2(rows, w, taps, run.begin, run.end, to);
                continue;
            }
#endif
            for (int j = run.begin; j < run.end; ++j) {
                const size_t k = size_t(j) * 4;
#ifdef __SSE2__
                __m128 sum = _mm_setzero_ps();
                for (int t = 0; t < taps; ++t)
                    sum = _mm_add_ps(sum, _mm_mul_ps(_mm_set1_ps(w[t]), _mm_loadu_ps(rows[t] + k)));
                to[j] = unpremultipliedLanes(sum);
#else
                float sum[4] = { 0.0f, 0.0f, 0.0f, 0.0f };
                for (int t = 0; t < taps; ++t)
                    for (int ch = 0; ch < 4; ++ch)
                        sum[ch] += w[t] * rows[t][k + size_t(ch)];
                to[j] = unpremultiplied(sum);
#endif
            }
        }
    }

    // The same operations as the reference's scalar loop, one lane per
    // channel: IEEE products and sums in the same order give the same bits.
    // Raw pointers keep the tables out of the stores' possible aliases.
    static void horizontal(
        const AxisTaps &ct, int j0, int j1, const float *origin, float *out, VectorPath path)
    {
        const int *const first = ct.first.data();
        const int *const index = ct.index.data();
        const float *const weight = ct.weight.data();
#ifdef PLANO_WIDE_VECTORS
        const bool avx512 = path == VectorPath::Avx512;
        const bool avx2 = path == VectorPath::Avx2;
#else
        Q_UNUSED(path);
#endif
        for (int j = j0; j < j1; ++j) {
#ifdef PLANO_WIDE_VECTORS
            // Groups of four start on a cache line of the blended row.
            int next = j;
            if (avx512 && (j & 3) == 0)
                next = horizontalQuadsAvx512(first, index, weight, j, j1, origin, out);
            else if (avx2)
                next = horizontalPairsAvx2(first, index, weight, j, j1, origin, out);
            if (next != j) {
                j = next - 1;
                continue;
            }
#endif
            const int begin = first[j];
            const int end = first[j + 1];
#ifdef __SSE2__
            __m128 sum = _mm_setzero_ps();
            for (int t = begin; t < end; ++t) {
                const __m128 q = _mm_loadu_ps(origin + size_t(index[t]) * 4);
                sum = _mm_add_ps(sum, _mm_mul_ps(_mm_set1_ps(weight[t]), q));
            }
            _mm_storeu_ps(out + size_t(j) * 4, sum);
#else
            float sum[4] = { 0.0f, 0.0f, 0.0f, 0.0f };
            for (int t = begin; t < end; ++t) {
                const float *const q = origin + size_t(index[t]) * 4;
                for (int ch = 0; ch < 4; ++ch)
                    sum[ch] += weight[t] * q[ch];
            }
            std::copy(sum, sum + 4, out + size_t(j) * 4);
#endif
        }
    }

#ifdef __SSE2__
    static QRgb unpremultipliedLanes(__m128 sum)
    {
        const float alpha = _mm_cvtss_f32(sum);
        if (!(alpha >= 0.5f))
            return 0;
        __m128 v = _mm_div_ps(sum, _mm_shuffle_ps(sum, sum, 0));
        v = _mm_move_ss(v, sum);
        v = _mm_max_ps(v, _mm_setzero_ps());
        v = _mm_min_ps(v, _mm_set1_ps(255.0f));
        v = _mm_add_ps(v, _mm_set1_ps(0.5f));
        // Lanes a, r, g, b to the bytes b, g, r, a of an ARGB32 word.
        __m128i i = _mm_shuffle_epi32(_mm_cvttps_epi32(v), _MM_SHUFFLE(0, 1, 2, 3));
        i = _mm_packs_epi32(i, i);
        i = _mm_packus_epi16(i, i);
        return QRgb(_mm_cvtsi128_si32(i));
    }
#endif

    const RemapPlan &m_plan;
    const QImage &m_src;
    const int m_width;
    const VectorPath m_path = m_plan.path;
    int m_slots = 1;
    size_t m_rowBytes = 0;
    std::vector<float> m_source;
    std::vector<unsigned char> m_cache;
    unsigned char *m_cacheStart = nullptr;
    std::vector<int> m_tags;
    std::vector<const float *> m_rows;
    std::vector<const qint16 *> m_opaqueRows;
};

std::atomic<int> widestVectorPath { int(VectorPath::Avx512) };

int threadsFor(int requested, int rows)
{
    int n = requested > 0 ? requested : int(std::thread::hardware_concurrency());
    n = std::max(n, 1);
    return std::min(n, std::max((rows + kRowBlock - 1) / kRowBlock, 1));
}

} // namespace

void ProjectionConverter::setWidestVectorPath(VectorPath widest)
{
    widestVectorPath = int(widest);
}

VectorPath ProjectionConverter::vectorPath()
{
    int available = int(VectorPath::Sse2);
#ifdef PLANO_WIDE_VECTORS
    static const int cpu = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw")
        ? int(VectorPath::Avx512)
        : __builtin_cpu_supports("avx2") ? int(VectorPath::Avx2)
                                         : int(VectorPath::Sse2);
    available = cpu;
#endif
    return VectorPath(std::min(available, widestVectorPath.load(std::memory_order_relaxed)));
}

ProjectionConverter::SampleGeometry ProjectionConverter::sampleGeometry(
    const QImage &src, int w2, int h2) const
{
    SampleGeometry g;
    g.w = src.width();
    g.h = src.height();
    g.left = m_marginLeft;
    g.top = m_marginTop;
    g.right = lastInside(g.w, m_marginRight);
    g.bottom = lastInside(g.h, m_marginBottom);
    g.rowStep = gridStep(180.0, h2);
    g.columnStep = gridStep(360.0, w2);
    const LinearMaps m = linearMaps(g.w, g.h);
    g.scaleX = m.scaleX;
    g.offsetX = m.offsetX;
    g.scaleY = m.scaleY;
    g.offsetY = m.offsetY;
    g.a = m_factor * m_degree;
    g.lonMin = m_lonMin;

    // Interpolation stays inside the map area; longitude wraps only when the
    // area is one whole turn, whose first and last columns are 360 degrees
    // (right - left pixels) apart.
    g.columns.lo = int(std::max<qint64>(g.left, 0));
    g.columns.hi = int(std::min<qint64>(g.right, qint64(g.w) - 1));
    g.rows.lo = int(std::max<qint64>(g.top, 0));
    g.rows.hi = int(std::min<qint64>(g.bottom, qint64(g.h) - 1));
    if (m_lonSpan == 360.0 && g.left >= 0 && g.right < g.w && g.right > g.left)
        g.columns.period = int(g.right - g.left);
    // A frame line never takes the whole area.
    g.columns.frame = std::clamp(m_frameLine, 0, std::max(0, (g.columns.hi - g.columns.lo) / 2));
    g.rows.frame = std::clamp(m_frameLine, 0, std::max(0, (g.rows.hi - g.rows.lo) / 2));
    g.columnFootprint = std::fabs(g.columnStep * g.scaleX);
    return g;
}

double ProjectionConverter::SampleGeometry::columnPosition(int j) const
{
    return wrapLongitude(j * columnStep - 180.0, lonMin) * scaleX + offsetX;
}

double ProjectionConverter::SampleGeometry::rowPosition(int i) const
{
    return projectedY(a, 90.0 - i * rowStep) * scaleY + offsetY;
}

double ProjectionConverter::SampleGeometry::rowFootprint(int i) const
{
    const double lat = 90.0 - i * rowStep;
    const double north = std::min(lat + rowStep / 2.0, 90.0);
    const double south = std::max(lat - rowStep / 2.0, -90.0);
    return std::fabs((projectedY(a, north) - projectedY(a, south)) * scaleY);
}

bool ProjectionConverter::SampleGeometry::columnInside(int u) const
{
    return 0 <= u && u < w && left <= u && u <= right;
}

bool ProjectionConverter::SampleGeometry::rowInside(int v) const
{
    return 0 <= v && v < h && top <= v && v <= bottom;
}

bool ProjectionConverter::isWorldProjection() const
{
    return m_usable && m_projection != QLatin1String("miller")
        && m_projection != QLatin1String("mercator");
}

WorldBox ProjectionConverter::worldBox(int width, int height) const
{
    WorldBox box;
    box.projection = m_projection;
    box.lonMin = m_lonMin;
    box.lonSpan = m_lonSpan;
    box.latMin = m_latMin;
    box.latMax = m_latMax;
    box.left = m_marginLeft;
    box.top = m_marginTop;
    box.right = int(std::min<qint64>(lastInside(width, m_marginRight), INT_MAX));
    box.bottom = int(std::min<qint64>(lastInside(height, m_marginBottom), INT_MAX));
    box.frame = std::max(0, m_frameLine);
    return box;
}

void ProjectionConverter::remap(const QImage &source, QImage &target, bool processEvents)
{
    if (!m_usable)
        return;
    if (isWorldProjection()) {
        makeWritableTarget(target);
        // The geometry and the target's positions are kept for the next
        // source of the same size with the same parameters (a batch, a
        // preview at another size).
        const WorldBox box = worldBox(source.width(), source.height());
        std::shared_ptr<const WorldMap> map;
        {
            const std::lock_guard<std::mutex> hold(m_worldCache->lock);
            if (!m_worldCache->map || !(m_worldCache->map->box() == box))
                m_worldCache->map = std::make_shared<const WorldMap>(box);
            map = m_worldCache->map;
        }
        map->remap(source, target, m_resampling, m_threadCount);
        return;
    }

    // The source is a shallow copy: a handler during a yield cannot pull it away.
    const QImage src = readableSource(source);
    makeWritableTarget(target);
    RemapPlan plan;
    plan.method = m_resampling;
    plan.w2 = target.width();
    plan.h2 = target.height();
    const int w2 = plan.w2;
    const int h2 = plan.h2;
    const SampleGeometry g = sampleGeometry(src, w2, h2);
    const bool interpolate = plan.method != Resampling::Nearest;
    plan.columns = g.columns;
    plan.rows = g.rows;
    plan.opaque = interpolate && opaqueMapArea(src, g.columns, g.rows);

    plan.column.assign(size_t(qMax(w2, 0)), -1);
    plan.columnTaps.clear();
    for (int j = 0; j < w2; ++j) {
        const double x = g.columnPosition(j);
        const int u = truncToInt(x);
        const bool inside = g.columnInside(u);
        if (interpolate && inside)
            appendTaps(plan.columnTaps, plan.method, x, g.columnFootprint, g.columns);
        else if (interpolate)
            plan.columnTaps.first.push_back(int(plan.columnTaps.weight.size()));
        if (!inside)
            continue;
        plan.column[size_t(j)] = clampToInterior(u, g.columns);
        if (!plan.runs.empty() && plan.runs.back().end == j)
            plan.runs.back().end = j + 1;
        else
            plan.runs.push_back({ j, j + 1 });
    }
    plan.row.assign(size_t(qMax(h2, 0)), -1);
    plan.rowTaps.clear();
    for (int i = 0; i < h2; ++i) {
        const double y = g.rowPosition(i);
        const int v = truncToInt(y);
        const bool inside = g.rowInside(v);
        if (interpolate && inside)
            appendTaps(plan.rowTaps, plan.method, y, g.rowFootprint(i), g.rows);
        else if (interpolate)
            plan.rowTaps.first.push_back(int(plan.rowTaps.weight.size()));
        if (inside)
            plan.row[size_t(i)] = clampToInterior(v, g.rows);
    }
    if (h2 <= 0 || w2 <= 0)
        return;
    plan.path = vectorPath();
    if (interpolate && plan.opaque) {
        for (const RemapPlan::Run &run : plan.runs)
            addAcrossGroups(
                plan.groups, plan.columnTaps, run.begin, run.end, plan.columns.hi, plan.path);
    }

    // The rows are written through one pointer taken here; the extra
    // reference keeps that buffer alive should a handler replace the target.
    uchar *const bits = target.bits();
    const qsizetype bytesPerLine = target.bytesPerLine();
    const QImage keep = target;
    const QImage::Format targetFormat = target.format();
    std::atomic<int> nextRow { 0 };
    std::atomic<int> rowsDone { 0 };
    std::atomic<bool> abandoned { false };

    // The event loop runs before every block this thread takes and while it
    // waits for the others, as long as the target is still the one begun on.
    auto yieldKeepsTarget = [&] {
        yieldToEventLoop(true);
        // A handler that replaced the target gets no stray rows.
        const bool sameTarget = target.width() == w2 && target.height() == h2
            && target.format() == targetFormat && target.constBits() == bits;
        if (!sameTarget)
            abandoned = true;
        return sameTarget;
    };
    const int block = interpolate ? kInterpolatedRowBlock : kRowBlock;
    auto work = [&](bool yields) {
        RowWorker worker(plan, src);
        for (;;) {
            if (yields && !yieldKeepsTarget())
                break;
            if (abandoned.load(std::memory_order_relaxed))
                break;
            const int begin = nextRow.fetch_add(block);
            if (begin >= h2)
                break;
            const int end = std::min(begin + block, h2);
            for (int i = begin; i < end; ++i)
                worker.render(i, reinterpret_cast<QRgb *>(bits + i * bytesPerLine));
            rowsDone += end - begin;
        }
    };

    const bool yields = processEvents && QCoreApplication::instance();
    const int threads = threadsFor(m_threadCount, h2);
    std::vector<std::thread> helpers;
    helpers.reserve(size_t(threads - 1));
    for (int t = 1; t < threads; ++t)
        helpers.emplace_back(work, false);
    work(yields);
    while (yields && rowsDone.load() < h2 && !abandoned.load()) {
        if (!yieldKeepsTarget())
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    for (std::thread &helper : helpers)
        helper.join();
}

void ProjectionConverter::remapReference(const QImage &source, QImage &target) const
{
    if (!m_usable)
        return;
    if (isWorldProjection()) {
        makeWritableTarget(target);
        WorldMap(worldBox(source.width(), source.height()))
            .remapReference(source, target, m_resampling, 1);
        return;
    }

    const QImage src = readableSource(source);
    makeWritableTarget(target);
    if (m_resampling != Resampling::Nearest) {
        interpolateReference(src, target);
        return;
    }
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
    // The frame line's pixels are not map: the nearest inside it stands in.
    const SampleGeometry frame = sampleGeometry(src, w2, h2);

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
                to[j] = reinterpret_cast<const QRgb *>(src.constScanLine(
                    clampToInterior(v, frame.rows)))[clampToInterior(u, frame.columns)];
        }
    }
}

void ProjectionConverter::interpolateReference(const QImage &src, QImage &target) const
{
    const int w2 = target.width();
    const int h2 = target.height();
    const SampleGeometry g = sampleGeometry(src, w2, h2);
    const bool opaque = opaqueMapArea(src, g.columns, g.rows);
    AxisTaps ct;
    AxisTaps rt;
    for (int i = 0; i < h2; ++i) {
        const double y = g.rowPosition(i);
        if (!g.rowInside(truncToInt(y)))
            continue;
        QRgb *const to = reinterpret_cast<QRgb *>(target.scanLine(i));
        for (int j = 0; j < w2; ++j) {
            const double x = g.columnPosition(j);
            if (!g.columnInside(truncToInt(x)))
                continue;
            rt.clear();
            ct.clear();
            appendTaps(rt, m_resampling, y, g.rowFootprint(i), g.rows);
            appendTaps(ct, m_resampling, x, g.columnFootprint, g.columns);
            if (opaque) {
                // In integers: each row across to 16 bits, then down.
                qint32 down[4] = { 0, 0, 0, 0 };
                for (int r = 0; r < rt.count(0); ++r) {
                    const QRgb *const line
                        = reinterpret_cast<const QRgb *>(src.constScanLine(rt.index[size_t(r)]));
                    qint32 across[4] = { 0, 0, 0, 0 };
                    for (int c = 0; c < ct.count(0); ++c) {
                        const QRgb p = line[ct.index[size_t(c)]];
                        const qint32 bytes[4] = { qBlue(p), qGreen(p), qRed(p), qAlpha(p) };
                        for (int ch = 0; ch < 4; ++ch)
                            across[ch] += qint32(ct.fixedWeight[size_t(c)]) * bytes[ch];
                    }
                    for (int ch = 0; ch < 4; ++ch)
                        down[ch] += qint32(rt.fixedWeight[size_t(r)]) * acrossFixed(across[ch]);
                }
                to[j] = qRgb(downFixed(down[2]), downFixed(down[1]), downFixed(down[0]));
                continue;
            }
            // Across each row first, then down the rows.
            float sum[4] = { 0.0f, 0.0f, 0.0f, 0.0f };
            for (int r = 0; r < rt.count(0); ++r) {
                const QRgb *const line
                    = reinterpret_cast<const QRgb *>(src.constScanLine(rt.index[size_t(r)]));
                float across[4] = { 0.0f, 0.0f, 0.0f, 0.0f };
                for (int c = 0; c < ct.count(0); ++c) {
                    float pm[4];
                    premultiplied(line[ct.index[size_t(c)]], pm);
                    for (int ch = 0; ch < 4; ++ch)
                        across[ch] += ct.weight[size_t(c)] * pm[ch];
                }
                for (int ch = 0; ch < 4; ++ch)
                    sum[ch] += rt.weight[size_t(r)] * across[ch];
            }
            to[j] = unpremultiplied(sum);
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
    t.insert(QStringLiteral("frame_line"), m_frameLine);
    return t;
}
