#include "projection/integerblend.h"

#include "projection/vectorpaths.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <type_traits>

namespace {

// Channel ch of an ARGB32 word, counted as its bytes lie in memory: blue,
// green, red, alpha.
qint32 channel(QRgb p, int ch)
{
    return qint32((p >> (8 * ch)) & 0xffu);
}

void acrossPlain(const int *index, const qint16 *w, int n, const QRgb *origin, qint16 *out)
{
    qint32 sum[4] = { 0, 0, 0, 0 };
    for (int t = 0; t < n; ++t) {
        const QRgb p = origin[index[t]];
        for (int ch = 0; ch < 4; ++ch)
            sum[ch] += qint32(w[t]) * channel(p, ch);
    }
    for (int ch = 0; ch < 4; ++ch)
        out[ch] = acrossFixed(sum[ch]);
}

#ifdef __SSE2__
// Two neighbouring weights as a 16-bit multiply-add takes them, or one
// beside a zero.
inline __m128i weightPair(const qint16 *w)
{
    qint32 pair;
    std::memcpy(&pair, w, sizeof pair);
    return _mm_set1_epi32(pair);
}

inline __m128i weightAlone(qint16 w)
{
    return _mm_set1_epi32(qint32(quint16(w)));
}

// The pair of rows t and t + 1 of n, the last one beside a zero.
inline qint32 rowPair(const qint16 *w, int t, int n)
{
    return _mm_cvtsi128_si32(t + 1 < n ? weightPair(w + t) : weightAlone(w[t]));
}

// The channel sums over taps neighbouring source pixels from px on, two at a
// time; n = 0 takes the count from taps.
template <int n> inline __m128i acrossNeighbours(const QRgb *px, const qint16 *w, int taps)
{
    const int count = n > 0 ? n : taps;
    const __m128i zero = _mm_setzero_si128();
    __m128i sum = zero;
    int t = 0;
    for (; t + 2 <= count; t += 2) {
        __m128i x
            = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i *>(px + t)), zero);
        // The two pixels' channels side by side: b0 b1 g0 g1 r0 r1 a0 a1.
        x = _mm_unpacklo_epi16(x, _mm_srli_si128(x, 8));
        sum = _mm_add_epi32(sum, _mm_madd_epi16(x, weightPair(w + t)));
    }
    if (t < count) {
        __m128i x = _mm_unpacklo_epi8(_mm_cvtsi32_si128(int(px[t])), zero);
        x = _mm_unpacklo_epi16(x, zero);
        sum = _mm_add_epi32(sum, _mm_madd_epi16(x, weightAlone(w[t])));
    }
    return sum;
}

inline void storeAcross(__m128i sum, qint16 *out)
{
    constexpr int shift = kWeightBits - kAcrossBits;
    sum = _mm_srai_epi32(_mm_add_epi32(sum, _mm_set1_epi32(1 << (shift - 1))), shift);
    _mm_storel_epi64(reinterpret_cast<__m128i *>(out), _mm_packs_epi32(sum, sum));
}

constexpr int kDownShift = kWeightBits + kAcrossBits;

// Two target pixels (eight values at k) down the rows, as 16-bit values;
// pairs holds the weights two rows at a time, the last beside a zero.
template <int n>
inline __m128i downTwo(const qint16 *const *rows, const __m128i *pairs, int taps, size_t k)
{
    const int count = n > 0 ? n : taps;
    const __m128i zero = _mm_setzero_si128();
    __m128i lo = zero;
    __m128i hi = zero;
    int t = 0;
    for (; t + 2 <= count; t += 2) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i *>(rows[t] + k));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i *>(rows[t + 1] + k));
        lo = _mm_add_epi32(lo, _mm_madd_epi16(_mm_unpacklo_epi16(a, b), pairs[t / 2]));
        hi = _mm_add_epi32(hi, _mm_madd_epi16(_mm_unpackhi_epi16(a, b), pairs[t / 2]));
    }
    if (t < count) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i *>(rows[t] + k));
        lo = _mm_add_epi32(lo, _mm_madd_epi16(_mm_unpacklo_epi16(a, zero), pairs[t / 2]));
        hi = _mm_add_epi32(hi, _mm_madd_epi16(_mm_unpackhi_epi16(a, zero), pairs[t / 2]));
    }
    const __m128i half = _mm_set1_epi32(1 << (kDownShift - 1));
    lo = _mm_srai_epi32(_mm_add_epi32(lo, half), kDownShift);
    hi = _mm_srai_epi32(_mm_add_epi32(hi, half), kDownShift);
    return _mm_packs_epi32(lo, hi);
}

// Rows beyond this many (only far out in Mercator's stretched rows, when
// reducing much) are summed one pixel at a time.
constexpr int kMostPairs = 64;

template <int n>
void downRunSse2(const qint16 *const *rows, const qint16 *w, int taps, int &j, int j1, QRgb *to)
{
    const int count = n > 0 ? n : taps;
    if (count > 2 * kMostPairs)
        return;
    __m128i pairs[kMostPairs];
    for (int t = 0; t < count; t += 2)
        pairs[t / 2] = _mm_set1_epi32(rowPair(w, t, count));
    const __m128i opaque = _mm_set1_epi32(int(0xff000000u));
    for (; j + 4 <= j1; j += 4) {
        const size_t k = size_t(j) * 4;
        const __m128i bytes = _mm_packus_epi16(
            downTwo<n>(rows, pairs, taps, k), downTwo<n>(rows, pairs, taps, k + 8));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(to + j), _mm_or_si128(bytes, opaque));
    }
}
#endif

#ifdef PLANO_WIDE_VECTORS
// Each 128-bit lane's four pixels, bytes b0 g0 r0 a0 b1 ... a3, to pairs of
// pixels' channels side by side: b0 b1 g0 g1 r0 r1 a0 a1 b2 b3 ... a3.
#define PLANO_PAIR_ORDER 0, 4, 1, 5, 2, 6, 3, 7, 8, 12, 9, 13, 10, 14, 11, 15

// pairs is 2 (up to four taps a column) or 3 (up to six).
template <int pairs>
__attribute__((target("avx2"))) inline void acrossTwoAvx2(
    const QRgb *origin, const int *source, const qint32 *weights, qint16 *out)
{
    const __m256i order = _mm256_setr_epi8(PLANO_PAIR_ORDER, PLANO_PAIR_ORDER);
    const __m256i zero = _mm256_setzero_si256();
    __m256i x = _mm256_inserti128_si256(_mm256_castsi128_si256(_mm_loadu_si128(
                                            reinterpret_cast<const __m128i *>(origin + source[0]))),
        _mm_loadu_si128(reinterpret_cast<const __m128i *>(origin + source[1])), 1);
    x = _mm256_shuffle_epi8(x, order);
    const __m256i *const w = reinterpret_cast<const __m256i *>(weights);
    __m256i sum
        = _mm256_add_epi32(_mm256_madd_epi16(_mm256_unpacklo_epi8(x, zero), _mm256_loadu_si256(w)),
            _mm256_madd_epi16(_mm256_unpackhi_epi8(x, zero), _mm256_loadu_si256(w + 1)));
    if constexpr (pairs == 3) {
        // The fifth and sixth pixels.
        __m256i y = _mm256_inserti128_si256(
            _mm256_castsi128_si256(
                _mm_loadl_epi64(reinterpret_cast<const __m128i *>(origin + source[0] + 4))),
            _mm_loadl_epi64(reinterpret_cast<const __m128i *>(origin + source[1] + 4)), 1);
        y = _mm256_shuffle_epi8(y, order);
        sum = _mm256_add_epi32(
            sum, _mm256_madd_epi16(_mm256_unpacklo_epi8(y, zero), _mm256_loadu_si256(w + 2)));
    }
    constexpr int shift = kWeightBits - kAcrossBits;
    sum = _mm256_srai_epi32(_mm256_add_epi32(sum, _mm256_set1_epi32(1 << (shift - 1))), shift);
    // One column a lane, in the low half of each after the pack.
    const __m256i packed = _mm256_permute4x64_epi64(_mm256_packs_epi32(sum, sum), 0x08);
    _mm_storeu_si128(reinterpret_cast<__m128i *>(out), _mm256_castsi256_si128(packed));
}

template <int pairs>
__attribute__((target("avx512f,avx512bw"))) inline void acrossFourAvx512(
    const QRgb *origin, const int *source, const qint32 *weights, qint16 *out)
{
    const __m512i order = _mm512_broadcast_i32x4(_mm_setr_epi8(PLANO_PAIR_ORDER));
    const __m512i zero = _mm512_setzero_si512();
    auto pixels = [origin, source](int c) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i *>(origin + source[c]));
    };
    __m512i x = _mm512_inserti32x4(
        _mm512_inserti32x4(
            _mm512_inserti32x4(_mm512_zextsi128_si512(pixels(0)), pixels(1), 1), pixels(2), 2),
        pixels(3), 3);
    x = _mm512_shuffle_epi8(x, order);
    __m512i sum = _mm512_add_epi32(
        _mm512_madd_epi16(_mm512_unpacklo_epi8(x, zero), _mm512_loadu_si512(weights)),
        _mm512_madd_epi16(_mm512_unpackhi_epi8(x, zero), _mm512_loadu_si512(weights + 16)));
    if constexpr (pairs == 3) {
        auto more = [origin, source](int c) {
            return _mm_loadl_epi64(reinterpret_cast<const __m128i *>(origin + source[c] + 4));
        };
        __m512i y = _mm512_inserti32x4(
            _mm512_inserti32x4(
                _mm512_inserti32x4(_mm512_zextsi128_si512(more(0)), more(1), 1), more(2), 2),
            more(3), 3);
        y = _mm512_shuffle_epi8(y, order);
        sum = _mm512_add_epi32(sum,
            _mm512_madd_epi16(_mm512_unpacklo_epi8(y, zero), _mm512_loadu_si512(weights + 32)));
    }
    constexpr int shift = kWeightBits - kAcrossBits;
    sum = _mm512_srai_epi32(_mm512_add_epi32(sum, _mm512_set1_epi32(1 << (shift - 1))), shift);
    _mm256_storeu_si256(reinterpret_cast<__m256i *>(out), _mm512_cvtsepi32_epi16(sum));
}
#undef PLANO_PAIR_ORDER

// Consecutive groups from group g at column j on, as long as they follow each
// other without a gap and end by j1; returns the column after the last one.
template <int width, int pairs>
inline int acrossGroupRun(
    const AcrossGroups &groups, size_t &g, int j, int j1, const QRgb *origin, qint16 *out)
{
    const size_t count = groups.start.size();
    while (g < count && groups.start[g] == j && j + width <= j1) {
        const int *const source = &groups.source[g * width];
        const qint32 *const weights = &groups.weights[g * width * 4 * pairs];
        if constexpr (width == 4)
            acrossFourAvx512<pairs>(origin, source, weights, out + size_t(j) * 4);
        else
            acrossTwoAvx2<pairs>(origin, source, weights, out + size_t(j) * 4);
        ++g;
        j += width;
    }
    return j;
}

__attribute__((target("avx512f,avx512bw"))) int acrossGroupsAvx512(
    const AcrossGroups &groups, size_t &g, int j, int j1, const QRgb *origin, qint16 *out)
{
    return groups.pairs == 3 ? acrossGroupRun<4, 3>(groups, g, j, j1, origin, out)
                             : acrossGroupRun<4, 2>(groups, g, j, j1, origin, out);
}

__attribute__((target("avx2"))) int acrossGroupsAvx2(
    const AcrossGroups &groups, size_t &g, int j, int j1, const QRgb *origin, qint16 *out)
{
    return groups.pairs == 3 ? acrossGroupRun<2, 3>(groups, g, j, j1, origin, out)
                             : acrossGroupRun<2, 2>(groups, g, j, j1, origin, out);
}

template <int n>
__attribute__((target("avx2"))) inline __m256i downFourAvx2(
    const qint16 *const *rows, const __m256i *pairs, int taps, size_t k)
{
    const int count = n > 0 ? n : taps;
    const __m256i zero = _mm256_setzero_si256();
    __m256i lo = zero;
    __m256i hi = zero;
    int t = 0;
    for (; t + 2 <= count; t += 2) {
        const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(rows[t] + k));
        const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(rows[t + 1] + k));
        lo = _mm256_add_epi32(lo, _mm256_madd_epi16(_mm256_unpacklo_epi16(a, b), pairs[t / 2]));
        hi = _mm256_add_epi32(hi, _mm256_madd_epi16(_mm256_unpackhi_epi16(a, b), pairs[t / 2]));
    }
    if (t < count) {
        const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(rows[t] + k));
        lo = _mm256_add_epi32(lo, _mm256_madd_epi16(_mm256_unpacklo_epi16(a, zero), pairs[t / 2]));
        hi = _mm256_add_epi32(hi, _mm256_madd_epi16(_mm256_unpackhi_epi16(a, zero), pairs[t / 2]));
    }
    const __m256i half = _mm256_set1_epi32(1 << (kDownShift - 1));
    lo = _mm256_srai_epi32(_mm256_add_epi32(lo, half), kDownShift);
    hi = _mm256_srai_epi32(_mm256_add_epi32(hi, half), kDownShift);
    return _mm256_packs_epi32(lo, hi);
}

template <int n>
__attribute__((target("avx2"))) void downRunAvx2(
    const qint16 *const *rows, const qint16 *w, int taps, int &j, int j1, QRgb *to)
{
    __m256i pairs[(n + 1) / 2];
    for (int t = 0; t < n; t += 2)
        pairs[t / 2] = _mm256_set1_epi32(rowPair(w, t, n));
    const __m256i opaque = _mm256_set1_epi32(int(0xff000000u));
    for (; j + 8 <= j1; j += 8) {
        const size_t k = size_t(j) * 4;
        // After the pack the low half holds pixels 0, 1, 4, 5.
        const __m256i bytes = _mm256_packus_epi16(
            downFourAvx2<n>(rows, pairs, taps, k), downFourAvx2<n>(rows, pairs, taps, k + 16));
        // Streamed: the target is far larger than the caches.
        _mm256_stream_si256(reinterpret_cast<__m256i *>(to + j),
            _mm256_or_si256(_mm256_permute4x64_epi64(bytes, 0xd8), opaque));
    }
}

template <int n>
__attribute__((target("avx512f,avx512bw"))) inline __m512i downEightAvx512(
    const qint16 *const *rows, const __m512i *pairs, int taps, size_t k)
{
    const int count = n > 0 ? n : taps;
    const __m512i zero = _mm512_setzero_si512();
    __m512i lo = zero;
    __m512i hi = zero;
    int t = 0;
    for (; t + 2 <= count; t += 2) {
        const __m512i a = _mm512_loadu_si512(rows[t] + k);
        const __m512i b = _mm512_loadu_si512(rows[t + 1] + k);
        lo = _mm512_add_epi32(lo, _mm512_madd_epi16(_mm512_unpacklo_epi16(a, b), pairs[t / 2]));
        hi = _mm512_add_epi32(hi, _mm512_madd_epi16(_mm512_unpackhi_epi16(a, b), pairs[t / 2]));
    }
    if (t < count) {
        const __m512i a = _mm512_loadu_si512(rows[t] + k);
        lo = _mm512_add_epi32(lo, _mm512_madd_epi16(_mm512_unpacklo_epi16(a, zero), pairs[t / 2]));
        hi = _mm512_add_epi32(hi, _mm512_madd_epi16(_mm512_unpackhi_epi16(a, zero), pairs[t / 2]));
    }
    const __m512i half = _mm512_set1_epi32(1 << (kDownShift - 1));
    lo = _mm512_srai_epi32(_mm512_add_epi32(lo, half), kDownShift);
    hi = _mm512_srai_epi32(_mm512_add_epi32(hi, half), kDownShift);
    return _mm512_packs_epi32(lo, hi);
}

template <int n>
__attribute__((target("avx512f,avx512bw"))) void downRunAvx512(
    const qint16 *const *rows, const qint16 *w, int taps, int &j, int j1, QRgb *to)
{
    __m512i pairs[(n + 1) / 2];
    for (int t = 0; t < n; t += 2)
        pairs[t / 2] = _mm512_set1_epi32(rowPair(w, t, n));
    const __m512i opaque = _mm512_set1_epi32(int(0xff000000u));
    // After the pack each 128-bit lane holds two pixels of each half.
    const __m512i order = _mm512_setr_epi64(0, 2, 4, 6, 1, 3, 5, 7);
    for (; j + 16 <= j1; j += 16) {
        const size_t k = size_t(j) * 4;
        const __m512i bytes = _mm512_packus_epi16(downEightAvx512<n>(rows, pairs, taps, k),
            downEightAvx512<n>(rows, pairs, taps, k + 32));
        _mm512_stream_si512(reinterpret_cast<__m512i *>(to + j),
            _mm512_or_si512(_mm512_permutexvar_epi64(order, bytes), opaque));
    }
}
#endif

// Calls f with the tap count as a constant, for the counts the kernels
// usually have (area averaging adds one or two); false for any other.
template <typename F> bool withTapCount(int taps, F &&f)
{
    switch (taps) {
    case 2:
        f(std::integral_constant<int, 2>());
        return true;
    case 3:
        f(std::integral_constant<int, 3>());
        return true;
    case 4:
        f(std::integral_constant<int, 4>());
        return true;
    case 5:
        f(std::integral_constant<int, 5>());
        return true;
    case 6:
        f(std::integral_constant<int, 6>());
        return true;
    default:
        return false;
    }
}

} // namespace

void addAcrossGroups(AcrossGroups &groups, const AxisTaps &columnTaps, int j0, int j1,
    int lastColumn, VectorPath path)
{
#ifdef PLANO_WIDE_VECTORS
    groups.width = path == VectorPath::Avx512 ? 4 : path == VectorPath::Avx2 ? 2 : 0;
#else
    Q_UNUSED(path);
#endif
    const int width = groups.width;
    if (width == 0)
        return;
    const int *const first = columnTaps.first.data();
    const int *const index = columnTaps.index.data();
    const qint16 *const w = columnTaps.fixedWeight.data();
    // Four taps a column, or six where the kernel (Lanczos-3) has more; the
    // group reads that many pixels, with zero weights beyond its taps.
    if (groups.pairs == 0) {
        int most = 0;
        for (int j = j0; j < j1; ++j)
            most = std::max(most, first[j + 1] - first[j]);
        groups.pairs = most > 4 ? 3 : 2;
    }
    const int reach = 2 * groups.pairs;
    auto regular = [&](int j) {
        const int b = first[j];
        const int n = first[j + 1] - b;
        return n > 0 && n <= reach && index[b + n - 1] - index[b] == n - 1
            && index[b] + reach - 1 <= lastColumn;
    };
    for (int j = j0; j + width <= j1; ++j) {
        bool all = true;
        for (int c = 0; c < width && all; ++c)
            all = regular(j + c);
        if (!all)
            continue;
        groups.start.push_back(j);
        for (int c = 0; c < width; ++c)
            groups.source.push_back(index[first[j + c]]);
        // Per lane (one column each) the pair of the first two taps four
        // times, then, in the next vectors, the next pairs.
        for (int k = 0; k < groups.pairs; ++k) {
            for (int c = 0; c < width; ++c) {
                const int b = first[j + c];
                const int n = first[j + c + 1] - b;
                const quint16 lo = 2 * k < n ? quint16(w[b + 2 * k]) : 0;
                const quint16 hi = 2 * k + 1 < n ? quint16(w[b + 2 * k + 1]) : 0;
                groups.weights.insert(groups.weights.end(), 4, qint32(lo | (quint32(hi) << 16)));
            }
        }
        j += width - 1;
    }
}

void blendAcrossOpaque(const AxisTaps &columnTaps, const AcrossGroups &groups, int j0, int j1,
    const QRgb *origin, qint16 *out)
{
    const int *const first = columnTaps.first.data();
    const int *const index = columnTaps.index.data();
    const qint16 *const w = columnTaps.fixedWeight.data();
    // The first group at or after j0.
    size_t g = size_t(
        std::lower_bound(groups.start.begin(), groups.start.end(), j0) - groups.start.begin());
    for (int j = j0; j < j1; ++j) {
#ifdef PLANO_WIDE_VECTORS
        if (g < groups.start.size() && groups.start[g] == j) {
            const int next = groups.width == 4 ? acrossGroupsAvx512(groups, g, j, j1, origin, out)
                                               : acrossGroupsAvx2(groups, g, j, j1, origin, out);
            if (next != j) {
                j = next - 1;
                continue;
            }
        }
#endif
        const int b = first[j];
        const int n = first[j + 1] - b;
        qint16 *const o = out + size_t(j) * 4;
#ifdef __SSE2__
        // Taps on neighbouring pixels (not clamped, not wrapped) load together.
        if (n > 0 && index[b + n - 1] - index[b] == n - 1) {
            const QRgb *const px = origin + index[b];
            if (n == 4)
                storeAcross(acrossNeighbours<4>(px, w + b, n), o);
            else if (n == 2)
                storeAcross(acrossNeighbours<2>(px, w + b, n), o);
            else if (n == 6)
                storeAcross(acrossNeighbours<6>(px, w + b, n), o);
            else
                storeAcross(acrossNeighbours<0>(px, w + b, n), o);
            continue;
        }
#endif
        acrossPlain(index + b, w + b, n, origin, o);
    }
}

QRgb blendDownOpaquePixel(const qint16 *const *rows, const qint16 *w, int taps, size_t k)
{
    qint32 sum[4] = { 0, 0, 0, 0 };
    for (int t = 0; t < taps; ++t)
        for (int ch = 0; ch < 4; ++ch)
            sum[ch] += qint32(w[t]) * rows[t][k + size_t(ch)];
    return 0xff000000u | (QRgb(downFixed(sum[2])) << 16) | (QRgb(downFixed(sum[1])) << 8)
        | QRgb(downFixed(sum[0]));
}

void blendDownOpaque(
    const qint16 *const *rows, const qint16 *w, int taps, int j0, int j1, QRgb *to, VectorPath path)
{
    int j = j0;
#ifdef PLANO_WIDE_VECTORS
    if (path != VectorPath::Sse2) {
        // Scalar up to a cache line of the target for the streamed stores.
        const uintptr_t line = path == VectorPath::Avx512 ? 64 : 32;
        while (j < j1 && (reinterpret_cast<uintptr_t>(to + j) & (line - 1)) != 0) {
            to[j] = blendDownOpaquePixel(rows, w, taps, size_t(j) * 4);
            ++j;
        }
        if (path == VectorPath::Avx512) {
            withTapCount(taps, [&](auto n) { downRunAvx512<n>(rows, w, taps, j, j1, to); });
        } else {
            withTapCount(taps, [&](auto n) { downRunAvx2<n>(rows, w, taps, j, j1, to); });
        }
        _mm_sfence();
    }
#else
    Q_UNUSED(path);
#endif
#ifdef __SSE2__
    // Four pixels at a time: what the wider paths left, or everything.
    if (!withTapCount(taps, [&](auto n) { downRunSse2<n>(rows, w, taps, j, j1, to); }))
        downRunSse2<0>(rows, w, taps, j, j1, to);
#endif
    for (; j < j1; ++j)
        to[j] = blendDownOpaquePixel(rows, w, taps, size_t(j) * 4);
}
