// Quality of the resampling methods against an independent truth, beside the
// same conversions done by gdalwarp.
//
// The world is an analytic function of longitude and latitude (smooth land
// and sea, hard coastlines, thin graticule lines and rivers), continuous over
// the 180th meridian and the poles. A Miller source is rendered from it by
// supersampling every source pixel, with white margins around the map area;
// each method's equirectangular output is compared with the function averaged
// over each output pixel: PSNR (RGB) and SSIM (luma, 11 x 11 Gaussian) over
// the covered pixels, and PSNR of the four columns at each 180° edge.
//
// usage: bench_quality [--no-gdal] [--keep DIR] [--only up|down]
#include "projection/convertparams.h"
#include "projection/projectionconverter.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <functional>
#include <thread>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kDeg = kPi / 180.0;
constexpr double kMillerA = 0.8 * kDeg;

struct Rgb
{
    double r = 0, g = 0, b = 0;
};

double dot3(const double *a, const double *b)
{
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

// A smooth field on the sphere: a few plane waves through the globe.
double field(const double *p, int seed)
{
    static const double dirs[2][5][3] = {
        { { 0.6, 0.7, 0.38 }, { -0.8, 0.2, 0.57 }, { 0.1, -0.9, 0.42 }, { 0.5, 0.5, -0.71 },
            { -0.3, -0.6, -0.74 } },
        { { 0.9, -0.1, 0.42 }, { 0.2, 0.8, -0.56 }, { -0.7, -0.5, 0.5 }, { 0.4, -0.3, 0.87 },
            { -0.2, 0.9, 0.39 } },
    };
    static const double freq[5] = { 2.3, 3.7, 5.1, 7.9, 11.3 };
    static const double amp[5] = { 1.0, 0.7, 0.45, 0.25, 0.12 };
    double s = 0.0;
    for (int k = 0; k < 5; ++k)
        s += amp[k] * std::sin(freq[k] * dot3(dirs[seed][k], p) + 0.7 * k + seed);
    return s;
}

// The world: land and sea split by a hard coastline, a 30° graticule of thin
// dark lines (0.1° of arc either side), thin rivers on land. The meridians lie
// at odd multiples of 15°, so that none runs along the 180° edge itself: the
// edge columns then measure the seam, not how sharply a line is drawn.
Rgb world(double lonDeg, double latDeg)
{
    const double lon = lonDeg * kDeg;
    const double lat = latDeg * kDeg;
    const double p[3]
        = { std::cos(lat) * std::cos(lon), std::cos(lat) * std::sin(lon), std::sin(lat) };
    // Distances to the nearest meridian and parallel of the graticule, in degrees of arc.
    const double dLon = std::fabs(std::remainder(lonDeg - 15.0, 30.0)) * std::cos(lat);
    const double dLat = std::fabs(std::remainder(latDeg, 30.0));
    if (dLon < 0.1 || dLat < 0.1)
        return { 40, 40, 40 };
    const double g = field(p, 0);
    if (g > 0.15) {
        const double river = field(p, 1);
        if (std::fabs(river) < 0.02)
            return { 40, 90, 200 };
        return { 120 + 60 * std::sin(3 * p[0] + 1), 120 + 70 * std::tanh(g - 0.5),
            70 + 50 * p[2] * p[2] };
    }
    return { 20 + 15 * p[2], 60 + 40 * std::tanh(2 * g), 150 + 60 * std::cos(2 * p[1]) };
}

double millerY(double latDeg)
{
    return std::atanh(std::sin(kMillerA * latDeg)) / kMillerA;
}

double millerLat(double y)
{
    return std::asin(std::tanh(kMillerA * y)) / kMillerA;
}

void parallelRows(int rows, const std::function<void(int)> &row)
{
    std::atomic<int> next { 0 };
    auto work = [&] {
        for (int i = next++; i < rows; i = next++)
            row(i);
    };
    std::vector<std::thread> threads;
    for (unsigned t = 1; t < std::max(1u, std::thread::hardware_concurrency()); ++t)
        threads.emplace_back(work);
    work();
    for (auto &t : threads)
        t.join();
}

int toByte(double v)
{
    return int(std::lround(std::min(255.0, std::max(0.0, v))));
}

struct Case
{
    const char *name;
    int mapWidth;
    int w2;
    int h2;
    int sourceSamples; // per axis, per source pixel
};

struct Margins
{
    int left = 23, right = 17, top = 29, bottom = 21;
};

// A plain float RGB image.
struct Plane
{
    int w = 0, h = 0;
    std::vector<float> rgb;
};

Plane toPlane(const QImage &img)
{
    Plane p;
    p.w = img.width();
    p.h = img.height();
    p.rgb.resize(size_t(p.w) * p.h * 3);
    for (int y = 0; y < p.h; ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(img.constScanLine(y));
        for (int x = 0; x < p.w; ++x) {
            // Transparent pixels count as black: a method that leaves covered
            // pixels empty pays for it.
            const QRgb q = qAlpha(line[x]) ? line[x] : 0;
            float *o = &p.rgb[(size_t(y) * p.w + x) * 3];
            o[0] = float(qRed(q));
            o[1] = float(qGreen(q));
            o[2] = float(qBlue(q));
        }
    }
    return p;
}

double psnrOver(const Plane &a, const Plane &b, const std::function<bool(int, int)> &take)
{
    double se = 0.0;
    double n = 0.0;
    for (int y = 0; y < a.h; ++y) {
        for (int x = 0; x < a.w; ++x) {
            if (!take(x, y))
                continue;
            for (int c = 0; c < 3; ++c) {
                const double d
                    = a.rgb[(size_t(y) * a.w + x) * 3 + c] - b.rgb[(size_t(y) * a.w + x) * 3 + c];
                se += d * d;
            }
            n += 3.0;
        }
    }
    if (n == 0.0)
        return 0.0;
    const double mse = se / n;
    return mse > 0.0 ? 10.0 * std::log10(255.0 * 255.0 / mse) : 99.0;
}

std::vector<double> luma(const Plane &p)
{
    std::vector<double> l(size_t(p.w) * p.h);
    for (size_t i = 0; i < l.size(); ++i)
        l[i] = 0.299 * p.rgb[i * 3] + 0.587 * p.rgb[i * 3 + 1] + 0.114 * p.rgb[i * 3 + 2];
    return l;
}

// Separable 11-tap Gaussian (sigma 1.5), valid region only (size shrinks by 10).
std::vector<double> blur(const std::vector<double> &in, int w, int h)
{
    double k[11];
    double s = 0.0;
    for (int i = 0; i < 11; ++i)
        s += k[i] = std::exp(-(i - 5) * (i - 5) / (2.0 * 1.5 * 1.5));
    for (double &v : k)
        v /= s;
    std::vector<double> tmp(size_t(w - 10) * h);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w - 10; ++x) {
            double a = 0.0;
            for (int i = 0; i < 11; ++i)
                a += k[i] * in[size_t(y) * w + x + i];
            tmp[size_t(y) * (w - 10) + x] = a;
        }
    }
    std::vector<double> out(size_t(w - 10) * (h - 10));
    for (int y = 0; y < h - 10; ++y) {
        for (int x = 0; x < w - 10; ++x) {
            double a = 0.0;
            for (int i = 0; i < 11; ++i)
                a += k[i] * tmp[size_t(y + i) * (w - 10) + x];
            out[size_t(y) * (w - 10) + x] = a;
        }
    }
    return out;
}

// Mean SSIM of the luma over every window that lies in covered rows.
double ssim(const Plane &a, const Plane &b, int firstRow, int lastRow)
{
    const int h = lastRow - firstRow + 1;
    const int w = a.w;
    std::vector<double> x = luma(a), y = luma(b);
    x.erase(x.begin(), x.begin() + ptrdiff_t(firstRow) * w);
    y.erase(y.begin(), y.begin() + ptrdiff_t(firstRow) * w);
    x.resize(size_t(w) * h);
    y.resize(size_t(w) * h);
    std::vector<double> xx(x.size()), yy(x.size()), xy(x.size());
    for (size_t i = 0; i < x.size(); ++i) {
        xx[i] = x[i] * x[i];
        yy[i] = y[i] * y[i];
        xy[i] = x[i] * y[i];
    }
    const auto mx = blur(x, w, h), my = blur(y, w, h), sxx = blur(xx, w, h), syy = blur(yy, w, h),
               sxy = blur(xy, w, h);
    const double c1 = (0.01 * 255) * (0.01 * 255), c2 = (0.03 * 255) * (0.03 * 255);
    double sum = 0.0;
    for (size_t i = 0; i < mx.size(); ++i) {
        const double vx = sxx[i] - mx[i] * mx[i], vy = syy[i] - my[i] * my[i],
                     cxy = sxy[i] - mx[i] * my[i];
        sum += ((2 * mx[i] * my[i] + c1) * (2 * cxy + c2))
            / ((mx[i] * mx[i] + my[i] * my[i] + c1) * (vx + vy + c2));
    }
    return sum / double(mx.size());
}

struct Result
{
    QString name;
    double psnr = 0, ssim = 0, edge = 0;
    qint64 mismatchToNearest = -1;
};

Result score(const QString &name, const Plane &out, const Plane &truth, const QImage &coverage)
{
    int firstRow = coverage.height(), lastRow = -1;
    for (int y = 0; y < coverage.height(); ++y) {
        if (qAlpha(coverage.pixel(coverage.width() / 2, y))) {
            firstRow = std::min(firstRow, y);
            lastRow = y;
        }
    }
    auto covered = [&](int x, int y) {
        return qAlpha(reinterpret_cast<const QRgb *>(coverage.constScanLine(y))[x]) != 0;
    };
    Result r;
    r.name = name;
    r.psnr = psnrOver(out, truth, covered);
    r.ssim = ssim(out, truth, firstRow, lastRow);
    r.edge = psnrOver(
        out, truth, [&](int x, int y) { return (x < 4 || x >= out.w - 4) && covered(x, y); });
    return r;
}

// Band-sequential bytes as gdalwarp's ENVI driver writes them.
QImage readEnvi(const QString &path, int w, int h, int bands)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QImage();
    const QByteArray all = f.readAll();
    if (all.size() < qint64(w) * h * bands)
        return QImage();
    QImage img(w, h, QImage::Format_ARGB32);
    const auto *b = reinterpret_cast<const uchar *>(all.constData());
    const size_t plane = size_t(w) * h;
    for (int y = 0; y < h; ++y) {
        auto *line = reinterpret_cast<QRgb *>(img.scanLine(y));
        for (int x = 0; x < w; ++x) {
            const size_t i = size_t(y) * w + x;
            const int a = bands > 3 ? b[i + 3 * plane] : 255;
            line[x] = qRgba(b[i], b[i + plane], b[i + 2 * plane], a);
        }
    }
    return img;
}

bool run(const QString &program, const QStringList &args)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // The target box reaches half a pixel past the poles, where every
    // sample logs an error of its own.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("CPL_LOG"), QStringLiteral("/dev/null"));
    p.setProcessEnvironment(env);
    p.start(program, args);
    if (!p.waitForFinished(-1) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        std::fprintf(stderr, "%s failed\n", qPrintable(program));
        return false;
    }
    return true;
}

// An 8x magnified strip across the seam: the output's last 12 columns, then
// its first 12, as they meet on the globe.
void writeSeamStrip(const QImage &out, const QString &path)
{
    const int rows = 48, cols = 12, y0 = out.height() / 2 - rows / 2;
    QImage strip(cols * 2, rows, QImage::Format_ARGB32);
    for (int y = 0; y < rows; ++y) {
        for (int x = 0; x < cols; ++x) {
            strip.setPixel(x, y, out.pixel(out.width() - cols + x, y0 + y));
            strip.setPixel(cols + x, y, out.pixel(x, y0 + y));
        }
    }
    strip.scaled(strip.width() * 8, strip.height() * 8).save(path);
}

} // namespace

int main(int argc, char **argv)
{
    bool gdal = true;
    QString keep;
    QString only;
    for (int i = 1; i < argc; ++i) {
        const QString a = QString::fromLocal8Bit(argv[i]);
        if (a == QLatin1String("--no-gdal"))
            gdal = false;
        else if (a == QLatin1String("--keep") && i + 1 < argc)
            keep = QString::fromLocal8Bit(argv[++i]);
        else if (a == QLatin1String("--only") && i + 1 < argc)
            only = QString::fromLocal8Bit(argv[++i]);
    }
    QTemporaryDir tmp;
    const QString dir = keep.isEmpty() ? tmp.path() : keep;
    QDir().mkpath(dir);

    const Case cases[] = { { "up", 1500, 4096, 2048, 4 }, { "down", 8000, 2048, 1024, 2 } };
    for (const Case &cs : cases) {
        if (!only.isEmpty() && only != QLatin1String(cs.name))
            continue;
        QElapsedTimer timer;
        timer.start();
        const Margins m;
        const double y90 = millerY(90.0);
        const int mapW = cs.mapWidth;
        const int mapH = int(std::lround((mapW - 1) * 2.0 * y90 / 360.0)) + 1;
        const int w = mapW + m.left + m.right;
        const int h = mapH + m.top + m.bottom;

        ProjectionConverter conv;
        ParamSet params;
        params.marginLeft = m.left;
        params.marginRight = m.right;
        params.marginTop = m.top;
        params.marginBottom = m.bottom;
        params.projection = QStringLiteral("miller");
        params.applyTo(conv);
        conv.prepare(w, h);
        const double sx = conv.scaleX(), ox = conv.offsetX(), sy = conv.scaleY(),
                     oy = conv.offsetY();

        // The source: pixel (u, v) covers [u, u + 1) x [v, v + 1) of the
        // linear maps' plane; margins white.
        QImage source(w, h, QImage::Format_RGB32);
        source.fill(0xFFFFFFFFu);
        const int ss = cs.sourceSamples;
        parallelRows(mapH, [&](int r) {
            const int v = m.top + r;
            auto *line = reinterpret_cast<QRgb *>(source.scanLine(v));
            for (int u = m.left; u < m.left + mapW; ++u) {
                Rgb acc;
                for (int a = 0; a < ss; ++a) {
                    const double lat = millerLat((v + (a + 0.5) / ss - oy) / sy);
                    for (int b = 0; b < ss; ++b) {
                        const Rgb c = world((u + (b + 0.5) / ss - ox) / sx, lat);
                        acc.r += c.r, acc.g += c.g, acc.b += c.b;
                    }
                }
                const double n = ss * ss;
                line[u] = qRgb(toByte(acc.r / n), toByte(acc.g / n), toByte(acc.b / n));
            }
        });

        // The truth: the world averaged over each output pixel's box.
        const int w2 = cs.w2, h2 = cs.h2;
        const double lonStep = 360.0 / (w2 - 1), latStep = 180.0 / (h2 - 1);
        Plane truth;
        truth.w = w2;
        truth.h = h2;
        truth.rgb.resize(size_t(w2) * h2 * 3);
        const int ts = 5;
        parallelRows(h2, [&](int i) {
            const double north = std::min(90.0, 90.0 - i * latStep + latStep / 2);
            const double south = std::max(-90.0, 90.0 - i * latStep - latStep / 2);
            for (int j = 0; j < w2; ++j) {
                Rgb acc;
                for (int a = 0; a < ts; ++a) {
                    const double lat = south + (north - south) * (a + 0.5) / ts;
                    for (int b = 0; b < ts; ++b) {
                        const Rgb c
                            = world(j * lonStep - 180.0 + lonStep * ((b + 0.5) / ts - 0.5), lat);
                        acc.r += c.r, acc.g += c.g, acc.b += c.b;
                    }
                }
                float *o = &truth.rgb[(size_t(i) * w2 + j) * 3];
                o[0] = float(acc.r / (ts * ts));
                o[1] = float(acc.g / (ts * ts));
                o[2] = float(acc.b / (ts * ts));
            }
        });
        const double renderSeconds = timer.elapsed() / 1000.0;
        if (qEnvironmentVariableIsSet("QUALITY_DEBUG") && !keep.isEmpty()) {
            QFile f(dir + QStringLiteral("/truth-%1.f32").arg(QLatin1String(cs.name)));
            if (f.open(QIODevice::WriteOnly))
                f.write(reinterpret_cast<const char *>(truth.rgb.data()),
                    qint64(truth.rgb.size() * sizeof(float)));
        }

        std::vector<Result> results;
        QImage coverage;
        QImage ourNearest;
        const struct
        {
            Resampling method;
            const char *name;
        } ours[] = { { Resampling::Nearest, "nearest" }, { Resampling::Bilinear, "bilinear" },
            { Resampling::Bicubic, "bicubic" }, { Resampling::Lanczos3, "lanczos-3" } };
        for (const auto &o : ours) {
            QImage out(w2, h2, QImage::Format_ARGB32);
            out.fill(0);
            conv.setResampling(o.method);
            conv.remap(source, out, false);
            if (o.method == Resampling::Nearest) {
                coverage = out;
                ourNearest = out;
            }
            if (qEnvironmentVariableIsSet("QUALITY_DEBUG") && !keep.isEmpty())
                out.save(dir
                    + QStringLiteral("/ours-%1-%2.png")
                          .arg(QLatin1String(cs.name), QLatin1String(o.name)));
            results.push_back(score(QStringLiteral("ours %1").arg(QLatin1String(o.name)),
                toPlane(out), truth, coverage));
            if (o.method == Resampling::Bicubic && !keep.isEmpty())
                writeSeamStrip(out,
                    dir + QStringLiteral("/seam-%1-ours-bicubic.png").arg(QLatin1String(cs.name)));
        }

        if (gdal) {
            // Georeferenced so that GDAL's pixel centres are our sample
            // positions: sphere of radius R, d = R·π/180, pixel sizes d/sx and
            // d/|sy|, the map area's corner at (d·lonMin, d·Y(latMax)) once
            // -srcwin has cut it out, and the target box widened by half an
            // output pixel on every side.
            const double R = 6378137.0, d = R * kDeg;
            const double px = d / sx, py = d / -sy;
            // Shifted by a millionth of a pixel: samples that fall exactly on
            // the map area's first column or row (lon -180, lat 90) otherwise
            // round to just outside it in GDAL and stay empty.
            const double nudge = 1e-6;
            const double ulx = d * -180.0 - nudge * px, uly = d * y90 + nudge * py;
            const QString src = dir + QStringLiteral("/source-%1.ppm").arg(QLatin1String(cs.name));
            source.save(src, "PPM");
            const QString vrt = dir + QStringLiteral("/source-%1.vrt").arg(QLatin1String(cs.name));
            const auto num = [](double v) { return QString::number(v, 'f', 12); };
            if (!run(QStringLiteral("gdal_translate"),
                    { QStringLiteral("-q"), QStringLiteral("-of"), QStringLiteral("VRT"),
                        QStringLiteral("-srcwin"), QString::number(m.left), QString::number(m.top),
                        QString::number(mapW), QString::number(mapH), QStringLiteral("-a_srs"),
                        QStringLiteral("+proj=mill +R=6378137 +units=m +no_defs"),
                        QStringLiteral("-a_ullr"), num(ulx), num(uly), num(ulx + mapW * px),
                        num(uly - mapH * py), src, vrt }))
                return 1;
            const char *methods[] = { "near", "bilinear", "cubic", "lanczos", "average" };
            for (const char *method : methods) {
                const QString out = dir
                    + QStringLiteral("/gdal-%1-%2.envi")
                          .arg(QLatin1String(cs.name), QLatin1String(method));
                QFile::remove(out);
                if (!run(QStringLiteral("gdalwarp"),
                        { QStringLiteral("-q"), QStringLiteral("-overwrite"), QStringLiteral("-wm"),
                            QStringLiteral("2000"), QStringLiteral("-r"), QLatin1String(method),
                            QStringLiteral("-t_srs"),
                            QStringLiteral("+proj=longlat +R=6378137 +no_defs"),
                            QStringLiteral("-te"), num(-180.0 - lonStep / 2),
                            num(-90.0 - latStep / 2), num(180.0 + lonStep / 2),
                            num(90.0 + latStep / 2), QStringLiteral("-ts"), QString::number(w2),
                            QString::number(h2), QStringLiteral("-dstalpha"), QStringLiteral("-of"),
                            QStringLiteral("ENVI"), vrt, out }))
                    return 1;
                const QImage img = readEnvi(out, w2, h2, 4);
                if (img.isNull())
                    return 1;
                Result r = score(QStringLiteral("GDAL %1").arg(QLatin1String(method)), toPlane(img),
                    truth, coverage);
                if (QLatin1String(method) == QLatin1String("near")) {
                    qint64 diff = 0;
                    for (int y = 0; y < h2; ++y) {
                        for (int x = 0; x < w2; ++x) {
                            if (img.pixel(x, y) == ourNearest.pixel(x, y))
                                continue;
                            if (diff < 8 && qEnvironmentVariableIsSet("QUALITY_DEBUG"))
                                std::fprintf(stderr, "near differs at %d %d: %08x %08x\n", x, y,
                                    img.pixel(x, y), ourNearest.pixel(x, y));
                            ++diff;
                        }
                    }
                    r.mismatchToNearest = diff;
                }
                if (QLatin1String(method) == QLatin1String("cubic") && !keep.isEmpty())
                    writeSeamStrip(img,
                        dir
                            + QStringLiteral("/seam-%1-gdal-cubic.png")
                                  .arg(QLatin1String(cs.name)));
                results.push_back(r);
            }
        }

        std::printf("\n%s: %d x %d Miller map (%d x %d with margins, %d x %d samples per "
                    "pixel) -> %d x %d; truth rendered in %.1f s\n\n",
            cs.name[0] == 'u' ? "Upsampling" : "Downsampling", mapW, mapH, w, h, ss, ss, w2, h2,
            renderSeconds);
        std::printf("| method | PSNR dB | SSIM | 180° edges PSNR dB |\n|---|---|---|---|\n");
        for (const Result &r : results) {
            std::printf("| %s | %.2f | %.5f | %.2f |", qPrintable(r.name), r.psnr, r.ssim, r.edge);
            if (r.mismatchToNearest >= 0)
                std::printf(" pixels differing from ours nearest: %lld", r.mismatchToNearest);
            std::printf("\n");
        }
        std::fflush(stdout);
    }
    return 0;
}
