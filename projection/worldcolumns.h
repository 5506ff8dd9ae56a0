// The source columns of a target row of a world map whose x is linear in the
// longitude: one multiply-add chain per column, on the widest vector path.
#pragma once

#include "projection/resampling.h"

#include <QRgb>

struct ColumnSpan
{
    // u = centre + offset × pixelsPerDegree, the target's own expression.
    double centre = 0.0;
    double pixelsPerDegree = 0.0;
    // The source row's span inside the outline; plain is false where the
    // span is not usable as it stands (narrower than a pixel, or negative).
    bool plain = false;
    double lo = 0.0;
    double hi = 0.0;
    int first = 0;
    int last = 0;
};

// index[j]: -1 where ok[j] is 0, the source column where u lies within the
// span (truncated, clamped to first … last), -2 elsewhere; `negative` gets
// the columns of the negative ones, in order.
void worldColumns(const double *offset, const unsigned char *ok, int n, const ColumnSpan &span,
    int *index, std::vector<int> *negative, VectorPath path);

// A target row between two rows of knots: the knots' positions interpolated
// down to the row, the cells between them, and where each column lies along
// its cell.
struct KnotRow
{
    const double *u = nullptr; // per knot column
    const double *v = nullptr;
    const int *columns = nullptr; // the knot columns, cells + 1 of them
    const unsigned char *interior = nullptr; // per cell
    int cells = 0;
    const double *along = nullptr; // per target column
};

// Nearest over the interior cells [from, to) of a row: out[j] = the source
// pixel at (int(v), int(u)) with u = u[c] + along[j] × (u[c + 1] − u[c]), v
// alike; columns of other cells are left alone.
void gatherInteriorCells(const KnotRow &row, int from, int to, const QRgb *bits, qint64 stride,
    QRgb *out, VectorPath path);

// out[k] = a[k] + t × (b[k] − a[k]): a row of knots between two.
void interpolateKnots(
    const double *a, const double *b, double t, int n, double *out, VectorPath path);
