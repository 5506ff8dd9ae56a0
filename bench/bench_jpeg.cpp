// Times JPEG decoding of an 8000 x 6000 scan-like map: the toolkit's reader
// and the program's loader against bare libjpeg into a buffer already mapped
// (the baseline, what the library itself takes); then, for 108 and 201
// megapixel maps, the reduced first view against the full decode, and the
// main window's open until its view has painted the reduced picture. The maps
// are drawn here (gradients, grain, lines), written at quality 90 to a
// temporary folder; nothing is kept.
#include "bench/libjpegfloor.h"
#include "imageio/imageload.h"
#include "mainwindow/mainwindow.h"
#include "mainwindow/sourceview.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>
#include <QTemporaryDir>
#include <QThreadPool>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

constexpr int kRuns = 3;

QImage drawMap(int w, int h)
{
    QImage img(w, h, QImage::Format_RGB32);
    quint32 seed = 99;
    for (int y = 0; y < h; ++y) {
        auto *line = reinterpret_cast<QRgb *>(img.scanLine(y));
        for (int x = 0; x < w; ++x) {
            seed = seed * 1664525u + 1013904223u;
            const int grain = int(seed >> 30) - 2;
            line[x] = qRgb(qBound(0, 120 + x * 100 / w + grain, 255),
                qBound(0, 150 + y * 80 / h + grain, 255), qBound(0, 200 - x * 60 / w + grain, 255));
        }
    }
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(60, 60, 80), 4));
    for (int k = 1; k < 36; ++k) {
        p.drawLine(w * k / 36, 0, w * k / 36, h);
        p.drawLine(0, h * k / 36, w, h * k / 36);
    }
    return img;
}

double bestMs(const std::function<void()> &run)
{
    double best = 1e300;
    for (int i = 0; i < kRuns; ++i) {
        QElapsedTimer timer;
        timer.start();
        run();
        best = std::min(best, timer.nsecsElapsed() / 1e6);
    }
    return best;
}

QString writeMap(const QTemporaryDir &dir, const QString &name, int w, int h)
{
    const QString path = dir.filePath(name);
    QImageWriter writer(path, "jpeg");
    writer.setQuality(90);
    writer.write(drawMap(w, h));
    return path;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QTemporaryDir dir;
    const QString path = writeMap(dir, QStringLiteral("map.jpg"), 8000, 6000);
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    const QByteArray bytes = file.readAll();

    std::vector<JSAMPLE> pixels;
    const double bare = bestMs([&] { libjpegDecode(bytes, pixels); });
    const double toolkit = bestMs([&] {
        QImageReader reader(path);
        reader.setAutoTransform(false);
        reader.read();
    });
    const double loader = bestMs([&] { loadSourceImage(path); });
    std::printf("8000 x 6000 JPEG, quality 90, %.1f MB, best of %d:\n", bytes.size() / 1e6, kRuns);
    std::printf("  bare libjpeg (baseline)  %7.1f ms  1.00\n", bare);
    std::printf("  toolkit reader           %7.1f ms  %.2f\n", toolkit, toolkit / bare);
    std::printf("  loadSourceImage          %7.1f ms  %.2f\n", loader, loader / bare);

    // The window's first view: 108 and 201 megapixels.
    for (const QSize size : { QSize(12000, 9000), QSize(16384, 12288) }) {
        const QString big = writeMap(
            dir, QStringLiteral("big%1.jpg").arg(size.width()), size.width(), size.height());
        const double full = bestMs([&] { loadSourceImage(big); });
        PreviewImage preview;
        const double first = bestMs([&] { preview = loadPreviewImage(big, 2048); });
        std::printf(
            "%d x %d JPEG, %.1f MB:\n", size.width(), size.height(), QFile(big).size() / 1e6);
        std::printf("  full decode              %7.1f ms  1.00\n", full);
        std::printf("  first view %d x %d      %7.1f ms  %.2f\n", preview.image.width(),
            preview.image.height(), first, first / full);

        MainWindow window;
        window.cancelDeferredStart();
        window.resize(1200, 800);
        window.show();
        window.setLoadPath(big);
        QElapsedTimer timer;
        double painted = 0;
        double whole = 0;
        for (int i = 0; i < kRuns; ++i) {
            QThreadPool::globalInstance()->waitForDone();
            QCoreApplication::processEvents();
            timer.start();
            window.openImage();
            window.sourceView()->grab();
            const double p = timer.nsecsElapsed() / 1e6;
            while (window.imageLoading())
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
            const double w = timer.nsecsElapsed() / 1e6;
            if (i == 0 || p < painted) {
                painted = p;
                whole = w;
            }
        }
        std::printf(
            "  window: first view painted %7.1f ms, whole image in %7.1f ms\n", painted, whole);
    }
    return 0;
}
