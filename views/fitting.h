// How a label shows an image fitted into it: the painted size, and label
// coordinates in image pixels. Plain functions, so both views and the tests
// share one rule.
#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

// Image pixels per label pixel when the image is fitted into the label.
double viewScale(const QSize &label, const QSize &image);
// A label coordinate or length in image pixels, truncated toward zero and not
// clamped, since drags may leave the label.
int viewToImage(int v, double scale, bool scaled);
// The rectangle between the press point and the pointer, in label pixels.
QRect dragRect(const QPoint &press, const QPoint &pointer);
// The size the image is painted at when fitted: aspect kept, top-left hung.
QSize fittedSize(const QSize &area, const QSize &image);
