#include "detection/mapdetect.h"

#include "detection/graticule.h"
#include "detection/landmatch.h"
#include "detection/outline.h"
#include "projection/projectionconverter.h"
#include "projection/worldmap.h"

#include <QtMath>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

namespace {

// Largest channel difference still read as the page colour; JPEG noise and
// the half-blended pixel at a map's edge stay below it.
constexpr int kPageTolerance = 24;
// The widest spread a textured page may have.
constexpr int kMaxPageTolerance = 56;
// Smallest channel difference that sets a graticule line off its surroundings.
constexpr int kLineContrast = 12;
// The land agreement that confirms a whole-world shape with no graticule.
constexpr double kWorldAgreement = 0.3;
// How much better the land must agree with one of the boxes a graticule fits
// about as well than with any other.
constexpr double kRivalLead = 0.1;
// Largest channel difference from a line's mean that still belongs to the line.
constexpr int kLineTolerance = 40;
// The coarse pass samples at most this many points along the longer side.
constexpr int kCoarseSamples = 1000;
// Rows or columns looked at per line in the full-resolution pass.
constexpr int kRefineSamples = 600;
// What every transparent pixel is read as: a colour no map is drawn in.
constexpr QRgb kTransparent = 0xffff00ffu;

struct Rgb
{
    int r = 0;
    int g = 0;
    int b = 0;
};

int distance(QRgb p, const Rgb &c)
{
    return std::max(
        { std::abs(qRed(p) - c.r), std::abs(qGreen(p) - c.g), std::abs(qBlue(p) - c.b) });
}

int distance(const Rgb &a, const Rgb &c)
{
    return std::max({ std::abs(a.r - c.r), std::abs(a.g - c.g), std::abs(a.b - c.b) });
}

int quantised(QRgb p)
{
    return ((qRed(p) >> 4) << 8) | ((qGreen(p) >> 4) << 4) | (qBlue(p) >> 4);
}

// Colours counted in 16 levels a channel, with the exact mean of each bin.
struct Histogram
{
    static constexpr int kBins = 4096;
    std::vector<int> counts = std::vector<int>(kBins, 0);
    std::vector<qint64> sums = std::vector<qint64>(kBins * 3, 0);
    qint64 total = 0;

    void add(QRgb p)
    {
        const size_t q = size_t(quantised(p));
        ++counts[q];
        sums[q * 3] += qRed(p);
        sums[q * 3 + 1] += qGreen(p);
        sums[q * 3 + 2] += qBlue(p);
        ++total;
    }
    int mode() const
    {
        return int(std::max_element(counts.begin(), counts.end()) - counts.begin());
    }
    Rgb mean(int bin) const
    {
        const qint64 n = std::max(1, counts[size_t(bin)]);
        return { int(sums[size_t(bin) * 3] / n), int(sums[size_t(bin) * 3 + 1] / n),
            int(sums[size_t(bin) * 3 + 2] / n) };
    }
};

struct Span
{
    int first = 0;
    int last = -1;
    int length() const { return last - first + 1; }
    bool operator==(const Span &o) const { return first == o.first && last == o.last; }
};

// The longest stretch of values at or above half the largest, across gaps of
// at most maxGap (page-coloured graticule lines cut the map's own profile).
Span longestDenseSpan(const std::vector<double> &values, int maxGap, double minPeak)
{
    Span best;
    if (values.empty())
        return best;
    const double peak = *std::max_element(values.begin(), values.end());
    if (peak < minPeak)
        return best;
    const double threshold = peak * 0.5;
    Span current;
    int lastDense = -1000000;
    for (int i = 0; i < int(values.size()); ++i) {
        if (values[size_t(i)] < threshold)
            continue;
        if (i - lastDense - 1 > maxGap || current.length() <= 0)
            current.first = i;
        current.last = i;
        lastDense = i;
        if (current.length() > best.length())
            best = current;
    }
    return best;
}

enum class LineKind { Page, Line, Content, Mixed };

struct LineStats
{
    LineKind kind = LineKind::Mixed;
    Rgb mean;
    double pageShare = 0.0;
    double mapShare = 0.0; // share off the page in the colours of the map's inside
};

class Scanner
{
public:
    explicit Scanner(const QImage &image)
        : m_image(image)
        , m_width(image.width())
        , m_height(image.height())
        , m_alpha(image.hasAlphaChannel())
    { }

    int width() const { return m_width; }
    int height() const { return m_height; }
    QRgb at(int x, int y) const
    {
        return seen(reinterpret_cast<const QRgb *>(m_image.constScanLine(y))[x]);
    }
    // A transparent page is one colour whatever its pixels hold, and never
    // the black of a frame line.
    QRgb seen(QRgb p) const { return m_alpha && qAlpha(p) < 128 ? kTransparent : p; }

    // The most common colour of the image's outer ring, and its share.
    double findPage()
    {
        Histogram ring;
        for (int x = 0; x < m_width; ++x) {
            ring.add(at(x, 0));
            ring.add(at(x, m_height - 1));
        }
        for (int y = 1; y + 1 < m_height; ++y) {
            ring.add(at(0, y));
            ring.add(at(m_width - 1, y));
        }
        const int mode = ring.mode();
        m_page = ring.mean(mode);
        const double share = double(ring.counts[size_t(mode)]) / ring.total;
        if (share >= 0.2)
            return share;
        // A textured page spreads over many bins: its middle colour, and the
        // least tolerance that takes in most of the ring.
        std::vector<int> reds, greens, blues;
        auto addRing = [&](QRgb p) {
            reds.push_back(qRed(p));
            greens.push_back(qGreen(p));
            blues.push_back(qBlue(p));
        };
        for (int x = 0; x < m_width; ++x) {
            addRing(at(x, 0));
            addRing(at(x, m_height - 1));
        }
        for (int y = 1; y + 1 < m_height; ++y) {
            addRing(at(0, y));
            addRing(at(m_width - 1, y));
        }
        auto middle = [](std::vector<int> &v) {
            std::nth_element(v.begin(), v.begin() + long(v.size() / 2), v.end());
            return v[v.size() / 2];
        };
        const Rgb centre { middle(reds), middle(greens), middle(blues) };
        for (int tolerance = kPageTolerance + 8; tolerance <= kMaxPageTolerance; tolerance += 8) {
            qint64 near = 0;
            for (size_t i = 0; i < reds.size(); ++i)
                near += distance(Rgb { reds[i], greens[i], blues[i] }, centre) <= tolerance ? 1 : 0;
            if (near * 2 >= qint64(reds.size())) {
                m_page = centre;
                m_tolerance = tolerance;
                return double(near) / reds.size();
            }
        }
        return share;
    }

    const Rgb &page() const { return m_page; }
    bool mapColour(const Rgb &c) const
    {
        return m_mapColours[size_t(quantised(qRgb(c.r, c.g, c.b)))] != 0;
    }
    void setPage(const Rgb &page) { m_page = page; }
    bool isPage(QRgb p) const { return distance(p, m_page) <= m_tolerance; }
    // The page's own spread: wider on a textured page.
    int tolerance() const { return m_tolerance; }

    // Statistics of column x over rows `along` (vertical) or row y over
    // columns `along`.
    LineStats stats(int pos, bool column, const std::vector<int> &along) const
    {
        LineStats s;
        const int n = int(along.size());
        if (n == 0)
            return s;
        int pageCount = 0;
        int mapLike = 0;
        int mapOffPage = 0;
        qint64 r = 0;
        qint64 g = 0;
        qint64 b = 0;
        for (int k : along) {
            const QRgb p = column ? at(pos, k) : at(k, pos);
            const bool page = isPage(p);
            pageCount += page ? 1 : 0;
            mapLike += m_mapColours[size_t(quantised(p))];
            mapOffPage += page ? 0 : m_mapColours[size_t(quantised(p))];
            r += qRed(p);
            g += qGreen(p);
            b += qBlue(p);
        }
        s.mean = { int(r / n), int(g / n), int(b / n) };
        int near = 0;
        for (int k : along) {
            const QRgb p = column ? at(pos, k) : at(k, pos);
            near += distance(p, s.mean) <= kLineTolerance ? 1 : 0;
        }
        const double pageShare = double(pageCount) / n;
        s.pageShare = pageShare;
        s.mapShare = double(mapOffPage) / n;
        const bool uniform = near >= n * 0.95;
        if (pageShare >= 0.5)
            s.kind = LineKind::Page;
        else if (uniform)
            s.kind = LineKind::Line;
        else if (pageShare < 0.25 && mapLike >= n * 0.6)
            s.kind = LineKind::Content;
        else
            s.kind = LineKind::Mixed;
        return s;
    }

    // Share of the line's pixels within kLineTolerance of c.
    double shareNear(int pos, bool column, const std::vector<int> &along, const Rgb &c) const
    {
        if (along.empty())
            return 0.0;
        int near = 0;
        for (int k : along) {
            const QRgb p = column ? at(pos, k) : at(k, pos);
            near += distance(p, c) <= kLineTolerance ? 1 : 0;
        }
        return double(near) / along.size();
    }

    // The colours that make up most of the map's inside, from the samples of
    // quantised colours taken there; a line is map once most of it has them.
    void learnMapColours(const Histogram &inside)
    {
        std::vector<int> order(Histogram::kBins);
        for (int i = 0; i < Histogram::kBins; ++i)
            order[size_t(i)] = i;
        std::sort(order.begin(), order.end(), [&inside](int a, int b) {
            return inside.counts[size_t(a)] > inside.counts[size_t(b)];
        });
        std::vector<Rgb> palette;
        qint64 covered = 0;
        for (int bin : order) {
            const int n = inside.counts[size_t(bin)];
            if (n == 0 || covered >= inside.total * 0.8 || palette.size() >= 64)
                break;
            covered += n;
            palette.push_back(inside.mean(bin));
        }
        m_mapColours.assign(Histogram::kBins, 0);
        for (int bin = 0; bin < Histogram::kBins; ++bin) {
            const Rgb centre { ((bin >> 8) << 4) + 8, (((bin >> 4) & 15) << 4) + 8,
                ((bin & 15) << 4) + 8 };
            for (const Rgb &c : palette) {
                if (distance(centre, c) <= kLineTolerance) {
                    m_mapColours[size_t(bin)] = 1;
                    break;
                }
            }
        }
    }

private:
    std::vector<unsigned char> m_mapColours = std::vector<unsigned char>(Histogram::kBins, 1);
    const QImage &m_image;
    int m_width;
    int m_height;
    bool m_alpha;
    Rgb m_page;
    int m_tolerance = kPageTolerance;
};

struct EdgeResult
{
    int position = 0; // first (or last) line of the map area
    bool clear = false; // ended at a page or frame transition
    int lineInside = 0; // lines of the frame line inside the map area
};

// How far c lies from `from` towards `to`, as a share of the way, snapped to
// whole pixels near either end so that noise does not move a sharp edge.
double coverage(const Rgb &c, const Rgb &from, const Rgb &to)
{
    const double dr = to.r - from.r;
    const double dg = to.g - from.g;
    const double db = to.b - from.b;
    const double length2 = dr * dr + dg * dg + db * db;
    if (length2 < 1.0)
        return 1.0;
    const double t = ((c.r - from.r) * dr + (c.g - from.g) * dg + (c.b - from.b) * db) / length2;
    if (t < 0.2)
        return 0.0;
    if (t > 0.8)
        return 1.0;
    return t;
}

// Walks lines from `outer` towards `inner` (either direction) and returns
// the first line of the map area. A thin run of lines off the page and not
// map-coloured right before the map is a frame line drawn across the edge:
// the map begins at its middle, measured with the blended lines on either
// side. A long uniform run is the map itself (open sea along the edge).
EdgeResult findEdge(const Scanner &scan, bool column, const std::vector<int> &along, int outer,
    int inner, int maxLine, int fallback)
{
    const int step = inner >= outer ? 1 : -1;
    const int count = (inner - outer) * step + 1;
    auto positionOf = [&](int k) { return outer + step * k; };

    std::vector<LineStats> lines;
    lines.reserve(size_t(count));
    int content = -1;
    int runStart = -1;
    for (int k = 0; k < count && content < 0; ++k) {
        const LineStats s = scan.stats(positionOf(k), column, along);
        lines.push_back(s);
        if (s.kind == LineKind::Line) {
            if (runStart < 0 || distance(s.mean, lines[size_t(runStart)].mean) > kLineTolerance)
                runStart = k;
            if (k - runStart + 1 > maxLine)
                content = runStart;
        } else if (s.kind == LineKind::Content) {
            content = k;
        } else {
            runStart = -1;
        }
    }
    if (content < 0 && runStart >= 0)
        content = runStart;
    EdgeResult e;
    if (content < 0) {
        e.position = fallback;
        return e;
    }
    e.position = positionOf(content);

    // Off the page and not map: a frame line, uniform or blended with what
    // lies on either side of it.
    auto inFrame = [&lines](int k) {
        const LineStats &s = lines[size_t(k)];
        return s.kind == LineKind::Line || (s.kind == LineKind::Mixed && s.pageShare < 0.25);
    };
    int frameStart = content;
    while (frameStart > 0 && content - frameStart < maxLine + 2 && inFrame(frameStart - 1))
        --frameStart;
    bool sawPage = content == 0;
    for (int k = 0; k < frameStart; ++k)
        sawPage = sawPage || lines[size_t(k)].kind == LineKind::Page;
    e.clear = sawPage || frameStart < content;
    if (frameStart == content)
        return e;

    const int next = content + 1 < count ? content + 1 : content;
    const Rgb inside = size_t(next) < lines.size()
        ? lines[size_t(next)].mean
        : scan.stats(positionOf(next), column, along).mean;
    int darkest = frameStart;
    for (int k = frameStart; k < content; ++k) {
        if (distance(lines[size_t(k)].mean, inside) > distance(lines[size_t(darkest)].mean, inside))
            darkest = k;
    }
    const Rgb frame = lines[size_t(darkest)].mean;
    // A run of the map's own colour is map, not frame.
    if (scan.shareNear(positionOf(content), column, along, frame) >= 0.3) {
        e.position = positionOf(frameStart);
        return e;
    }
    // Pixel k covers [k, k + 1) counted inwards; a blended pixel at either
    // end is covered in part, on its side towards the line.
    double outerEnd = -1.0;
    double innerEnd = -1.0;
    for (int k = frameStart; k <= content; ++k) {
        const Rgb &m = lines[size_t(k)].mean;
        const double share = k == content
            ? coverage(m, inside, frame)
            : (k < darkest ? coverage(m, scan.page(), frame)
                           : (k == darkest ? 1.0 : coverage(m, inside, frame)));
        if (share <= 0.0)
            continue;
        if (outerEnd < 0.0)
            outerEnd = k + (1.0 - share);
        innerEnd = k + share;
    }
    // The map area starts at the first line whose middle is past the frame's middle.
    const double middle = (outerEnd + innerEnd) / 2.0;
    const int first = int(std::ceil(middle - 0.5));
    e.position = positionOf(first);
    e.lineInside = std::max(0, int(std::ceil(innerEnd - 0.5)) - first);
    return e;
}

std::vector<int> spread(int first, int last, int count)
{
    std::vector<int> v;
    if (last < first)
        return v;
    const int n = std::min(count, last - first + 1);
    v.reserve(size_t(n));
    for (int i = 0; i < n; ++i)
        v.push_back(first + int(qint64(last - first) * i / std::max(1, n - 1)));
    v.erase(std::unique(v.begin(), v.end()), v.end());
    return v;
}

// The middle 80 %, clear of corners where ticks and labels gather.
std::vector<int> middleOf(int first, int last)
{
    const int cut = (last - first) / 10;
    return spread(first + cut, last - cut, kRefineSamples);
}

// Walks each line in `along` from `start` (a step at a time) while its pixels
// keep colour c: the depth where most lines leave it, all within 2 pixels of
// each other, or -1 when they leave it at scattered depths (a coastline, not
// an edge drawn straight) or not at all.
int straightDepth(const Scanner &scan, bool column, const std::vector<int> &along, int start,
    int step, int maxDepth, const Rgb &c)
{
    std::vector<int> depths;
    const size_t stride = std::max<size_t>(1, along.size() / 200);
    for (size_t i = 0; i < along.size(); i += stride) {
        const int k = along[i];
        int d = 0;
        while (d < maxDepth) {
            const int pos = start + step * d;
            if (pos < 0 || pos >= (column ? scan.width() : scan.height()))
                break;
            if (distance(column ? scan.at(pos, k) : scan.at(k, pos), c) > scan.tolerance())
                break;
            ++d;
        }
        depths.push_back(d);
    }
    if (depths.empty())
        return -1;
    std::vector<int> sorted = depths;
    std::nth_element(sorted.begin(), sorted.begin() + long(sorted.size() / 2), sorted.end());
    const int median = sorted[sorted.size() / 2];
    if (median >= maxDepth)
        return -1;
    const auto close = std::count_if(
        depths.begin(), depths.end(), [median](int d) { return std::abs(d - median) <= 2; });
    return close * 10 >= long(depths.size()) * 7 ? median : -1;
}

struct Side
{
    EdgeResult *edge;
    bool column;
    int step; // inwards
    int maxLine;
    int extent; // lines across the image in this direction
};

// A map on a card (with its shadow, or inside a double border): the area
// found is the card, whose uniform bands end in straight lines on all four
// sides, and the map lies inside them. Takes the innermost such rectangle
// whose inside is not the band's colour again; open sea along an edge ends
// at a coastline, not a straight line, and stays map.
void peelBands(const Scanner &scan, Side sides[4])
{
    for (int round = 0; round < 3; ++round) {
        const std::vector<int> acrossRows
            = middleOf(sides[2].edge->position, sides[3].edge->position);
        const std::vector<int> acrossColumns
            = middleOf(sides[0].edge->position, sides[1].edge->position);
        int inner[4];
        Rgb bands[4];
        for (int i = 0; i < 4; ++i) {
            const Side &side = sides[i];
            const std::vector<int> &along = side.column ? acrossRows : acrossColumns;
            const int across = side.column ? sides[1].edge->position - sides[0].edge->position
                                           : sides[3].edge->position - sides[2].edge->position;
            int pos = side.edge->position;
            int peeled = 0;
            // A band is one colour on most of the line (labels and ticks
            // may sit on a card), not one of the map's own, leaving it at a
            // straight line.
            auto band = [&](int at, Rgb *colour) {
                Histogram line;
                for (int k : along)
                    line.add(side.column ? scan.at(at, k) : scan.at(k, at));
                *colour = line.mean(line.mode());
                return !scan.mapColour(*colour)
                        && scan.shareNear(at, side.column, along, *colour) >= 0.8
                    ? straightDepth(scan, side.column, along, at, side.step, across / 4, *colour)
                    : -1;
            };
            for (int n = 0; n < 8; ++n) {
                Rgb colour;
                const int depth = band(pos, &colour);
                if (depth < 1)
                    break;
                if (depth > side.maxLine) {
                    pos += side.step * depth;
                    peeled += depth;
                    bands[i] = colour;
                    continue;
                }
                // Thin bands are a frame line, which findEdge measures, unless
                // a wide band follows them (a soft shadow before its card).
                int ahead = pos + side.step * depth;
                int walked = depth;
                bool wide = false;
                while (!wide && walked <= 4 * side.maxLine + 8) {
                    const int next = band(ahead, &colour);
                    if (next < 1)
                        break;
                    wide = next > side.maxLine;
                    if (!wide) {
                        ahead += side.step * next;
                        walked += next;
                    }
                }
                if (!wide)
                    break;
                pos = ahead;
                peeled += walked;
            }
            const int past = pos + side.step * (side.maxLine + 1);
            if (peeled == 0 || past < 0 || past >= side.extent
                || scan.shareNear(past, side.column, along, bands[i]) >= 0.5)
                return;
            inner[i] = pos;
        }
        for (int i = 0; i < 4; ++i) {
            const Side &side = sides[i];
            Scanner onBand = scan;
            onBand.setPage(bands[i]);
            const std::vector<int> &along = side.column ? acrossRows : acrossColumns;
            const int outer = std::clamp(inner[i] - 2 * side.step, 0, side.extent - 1);
            const int far
                = std::clamp(inner[i] + side.step * (2 * side.maxLine + 4), 0, side.extent - 1);
            *side.edge = findEdge(onBand, side.column, along, outer, far, side.maxLine, inner[i]);
        }
    }
}

// Whether the side ends the map in a straight line: where the page is just
// outside it, every line across leaves it at about the same
// depth. A side that is land against a sea in the page colour does not.
bool straightEdge(const Scanner &scan, const Side &side, const std::vector<int> &along)
{
    const int outside = side.edge->position - side.step * (side.maxLine + 2);
    if (outside < 0 || outside >= side.extent)
        return true;
    const LineStats line = scan.stats(outside, side.column, along);
    // Map colours beyond the edge: the edge cuts through the map.
    if (line.mapShare > 0.3)
        return false;
    if (line.kind != LineKind::Page)
        return true; // a frame band, ticks or labels: nothing to measure against
    return straightDepth(
               scan, side.column, along, outside, side.step, 2 * side.maxLine + 6, line.mean)
        >= 0;
}

// The frame line around a map whose sea is the page colour, so that only its
// land stood out: on each side the outermost line between the image edge and
// the land that runs in one colour off the page. The map starts at its middle.
bool frameAround(const Scanner &scan, Side sides[4])
{
    const std::vector<int> acrossRows = middleOf(sides[2].edge->position, sides[3].edge->position);
    const std::vector<int> acrossColumns
        = middleOf(sides[0].edge->position, sides[1].edge->position);
    EdgeResult found[4];
    for (int i = 0; i < 4; ++i) {
        const Side &side = sides[i];
        const std::vector<int> &along = side.column ? acrossRows : acrossColumns;
        auto frameLine = [&](int pos, Rgb *colour) {
            const LineStats line = scan.stats(pos, side.column, along);
            *colour = line.mean;
            return line.kind == LineKind::Line
                && distance(line.mean, scan.page()) > scan.tolerance();
        };
        Rgb frame;
        int outer = side.step > 0 ? 0 : side.extent - 1;
        while ((side.edge->position - outer) * side.step > 0 && !frameLine(outer, &frame))
            outer += side.step;
        if ((side.edge->position - outer) * side.step <= 0)
            return false;
        // The run of such lines; its darkest is the line's own colour, the
        // first may be blended with the page.
        int inner = outer;
        Rgb next;
        while (frameLine(inner + side.step, &next)
            && (((inner - outer) * side.step < 2
                    && distance(next, scan.page()) > distance(frame, scan.page()))
                || distance(next, frame) <= kLineTolerance)) {
            inner += side.step;
            if (distance(next, scan.page()) > distance(frame, scan.page()))
                frame = next;
        }
        // Wider than a frame line: land or a band, not the map's edge.
        if ((inner - outer) * side.step > side.maxLine + 1)
            return false;
        double weighted = 0.0;
        double total = 0.0;
        for (int pos = outer - side.step; (inner + side.step - pos) * side.step >= 0;
             pos += side.step) {
            if (pos < 0 || pos >= side.extent)
                continue;
            const double w = coverage(scan.stats(pos, side.column, along).mean, scan.page(), frame);
            weighted += w * pos;
            total += w;
        }
        const double middle = weighted / total;
        const int first
            = side.step > 0 ? int(std::ceil(middle - 1e-9)) : int(std::floor(middle + 1e-9));
        found[i].position = first;
        found[i].clear = true;
        found[i].lineInside = std::max(0, (inner - first) * side.step + 1);
    }
    // The frame holds the land found, with room for a map.
    for (int i = 0; i < 4; ++i) {
        if ((sides[i].edge->position - found[i].position) * sides[i].step < 0)
            return false;
    }
    if (found[1].position - found[0].position < 16 || found[3].position - found[2].position < 16)
        return false;
    for (int i = 0; i < 4; ++i)
        *sides[i].edge = found[i];
    return true;
}

// Where each row of the map begins and ends, around the area found (which
// stops short of a curved outline's widest rows), matched against the
// outlines of whole-world maps.
bool curvedOutline(
    const Scanner &scan, int left, int right, int top, int bottom, OutlineMatch *match)
{
    const int padX = std::max(8, (right - left) / 8);
    const int padY = std::max(8, (bottom - top) / 8);
    const int x0 = std::max(0, left - padX);
    const int x1 = std::min(scan.width() - 1, right + padX);
    const int y0 = std::max(0, top - padY);
    const int y1 = std::min(scan.height() - 1, bottom + padY);
    std::vector<int> first;
    std::vector<int> last;
    for (int y = y0; y <= y1; ++y) {
        int a = x0;
        while (a <= x1 && scan.isPage(scan.at(a, y)))
            ++a;
        int b = x1;
        while (b >= a && scan.isPage(scan.at(b, y)))
            --b;
        first.push_back(a <= x1 ? a : -1);
        last.push_back(a <= x1 ? b : -1);
    }
    return matchOutline(first, last, y0, match);
}

struct ShapeMatch
{
    QString projection;
    double latMin = 0.0;
    double latMax = 0.0;
    double error = 0.0; // rows between the shape and the area
    bool symmetric() const { return latMin == -latMax; }
};

// The whole-world shapes the rectangle may have, within a pixel and a half
// (an edge found may be a pixel off): Miller to the poles or cut far from the
// equator, and Mercator, cut at multiples of 5° (and the usual 56°S and 84°N).
std::vector<ShapeMatch> wholeWorldShapes(int areaWidth, int areaHeight)
{
    std::vector<ShapeMatch> shapes;
    if (areaWidth < 2 || areaHeight < 2)
        return shapes;
    std::vector<double> norths { 84.0 };
    std::vector<double> souths { -56.0 };
    for (int lat = 5; lat <= 90; lat += 5) {
        norths.push_back(lat);
        souths.push_back(-lat);
    }
    ProjectionConverter converter;
    for (const QString &name : { QStringLiteral("miller"), QStringLiteral("mercator") }) {
        converter.setProjection(name);
        const bool poles = name == QLatin1String("miller");
        for (double north : norths) {
            for (double south : souths) {
                // Mercator stops short of the poles; Miller maps are cut far
                // from the equator, where the two would look alike.
                if (!poles && (north > 85.0 || south < -85.0))
                    continue;
                if (poles && (north < 60.0 || south > -50.0))
                    continue;
                const double span
                    = converter.projectLatitude(north) - converter.projectLatitude(south);
                // Pixel centres at both ends (the converter's view) or whole
                // pixels (a renderer's): the drawn extent lies between the two.
                const double ratio = span / 360.0;
                const double error = std::min(std::fabs((areaWidth - 1) * ratio + 1.0 - areaHeight),
                    std::fabs(areaWidth * ratio - areaHeight));
                if (error <= 1.5)
                    shapes.push_back({ name, south, north, error });
            }
        }
    }
    return shapes;
}

// The shape whose land agrees best with the world's.
bool chooseShape(const QImage &image, int left, int right, int top, int bottom,
    const std::vector<ShapeMatch> &shapes, const std::vector<double> &starts, ShapeMatch *chosen)
{
    const LandSamples coarse(image, left, top, right, bottom, 120, 60);
    std::vector<double> scores;
    for (const ShapeMatch &shape : shapes)
        scores.push_back(chooseLongitudes(
            coarse, shape.projection, shape.latMin, shape.latMax, 360.0, starts, true)
                             .score);
    const size_t best = size_t(std::max_element(scores.begin(), scores.end()) - scores.begin());
    if (scores.empty() || scores[best] < kWorldAgreement)
        return false;
    std::vector<size_t> tied;
    for (size_t i = 0; i < shapes.size(); ++i) {
        if (scores[i] >= scores[best] - 0.05)
            tied.push_back(i);
    }
    // Land that cannot tell the boxes apart: the shape that fits closest,
    // unless another fits about as closely, when only a symmetric one of
    // them is taken.
    std::sort(tied.begin(), tied.end(),
        [&shapes](size_t p, size_t q) { return shapes[p].error < shapes[q].error; });
    *chosen = shapes[tied[0]];
    if (tied.size() == 1 || shapes[tied[1]].error - shapes[tied[0]].error >= 1.0)
        return true;
    bool found = false;
    for (size_t i : tied) {
        if (shapes[i].error - shapes[tied[0]].error < 1.0 && shapes[i].symmetric()) {
            *chosen = shapes[i];
            found = true;
            break;
        }
    }
    return found;
}

// Thin lines across most of the map area: its parallels (rows) or meridians
// (columns). A line pixel differs from the pixels a few lines to either
// side, which agree with each other. Returns the lines' centres.
std::vector<double> findLines(
    const Scanner &scan, bool columns, int left, int right, int top, int bottom, int inset)
{
    const int first = columns ? left : top;
    const int last = columns ? right : bottom;
    // Wider lines on bigger maps; a line must be thinner than the reach.
    const int reach = std::clamp(std::max(scan.width(), scan.height()) / 800, 3, 12);
    const std::vector<int> across = columns ? middleOf(top, bottom) : middleOf(left, right);
    auto pixel = [&](int pos, int k) { return columns ? scan.at(pos, k) : scan.at(k, pos); };
    std::vector<double> lines;
    int start = -1;
    // The frame's inner half and a fancy frame's band lie along the edges.
    const int skip = reach + inset;
    for (int pos = first + skip; pos <= last - skip + 1; ++pos) {
        int hits = 0;
        if (pos <= last - skip) {
            for (int k : across) {
                const QRgb before = pixel(pos - reach, k);
                const QRgb after = pixel(pos + reach, k);
                const Rgb b { qRed(before), qGreen(before), qBlue(before) };
                const Rgb a { qRed(after), qGreen(after), qBlue(after) };
                const Rgb mid { (a.r + b.r) / 2, (a.g + b.g) / 2, (a.b + b.b) / 2 };
                if (distance(a, b) <= kPageTolerance
                    && distance(pixel(pos, k), mid) > kLineContrast)
                    ++hits;
            }
        }
        const bool onLine = hits >= int(across.size()) / 2;
        if (onLine && start < 0)
            start = pos;
        if (!onLine && start >= 0) {
            if (pos - start <= reach)
                lines.push_back((start + pos - 1) / 2.0);
            start = -1;
        }
    }
    return lines;
}

// Degrees between the area's first and last columns. The scale comes from
// lines a pixel apart at best: within 1 % is the full circle.
double readSpan(const GraticuleReading &g, int left, int right)
{
    const double span = g.lonSpan(left, right);
    return std::fabs(span - 360.0) <= 3.6 ? 360.0 : span;
}

// Of the boxes the parallels fit about as well (evenly spaced ones fit every
// step), the one whose land agrees clearly best with the world's.
void chooseRival(const QImage &image, int left, int right, int top, int bottom, GraticuleReading *g)
{
    if (g->rivals.size() < 2)
        return;
    const LandSamples coarse(image, left, top, right, bottom, 120, 60);
    std::vector<double> scores;
    for (const GraticuleBox &box : g->rivals) {
        GraticuleReading r = *g;
        r.take(box);
        const double span = readSpan(r, left, right);
        scores.push_back(chooseLongitudes(coarse, box.projection, box.latMin, box.latMax, span,
            r.lonMinCandidates(left), span == 360.0)
                             .score);
    }
    const size_t best = size_t(std::max_element(scores.begin(), scores.end()) - scores.begin());
    double runnerUp = -1.0;
    for (size_t i = 0; i < scores.size(); ++i) {
        if (i != best)
            runnerUp = std::max(runnerUp, scores[i]);
    }
    if (g->rivals[best].named && scores[best] >= kWorldAgreement
        && scores[best] - runnerUp >= kRivalLead)
        g->take(g->rivals[best]);
}

// The projection and box of the area left … right × top … bottom: from its
// parallels and meridians where they are drawn, else from a whole-world shape,
// with the land deciding where along the circle the map starts. A whole-world
// shape that the land does not confirm names nothing: a regional map can have
// the same proportions.
void readBox(const QImage &image, const Scanner &scan, int left, int right, int top, int bottom,
    MapDetection *d)
{
    const int inset = 2 * d->frameLine + 2;
    const int areaWidth = right - left + 1;
    const std::vector<ShapeMatch> shapes = wholeWorldShapes(areaWidth, bottom - top + 1);
    const bool shaped = !shapes.empty();
    GraticuleReading g = readGraticule(findLines(scan, false, left, right, top, bottom, inset),
        findLines(scan, true, left, right, top, bottom, inset), left, right, top, bottom,
        shaped ? (areaWidth - 1) / 360.0 : 0.0);
    chooseRival(image, left, right, top, bottom, &g);
    d->meridians = g.meridians ? g.meridianCount : 0;

    QString projection;
    double latMin = 0.0;
    double latMax = 0.0;
    double span = 0.0;
    if (g.latitudes) {
        projection = g.projection;
        latMin = g.latMin;
        latMax = g.latMax;
        span = readSpan(g, left, right);
    } else if (ShapeMatch shape; shaped
               && chooseShape(
                   image, left, right, top, bottom, shapes, g.lonMinCandidates(left), &shape)) {
        projection = shape.projection;
        latMin = shape.latMin;
        latMax = shape.latMax;
        span = 360.0;
    } else {
        return;
    }
    const bool world = span == 360.0;
    const LandSamples samples(image, left, top, right, bottom);
    const LandChoice land = chooseLongitudes(
        samples, projection, latMin, latMax, span, g.lonMinCandidates(left), world);
    d->landScore = land.score;
    if (!g.latitudes && land.score < kWorldAgreement)
        return;

    d->fromGraticule = g.latitudes;
    d->parallels = g.latitudes ? g.parallels : 0;
    d->wholeWorld = world;
    d->params.projection = projection;
    d->params.latMin = latMin;
    d->params.latMax = latMax;
    if (land.decided) {
        d->longitudes = MapDetection::Longitudes::Land;
        d->params.lonMin = land.lonMin;
        d->params.lonMax = world ? land.lonMin : std::remainder(land.lonMin + span, 360.0);
        if (world && land.lonMin == -180.0)
            d->params.lonMax = 180.0;
        else if (d->params.lonMax <= -180.0)
            d->params.lonMax += 360.0;
        const double whole = std::round(d->params.lonMax);
        d->params.lonMax = std::fabs(d->params.lonMax - whole) <= 0.3
            ? whole
            : std::round(d->params.lonMax * 10.0) / 10.0;
    } else if (world) {
        d->longitudes = MapDetection::Longitudes::Assumed;
        d->params.lonMin = -180.0;
        d->params.lonMax = 180.0;
    }
}

MapDetection failure(const QString &reason)
{
    MapDetection d;
    d.reason = reason;
    return d;
}

// A map area found from left … right × top … bottom (inclusive) of a
// width × height image; the rest as the fallback has it until read.
MapDetection foundArea(
    const ParamSet &fallback, int width, int height, int left, int top, int right, int bottom)
{
    MapDetection d;
    d.found = true;
    d.params = fallback;
    d.params.marginLeft = left;
    d.params.marginRight = width - 1 - right;
    d.params.marginTop = top;
    d.params.marginBottom = height - 1 - bottom;
    // Measured with the margins, never kept.
    d.params.frameLine = 0;
    return d;
}

// A whole-world map in the outline's projection; where along the circle it
// starts, the land decides, or the longitudes are kept.
MapDetection outlineDetection(
    const QImage &image, const OutlineMatch &outline, const ParamSet &fallback)
{
    MapDetection d = foundArea(fallback, image.width(), image.height(), outline.left, outline.top,
        outline.right, outline.bottom);
    d.params.projection = outline.projection;
    d.params.latMin = -90.0;
    d.params.latMax = 90.0;
    d.outline = outline.projection;
    d.wholeWorld = true;
    WorldBox drawn;
    drawn.projection = outline.projection;
    drawn.left = outline.left;
    drawn.top = outline.top;
    drawn.right = outline.right;
    drawn.bottom = outline.bottom;
    const LandChoice land = chooseWorldStart(
        LandSamples(image, outline.left, outline.top, outline.right, outline.bottom, 240, 120),
        WorldMap(drawn));
    d.landScore = land.score;
    if (land.decided) {
        d.longitudes = MapDetection::Longitudes::Land;
        d.params.lonMin = land.lonMin;
        d.params.lonMax = land.lonMin == -180.0 ? 180.0 : land.lonMin;
    }
    d.sidesAtEdge = 4;
    d.confidence = std::max(0.0, 1.0 - outline.error / 3.0);
    return d;
}

} // namespace

bool MapDetection::read(Group group) const
{
    switch (group) {
    case Group::Margins:
        return found;
    case Group::ProjectionAndLatitudes:
        return found && (wholeWorld || fromGraticule || !outline.isEmpty());
    case Group::Longitudes:
        return found && longitudes != Longitudes::Kept;
    }
    return false;
}

QStringList MapDetection::sourceLines() const
{
    if (!found)
        return QStringList();
    const QString kept = QStringLiteral("kept");
    QString latitudes = kept;
    if (fromGraticule)
        latitudes = QStringLiteral("%1 parallels").arg(parallels);
    else if (!outline.isEmpty())
        latitudes = QStringLiteral("%1 outline, the whole world").arg(outline);
    else if (wholeWorld)
        latitudes = QStringLiteral("whole-world shape, the land agrees");
    QString lon = kept;
    const QString meridianText
        = meridians > 0 ? QStringLiteral("%1 meridians, ").arg(meridians) : QString();
    if (longitudes == Longitudes::Land)
        lon = meridianText + (wholeWorld ? QStringLiteral("whole world, ") : QString())
            + QStringLiteral("start matched to the land");
    else if (longitudes == Longitudes::Assumed)
        lon = QStringLiteral("whole world, -180° assumed: the land did not decide");
    QStringList lines {
        QStringLiteral("; margins: read, %1 of 4 sides at a page or frame edge").arg(sidesAtEdge),
        QStringLiteral("; projection and latitudes: %1").arg(latitudes),
        QStringLiteral("; longitudes: %1").arg(lon),
    };
    if (frameLine > 0)
        lines.insert(1, QStringLiteral("; frame line: %1 px inside the map area").arg(frameLine));
    return lines;
}

QString MapDetection::summary(int imageWidth, int imageHeight) const
{
    if (!found)
        return QStringLiteral("no map area found: ") + reason;
    const int w = imageWidth - params.marginLeft - params.marginRight;
    const int h = imageHeight - params.marginTop - params.marginBottom;
    QString shape;
    if (!read(Group::ProjectionAndLatitudes))
        shape = QStringLiteral("margins only, %1 and box kept").arg(params.projection);
    else
        shape = QStringLiteral("%1 %2…%3°, %4")
                    .arg(params.projection)
                    .arg(params.latMin)
                    .arg(params.latMax)
                    .arg(read(Group::Longitudes)
                            ? QStringLiteral("%1…%2°").arg(params.lonMin).arg(params.lonMax)
                            : QStringLiteral("longitudes kept"));
    return QStringLiteral("map area %1 × %2 from (%3, %4), %5, confidence %6")
        .arg(w)
        .arg(h)
        .arg(params.marginLeft)
        .arg(params.marginTop)
        .arg(shape)
        .arg(confidence, 0, 'f', 2);
}

MapDetection detectMapArea(const QImage &input, const ParamSet &fallback)
{
    if (input.isNull() || input.width() < 16 || input.height() < 16)
        return failure(QStringLiteral("the image is empty or too small"));
    QImage converted;
    const QImage *image = &input;
    const QImage::Format f = input.format();
    if (f != QImage::Format_RGB32 && f != QImage::Format_ARGB32
        && f != QImage::Format_ARGB32_Premultiplied) {
        converted = input.convertToFormat(QImage::Format_ARGB32);
        if (converted.isNull())
            return failure(QStringLiteral("the image could not be read as 32-bit colour"));
        image = &converted;
    }

    Scanner scan(*image);
    const int width = scan.width();
    const int height = scan.height();
    // A map touching three edges still leaves a fifth of the ring to its page.
    if (scan.findPage() < 0.2)
        return failure(QStringLiteral("no page colour around the map: the image border has no "
                                      "common colour"));

    // Coarse pass: one sample per s × s block.
    const int s = std::max(1, (std::max(width, height) + kCoarseSamples - 1) / kCoarseSamples);
    const int nx = (width + s - 1) / s;
    const int ny = (height + s - 1) / s;
    std::vector<unsigned char> mask(size_t(nx) * size_t(ny));
    qint64 inked = 0;
    for (int i = 0; i < ny; ++i) {
        const int y = std::min(height - 1, i * s + s / 2);
        const QRgb *line = reinterpret_cast<const QRgb *>(image->constScanLine(y));
        unsigned char *m = &mask[size_t(i) * size_t(nx)];
        for (int j = 0; j < nx; ++j) {
            const QRgb p = scan.seen(line[std::min(width - 1, j * s + s / 2)]);
            m[j] = scan.isPage(p) ? 0 : 1;
            inked += m[j];
        }
    }
    if (inked < qint64(nx) * ny / 100)
        return failure(QStringLiteral("nothing differs from the page colour"));

    Span cols { 0, nx - 1 };
    Span rows { 0, ny - 1 };
    for (int iteration = 0; iteration < 6; ++iteration) {
        std::vector<double> colShare(size_t(nx), 0.0);
        for (int i = rows.first; i <= rows.last; ++i) {
            const unsigned char *m = &mask[size_t(i) * size_t(nx)];
            for (int j = 0; j < nx; ++j)
                colShare[size_t(j)] += m[j];
        }
        for (double &v : colShare)
            v /= rows.length();
        const Span newCols = longestDenseSpan(colShare, std::max(2, nx / 100), 0.05);
        if (newCols.length() <= 0)
            break;
        std::vector<double> rowShare(size_t(ny), 0.0);
        for (int i = 0; i < ny; ++i) {
            const unsigned char *m = &mask[size_t(i) * size_t(nx)];
            int sum = 0;
            for (int j = newCols.first; j <= newCols.last; ++j)
                sum += m[j];
            rowShare[size_t(i)] = double(sum) / newCols.length();
        }
        const Span newRows = longestDenseSpan(rowShare, std::max(2, ny / 100), 0.05);
        if (newRows.length() <= 0)
            break;
        const bool stable = newCols == cols && newRows == rows;
        cols = newCols;
        rows = newRows;
        if (stable)
            break;
    }
    if (cols.length() * s < 16 || rows.length() * s < 16
        || double(cols.length()) * rows.length() < 0.05 * nx * ny)
        return failure(QStringLiteral("no map-like area: nothing large and filled stands out "
                                      "from the page"));

    {
        Histogram inside;
        const int cutX = cols.length() / 10;
        const int cutY = rows.length() / 10;
        for (int i = rows.first + cutY; i <= rows.last - cutY; ++i) {
            const int y = std::min(height - 1, i * s + s / 2);
            for (int j = cols.first + cutX; j <= cols.last - cutX; ++j) {
                const QRgb p = scan.at(std::min(width - 1, j * s + s / 2), y);
                if (!scan.isPage(p))
                    inside.add(p);
            }
        }
        scan.learnMapColours(inside);
    }

    // Full-resolution pass near each coarse edge. The window reaches a coarse
    // block beyond the estimate outwards, and inwards far enough to cross a
    // checkered frame band.
    const int reachOut = 2 * s + 2;
    const int bandX = std::max(8, width / 40) + 2 * s;
    const int bandY = std::max(8, height / 40) + 2 * s;
    const int maxLineX = std::max(4, width / 200);
    const int maxLineY = std::max(4, height / 200);
    const int coarseLeft = cols.first * s + s / 2;
    const int coarseRight = std::min(width - 1, cols.last * s + s / 2);
    const int coarseTop = rows.first * s + s / 2;
    const int coarseBottom = std::min(height - 1, rows.last * s + s / 2);

    std::vector<int> along = middleOf(coarseTop, coarseBottom);
    EdgeResult left = findEdge(scan, true, along, std::max(0, coarseLeft - reachOut),
        std::min(width - 1, coarseLeft + bandX), maxLineX, coarseLeft);
    EdgeResult right = findEdge(scan, true, along, std::min(width - 1, coarseRight + reachOut),
        std::max(0, coarseRight - bandX), maxLineX, coarseRight);
    if (right.position - left.position < 16)
        return failure(QStringLiteral("no map-like area: the area found is too narrow"));
    along = middleOf(left.position, right.position);
    EdgeResult top = findEdge(scan, false, along, std::max(0, coarseTop - reachOut),
        std::min(height - 1, coarseTop + bandY), maxLineY, coarseTop);
    EdgeResult bottom = findEdge(scan, false, along, std::min(height - 1, coarseBottom + reachOut),
        std::max(0, coarseBottom - bandY), maxLineY, coarseBottom);
    if (bottom.position - top.position < 16)
        return failure(QStringLiteral("no map-like area: the area found is too low"));
    Side sides[4] = { { &left, true, 1, maxLineX, width }, { &right, true, -1, maxLineX, width },
        { &top, false, 1, maxLineY, height }, { &bottom, false, -1, maxLineY, height } };
    peelBands(scan, sides);
    if (right.position - left.position < 16 || bottom.position - top.position < 16)
        return failure(QStringLiteral("no map-like area: the area inside the card is too small"));
    const char *sideNames[4] = { "left", "right", "top", "bottom" };
    bool framedLand = false;
    for (int i = 0; i < 4 && !framedLand; ++i) {
        if (straightEdge(scan, sides[i],
                i < 2 ? middleOf(top.position, bottom.position)
                      : middleOf(left.position, right.position)))
            continue;
        // Land on a sea in the page colour: the map is what its frame holds.
        framedLand = frameAround(scan, sides);
        // A whole-world map whose outline is curved.
        OutlineMatch outline;
        if (!framedLand
            && curvedOutline(
                scan, left.position, right.position, top.position, bottom.position, &outline))
            return outlineDetection(*image, outline, fallback);
        if (!framedLand)
            return failure(QStringLiteral("the map area is not certain: its %1 edge is not a "
                                          "straight line (is the sea the page colour?)")
                               .arg(QLatin1String(sideNames[i])));
    }

    // The area must be drawn: mostly off the page colour, and not one flat colour.
    Histogram area;
    int drawn = 0;
    for (int i = 0; i < ny; ++i) {
        const int y = std::min(height - 1, i * s + s / 2);
        if (y < top.position || y > bottom.position)
            continue;
        for (int j = 0; j < nx; ++j) {
            const int x = std::min(width - 1, j * s + s / 2);
            if (x < left.position || x > right.position)
                continue;
            drawn += mask[size_t(i) * size_t(nx) + size_t(j)];
            area.add(scan.at(x, y));
        }
    }
    const double fill = area.total > 0 ? double(drawn) / area.total : 0.0;
    if (fill < 0.6 && !framedLand)
        return failure(QStringLiteral("no map-like area: the area found is mostly page colour"));
    if (area.counts[size_t(area.mode())] >= area.total * 0.98)
        return failure(QStringLiteral("no map-like area: the area found is one flat colour"));

    MapDetection d = foundArea(
        fallback, width, height, left.position, top.position, right.position, bottom.position);
    d.sidesAtEdge = int(left.clear) + int(right.clear) + int(top.clear) + int(bottom.clear);
    d.frameLine
        = std::max({ left.lineInside, right.lineInside, top.lineInside, bottom.lineInside });
    d.params.frameLine = d.frameLine;
    d.confidence = fill * (0.5 + 0.125 * d.sidesAtEdge);

    readBox(*image, scan, left.position, right.position, top.position, bottom.position, &d);
    return d;
}
