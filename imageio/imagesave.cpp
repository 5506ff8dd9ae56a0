#include "imageio/imagesave.h"

#include "imageio/jpegwrite.h"
#include "imageio/pngwrite.h"

#include <QFileInfo>
#include <QImageWriter>
#include <QSaveFile>

#include <atomic>

namespace {

// The toolkit's PNG writer takes quality q to zlib level (100 - q) * 9 / 91:
// from 80 on that is level 1 or none.
constexpr int kFastPngQuality = 80;

std::atomic<bool> toolkitEncoders { false };

} // namespace

OutputFormat outputFormatFromInt(int value)
{
    return value == 1 ? OutputFormat::Png : OutputFormat::Jpeg;
}

const char *outputFormatName(OutputFormat format)
{
    return format == OutputFormat::Png ? "png" : "jpg";
}

QString outputSuffix(OutputFormat format)
{
    return QString::fromLatin1(outputFormatName(format));
}

bool saveImageAtomically(
    const QImage &image, const QString &path, const char *format, int quality, QString *error)
{
    auto fail = [error](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    if (image.isNull())
        return fail(QStringLiteral("no image"));
    const QFileInfo target(path);
    if (target.isDir())
        return fail(QStringLiteral("the target is a folder"));
    // Writing through a link would replace a file somewhere else.
    if (target.isSymLink())
        return fail(QStringLiteral("the target is a symbolic link, not written"));

    // The writer only knows that its device refused the bytes ("Unknown
    // error"). The file's own reason, a full disk for one, comes with the
    // commit, which after a write error removes the temporary file instead
    // of renaming it.
    auto notWritten = [&fail](const QString &why) {
        return fail(QStringLiteral("could not be written: %1").arg(why));
    };
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return notWritten(file.errorString());
    // The own PNG writer for the images it covers, where the quality asks for
    // the toolkit's fastest levels (80 and above: zlib level 1 or none); a
    // lower quality keeps the toolkit's smaller, slower files, as chosen.
    // JPEG rows go to the encoder as they lie, with the toolkit's settings.
    const bool png = qstricmp(format, "png") == 0;
    const bool jpeg = qstricmp(format, "jpg") == 0 || qstricmp(format, "jpeg") == 0;
    QString why;
    bool written = false;
    if (!toolkitEncoders && png && quality >= kFastPngQuality && pngWritable(image)) {
        written = writePng(image, &file, &why);
    } else if (!toolkitEncoders && jpeg && jpegWritable(image)) {
        written = writeJpeg(image, &file, quality, &why);
    } else {
        QImageWriter writer(&file, format);
        writer.setQuality(quality);
        written = writer.write(image);
        if (!written)
            why = writer.errorString();
    }
    if (!written) {
        if (file.error() == QFileDevice::NoError) {
            file.cancelWriting();
            return notWritten(why);
        }
        file.commit();
        return notWritten(file.errorString());
    }
    if (!file.commit())
        return notWritten(file.errorString());
    return true;
}

void setToolkitEncoders(bool on)
{
    toolkitEncoders = on;
}
