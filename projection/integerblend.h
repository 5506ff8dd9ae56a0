// The two passes of an interpolating remap for opaque sources, in integers:
// source rows blended across to the target columns, then those rows blended
// down to target pixels. Integer sums are exact in any order, so every vector
// path gives the bits of the plain per-pixel loops.
#pragma once

#include "projection/resampling.h"

#include <QRgb>
#include <QtGlobal>

#include <vector>

// Groups of target columns the wide passes blend across in one go: two (AVX2)
// or four (AVX-512) neighbouring target columns, each with up to four (or six)
// neighbouring taps, weights laid out as the multiply-adds take them. Made once a remap.
struct AcrossGroups
{
    int width = 0; // columns a group; 0: none
    int pairs = 0; // pairs of taps a column: 2 or 3
    std::vector<int> start; // first target column, ascending
    std::vector<int> source; // width first taps a group
    std::vector<qint32> weights; // 4 x pairs x width pairs of weights a group
};

// The groups within target columns [j0, j1), appended; no group reads beyond
// source column lastColumn.
void addAcrossGroups(AcrossGroups &groups, const AxisTaps &columnTaps, int j0, int j1,
    int lastColumn, VectorPath path);

// Target columns [j0, j1) of one source row: out gets four 16-bit values per
// column (blue, green, red, alpha byte, as in memory) with kAcrossBits
// fraction bits; origin is the source row, indexed by source column.
void blendAcrossOpaque(const AxisTaps &columnTaps, const AcrossGroups &groups, int j0, int j1,
    const QRgb *origin, qint16 *out);

// Target pixels [j0, j1) from taps rows blended across, with fixed weights w;
// alpha is opaque.
void blendDownOpaque(const qint16 *const *rows, const qint16 *w, int taps, int j0, int j1, QRgb *to,
    VectorPath path);

// One target pixel of the plain loops: the rows' values at column offset k.
QRgb blendDownOpaquePixel(const qint16 *const *rows, const qint16 *w, int taps, size_t k);
