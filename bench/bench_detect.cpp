// Times map-area detection on an 8000 x 6000 map against decoding the same map
// from a PNG and a JPEG file: detection is meant to cost at most half a decode.
// The map is drawn here (page, framed map with land, graticule and a title)
// and written to a temporary folder; nothing is kept.
#include "detection/mapdetect.h"
#include "imageio/imageload.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>

namespace {

constexpr int kRuns = 3;
constexpr int kWidth = 8000;
constexpr int kHeight = 6000;
constexpr int kLeft = 310;
constexpr int kRight = 244;
constexpr int kTop = 520;
constexpr int kBottom = 380;

QImage drawMap()
{
    QImage img(kWidth, kHeight, QImage::Format_RGB32);
    img.fill(QColor(255, 255, 255));
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    const QRect area(kLeft, kTop, kWidth - kLeft - kRight, kHeight - kTop - kBottom);
    p.fillRect(area, QColor(150, 192, 222));
    p.setClipRect(area);
    QRandomGenerator rng(77);
    for (int i = 0; i < 40; ++i) {
        QPainterPath blob;
        const QPointF c(
            area.left() + rng.bounded(area.width()), area.top() + rng.bounded(area.height()));
        blob.moveTo(c + QPointF(300, 0));
        for (int k = 1; k < 24; ++k) {
            const double a = k * 6.2831853 / 24;
            const double r = 150 + rng.bounded(500);
            blob.lineTo(c + QPointF(r * std::cos(a), r * std::sin(a)));
        }
        blob.closeSubpath();
        p.fillPath(blob, QColor(230, 205, 155));
        p.strokePath(blob, QPen(QColor(60, 60, 80), 4));
    }
    p.setPen(QPen(QColor(200, 200, 200), 4));
    for (int k = 1; k < 12; ++k)
        p.drawLine(area.left() + area.width() * k / 12, area.top(),
            area.left() + area.width() * k / 12, area.bottom());
    for (int k = 1; k < 6; ++k)
        p.drawLine(area.left(), area.top() + area.height() * k / 6, area.right(),
            area.top() + area.height() * k / 6);
    p.setClipping(false);
    p.setPen(QPen(Qt::black, 8));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(area).adjusted(0, 0, 0, 0));
    QFont font = p.font();
    font.setPixelSize(160);
    p.setFont(font);
    p.drawText(QRect(0, 100, kWidth, 300), Qt::AlignCenter, QStringLiteral("World"));
    return img;
}

double bestMs(const std::function<void()> &pass)
{
    double best = 1e300;
    for (int r = 0; r < kRuns; ++r) {
        QElapsedTimer timer;
        timer.start();
        pass();
        best = std::min(best, double(timer.nsecsElapsed()) / 1e6);
    }
    return best;
}

} // namespace

int main(int argc, char *argv[])
{
    // Text drawing needs the fonts of a GUI application (offscreen is enough).
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QTemporaryDir dir;
    const QImage drawn = drawMap();
    // A rendered page with a graticule and real land, enlarged: detection
    // reads its parallels, meridians and land as well.
    const QImage rendered
        = QImage(QStringLiteral(PLANO_SOURCE_DIR "/tests/data/detect/pages/miller-5684-title.jpg"))
              .scaledToWidth(kWidth, Qt::SmoothTransformation)
              .convertToFormat(QImage::Format_RGB32);
    const struct
    {
        const char *format;
        const char *suffix;
        const QImage *map;
    } files[]
        = { { "PNG", "png", &drawn }, { "JPEG", "jpg", &drawn }, { "JPEG", "jpg", &rendered } };

    for (const auto &file : files) {
        const QImage &map = *file.map;
        const QString path = dir.filePath(
            (file.map == &rendered ? QStringLiteral("page.") : QStringLiteral("map."))
            + QLatin1String(file.suffix));
        if (!map.save(path, file.format, 90)) {
            std::printf("FAIL: could not write %s\n", qPrintable(path));
            return 1;
        }
        QImage decoded;
        const double decode = bestMs([&] { decoded = loadSourceImage(path).image; });
        if (decoded.isNull()) {
            std::printf("FAIL: could not read %s back\n", qPrintable(path));
            return 1;
        }
        MapDetection found;
        const double detect = bestMs([&] { found = detectMapArea(decoded, ParamSet()); });
        const ParamSet &m = found.params;
        if (file.map == &rendered) {
            std::printf("%d x %d rendered page, %s: decode %.1f ms, detect %.1f ms, "
                        "detect/decode %.3f; %s\n",
                map.width(), map.height(), file.format, decode, detect, detect / decode,
                qPrintable(found.summary(map.width(), map.height())));
            continue;
        }
        std::printf("%d x %d %s: decode %.1f ms, detect %.1f ms, detect/decode %.3f; margins "
                    "%d/%d/%d/%d (drawn %d/%d/%d/%d)\n",
            kWidth, kHeight, file.format, decode, detect, detect / decode, m.marginLeft,
            m.marginRight, m.marginBottom, m.marginTop, kLeft, kRight, kBottom, kTop);
    }
    return 0;
}
