// A JPEG writer that hands the image's 32-bit rows to the encoder as they lie
// in memory, with the settings the toolkit's writer uses: 4:2:0 chroma,
// baseline, standard Huffman tables, the resolution in the JFIF header. An
// image taller than a band is coded in bands on every core, joined by
// restart markers: the same pixels, a few bytes more.
#pragma once

#include <QImage>
#include <QString>

class QIODevice;

// Whether writeJpeg stores everything the toolkit's writer would for this
// image: 32-bit (A)RGB without text or colour profile. Alpha is left out, as
// the toolkit leaves it.
bool jpegWritable(const QImage &image);

// quality 0 to 100, below 0 the toolkit's default 75; bandRows is rounded
// down to whole rows of MCUs (16 pixels). False with the reason when the
// encoder or the device failed.
bool writeJpeg(const QImage &image, QIODevice *device, int quality, QString *error = nullptr,
    int bandRows = 256);
