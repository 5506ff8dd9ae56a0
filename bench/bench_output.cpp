// Times the writing of an 8192 x 4096 output: the toolkit's PNG writer at its
// default level and at the batch's default quality against the own PNG writer
// (a few levels and filters, the chosen one marked), and the toolkit's JPEG
// writer against the own one. Then end to end, as a headless batch of one and
// of three 8000 x 6000 JPEG scans into JPEG and PNG: today's way (the
// toolkit's readers and writers on its own allocations) against the
// program's, and JPEG against libjpeg's own decode plus encode. Every output
// is decoded and checked before its time is printed. --end-to-end skips the
// writers' tables.
#include "batch/batchrun.h"
#include "bench/libjpegfloor.h"
#include "imageio/imagebuffer.h"
#include "imageio/imageload.h"
#include "imageio/imagesave.h"
#include "imageio/jpegwrite.h"
#include "imageio/pngwrite.h"
#include "projection/projectionconverter.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>
#include <QPainterPath>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <jpeglib.h>
#include <malloc.h>
#include <vector>

namespace {

// A drawn scan: smooth sea and land colours with coastlines, a graticule,
// paper grain, and margins, stored and read back as a JPEG like a real scan.
QImage drawnScan(int w, int h, quint32 seed)
{
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(QColor(250, 248, 240));
    QRandomGenerator rng(seed);
    {
        QPainter p(&img);
        p.setRenderHint(QPainter::Antialiasing);
        const QRect area(60, 60, w - 120, h - 120);
        QLinearGradient sea(area.topLeft(), area.bottomLeft());
        sea.setColorAt(0, QColor(150, 190, 220));
        sea.setColorAt(1, QColor(90, 140, 200));
        p.fillRect(area, sea);
        for (int i = 0; i < 14; ++i) {
            QPainterPath land;
            const QPointF c(
                area.left() + rng.bounded(area.width()), area.top() + rng.bounded(area.height()));
            const double r = 200 + rng.bounded(900);
            for (int k = 0; k <= 72; ++k) {
                const double a = k * M_PI / 36;
                const double rr = r * (0.7 + 0.3 * std::sin(5 * a + i) * std::cos(3 * a));
                const QPointF q = c + QPointF(rr * std::cos(a), rr * std::sin(a));
                k == 0 ? land.moveTo(q) : land.lineTo(q);
            }
            QRadialGradient g(c, r);
            g.setColorAt(0, QColor(190, 170, 110));
            g.setColorAt(1, QColor(120, 170, 90));
            p.setBrush(g);
            p.setPen(QPen(QColor(60, 60, 60), 3));
            p.drawPath(land);
        }
        p.setPen(QPen(QColor(80, 80, 80), 2));
        for (int x = area.left(); x <= area.right(); x += area.width() / 24)
            p.drawLine(x, area.top(), x, area.bottom());
        for (int y = area.top(); y <= area.bottom(); y += area.height() / 12)
            p.drawLine(area.left(), y, area.right(), y);
    }
    for (int y = 0; y < h; ++y) {
        auto *line = reinterpret_cast<QRgb *>(img.scanLine(y));
        for (int x = 0; x < w; ++x) {
            const int d = int(rng.bounded(7u)) - 3;
            const QRgb c = line[x];
            line[x] = qRgb(std::clamp(qRed(c) + d, 0, 255), std::clamp(qGreen(c) + d, 0, 255),
                std::clamp(qBlue(c) + d, 0, 255));
        }
    }
    return img;
}

double secondsOf(const std::function<void()> &work, int runs = 2)
{
    double best = 1e300;
    for (int r = 0; r < runs; ++r) {
        QElapsedTimer timer;
        timer.start();
        work();
        best = std::min(best, double(timer.nsecsElapsed()) / 1e9);
    }
    return best;
}

QByteArray toolkitBytes(const QImage &image, const char *format, int quality)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setQuality(quality);
    writer.write(image);
    return buffer.data();
}

QImage decoded(const QByteArray &bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    return reader.read().convertToFormat(QImage::Format_ARGB32);
}

double bareDecodeSeconds(const QString &path)
{
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    const QByteArray bytes = file.readAll();
    std::vector<JSAMPLE> pixels;
    return secondsOf([&] { libjpegDecode(bytes, pixels); }, 3);
}

BatchOptions batchOptions(const QString &folder, OutputFormat format)
{
    BatchOptions o;
    o.outputFolder = folder;
    o.outputSizeX = 8192;
    o.outputSizeY = 4096;
    o.outputFormat = format;
    o.resampling = Resampling::Bilinear;
    o.params.marginLeft = o.params.marginRight = o.params.marginTop = o.params.marginBottom = 60;
    o.params.projection = QStringLiteral("miller");
    return o;
}

// The toolkit's PNG writer at its default level and at the batch's quality,
// against the own writer's levels and filters; false when an own output does
// not decode to the image.
bool writePngTable(const QImage &image)
{
    QByteArray toolkitPng;
    const double toolkitDefault
        = secondsOf([&] { toolkitPng = toolkitBytes(image, "png", -1); }, 1);
    QByteArray toolkitPng85;
    const double toolkit85 = secondsOf([&] { toolkitPng85 = toolkitBytes(image, "png", 85); }, 1);
    std::printf(
        "PNG, toolkit, default level: %.3f s, %.1f MB\n", toolkitDefault, toolkitPng.size() / 1e6);
    std::printf("PNG, toolkit, quality 85 (the batch's default setting): %.3f s, %.1f MB\n",
        toolkit85, toolkitPng85.size() / 1e6);
    const struct
    {
        PngFilter filter;
        const char *name;
    } filters[] = { { PngFilter::Up, "up" }, { PngFilter::Sub, "sub" },
        { PngFilter::Paeth, "paeth" }, { PngFilter::Adaptive, "adaptive" } };
    const PngWriteSettings chosen;
    for (int level = 1; level <= 3; ++level) {
        for (const auto &f : filters) {
            for (const int threads : { 0, 1 }) {
                PngWriteSettings settings;
                settings.level = level;
                settings.filter = f.filter;
                settings.threads = threads;
                const bool isChosen = level == chosen.level && f.filter == chosen.filter;
                if (threads == 1 && !isChosen)
                    continue;
                QByteArray bytes;
                const double t = secondsOf([&] {
                    QBuffer buffer(&bytes);
                    buffer.open(QIODevice::WriteOnly);
                    writePng(image, &buffer, nullptr, settings);
                });
                if (decoded(bytes) != image) {
                    std::printf("FAIL: level %d %s does not decode to the image\n", level, f.name);
                    return false;
                }
                std::printf("PNG, own, level %d, %-8s %s: %.3f s, %.1f MB; time %.2f x toolkit "
                            "quality 85, size %.3f x%s\n",
                    level, f.name, threads == 1 ? "one thread  " : "every core  ", t,
                    bytes.size() / 1e6, t / toolkit85, double(bytes.size()) / toolkitPng85.size(),
                    isChosen && threads == 0 ? "   <- used" : "");
            }
        }
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
#ifdef __GLIBC__
    // As the program's batch mode sets them.
    mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 1024 * 1024 * 1024);
#endif
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    QStringList scans;
    for (int i = 0; i < 3; ++i) {
        scans.append(dir.filePath(QStringLiteral("scan%1.jpg").arg(i)));
        drawnScan(8000, 6000, 11 + quint32(i)).save(scans.last(), "jpg", 90);
    }
    ProjectionConverter converter;
    const BatchOptions jpegRun = batchOptions(dir.path(), OutputFormat::Jpeg);
    jpegRun.params.applyTo(converter);
    converter.setResampling(jpegRun.resampling);
    QImage image(8192, 4096, QImage::Format_ARGB32);
    image.fill(0);
    converter.remap(QImage(scans.first()), image, false);
    std::printf("8192 x 4096 output of a drawn 8000 x 6000 scan (JPEG, quality 90)\n\n");

    // --end-to-end skips the writers' tables.
    const bool writers = !(argc > 1 && qstrcmp(argv[1], "--end-to-end") == 0);
    if (writers && !writePngTable(image))
        return 1;
    if (writers) {
        // JPEG at the batch's default quality: the toolkit's writer and the own.
        QByteArray toolkitJpeg;
        const double toolkitTime
            = secondsOf([&] { toolkitJpeg = toolkitBytes(image, "jpg", 85); }, 5);
        QByteArray own;
        const double ownTime = secondsOf(
            [&] {
                QBuffer buffer(&own);
                buffer.open(QIODevice::WriteOnly);
                writeJpeg(image, &buffer, 85);
            },
            5);
        std::printf("\nJPEG quality 85: toolkit %.3f s, %.2f MB; own, bands on every core %.3f s "
                    "(%.2f x), %.2f MB\n",
            toolkitTime, toolkitJpeg.size() / 1e6, ownTime, ownTime / toolkitTime,
            own.size() / 1e6);
    }
    // End to end, as a headless batch: one scan, then three whose decoding
    // overlaps the previous file's conversion and writing. "Today" is the
    // toolkit's readers and writers on its own allocations.
    const double floor
        = bareDecodeSeconds(scans.first()) + secondsOf([&] { libjpegEncode(image, 85); }, 3);
    std::printf(
        "\nlibjpeg floor: decode 8000 x 6000 + encode 8192 x 4096 at quality 85: %.3f s\n", floor);
    for (const OutputFormat format : { OutputFormat::Jpeg, OutputFormat::Png }) {
        for (const int files : { 1, 3 }) {
            double times[2];
            QByteArray outputs[2];
            for (const bool today : { true, false }) {
                setToolkitDecoders(today);
                setToolkitEncoders(today);
                setPlainImageAllocation(today);
                QTemporaryDir out;
                const BatchOptions options = batchOptions(out.path(), format);
                times[today ? 0 : 1] = secondsOf(
                    [&] {
                        BatchRunner runner;
                        runner.processEvents = false;
                        QStringList inputs = scans.mid(0, files);
                        ProjectionConverter local;
                        runner.run(inputs, options, local);
                    },
                    3);
                QFile written(out.filePath(QStringLiteral("scan0.") + outputFormatName(format)));
                written.open(QIODevice::ReadOnly);
                outputs[today ? 0 : 1] = written.readAll();
            }
            const bool same = !outputs[0].isEmpty() && decoded(outputs[0]) == decoded(outputs[1]);
            if (!same) {
                std::printf("FAIL: the %s output differs from today's\n", outputFormatName(format));
                return 1;
            }
            std::printf("%s, %d file%s: today %.3f s, now %.3f s, %.2f x as fast, size %.3f x "
                        "today's",
                outputFormatName(format), files, files > 1 ? "s" : " ", times[0], times[1],
                times[0] / times[1], double(outputs[1].size()) / outputs[0].size());
            if (format == OutputFormat::Jpeg)
                std::printf("; %.2f x the floor a file", times[1] / files / floor);
            std::printf("\n");
        }
    }
    setToolkitDecoders(false);
    setToolkitEncoders(false);
    setPlainImageAllocation(false);
    return 0;
}
