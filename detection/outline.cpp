#include "detection/outline.h"

#include "projection/worldmap.h"

#include <algorithm>
#include <cmath>

namespace {

// Mean of the middle 90 %: labels or a title touching a few rows do not count.
double trimmedMean(std::vector<double> v)
{
    if (v.empty())
        return 1e9;
    std::sort(v.begin(), v.end());
    const size_t cut = v.size() / 20;
    double sum = 0.0;
    for (size_t i = cut; i < v.size() - cut; ++i)
        sum += v[i];
    return sum / double(v.size() - 2 * cut);
}

} // namespace

bool matchOutline(
    const std::vector<int> &first, const std::vector<int> &last, int top, OutlineMatch *match)
{
    // The bounding rectangle: rows holding map, and their widest reach.
    int firstRow = -1;
    int lastRow = -1;
    int left = 1 << 30;
    int right = -1;
    for (size_t k = 0; k < first.size(); ++k) {
        if (first[k] < 0)
            continue;
        if (firstRow < 0)
            firstRow = int(k);
        lastRow = int(k);
        left = std::min(left, first[k]);
        right = std::max(right, last[k]);
    }
    if (firstRow < 0 || lastRow - firstRow < 16 || right - left < 16)
        return false;

    std::vector<OutlineMatch> fits;
    for (const char *name : { "robinson", "mollweide", "winkel-tripel", "equal-earth",
             "natural-earth", "eckert4", "kavrayskiy7" }) {
        WorldBox box;
        box.projection = QString::fromLatin1(name);
        box.left = left;
        box.right = right;
        box.top = top + firstRow;
        box.bottom = top + lastRow;
        const WorldMap map(box);
        if (!map.isValid())
            continue;
        std::vector<double> misses;
        // The rows between the edges: the first and last hold the poles.
        for (int k = firstRow + 1; k < lastRow; ++k) {
            double lo = 0.0;
            double hi = 0.0;
            map.rowSpan(top + k, &lo, &hi);
            if (first[size_t(k)] < 0 || !std::isfinite(lo)) {
                misses.push_back(10.0);
                continue;
            }
            // lo and hi are the centres of the first and last whole pixels.
            misses.push_back(
                (std::fabs(first[size_t(k)] - (lo - 0.5)) + std::fabs(last[size_t(k)] - (hi - 0.5)))
                / 2.0);
        }
        OutlineMatch fit { box.projection, box.left, box.top, box.right, box.bottom,
            trimmedMean(misses) };
        fits.push_back(fit);
    }
    std::sort(fits.begin(), fits.end(),
        [](const OutlineMatch &a, const OutlineMatch &b) { return a.error < b.error; });
    // Steep sides (Mollweide's near the poles) end a row a pixel or two off
    // the outline; another outline about as close leaves the answer open.
    if (fits.empty() || fits[0].error > 3.0)
        return false;
    if (fits.size() > 1 && fits[1].error < std::max(fits[0].error + 1.0, 2.0 * fits[0].error))
        return false;
    *match = fits[0];
    return true;
}
