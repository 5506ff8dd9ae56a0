// The interpolating samplers of the remap. A source pixel u covers [u, u + 1),
// so kernels are centred on u + 0.5; where an output pixel spans more than one
// source pixel the kernel is averaged over that span (area averaging). Colours
// are blended premultiplied and handed back unpremultiplied.
#pragma once

#include <QRgb>
#include <QtGlobal>

#include <algorithm>
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
    // The same weights in 1/2^kWeightBits, summing to exactly one.
    std::vector<qint16> fixedWeight;

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
    // The outer pixels at either end that are not map (a drawn frame line):
    // taps there are left out and the rest renormalised.
    int frame = 0;
};

// k moved to the nearest pixel inside the range's frame.
inline int clampToInterior(int k, const AxisRange &range)
{
    return std::min(std::max(k, range.lo + range.frame), range.hi - range.frame);
}

// Appends the taps of one sample at source position pos (pixel coordinates,
// before truncation) whose output pixel spans footprint source pixels.
void appendTaps(
    AxisTaps &taps, Resampling method, double pos, double footprint, const AxisRange &range);

// A source pixel premultiplied: alpha, red·alpha, green·alpha, blue·alpha
// (exact in float).
inline void premultiplied(QRgb p, float *out)
{
    const float a = float(qAlpha(p));
    out[0] = a;
    out[1] = float(qRed(p)) * a;
    out[2] = float(qGreen(p)) * a;
    out[3] = float(qBlue(p)) * a;
}

// Opaque sources are blended in integers, whose sums are exact in any order:
// weights with kWeightBits fraction bits, and source rows blended across kept
// with kAcrossBits fraction bits in 16 bits.
constexpr int kWeightBits = 14;
constexpr int kAcrossBits = 6;

// A channel's sum of weight x byte across a row, to the 16-bit blended value.
inline qint16 acrossFixed(qint32 sum)
{
    constexpr int shift = kWeightBits - kAcrossBits;
    const qint32 v = (sum + (1 << (shift - 1))) >> shift;
    return qint16(std::min<qint32>(std::max<qint32>(v, -32768), 32767));
}

// A channel's sum of weight x blended value down the rows, to a byte.
inline int downFixed(qint32 sum)
{
    constexpr int shift = kWeightBits + kAcrossBits;
    const qint32 v = (sum + (1 << (shift - 1))) >> shift;
    return std::min<qint32>(std::max<qint32>(v, 0), 255);
}

// The widest vector instructions a pass may use.
enum class VectorPath { Sse2, Avx2, Avx512 };

// Back from a premultiplied sum to an ARGB32 word: alpha below one half is
// transparent, channels are clamped to [0, 255] and rounded half up.
QRgb unpremultiplied(const float *sum);

// Target pixels copied from source pixels by a table of columns. Four loads
// before four stores: a store may alias the column table (int and QRgb may
// share storage), so a one-at-a-time loop waits for each store.
template <typename Index>
inline void gatherRun(const QRgb *from, const Index *columns, QRgb *to, int count)
{
    int k = 0;
    for (; k + 4 <= count; k += 4) {
        const QRgb p0 = from[columns[k]];
        const QRgb p1 = from[columns[k + 1]];
        const QRgb p2 = from[columns[k + 2]];
        const QRgb p3 = from[columns[k + 3]];
        to[k] = p0;
        to[k + 1] = p1;
        to[k + 2] = p2;
        to[k + 3] = p3;
    }
    for (; k < count; ++k)
        to[k] = from[columns[k]];
}
