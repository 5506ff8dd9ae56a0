// The interpolating samplers of the remap. A source pixel u covers [u, u + 1),
// so kernels are centred on u + 0.5; where an output pixel spans more than one
// source pixel the kernel is averaged over that span (area averaging). Colours
// are blended premultiplied and handed back unpremultiplied.
#pragma once

#include <QRgb>

#include <vector>

enum class Resampling { Nearest = 0, Bilinear = 1, Bicubic = 2, Lanczos3 = 3 };

// The settings value; anything unknown is nearest, today's behaviour.
Resampling resamplingFromInt(int value);

// The source indices and normalised weights of one axis, for every sample
// position of that axis, in one flat table.
struct AxisTaps
{
    std::vector<int> first; // per sample: offset into index/weight, size samples + 1
    std::vector<int> index;
    std::vector<float> weight;

    int count(int sample) const { return first[size_t(sample) + 1] - first[size_t(sample)]; }
    int maxCount() const;
    void clear();
};

// Where the taps of an axis may come from: clamped to [lo, hi], or wrapped
// with the given period (in pixels) starting at lo.
struct AxisRange
{
    int lo = 0;
    int hi = 0;
    int period = 0; // 0: clamp
};

// Appends the taps of one sample at source position pos (pixel coordinates,
// before truncation) whose output pixel spans footprint source pixels.
void appendTaps(
    AxisTaps &taps, Resampling method, double pos, double footprint, const AxisRange &range);

// A source pixel premultiplied: alpha, red·alpha, green·alpha, blue·alpha
// (exact in float). opaque ignores the stored alpha byte (RGB32 sources).
inline void premultiplied(QRgb p, bool opaque, float *out)
{
    const float a = opaque ? 255.0f : float(qAlpha(p));
    out[0] = a;
    out[1] = float(qRed(p)) * a;
    out[2] = float(qGreen(p)) * a;
    out[3] = float(qBlue(p)) * a;
}

// Back from a premultiplied sum to an ARGB32 word: alpha below one half is
// transparent, channels are clamped to [0, 255] and rounded half up.
QRgb unpremultiplied(const float *sum);
