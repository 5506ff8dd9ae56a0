#include "projection/worldcolumns.h"

#include "projection/vectorpaths.h"

#include <algorithm>
#include <vector>

namespace {

inline int columnOf(double offset, unsigned char ok, const ColumnSpan &s)
{
    if (!ok)
        return -1;
    const double u = s.centre + offset * s.pixelsPerDegree;
    if (!(s.plain && u >= s.lo && u <= s.hi))
        return -2;
    return std::clamp(int(u), s.first, s.last);
}

void scalarColumns(const double *offset, const unsigned char *ok, int from, int n,
    const ColumnSpan &s, int *index, std::vector<int> *negative)
{
    for (int j = from; j < n; ++j) {
        index[j] = columnOf(offset[j], ok[j], s);
        if (index[j] < 0)
            negative->push_back(j);
    }
}

// The lanes of a sign mask, as columns from j.
void takeNegative(unsigned mask, int j, std::vector<int> *negative)
{
    for (; mask; mask &= mask - 1)
        negative->push_back(j + __builtin_ctz(mask));
}

// The columns of cell c: the last cell closes on the last knot column.
inline int cellEnd(const KnotRow &row, int c)
{
    return c + 1 == row.cells ? row.columns[c + 1] + 1 : row.columns[c + 1];
}

void scalarCells(const KnotRow &row, int from, int to, const QRgb *bits, qint64 stride, QRgb *out)
{
    for (int c = from; c < to; ++c) {
        if (!row.interior[c])
            continue;
        const double u0 = row.u[c];
        const double v0 = row.v[c];
        const double du = row.u[c + 1] - u0;
        const double dv = row.v[c + 1] - v0;
        const int end = cellEnd(row, c);
        for (int j = row.columns[c]; j < end; ++j) {
            const double s = row.along[j];
            out[j] = bits[qint64(int(v0 + s * dv)) * stride + int(u0 + s * du)];
        }
    }
}

#ifdef PLANO_WIDE_VECTORS

// IEEE products and sums lane by lane, in the scalar order: the same bits.
__attribute__((target("avx2"))) int columnsAvx2(const double *offset, const unsigned char *ok,
    int n, const ColumnSpan &s, int *index, std::vector<int> *negative)
{
    const __m256d centre = _mm256_set1_pd(s.centre);
    const __m256d perDegree = _mm256_set1_pd(s.pixelsPerDegree);
    const __m256d lo = _mm256_set1_pd(s.lo);
    const __m256d hi = _mm256_set1_pd(s.hi);
    const __m128i first = _mm_set1_epi32(s.first);
    const __m128i last = _mm_set1_epi32(s.last);
    const __m128i outside = _mm_set1_epi32(-1);
    const __m128i careful = _mm_set1_epi32(-2);
    const __m256i lowHalves = _mm256_setr_epi32(0, 2, 4, 6, 0, 2, 4, 6);
    int j = 0;
    for (; j + 4 <= n; j += 4) {
        const __m256d o = _mm256_loadu_pd(offset + j);
        const __m256d u = _mm256_add_pd(centre, _mm256_mul_pd(o, perDegree));
        const __m256d within
            = _mm256_and_pd(_mm256_cmp_pd(u, lo, _CMP_GE_OQ), _mm256_cmp_pd(u, hi, _CMP_LE_OQ));
        const __m128i inside = _mm256_castsi256_si128(
            _mm256_permutevar8x32_epi32(_mm256_castpd_si256(within), lowHalves));
        const __m128i column = _mm_min_epi32(_mm_max_epi32(_mm256_cvttpd_epi32(u), first), last);
        int bytes = 0;
        std::copy(ok + j, ok + j + 4, reinterpret_cast<unsigned char *>(&bytes));
        const __m128i isOk = _mm_cmpeq_epi32(
            _mm_cmpeq_epi32(_mm_cvtepu8_epi32(_mm_cvtsi32_si128(bytes)), _mm_setzero_si128()),
            _mm_setzero_si128());
        const __m128i result
            = _mm_blendv_epi8(outside, _mm_blendv_epi8(careful, column, inside), isOk);
        _mm_storeu_si128(reinterpret_cast<__m128i *>(index + j), result);
        const unsigned signs = unsigned(_mm_movemask_ps(_mm_castsi128_ps(result)));
        if (signs)
            takeNegative(signs, j, negative);
    }
    return j;
}

__attribute__((target("avx512f,avx512bw,avx512vl"))) int columnsAvx512(const double *offset,
    const unsigned char *ok, int n, const ColumnSpan &s, int *index, std::vector<int> *negative)
{
    const __m512d centre = _mm512_set1_pd(s.centre);
    const __m512d perDegree = _mm512_set1_pd(s.pixelsPerDegree);
    const __m512d lo = _mm512_set1_pd(s.lo);
    const __m512d hi = _mm512_set1_pd(s.hi);
    const __m256i first = _mm256_set1_epi32(s.first);
    const __m256i last = _mm256_set1_epi32(s.last);
    const __m256i outside = _mm256_set1_epi32(-1);
    const __m256i careful = _mm256_set1_epi32(-2);
    int j = 0;
    for (; j + 8 <= n; j += 8) {
        const __m512d o = _mm512_loadu_pd(offset + j);
        const __m512d u = _mm512_add_pd(centre, _mm512_mul_pd(o, perDegree));
        const __mmask8 inside
            = _mm512_cmp_pd_mask(u, lo, _CMP_GE_OQ) & _mm512_cmp_pd_mask(u, hi, _CMP_LE_OQ);
        const __m256i column
            = _mm256_min_epi32(_mm256_max_epi32(_mm512_cvttpd_epi32(u), first), last);
        const __mmask8 isOk = _mm_test_epi8_mask(
            _mm_loadl_epi64(reinterpret_cast<const __m128i *>(ok + j)), _mm_set1_epi8(-1));
        const __m256i result = _mm256_mask_blend_epi32(
            isOk, outside, _mm256_mask_blend_epi32(inside, careful, column));
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(index + j), result);
        const unsigned signs = unsigned(_mm256_movemask_ps(_mm256_castsi256_ps(result)));
        if (signs)
            takeNegative(signs, j, negative);
    }
    return j;
}

__attribute__((target("avx512f,avx512dq,avx512vl"))) void cellsAvx512(
    const KnotRow &row, int from, int to, const QRgb *bits, qint64 stride, QRgb *out)
{
    // Every place first, each fetched ahead as it is found, then the copies:
    // the row curves across the source where no prefetcher follows it.
    thread_local std::vector<qint64> places;
    const int first = row.columns[from];
    const int last = cellEnd(row, to - 1);
    places.resize(size_t(std::max(0, last - first)) + 8);
    qint64 *const at = places.data() - first;
    const __m512i strides = _mm512_set1_epi64(stride);
    for (int c = from; c < to; ++c) {
        const int end = cellEnd(row, c);
        if (!row.interior[c]) {
            std::fill(at + row.columns[c], at + end, qint64(-1));
            continue;
        }
        const __m512d u0 = _mm512_set1_pd(row.u[c]);
        const __m512d v0 = _mm512_set1_pd(row.v[c]);
        const __m512d du = _mm512_set1_pd(row.u[c + 1] - row.u[c]);
        const __m512d dv = _mm512_set1_pd(row.v[c + 1] - row.v[c]);
        for (int j = row.columns[c]; j < end; j += 8) {
            const __mmask8 m = __mmask8((1u << std::min(8, end - j)) - 1u);
            const __m512d s = _mm512_maskz_loadu_pd(m, row.along + j);
            const __m512i u = _mm512_cvtepi32_epi64(
                _mm512_cvttpd_epi32(_mm512_add_pd(u0, _mm512_mul_pd(s, du))));
            const __m512i v = _mm512_cvtepi32_epi64(
                _mm512_cvttpd_epi32(_mm512_add_pd(v0, _mm512_mul_pd(s, dv))));
            const __m512i place = _mm512_add_epi64(_mm512_mullo_epi64(v, strides), u);
            _mm512_mask_storeu_epi64(at + j, m, place);
            // From the register: a load of what was just stored would wait.
            __builtin_prefetch(bits + _mm_cvtsi128_si64(_mm512_castsi512_si128(place)));
        }
    }
    // Runs of interior cells, copied in one go each.
    for (int c = from; c < to;) {
        if (!row.interior[c]) {
            ++c;
            continue;
        }
        int end = c + 1;
        while (end < to && row.interior[end])
            ++end;
        const int begin = row.columns[c];
        gatherRun(bits, at + begin, out + begin, cellEnd(row, end - 1) - begin);
        c = end;
    }
}

__attribute__((target("avx512f"))) int knotsAvx512(
    const double *a, const double *b, double t, int n, double *out)
{
    const __m512d along = _mm512_set1_pd(t);
    int k = 0;
    for (; k + 8 <= n; k += 8) {
        const __m512d x = _mm512_loadu_pd(a + k);
        _mm512_storeu_pd(out + k,
            _mm512_add_pd(x, _mm512_mul_pd(along, _mm512_sub_pd(_mm512_loadu_pd(b + k), x))));
    }
    return k;
}

#endif

} // namespace

void worldColumns(const double *offset, const unsigned char *ok, int n, const ColumnSpan &span,
    int *index, std::vector<int> *negative, VectorPath path)
{
    negative->clear();
    int done = 0;
    if (span.plain) {
#ifdef PLANO_WIDE_VECTORS
        if (path == VectorPath::Avx512)
            done = columnsAvx512(offset, ok, n, span, index, negative);
        else if (path == VectorPath::Avx2)
            done = columnsAvx2(offset, ok, n, span, index, negative);
#else
        Q_UNUSED(path);
#endif
    }
    scalarColumns(offset, ok, done, n, span, index, negative);
}

void gatherInteriorCells(const KnotRow &row, int from, int to, const QRgb *bits, qint64 stride,
    QRgb *out, VectorPath path)
{
#ifdef PLANO_WIDE_VECTORS
    if (path == VectorPath::Avx512) {
        cellsAvx512(row, from, to, bits, stride, out);
        return;
    }
#else
    Q_UNUSED(path);
#endif
    scalarCells(row, from, to, bits, stride, out);
}

void interpolateKnots(
    const double *a, const double *b, double t, int n, double *out, VectorPath path)
{
    int k = 0;
#ifdef PLANO_WIDE_VECTORS
    if (path == VectorPath::Avx512)
        k = knotsAvx512(a, b, t, n, out);
#else
    Q_UNUSED(path);
#endif
    for (; k < n; ++k)
        out[k] = a[k] + t * (b[k] - a[k]);
}
