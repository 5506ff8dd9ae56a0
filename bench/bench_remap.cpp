// Times the remap of a 4000 x 2000 Miller map into the default output size and
// the largest one: the per-pixel reference, the fast gather, and a plain pass
// that writes every output pixel once from a source row (the memory-bound
// floor the gather is measured against). Then each interpolating method
// against nearest at 8192 x 4096 on every core, and the threads' speed-up: for
// an opaque map (as every JPEG decodes), blended in integers, and for a
// translucent one, blended premultiplied in float.
#include "projection/convertparams.h"
#include "projection/projectionconverter.h"

#include <QElapsedTimer>
#include <QImage>
#include <QRandomGenerator>

#include <algorithm>
#include <cstdio>
#include <functional>

namespace {

constexpr int kRuns = 3;

QImage randomSource(int w, int h)
{
    QRandomGenerator rng(4711);
    QImage img(w, h, QImage::Format_ARGB32);
    for (int y = 0; y < h; ++y) {
        auto *line = reinterpret_cast<QRgb *>(img.scanLine(y));
        for (int x = 0; x < w; ++x)
            line[x] = rng.generate();
    }
    return img;
}

// Best of kRuns, each on a freshly cleared target (clearing is not timed).
double bestMs(QImage &target, const std::function<void(QImage &)> &pass, int runs = kRuns)
{
    double best = 1e300;
    for (int r = 0; r < runs; ++r) {
        target.fill(0);
        QElapsedTimer timer;
        timer.start();
        pass(target);
        best = std::min(best, double(timer.nsecsElapsed()) / 1e6);
    }
    return best;
}

// Every target pixel written once, copied from a source row in source order.
void plainPass(const QImage &source, QImage &target)
{
    const int w = source.width();
    const int h = source.height();
    for (int i = 0; i < target.height(); ++i) {
        const auto *from = reinterpret_cast<const QRgb *>(source.constScanLine(i % h));
        auto *to = reinterpret_cast<QRgb *>(target.scanLine(i));
        for (int j0 = 0; j0 < target.width(); j0 += w) {
            const int n = std::min(w, target.width() - j0);
            for (int k = 0; k < n; ++k)
                to[j0 + k] = from[k];
        }
    }
}

} // namespace

int main()
{
    const QImage source = randomSource(4000, 2000);
    ProjectionConverter converter;
    ParamSet params;
    params.marginLeft = 40;
    params.marginRight = 30;
    params.marginBottom = 60;
    params.marginTop = 50;
    params.projection = QStringLiteral("miller");
    params.applyTo(converter);

    const QSize sizes[] = { QSize(2048, 1024), QSize(8192, 8192) };
    for (const QSize &size : sizes) {
        QImage target(size, QImage::Format_ARGB32);
        const bool large = size.width() * qint64(size.height()) > 16 * 1024 * 1024;
        const double reference = bestMs(
            target, [&](QImage &t) { converter.remapReference(source, t); }, large ? 2 : kRuns);
        const QImage referenceResult = target.copy();
        const double fast = bestMs(target, [&](QImage &t) { converter.remap(source, t, false); });
        // A time means nothing unless the fast path equals the reference.
        // Both ARGB32: the comparison is exact, byte for byte.
        if (target != referenceResult) {
            std::printf("FAIL: %d x %d: fast remap differs from the per-pixel reference\n",
                size.width(), size.height());
            return 1;
        }
        const double plain = bestMs(target, [&](QImage &t) { plainPass(source, t); });
        std::printf("%d x %d (equal to the reference): reference %.1f ms, fast %.1f ms, "
                    "memory-bound %.1f ms; reference/fast %.1f, fast/memory-bound %.2f\n",
            size.width(), size.height(), reference, fast, plain, reference / fast, fast / plain);
    }

    const struct
    {
        Resampling method;
        const char *name;
    } methods[] = { { Resampling::Bilinear, "bilinear" }, { Resampling::Bicubic, "bicubic" },
        { Resampling::Lanczos3, "lanczos-3" } };
    const struct
    {
        QImage image;
        const char *name;
    } sources[]
        = { { source.convertToFormat(QImage::Format_RGB32), "opaque" }, { source, "translucent" } };
    for (const auto &s : sources) {
        // Interpolation: the fast path must equal its reference on a small
        // target (the reference is far too slow for the big one).
        for (const auto &m : methods) {
            converter.setResampling(m.method);
            QImage small(512, 256, QImage::Format_ARGB32);
            small.fill(0);
            QImage smallReference = small.copy();
            converter.remap(s.image, small, false);
            converter.remapReference(s.image, smallReference);
            if (small != smallReference) {
                std::printf("FAIL: %s %s: fast remap differs from the per-pixel reference\n",
                    s.name, m.name);
                return 1;
            }
        }

        QImage big(8192, 4096, QImage::Format_ARGB32);
        converter.setThreadCount(0);
        converter.setResampling(Resampling::Nearest);
        const double nearest = bestMs(
            big, [&](QImage &t) { converter.remap(s.image, t, false); }, 5);
        std::printf("8192 x 4096, %s source, on every core: nearest %.1f ms\n", s.name, nearest);
        for (const auto &m : methods) {
            converter.setResampling(m.method);
            converter.setThreadCount(0);
            const double all = bestMs(
                big, [&](QImage &t) { converter.remap(s.image, t, false); }, 5);
            converter.setThreadCount(1);
            const double one = bestMs(
                big, [&](QImage &t) { converter.remap(s.image, t, false); }, 1);
            std::printf("  %-9s %.1f ms, %.2f x nearest%s; one thread %.1f ms, every core %.2f x "
                        "faster\n",
                m.name, all, all / nearest, m.method == Resampling::Bicubic ? " (target <= 4)" : "",
                one, one / all);
        }
        // Machines without AVX-512 take the narrower paths.
        converter.setResampling(Resampling::Bicubic);
        converter.setThreadCount(0);
        const VectorPath narrower[] = { VectorPath::Avx2, VectorPath::Sse2 };
        for (VectorPath path : narrower) {
            ProjectionConverter::setWidestVectorPath(path);
            const double ms = bestMs(
                big, [&](QImage &t) { converter.remap(s.image, t, false); }, 5);
            std::printf("  bicubic, %s at most: %.1f ms, %.2f x nearest\n",
                path == VectorPath::Avx2 ? "AVX2" : "SSE2", ms, ms / nearest);
        }
        ProjectionConverter::setWidestVectorPath(VectorPath::Avx512);
    }

    // The projections through PROJ, nearest, against Miller in the same run:
    // the first remap computes the geometry and the target's positions, the
    // next ones (a batch, the preview) reuse them.
    {
        QImage target(QSize(2048, 1024), QImage::Format_ARGB32);
        params.projection = QStringLiteral("miller");
        params.applyTo(converter);
        converter.setResampling(Resampling::Nearest);
        converter.setThreadCount(0);
        const double miller = bestMs(
            target, [&](QImage &t) { converter.remap(source, t, false); }, 20);
        for (const QString &name : projectionList().mid(2)) {
            params.projection = name;
            params.applyTo(converter);
            QImage reference(target.size(), QImage::Format_ARGB32);
            reference.fill(0);
            converter.remapReference(source, reference);
            const double first = bestMs(
                target,
                [&](QImage &t) {
                    ProjectionConverter fresh;
                    params.applyTo(fresh);
                    fresh.remap(source, t, false);
                },
                1);
            const double time = bestMs(
                target, [&](QImage &t) { converter.remap(source, t, false); }, 20);
            if (target != reference) {
                std::printf("FAIL: %s: fast remap differs from the per-pixel reference\n",
                    qPrintable(name));
                return 1;
            }
            std::printf("2048 x 1024 nearest, %s (equal to the reference): %.2f ms, %.2f x "
                        "Miller's %.2f ms (target <= %s); first remap %.1f ms\n",
                qPrintable(name), time, time / miller, miller,
                name == QLatin1String("winkel-tripel") ? "3" : "1.5", first);
        }
    }
    return 0;
}
