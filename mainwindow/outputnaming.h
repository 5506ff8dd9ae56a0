// Naming rules of the one-image workflow: the proposed output name, the text
// of the output-name line, the target path, and the suffixes taken as images.
#pragma once

#include <QString>

// "OX-" + the complete base name of the loaded file, or empty.
QString proposedSaveBaseName(const QString &loadPath);
// Base name + "." + "png"/"jpg" by the output format, or empty for an empty base.
QString saveFileNameText(const QString &saveBaseName, int outputFormat);
// The output-name line's tool tip: folder + "/" + name, or empty.
QString saveFileToolTip(const QString &saveFolder, const QString &saveBaseName, int outputFormat);
// Output format after the user typed a name: "jpg" gives 0, "png" gives 1,
// any other suffix keeps the current format.
int outputFormatForTypedName(const QString &typedName, int currentFormat);
// Drops and drags take a file by its suffix alone: jpg, png or gif.
bool isImageSuffix(const QString &path);
