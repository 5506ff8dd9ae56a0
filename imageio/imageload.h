// Opening a source image safely: the size is read from the file header and
// refused above a pixel limit before anything is decoded, a decoder that could
// read only part of the file is a failure, and the result is one 32-bit copy
// that the overlay, the preview and every save share.
#pragma once

#include <QImage>
#include <QString>

#include <atomic>

// 2^29 pixels: 2 GiB once decoded to 32 bits.
constexpr qint64 kDefaultMaxImagePixels = qint64(1) << 29;

// Why an image did not open, so that a window can say it in its language.
enum class LoadFault { None, Missing, NotRegular, NotImage, TooLarge, Damaged, NoMemory, Other };

struct SourceImage
{
    QImage image; // RGB32 or ARGB32; null when loading failed
    QString error; // why it failed, for a message after the file name
    LoadFault fault = LoadFault::None;
    qint64 limit = 0; // the pixel limit that applied
    QSize size; // from the header, when it could be read
};

// Never throws and never shows anything; maxPixels <= 0 means the default. A
// JPEG's decode stops early once *cancel is set (fault Other, "cancelled").
SourceImage loadSourceImage(const QString &path, qint64 maxPixels = kDefaultMaxImagePixels,
    const std::atomic<bool> *cancel = nullptr);

// The image as RGB32 or ARGB32 (a premultiplied or indexed one becomes
// ARGB32); null when the copy could not be allocated.
QImage toSourceFormat(QImage image);

// A quick first view of a big JPEG: decoded at 1/2, 1/4 or 1/8 of its size,
// the largest reduction still at least minWidth wide. Null for anything else
// and for a file that fails; loadSourceImage then says why.
struct PreviewImage
{
    QImage image; // RGB32 or ARGB32, reduced
    QSize size; // the full image's size
};
PreviewImage loadPreviewImage(
    const QString &path, int minWidth, qint64 maxPixels = kDefaultMaxImagePixels);

// Every format through the toolkit's readers, for comparisons; off unless set.
void setToolkitDecoders(bool on);
