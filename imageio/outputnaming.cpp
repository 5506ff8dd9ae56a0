#include "imageio/outputnaming.h"

#include "imageio/imagesave.h"

#include <QFileInfo>
#include <QImageReader>

QString proposedSaveBaseName(const QString &loadPath)
{
    const QString base = QFileInfo(loadPath).completeBaseName();
    return base.isEmpty() ? QString() : QStringLiteral("OX-") + base;
}

QString saveFileNameText(const QString &saveBaseName, int outputFormat)
{
    if (saveBaseName.isEmpty())
        return QString();
    return saveBaseName + QLatin1Char('.') + outputSuffix(outputFormatFromInt(outputFormat));
}

QString saveFileToolTip(const QString &saveFolder, const QString &saveBaseName, int outputFormat)
{
    if (saveBaseName.isEmpty())
        return QString();
    return saveFolder + QLatin1Char('/') + saveFileNameText(saveBaseName, outputFormat);
}

int outputFormatForTypedName(const QString &typedName, int currentFormat)
{
    const QString suffix = QFileInfo(typedName).suffix().toLower();
    if (suffix == QLatin1String("jpg"))
        return 0;
    if (suffix == QLatin1String("png"))
        return 1;
    return currentFormat;
}

QStringList readableImageSuffixes()
{
    QStringList suffixes;
    const QList<QByteArray> formats = QImageReader::supportedImageFormats();
    for (const QByteArray &format : formats) {
        const QString suffix = QString::fromLatin1(format).toLower();
        if (!suffixes.contains(suffix))
            suffixes << suffix;
    }
    return suffixes;
}

QString imageNameFilter(const QString &text, const QStringList &suffixes)
{
    const int open = text.indexOf(QLatin1Char('('));
    const QString label = (open < 0 ? text : text.left(open)).trimmed();
    QStringList patterns;
    for (const QString &suffix : suffixes)
        patterns << QStringLiteral("*.") + suffix;
    return label + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
}

bool isImageSuffix(const QString &path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    return !suffix.isEmpty() && readableImageSuffixes().contains(suffix);
}
