#include "imageio/imageload.h"

#include "imageio/imagebuffer.h"
#include "imageio/jpegdecode.h"

#include <QFile>
#include <QFileInfo>
#include <QImageReader>

#include <atomic>

namespace {

std::atomic<bool> toolkitDecoders { false };

// Walks GIF blocks to the trailer; a file cut short ends inside a block.
bool gifEndsWhole(const QByteArray &b)
{
    if (b.size() < 13)
        return false;
    qint64 at = 13;
    const uchar flags = uchar(b[10]);
    if (flags & 0x80)
        at += 3 * (qint64(2) << (flags & 7));
    auto skipSubBlocks = [&b, &at] {
        while (at < b.size()) {
            const uchar n = uchar(b[int(at)]);
            ++at;
            if (n == 0)
                return true;
            at += n;
        }
        return false;
    };
    while (at < b.size()) {
        const uchar block = uchar(b[int(at)]);
        if (block == 0x3B)
            return true;
        if (block == 0x21) {
            at += 2;
        } else if (block == 0x2C) {
            if (at + 10 > b.size())
                return false;
            const uchar local = uchar(b[int(at + 9)]);
            at += 10;
            if (local & 0x80)
                at += 3 * (qint64(2) << (local & 7));
            at += 1; // LZW code size
        } else {
            return false;
        }
        if (!skipSubBlocks())
            return false;
    }
    return false;
}

quint32 le32(const QByteArray &b, int at)
{
    return quint32(uchar(b[at])) | quint32(uchar(b[at + 1])) << 8 | quint32(uchar(b[at + 2])) << 16
        | quint32(uchar(b[at + 3])) << 24;
}

// Uncompressed rows must all be there; run-length data must reach its
// end-of-bitmap mark.
bool bmpEndsWhole(QFile &file)
{
    const qint64 fileSize = file.size();
    QByteArray b = file.read(64);
    if (b.size() < 30)
        return false;
    const qint64 offset = le32(b, 10);
    const quint32 headerSize = le32(b, 14);
    qint64 width = 0;
    qint64 height = 0;
    int bits = 0;
    quint32 compression = 0;
    if (headerSize == 12) {
        width = uchar(b[18]) | uchar(b[19]) << 8;
        height = uchar(b[20]) | uchar(b[21]) << 8;
        bits = uchar(b[24]) | uchar(b[25]) << 8;
    } else {
        if (b.size() < 34)
            return false;
        width = qint32(le32(b, 18));
        height = qAbs(qint64(qint32(le32(b, 22))));
        bits = uchar(b[28]) | uchar(b[29]) << 8;
        compression = le32(b, 30);
    }
    if (compression == 1 || compression == 2) { // RLE8, RLE4
        b += file.readAll();
        qint64 at = offset;
        while (at + 1 < b.size()) {
            const uchar count = uchar(b[int(at)]);
            const uchar value = uchar(b[int(at + 1)]);
            at += 2;
            if (count > 0)
                continue;
            if (value == 1)
                return true;
            if (value == 2) {
                at += 2;
            } else if (value > 2) {
                const qint64 bytes = compression == 1 ? value : (value + 1) / 2;
                at += (bytes + 1) & ~qint64(1);
            }
        }
        return false;
    }
    const qint64 stride = ((width * bits + 31) / 32) * 4;
    return width > 0 && offset + stride * height <= fileSize;
}

// Every image the directory lists must lie within the file.
bool icoEndsWhole(const QByteArray &b)
{
    if (b.size() < 6)
        return false;
    const int count = uchar(b[4]) | uchar(b[5]) << 8;
    for (int i = 0; i < count; ++i) {
        const int entry = 6 + 16 * i;
        if (entry + 16 > b.size())
            return false;
        if (qint64(le32(b, entry + 8)) + le32(b, entry + 12) > b.size())
            return false;
    }
    return true;
}

// libjpeg fills what it could not read with grey and reports success, a PNG
// cut short may also come back partly drawn, and the BMP and GIF readers
// leave what they could not read as it was in memory; the file's structure
// tells whether it was written to its end.
bool endsWhole(const QString &path, const QByteArray &format)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const qint64 size = file.size();
    if (format == "jpeg" || format == "jpg") {
        // Some writers append bytes after the end marker; allow a little.
        const qint64 tail = qMin<qint64>(size, 4096);
        file.seek(size - tail);
        return file.read(tail).contains("\xFF\xD9");
    }
    if (format == "png") {
        const qint64 tail = qMin<qint64>(size, 64);
        file.seek(size - tail);
        return file.read(tail).contains("IEND");
    }
    if (format == "gif")
        return gifEndsWhole(file.readAll());
    if (format == "bmp" || format == "dib")
        return bmpEndsWhole(file);
    if (format == "ico" || format == "cur")
        return icoEndsWhole(file.readAll());
    return true;
}

QString pixelCount(const QSize &size)
{
    return QStringLiteral("%1 \u00d7 %2 pixels").arg(size.width()).arg(size.height());
}

} // namespace

QImage toSourceFormat(QImage image)
{
    if (image.format() == QImage::Format_RGB32 || image.format() == QImage::Format_ARGB32)
        return image;
    return std::move(image).convertToFormat(QImage::Format_ARGB32);
}

SourceImage loadSourceImage(const QString &path, qint64 maxPixels, const std::atomic<bool> *cancel)
{
    if (maxPixels <= 0)
        maxPixels = kDefaultMaxImagePixels;
    SourceImage result;
    result.limit = maxPixels;
    if (!QFile::exists(path)) {
        result.fault = LoadFault::Missing;
        result.error = QStringLiteral("the file does not exist");
        return result;
    }
    // A FIFO or device could block the reader for ever.
    if (!QFileInfo(path).isFile()) {
        result.fault = LoadFault::NotRegular;
        result.error = QStringLiteral("not a regular file");
        return result;
    }
    QImageReader reader(path);
    reader.setAutoTransform(false);
    const QByteArray format = reader.format();
    if (format.isEmpty()) {
        result.fault = LoadFault::NotImage;
        result.error = QStringLiteral("not a readable image");
        return result;
    }
    auto tooLarge = [&result, maxPixels] {
        result.fault = LoadFault::TooLarge;
        result.error = QStringLiteral("the image is too large (%1; the limit is %2 pixels)")
                           .arg(pixelCount(result.size))
                           .arg(maxPixels);
        return result;
    };
    auto noMemory = [&result] {
        result.fault = LoadFault::NoMemory;
        result.error = QStringLiteral("not enough memory to open %1").arg(pixelCount(result.size));
        return result;
    };
    result.size = reader.size();
    if (result.size.isValid() && qint64(result.size.width()) * result.size.height() > maxPixels)
        return tooLarge();

    auto damaged = [&result] {
        result.fault = LoadFault::Damaged;
        result.error = QStringLiteral("damaged or truncated image");
        return result;
    };
    if (!endsWhole(path, format))
        return damaged();
    if (!toolkitDecoders && (format == "jpeg" || format == "jpg")) {
        // Straight into the 32-bit buffer; the pixels are the toolkit reader's.
        JpegDecoded jpeg = decodeJpeg(path, maxPixels, 0, cancel);
        if (!jpeg.unsupported) {
            result.size = jpeg.size;
            switch (jpeg.fault) {
            case LoadFault::None:
                result.image = std::move(jpeg.image);
                return result;
            case LoadFault::Other:
                result.fault = jpeg.fault;
                result.error = jpeg.error;
                return result;
            case LoadFault::TooLarge:
                return tooLarge();
            case LoadFault::NoMemory:
                return noMemory();
            default:
                return damaged();
            }
        }
    }
    // The PNG reader decodes into an image of its size and format as given;
    // other readers may rely on a cleared one of their own.
    QImage decoded;
    if (!toolkitDecoders && format == "png" && result.size.isValid())
        decoded = allocateImage(result.size, reader.imageFormat());
    if (!reader.read(&decoded) || decoded.isNull()) {
        if (reader.error() == QImageReader::InvalidDataError)
            return damaged();
        result.fault = LoadFault::Other;
        result.error = reader.errorString();
        return result;
    }
    // A reader that stopped early may hand back less than the header
    // promised. An icon's directory only suggests a size; its image decides.
    const bool icon = format == "ico" || format == "cur";
    if (!icon && result.size.isValid()
        && (decoded.width() < result.size.width() || decoded.height() < result.size.height()))
        return damaged();
    result.size = decoded.size();
    if (qint64(decoded.width()) * decoded.height() > maxPixels)
        return tooLarge();
    result.image = toSourceFormat(std::move(decoded));
    if (result.image.isNull())
        return noMemory();
    return result;
}

PreviewImage loadPreviewImage(const QString &path, int minWidth, qint64 maxPixels)
{
    if (maxPixels <= 0)
        maxPixels = kDefaultMaxImagePixels;
    PreviewImage preview;
    if (!QFileInfo(path).isFile())
        return preview;
    JpegDecoded jpeg = decodeJpeg(path, maxPixels, minWidth);
    if (jpeg.unsupported || jpeg.fault != LoadFault::None)
        return preview;
    preview.image = std::move(jpeg.image);
    preview.size = jpeg.size;
    return preview;
}

void setToolkitDecoders(bool on)
{
    toolkitDecoders = on;
}
