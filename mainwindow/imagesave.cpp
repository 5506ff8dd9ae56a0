#include "mainwindow/imagesave.h"

#include <QFileInfo>
#include <QImageWriter>
#include <QSaveFile>

const char *outputFormatName(int outputFormat)
{
    return outputFormat == 1 ? "png" : "jpg";
}

QString outputSuffix(int outputFormat)
{
    return QString::fromLatin1(outputFormatName(outputFormat));
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
    if (QFileInfo(path).isDir())
        return fail(QStringLiteral("the target is a folder"));

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return fail(file.errorString());
    QImageWriter writer(&file, format);
    writer.setQuality(quality);
    if (!writer.write(image)) {
        file.cancelWriting();
        return fail(writer.errorString());
    }
    if (!file.commit())
        return fail(file.errorString());
    return true;
}
