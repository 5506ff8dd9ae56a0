// The main window with a real-size map: an 8000 x 6000 JPEG opened in the
// window (offscreen, preview window shown, automatic preview on), measured
// against a plain decode of the same file in the same run.
//
//   cmake --build build --target bench_mainwindow
//   QT_QPA_PLATFORM=offscreen build/bench/bench_mainwindow [map.jpg]
//
// Without an argument the map is generated once in the temporary folder.
#include "mainwindow/mainwindow.h"
#include "mainwindow/sourceview.h"
#include "preview/previewview.h"
#include "preview/previewwindow.h"

#include <QAbstractEventDispatcher>
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QSpinBox>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int kWidth = 8000;
constexpr int kHeight = 6000;
constexpr int kChanges = 20;
constexpr int kMoves = 12;

// Something map-like that compresses as a scanned map does: smooth colour
// fields, a graticule and some text-sized detail.
bool writeMap(const QString &path)
{
    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    for (int y = 0; y < kHeight; ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < kWidth; ++x) {
            const int land = ((x / 97) * 31 + (y / 83) * 17) % 5 < 2;
            line[x] = land ? qRgb(205, 185 - (y & 15), 127) : qRgb(164, 203, 230 - (x & 15));
        }
    }
    QPainter painter(&image);
    painter.setPen(QPen(Qt::black, 3));
    for (int x = 0; x < kWidth; x += kWidth / 12)
        painter.drawLine(x, 0, x, kHeight);
    for (int y = 0; y < kHeight; y += kHeight / 6)
        painter.drawLine(0, y, kWidth, y);
    painter.setFont(QFont(QStringLiteral("Sans"), 40));
    for (int k = 0; k < 400; ++k)
        painter.drawText((k * 7919) % kWidth, (k * 104729) % kHeight, QStringLiteral("Terra"));
    painter.end();
    return image.save(path, "JPEG", 90);
}

long statusKb(const char *key)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(int(qstrlen(key))).trimmed().split(' ').value(0).toLong();
    return -1;
}

// Linux lets a process start its peak count afresh.
void resetPeak()
{
    QFile refs(QStringLiteral("/proc/self/clear_refs"));
    if (refs.open(QIODevice::WriteOnly))
        refs.write("5");
}

double msSince(const QElapsedTimer &t)
{
    return t.nsecsElapsed() / 1e6;
}

// Runs the event loop until it first finds nothing to do.
void drain()
{
    QAbstractEventDispatcher *dispatcher = QAbstractEventDispatcher::instance();
    while (dispatcher->processEvents(QEventLoop::AllEvents)) { }
}

// Runs the event loop until it finds nothing to do several times running;
// what it finds is told by the dispatcher, not by the clock, which a busy
// machine would make unreliable.
void settle()
{
    QAbstractEventDispatcher *dispatcher = QAbstractEventDispatcher::instance();
    for (int idle = 0; idle < 5;) {
        if (dispatcher->processEvents(QEventLoop::AllEvents)) {
            idle = 0;
        } else {
            ++idle;
            QThread::msleep(1);
        }
    }
}

qint64 previewKey(const MainWindow &w)
{
    return w.previewWindow()->imageLabel()->pixmap(Qt::ReturnByValue).cacheKey();
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[v.size() / 2];
}

void postMouse(QWidget *target, QEvent::Type type, QPoint pos, Qt::MouseButtons held)
{
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    QCoreApplication::postEvent(
        target, new QMouseEvent(type, pos, target->mapToGlobal(pos), button, held, Qt::NoModifier));
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QString path = argc > 1 ? QString::fromLocal8Bit(argv[1])
                            : QDir::temp().filePath(QStringLiteral("plano-bench-8000x6000.jpg"));
    if (!QFileInfo::exists(path)) {
        std::printf("writing %s ...\n", qPrintable(path));
        if (!writeMap(path)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            return 1;
        }
    }

    // Plain decode, twice so the file is in the cache for both contenders.
    double decodeMs = 0;
    qint64 decodedBytes = 0;
    for (int run = 0; run < 2; ++run) {
        QElapsedTimer t;
        t.start();
        QImageReader reader(path);
        const QImage plain = reader.read();
        decodeMs = msSince(t);
        decodedBytes = qint64(plain.width()) * plain.height() * 4;
    }

    MainWindow w;
    w.cancelDeferredStart();
    w.loadTexts();
    w.resize(1366, 768);
    w.show();
    QAction *autoSize = w.findChild<QAction *>(QStringLiteral("actionAuto_Size"));
    if (!autoSize->isChecked())
        autoSize->trigger();
    w.findChild<QAction *>(QStringLiteral("actionPreview_Window"))->trigger();
    QAction *autoPreview = w.findChild<QAction *>(QStringLiteral("actionAuto_Preview"));
    if (!autoPreview->isChecked())
        autoPreview->trigger();
    settle();

    resetPeak();
    const long baseKb = statusKb("VmRSS:");
    w.setLoadPath(path);
    QElapsedTimer t;
    t.start();
    w.openImage();
    const double openMs = msSince(t);
    settle();
    const double openShownMs = msSince(t) - 5;
    if (w.sourceImage().isNull()) {
        std::fprintf(stderr, "the window did not open %s\n", qPrintable(path));
        return 1;
    }
    const long openPeakKb = statusKb("VmHWM:") - baseKb;

    // Parameter changes: an arrow key in the margin box, until the new
    // preview is in and the window is idle again.
    QSpinBox *spin = w.findChild<QSpinBox *>(QStringLiteral("spinBoxMarginLeft"));
    spin->setFocus();
    std::vector<double> changeMs;
    for (int k = 0; k < kChanges; ++k) {
        const qint64 key = previewKey(w);
        QElapsedTimer c;
        c.start();
        QCoreApplication::postEvent(
            spin, new QKeyEvent(QEvent::KeyPress, Qt::Key_Up, Qt::NoModifier));
        QCoreApplication::postEvent(
            spin, new QKeyEvent(QEvent::KeyRelease, Qt::Key_Up, Qt::NoModifier));
        while (previewKey(w) == key && c.elapsed() < 20000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        drain();
        changeMs.push_back(msSince(c));
    }
    settle();

    // A drag of the left edge of the frame, one pointer move at a time.
    SourceView *view = w.sourceView();
    // On the frame's left edge, wherever the changes above left it.
    const double scale = std::max(double(kWidth) / view->width(), double(kHeight) / view->height());
    const QPoint start(int((w.params().marginLeft + 0.5) / scale), view->height() / 3);
    postMouse(view, QEvent::MouseButtonPress, start, Qt::LeftButton);
    settle();
    std::vector<double> moveMs;
    for (int k = 1; k <= kMoves; ++k) {
        QElapsedTimer m;
        m.start();
        const QPoint pos = start + QPoint(2 * k, 0);
        QMouseEvent move(QEvent::MouseMove, pos, view->mapToGlobal(pos), Qt::NoButton,
            Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(view, &move);
        drain();
        moveMs.push_back(msSince(m));
    }
    postMouse(view, QEvent::MouseButtonRelease, start + QPoint(2 * kMoves, 0), Qt::NoButton);
    settle();

    // A 1.5 s drag at 60 moves a second, the way a display server delivers
    // them: only the latest position waits while the window is busy.
    postMouse(view, QEvent::MouseButtonPress, start + QPoint(2 * kMoves, 0), Qt::LeftButton);
    settle();
    QElapsedTimer d;
    d.start();
    int delivered = 0;
    while (d.elapsed() < 1500) {
        const int due = int(d.elapsed() / 16.7);
        if (due > delivered) {
            delivered = due;
            postMouse(view, QEvent::MouseMove, start + QPoint(2 * kMoves + due, 0), Qt::LeftButton);
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 2);
    }
    const QPoint end = start + QPoint(2 * kMoves + delivered, 0);
    postMouse(view, QEvent::MouseButtonRelease, end, Qt::NoButton);
    QElapsedTimer after;
    after.start();
    settle();
    const double idleAfterMs = msSince(after) - 5;
    const long peakKb = statusKb("VmHWM:") - baseKb;

    const double decodedMb = decodedBytes / 1048576.0;
    std::printf("map %s: %d x %d, decoded %.0f MB\n", qPrintable(QFileInfo(path).fileName()),
        w.sourceImage().width(), w.sourceImage().height(), decodedMb);
    std::printf("open:                    %8.1f ms (on screen %.1f ms), plain decode %.1f ms, "
                "ratio %.2f\n",
        openMs, openShownMs, decodeMs, openShownMs / decodeMs);
    std::printf("parameter change:        %8.1f ms median of %d (min %.1f, max %.1f)\n",
        median(changeMs), kChanges, *std::min_element(changeMs.begin(), changeMs.end()),
        *std::max_element(changeMs.begin(), changeMs.end()));
    std::printf("pointer move of a drag:  %8.1f ms median of %d\n", median(moveMs), kMoves);
    std::printf(
        "1.5 s drag, %d moves delivered; idle %.1f ms after the release\n", delivered, idleAfterMs);
    std::printf(
        "peak memory after open:  %8.1f MB = %.2f x decoded (limit 1.6 x + 64 MB = %.0f MB)\n",
        openPeakKb / 1024.0, openPeakKb / 1024.0 / decodedMb, 1.6 * decodedMb + 64);
    std::printf("peak memory, whole run:  %8.1f MB = %.2f x decoded\n", peakKb / 1024.0,
        peakKb / 1024.0 / decodedMb);
    return 0;
}
