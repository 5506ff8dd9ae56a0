// JPEG straight into the 32-bit buffer the remap reads, through libjpeg with
// the settings the toolkit's reader uses (accurate integer IDCT, smooth
// upsampling), so that both give the same pixels, and at 1/2, 1/4 or 1/8 of
// the size by scaling in the IDCT for a quick first view.
#pragma once

#include "imageio/imageload.h"

#include <QImage>
#include <QSize>
#include <QString>

#include <atomic>

struct JpegDecoded
{
    // Unusual colour (CMYK, YCCK) or a header libjpeg could not take: the
    // caller lets the toolkit's reader try, as it did before.
    bool unsupported = false;
    QImage image; // RGB32 for colour, ARGB32 (opaque) for grey; null on failure
    QSize size; // the full size from the header
    LoadFault fault = LoadFault::None;
    QString error;
};

// minWidth <= 0 decodes at full size; otherwise the largest reduction whose
// width still reaches minWidth. The pixel limit applies to the full size and
// is checked before anything is decoded; a file cut short is damaged. A set
// cancel flag stops the decode between rows: no image, "cancelled".
JpegDecoded decodeJpeg(const QString &path, qint64 maxPixels, int minWidth = 0,
    const std::atomic<bool> *cancel = nullptr);

// The reduction decodeJpeg picks for an image `width` wide: 1, 2, 4 or 8.
int jpegReduction(int width, int minWidth);
