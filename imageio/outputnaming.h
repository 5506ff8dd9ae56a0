// Naming rules of the one-image workflow: the proposed output name, the text
// of the output-name line, the target path, and the suffixes taken as images.
#pragma once

#include <QString>
#include <QStringList>

// "OX-" + the complete base name of the loaded file, or empty.
QString proposedSaveBaseName(const QString &loadPath);
// Base name + "." + "png"/"jpg" by the output format, or empty for an empty base.
QString saveFileNameText(const QString &saveBaseName, int outputFormat);
// The output-name line's tool tip: folder + "/" + name, or empty.
QString saveFileToolTip(const QString &saveFolder, const QString &saveBaseName, int outputFormat);
// Output format after the user typed a name: "jpg" gives 0, "png" gives 1,
// any other suffix keeps the current format.
int outputFormatForTypedName(const QString &typedName, int currentFormat);
// The suffixes the image reader takes, in lower case and in its order.
QStringList readableImageSuffixes();
// A file dialog's filter: the label of text (before its "(...)") with a
// pattern for each suffix, so the dialog shows every file that can be opened.
QString imageNameFilter(const QString &text, const QStringList &suffixes);
// Drops and drags take a file by its suffix alone: any the reader takes.
bool isImageSuffix(const QString &path);
