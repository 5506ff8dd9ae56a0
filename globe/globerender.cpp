#include "globe/globerender.h"

#include "globe/globeview.h"

#include <QPainter>
#include <QPolygonF>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <optional>
#include <thread>
#include <vector>

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define PLANO_GLOBE_X86 1
#define PLANO_INLINE inline __attribute__((always_inline))
#else
#define PLANO_INLINE inline
#endif

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr float kPiF = float(kPi);
constexpr float kHalfPiF = float(kPi / 2);
// Rows a thread takes at a time: the disc's rows differ in length.
constexpr int kBlockRows = 8;

// atan on [0, 1] (Abramowitz and Stegun 4.4.49): within 2e-8 rad, against
// 7.7e-4 rad for a texel of an 8192-column image.
PLANO_INLINE float atanUnit(float t)
{
    const float s = t * t;
    float p = 0.0028662257f;
    p = p * s - 0.0161657367f;
    p = p * s + 0.0429096138f;
    p = p * s - 0.0752896400f;
    p = p * s + 0.1065626393f;
    p = p * s - 0.1420889944f;
    p = p * s + 0.1999355085f;
    p = p * s - 0.3332985605f;
    p = p * s + 0.9999993329f;
    return p * t;
}

// Selects instead of branches, so the row loop vectorises.
PLANO_INLINE float fastAtan2(float y, float x)
{
    const float ax = std::fabs(x);
    const float ay = std::fabs(y);
    // Both zero: 0 / tiny, no division by zero.
    const float a = atanUnit(std::min(ax, ay) / std::max(std::max(ax, ay), 1e-30f));
    const float b = ay > ax ? kHalfPiF - a : a;
    const float c = x < 0.0f ? kPiF - b : b;
    return std::copysign(c, y);
}

// What a frame's rows share.
struct Frame
{
    const uchar *bits = nullptr;
    qsizetype bytesPerLine = 0;
    int texWidth = 0;
    int texHeight = 0;
    float sinLat0 = 0;
    float cosLat0 = 1;
    float uScale = 0; // texture columns per radian
    float uOffset = 0; // the column of longitude 0 seen from the centre, plus one turn
    float vScale = 0;
    float vOffset = 0;
    float vMax = 0;
    float halfRadius = 0;
    double radius = 0;
    int width = 0;
    int height = 0;
    std::vector<float> xs; // each column's view x, in radii
};

// Texture coordinates of one row's pixels (texel centres at whole numbers,
// u kept positive so truncation floors it) and the share of each pixel that
// the disc covers.
PLANO_INLINE void rowCoordinatesBody(const Frame &f, const float *__restrict xs, int n, float y,
    float *__restrict u, float *__restrict v, float *__restrict cover)
{
    const float y2 = y * y;
    const float sinLat0 = f.sinLat0;
    const float cosLat0 = f.cosLat0;
    const float ySin = y * sinLat0;
    const float yCos = y * cosLat0;
    const float uScale = f.uScale;
    const float uOffset = f.uOffset;
    const float vScale = f.vScale;
    const float vOffset = f.vOffset;
    const float vMax = f.vMax;
    const float halfRadius = f.halfRadius;
    for (int i = 0; i < n; ++i) {
        const float x = xs[i];
        const float d = 1.0f - (x * x + y2);
        // Past the limb the pixel shows the limb itself.
        const float z = std::sqrt(std::max(d, 0.0f));
        const float ahead = z * cosLat0 - ySin;
        const float north = yCos + z * sinLat0;
        const float level = std::sqrt(x * x + ahead * ahead);
        u[i] = fastAtan2(x, ahead) * uScale + uOffset;
        const float row = vOffset - fastAtan2(north, level) * vScale;
        v[i] = std::min(std::max(row, 0.0f), vMax);
        // 1 - r^2 is about twice the distance inside the limb, in radii.
        const float c = d * halfRadius + 0.5f;
        cover[i] = std::min(std::max(c, 0.0f), 1.0f);
    }
}

void rowCoordinatesPlain(
    const Frame &f, const float *xs, int n, float y, float *u, float *v, float *cover)
{
    rowCoordinatesBody(f, xs, n, y, u, v, cover);
}

#ifdef PLANO_GLOBE_X86
__attribute__((target("avx2,fma"))) void rowCoordinatesAvx2(
    const Frame &f, const float *xs, int n, float y, float *u, float *v, float *cover)
{
    rowCoordinatesBody(f, xs, n, y, u, v, cover);
}

__attribute__((target("avx512f,fma"))) void rowCoordinatesAvx512(
    const Frame &f, const float *xs, int n, float y, float *u, float *v, float *cover)
{
    rowCoordinatesBody(f, xs, n, y, u, v, cover);
}
#endif

using RowCoordinates
    = void (*)(const Frame &, const float *, int, float, float *, float *, float *);

RowCoordinates rowCoordinates()
{
#ifdef PLANO_GLOBE_X86
    if (__builtin_cpu_supports("avx512f"))
        return rowCoordinatesAvx512;
    if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma"))
        return rowCoordinatesAvx2;
#endif
    return rowCoordinatesPlain;
}

// Two premultiplied pixels mixed by a / 256 and b / 256, two channels at a time.
inline quint32 mix(quint32 p, uint a, quint32 q, uint b)
{
    quint32 rb = (p & 0xff00ff) * a + (q & 0xff00ff) * b;
    rb = (rb >> 8) & 0xff00ff;
    quint32 ag = ((p >> 8) & 0xff00ff) * a + ((q >> 8) & 0xff00ff) * b;
    ag &= 0xff00ff00;
    return ag | rb;
}

inline quint32 sample(const Frame &f, float u, float v)
{
    int x0 = int(u);
    const uint fx = uint((u - float(x0)) * 256.0f);
    int y0 = int(v);
    const uint fy = uint((v - float(y0)) * 256.0f);
    // Column -1 is the last column: u runs up to two and a half turns.
    while (x0 >= f.texWidth)
        x0 -= f.texWidth;
    const int x1 = x0 + 1 == f.texWidth ? 0 : x0 + 1;
    const int y1 = y0 + 1 < f.texHeight ? y0 + 1 : y0;
    const auto *top = reinterpret_cast<const quint32 *>(f.bits + y0 * f.bytesPerLine);
    const auto *bottom = reinterpret_cast<const quint32 *>(f.bits + y1 * f.bytesPerLine);
    const quint32 upper = mix(top[x0], 256 - fx, top[x1], fx);
    const quint32 lower = mix(bottom[x0], 256 - fx, bottom[x1], fx);
    return mix(upper, 256 - fy, lower, fy);
}

constexpr int kAhead = 24;

inline void prefetch(const Frame &f, float u, float v)
{
    int x = int(u);
    while (x >= f.texWidth)
        x -= f.texWidth;
    const int y = int(v);
    const uchar *top = f.bits + y * f.bytesPerLine + x * 4;
#if defined(__GNUC__)
    __builtin_prefetch(top);
    if (y + 1 < f.texHeight)
        __builtin_prefetch(top + f.bytesPerLine);
#else
    Q_UNUSED(top);
#endif
}

// out: the picture's first byte and bytes per line, taken once: scanLine() may
// not be called from several threads.
void renderRows(const Frame &f, RowCoordinates coordinates, std::atomic<int> &next, uchar *out,
    qsizetype outBytesPerLine)
{
    std::vector<float> u(size_t(f.width)), v(size_t(f.width)), cover(size_t(f.width));
    // Columns whose pixel the disc touches at all: 1 - r^2 > -1 / radius.
    const double reach2 = 1 + 1 / f.radius;
    for (;;) {
        const int first = next.fetch_add(kBlockRows);
        if (first >= f.height)
            return;
        const int last = std::min(first + kBlockRows, f.height);
        for (int j = first; j < last; ++j) {
            auto *line = reinterpret_cast<quint32 *>(out + j * outBytesPerLine);
            const double y = (f.height / 2.0 - (j + 0.5)) / f.radius;
            const double half = std::sqrt(std::max(0.0, reach2 - y * y)) * f.radius;
            const int begin = std::max(0, int(std::ceil(f.width / 2.0 - 0.5 - half)));
            const int end = std::min(f.width, int(std::floor(f.width / 2.0 - 0.5 + half)) + 1);
            if (begin >= end) {
                std::fill(line, line + f.width, 0u);
                continue;
            }
            std::fill(line, line + begin, 0u);
            std::fill(line + end, line + f.width, 0u);
            const int n = end - begin;
            coordinates(f, f.xs.data() + begin, n, float(y), u.data(), v.data(), cover.data());
            for (int i = 0; i < n; ++i) {
                // The texels a few pixels ahead are fetched while these blend:
                // when the image is much larger than the disc, nearly every
                // pixel's texels lie in lines not yet in cache.
                if (i + kAhead < n)
                    prefetch(f, u[size_t(i + kAhead)], v[size_t(i + kAhead)]);
                const quint32 pixel = sample(f, u[size_t(i)], v[size_t(i)]);
                const uint share = uint(cover[size_t(i)] * 256.0f + 0.5f);
                line[begin + i] = share >= 256 ? pixel : mix(pixel, share, 0, 0);
            }
        }
    }
}

} // namespace

QImage renderGlobe(const QImage &image, double centreLon, double centreLat, double zoom,
    const QSize &size, const GlobeOptions &options)
{
    if (size.isEmpty())
        return QImage();
    QImage out(size, QImage::Format_ARGB32_Premultiplied);
    if (out.isNull())
        return QImage();
    if (image.isNull()) {
        out.fill(Qt::transparent);
        return out;
    }
    const QImage texture = image.format() == QImage::Format_RGB32
            || image.format() == QImage::Format_ARGB32_Premultiplied
        ? image
        : image.convertToFormat(QImage::Format_ARGB32_Premultiplied);

    const GlobeView view = normalisedView({ centreLon, centreLat, zoom });
    Frame f;
    f.bits = texture.constBits();
    f.bytesPerLine = texture.bytesPerLine();
    f.texWidth = texture.width();
    f.texHeight = texture.height();
    f.width = size.width();
    f.height = size.height();
    f.radius = globeRadius(size, view.zoom);
    f.halfRadius = float(f.radius / 2);
    f.sinLat0 = float(std::sin(view.lat * kPi / 180));
    f.cosLat0 = float(std::cos(view.lat * kPi / 180));
    f.uScale = float(f.texWidth / (2 * kPi));
    // Longitude -180 is column -0.5; one more turn keeps u above zero.
    f.uOffset = float((view.lon + 180) / 360 * f.texWidth - 0.5 + f.texWidth);
    f.vScale = float(f.texHeight / kPi);
    f.vOffset = float(f.texHeight / 2.0 - 0.5);
    f.vMax = float(f.texHeight - 1);
    f.xs.resize(size_t(f.width));
    for (int i = 0; i < f.width; ++i)
        f.xs[size_t(i)] = float((i + 0.5 - f.width / 2.0) / f.radius);

    const RowCoordinates coordinates = rowCoordinates();
    const int cores = options.threads > 0 ? options.threads
                                          : int(std::max(1u, std::thread::hardware_concurrency()));
    const int threads = std::max(1, std::min(cores, (f.height + kBlockRows - 1) / kBlockRows));
    std::atomic<int> next { 0 };
    uchar *outBits = out.bits();
    const qsizetype outBytesPerLine = out.bytesPerLine();
    std::vector<std::thread> helpers;
    helpers.reserve(size_t(threads - 1));
    for (int t = 1; t < threads; ++t)
        helpers.emplace_back([&] { renderRows(f, coordinates, next, outBits, outBytesPerLine); });
    renderRows(f, coordinates, next, outBits, outBytesPerLine);
    for (std::thread &helper : helpers)
        helper.join();

    if (options.graticule)
        drawGraticule(out, view.lon, view.lat, view.zoom);
    return out;
}

void drawGraticule(QImage &globe, double centreLon, double centreLat, double zoom)
{
    if (globe.isNull())
        return;
    const GlobeView view = normalisedView({ centreLon, centreLat, zoom });
    const QSize size = globe.size();
    QPainter painter(&globe);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(255, 255, 255, 150), 1));
    // Each line in 1-degree steps, broken where it passes behind the globe.
    const auto drawLine = [&](auto pointAt, int steps) {
        QPolygonF run;
        for (int k = 0; k <= steps; ++k) {
            const std::optional<QPointF> p = pointAt(k);
            if (p) {
                run << *p;
                continue;
            }
            if (run.size() > 1)
                painter.drawPolyline(run);
            run.clear();
        }
        if (run.size() > 1)
            painter.drawPolyline(run);
    };
    for (int lon = -180; lon < 180; lon += 30)
        drawLine([&](int k) { return viewPointOf(view, size, lon, k - 90.0); }, 180);
    for (int lat = -60; lat <= 60; lat += 30)
        drawLine([&](int k) { return viewPointOf(view, size, k - 180.0, lat); }, 360);
}
