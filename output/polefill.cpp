#include "output/polefill.h"

namespace {

bool holdsMap(const QRgb *line, int width)
{
    for (int x = 0; x < width; ++x)
        if (qAlpha(line[x]) > 0)
            return true;
    return false;
}

// Rows from..to (inclusive) take the mean of the edge row's opaque pixels in
// the edge row's opaque columns; the partly clear border of a map that does
// not span the whole width stays as the map leaves it.
void fillFromEdge(QImage &target, int edge, int from, int to)
{
    const int width = target.width();
    const QRgb *edgeLine = reinterpret_cast<const QRgb *>(target.constScanLine(edge));
    qint64 sum[3] = { 0, 0, 0 };
    qint64 count = 0;
    for (int x = 0; x < width; ++x) {
        const QRgb p = edgeLine[x];
        if (qAlpha(p) != 255)
            continue;
        sum[0] += qRed(p);
        sum[1] += qGreen(p);
        sum[2] += qBlue(p);
        ++count;
    }
    if (count == 0)
        return;
    const auto mean = [count](qint64 s) { return int((s + count / 2) / count); };
    const QRgb colour = qRgb(mean(sum[0]), mean(sum[1]), mean(sum[2]));
    // scanLine() detaches a shared image, which moves its rows: the edge row
    // is looked up again after it.
    edgeLine = reinterpret_cast<const QRgb *>(target.scanLine(edge));
    for (int y = from; y <= to; ++y) {
        auto *line = reinterpret_cast<QRgb *>(target.scanLine(y));
        for (int x = 0; x < width; ++x)
            if (qAlpha(edgeLine[x]) == 255)
                line[x] = colour;
    }
}

} // namespace

PoleFill poleFillFromInt(int value)
{
    return value == 1 ? PoleFill::Mean : PoleFill::None;
}

void fillPoleCaps(QImage &target)
{
    if (target.format() != QImage::Format_ARGB32)
        return;
    const int width = target.width();
    const int height = target.height();
    int first = 0;
    while (first < height
        && !holdsMap(reinterpret_cast<const QRgb *>(target.constScanLine(first)), width))
        ++first;
    if (first == height)
        return;
    int last = height - 1;
    while (!holdsMap(reinterpret_cast<const QRgb *>(target.constScanLine(last)), width))
        --last;
    if (first > 0)
        fillFromEdge(target, first, 0, first - 1);
    if (last < height - 1)
        fillFromEdge(target, last, last + 1, height - 1);
}
