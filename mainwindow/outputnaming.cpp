#include "mainwindow/outputnaming.h"

#include "mainwindow/imagesave.h"

#include <QFileInfo>

QString proposedSaveBaseName(const QString &loadPath)
{
    const QString base = QFileInfo(loadPath).completeBaseName();
    return base.isEmpty() ? QString() : QStringLiteral("OX-") + base;
}

QString saveFileNameText(const QString &saveBaseName, int outputFormat)
{
    if (saveBaseName.isEmpty())
        return QString();
    return saveBaseName + QLatin1Char('.') + outputSuffix(outputFormat);
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

bool isImageSuffix(const QString &path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    return suffix == QLatin1String("jpg") || suffix == QLatin1String("png")
        || suffix == QLatin1String("gif");
}
