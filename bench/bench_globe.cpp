// The preview's globe against its flat view: time per 800 x 800 globe frame
// from an 8192 x 4096 and a 2048 x 1024 image, beside the flat preview's draw
// of the same image into 800 x 400, measured in the same run.
//
//   cmake --build build --target bench_globe
//   QT_QPA_PLATFORM=offscreen build/bench/bench_globe
#include "globe/globerender.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPixmap>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

constexpr int kFrames = 40;
const QSize kGlobeSize(800, 800);
const QSize kFlatSize(800, 400);

// Smooth land and sea with a little fine detail, so the texture is not one
// cache line repeated.
QImage makeTexture(int width, int height)
{
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < height; ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const int land = ((x * 7 / width) * 31 + (y * 5 / height) * 17 + (x ^ y) % 3) % 5 < 2;
            line[x] = land ? qRgb(205, 185 - (y & 15), 127) : qRgb(164, 203, 230 - (x & 15));
        }
    }
    return image;
}

struct Timing
{
    double median = 0;
    double best = 0;
    double worst = 0;
};

// Milliseconds per call; frame is the call's index, so each frame may differ.
Timing timeFrames(const std::function<void(int)> &frame)
{
    for (int k = 0; k < 3; ++k)
        frame(k);
    std::vector<double> ms;
    for (int k = 0; k < kFrames; ++k) {
        QElapsedTimer timer;
        timer.start();
        frame(k);
        ms.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    return { ms[ms.size() / 2], ms.front(), ms.back() };
}

void benchTexture(int width, int height)
{
    const QImage texture = makeTexture(width, height);
    const QPixmap pixmap = QPixmap::fromImage(texture);
    QImage target(kFlatSize, QImage::Format_ARGB32_Premultiplied);

    // As the flat preview paints: its pixmap into the fitted rectangle, no smoothing hint.
    const Timing flat = timeFrames([&](int) {
        QPainter painter(&target);
        painter.drawPixmap(QRect(QPoint(0, 0), kFlatSize), pixmap);
    });
    const Timing smooth = timeFrames([&](int) {
        QPainter painter(&target);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(QRect(QPoint(0, 0), kFlatSize), texture);
    });
    int sink = 0;
    const auto globeAt = [&](double zoom, int threads) {
        GlobeOptions options;
        options.threads = threads;
        return timeFrames([&, zoom, options](int k) {
            const QImage frame
                = renderGlobe(texture, k * 7.0 - 140, 35 - k, zoom, kGlobeSize, options);
            sink += frame.pixel(400, 400) & 1;
        });
    };
    const Timing globe = globeAt(1, 0);
    const Timing globeOne = globeAt(1, 1);
    const Timing globeZoomed = globeAt(4, 0);
    GlobeOptions lines;
    lines.graticule = true;
    const Timing graticule = timeFrames([&](int k) {
        const QImage frame = renderGlobe(texture, k * 7.0 - 140, 35 - k, 1, kGlobeSize, lines);
        sink += frame.pixel(400, 400) & 1;
    });

    std::printf("%d x %d image\n", width, height);
    std::printf("  flat preview, drawPixmap 800 x 400 (as shown): %7.2f ms (best %.2f)\n",
        flat.median, flat.best);
    std::printf("  flat, drawImage smooth 800 x 400:               %7.2f ms (best %.2f)\n",
        smooth.median, smooth.best);
    std::printf("  globe 800 x 800, zoom 1, every core:           %7.2f ms (best %.2f, worst %.2f)"
                "  ratio %.2f to flat as shown, %.2f to smooth\n",
        globe.median, globe.best, globe.worst, globe.median / flat.median,
        globe.median / smooth.median);
    std::printf("  globe 800 x 800, zoom 1, one thread:           %7.2f ms (best %.2f)\n",
        globeOne.median, globeOne.best);
    std::printf("  globe 800 x 800, zoom 4 (whole frame covered): %7.2f ms (best %.2f)\n",
        globeZoomed.median, globeZoomed.best);
    std::printf("  globe 800 x 800, zoom 1, with graticule:       %7.2f ms (best %.2f)\n",
        graticule.median, graticule.best);
    if (sink < 0)
        std::printf("\n");
}

} // namespace

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    std::printf(
        "median of %d frames; 800 x 800 globe frames against an 800 x 400 flat draw\n", kFrames);
    benchTexture(8192, 4096);
    benchTexture(2048, 1024);
    return 0;
}
