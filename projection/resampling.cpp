#include "projection/resampling.h"

#include <algorithm>
#include <cmath>

namespace {

double kernelRadius(Resampling method)
{
    switch (method) {
    case Resampling::Bilinear:
        return 1.0;
    case Resampling::Bicubic:
        return 2.0;
    case Resampling::Lanczos3:
        return 3.0;
    case Resampling::Nearest:
        break;
    }
    return 0.5;
}

double sinc(double x)
{
    if (x == 0.0)
        return 1.0;
    const double px = 3.14159265358979323846 * x;
    return std::sin(px) / px;
}

double kernel(Resampling method, double x)
{
    const double t = std::fabs(x);
    switch (method) {
    case Resampling::Bilinear:
        return t < 1.0 ? 1.0 - t : 0.0;
    case Resampling::Bicubic: {
        // Catmull-Rom, a = -0.5: interpolates and reproduces linear ramps.
        const double a = -0.5;
        if (t < 1.0)
            return ((a + 2.0) * t - (a + 3.0)) * t * t + 1.0;
        if (t < 2.0)
            return ((a * t - 5.0 * a) * t + 8.0 * a) * t - 4.0 * a;
        return 0.0;
    }
    case Resampling::Lanczos3:
        return t < 3.0 ? sinc(t) * sinc(t / 3.0) : 0.0;
    case Resampling::Nearest:
        break;
    }
    return t < 0.5 ? 1.0 : 0.0;
}

// The kernel averaged over a box of the given width centred on x (Simpson's
// rule; the kinks of the piecewise kernels cost less than the float weights'
// precision).
double boxedKernel(Resampling method, double x, double width)
{
    if (!(width > 1e-9))
        return kernel(method, x);
    constexpr int kSteps = 32;
    const double h = width / kSteps;
    const double a = x - width / 2.0;
    double sum = kernel(method, a) + kernel(method, a + width);
    for (int i = 1; i < kSteps; ++i)
        sum += (i % 2 ? 4.0 : 2.0) * kernel(method, a + i * h);
    return sum * h / 3.0 / width;
}

int placeTap(int k, const AxisRange &range)
{
    if (range.period > 0) {
        int m = (k - range.lo) % range.period;
        if (m < 0)
            m += range.period;
        return range.lo + m;
    }
    return std::min(std::max(k, range.lo), range.hi);
}

// Written as the vector path computes it: max, min, add a half, truncate.
int roundedChannel(float v)
{
    v = v > 0.0f ? v : 0.0f;
    v = v < 255.0f ? v : 255.0f;
    return int(v + 0.5f);
}

} // namespace

Resampling resamplingFromInt(int value)
{
    switch (value) {
    case 1:
        return Resampling::Bilinear;
    case 2:
        return Resampling::Bicubic;
    case 3:
        return Resampling::Lanczos3;
    default:
        return Resampling::Nearest;
    }
}

int AxisTaps::maxCount() const
{
    int most = 0;
    for (size_t s = 0; s + 1 < first.size(); ++s)
        most = std::max(most, first[s + 1] - first[s]);
    return most;
}

void AxisTaps::clear()
{
    first.assign(1, 0);
    index.clear();
    weight.clear();
    fixedWeight.clear();
}

void appendTaps(
    AxisTaps &taps, Resampling method, double pos, double footprint, const AxisRange &range)
{
    if (taps.first.empty())
        taps.first.push_back(0);
    // Wider than the whole range only repeats the edge pixels; the cap keeps
    // the tap count bounded for absurd parameter boxes.
    const double span = double(range.hi) - double(range.lo) + 2.0;
    // Area averaging: where an output pixel spans s > 1 source pixels the
    // kernel is averaged over a box s - 1/s wide. That is nothing at s = 1, so
    // nothing jumps where the footprint crosses one pixel (Miller's polar rows
    // when magnifying), and nearly the whole footprint when reducing much.
    const double s = std::min(footprint, span);
    const double box = footprint > 1.0 ? s - 1.0 / s : 0.0;
    const double radius = kernelRadius(method) + box / 2.0;
    const double centre = pos - 0.5;
    if (std::isfinite(centre) && std::fabs(centre) < 1e9) {
        const size_t begin = taps.weight.size();
        double sum = 0.0;
        const int kLo = int(std::floor(centre - radius)) + 1;
        const int kHi = int(std::floor(centre + radius));
        std::vector<double> raw;
        raw.reserve(size_t(std::max(kHi - kLo + 1, 0)));
        for (int k = kLo; k <= kHi; ++k) {
            const int index = placeTap(k, range);
            if (index != clampToInterior(index, range))
                continue;
            const double w = boxedKernel(method, double(k) - centre, box);
            raw.push_back(w);
            sum += w;
            taps.index.push_back(index);
        }
        // Where the frame left little of the kernel, what remains would be
        // scaled up wildly: the nearest map pixel stands in.
        if (range.frame > 0 && !(sum > 0.25)) {
            taps.index.resize(begin);
            raw.clear();
            raw.push_back(1.0);
            sum = 1.0;
            taps.index.push_back(clampToInterior(placeTap(int(std::floor(pos)), range), range));
        }
        if (sum != 0.0) {
            // Rounded to fixed point, with what the rounding lost or gained
            // given to the largest weight, so that flat areas stay flat.
            constexpr int one = 1 << kWeightBits;
            int fixedSum = 0;
            size_t largest = 0;
            for (size_t k = 0; k < raw.size(); ++k) {
                taps.weight.push_back(float(raw[k] / sum));
                const int f = int(std::lround(raw[k] / sum * one));
                taps.fixedWeight.push_back(qint16(f));
                fixedSum += f;
                if (std::fabs(raw[k]) > std::fabs(raw[largest]))
                    largest = k;
            }
            taps.fixedWeight[begin + largest]
                = qint16(taps.fixedWeight[begin + largest] + one - fixedSum);
        } else {
            // Cannot happen for these kernels; one tap on the nearest centre
            // keeps the table consistent anyway.
            taps.index.resize(begin);
            taps.index.push_back(placeTap(int(std::floor(pos)), range));
            taps.weight.push_back(1.0f);
            taps.fixedWeight.push_back(qint16(1 << kWeightBits));
        }
    }
    taps.first.push_back(int(taps.weight.size()));
}

QRgb unpremultiplied(const float *sum)
{
    const float alpha = sum[0];
    if (!(alpha >= 0.5f))
        return 0;
    const int a = roundedChannel(alpha);
    const int r = roundedChannel(sum[1] / alpha);
    const int g = roundedChannel(sum[2] / alpha);
    const int b = roundedChannel(sum[3] / alpha);
    return qRgba(r, g, b, a);
}
