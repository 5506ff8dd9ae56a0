#include "mainwindow/imageload.h"

#include <QFile>
#include <QImageReader>

namespace {

// libjpeg fills what it could not read with grey and reports success, and a
// PNG cut short may also come back partly drawn; the file's last bytes tell
// whether it was written to its end.
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

SourceImage loadSourceImage(const QString &path, qint64 maxPixels)
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
    QImageReader reader(path);
    reader.setAutoTransform(false);
    const QByteArray format = reader.format();
    if (format.isEmpty()) {
        result.fault = LoadFault::NotImage;
        result.error = QStringLiteral("not a readable image");
        return result;
    }
    result.size = reader.size();
    if (result.size.isValid()) {
        const qint64 pixels = qint64(result.size.width()) * result.size.height();
        if (pixels > maxPixels) {
            result.fault = LoadFault::TooLarge;
            result.error = QStringLiteral("the image is too large (%1; the limit is %2 pixels)")
                               .arg(pixelCount(result.size))
                               .arg(maxPixels);
            return result;
        }
    }

    QImage decoded;
    if (!reader.read(&decoded) || decoded.isNull()) {
        const bool damaged = reader.error() == QImageReader::InvalidDataError;
        result.fault = damaged ? LoadFault::Damaged : LoadFault::Other;
        result.error
            = damaged ? QStringLiteral("damaged or truncated image") : reader.errorString();
        return result;
    }
    if (!endsWhole(path, format)) {
        result.fault = LoadFault::Damaged;
        result.error = QStringLiteral("damaged or truncated image");
        return result;
    }
    result.size = decoded.size();
    if (qint64(decoded.width()) * decoded.height() > maxPixels) {
        result.fault = LoadFault::TooLarge;
        result.error = QStringLiteral("the image is too large (%1; the limit is %2 pixels)")
                           .arg(pixelCount(result.size))
                           .arg(maxPixels);
        return result;
    }
    result.image = toSourceFormat(std::move(decoded));
    if (result.image.isNull()) {
        result.fault = LoadFault::NoMemory;
        result.error = QStringLiteral("not enough memory to open %1").arg(pixelCount(result.size));
    }
    return result;
}
