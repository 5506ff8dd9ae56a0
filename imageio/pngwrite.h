// A PNG writer for the program's large 8-bit outputs: bands of rows are
// filtered and deflated on every core and joined into the one zlib stream a
// PNG holds, at a fast compression level.
#pragma once

#include <QImage>
#include <QString>

class QIODevice;

enum class PngFilter { Sub, Up, Paeth, Adaptive };

struct PngWriteSettings
{
    int level = 1; // zlib's, 1 to 9
    PngFilter filter = PngFilter::Up;
    int bandRows = 128; // rows deflated as one piece
    int threads = 0; // 0: every core
};

// Whether writePng keeps everything the toolkit's writer would store for this
// image: 8-bit RGB or RGBA without a colour table, text or colour profile.
bool pngWritable(const QImage &image);

// 8-bit RGBA when the image's format has alpha, as the toolkit writes it, RGB
// otherwise; the resolution goes along. False with the reason when the device
// refused the bytes or the image is not pngWritable.
bool writePng(const QImage &image, QIODevice *device, QString *error = nullptr,
    const PngWriteSettings &settings = PngWriteSettings());
