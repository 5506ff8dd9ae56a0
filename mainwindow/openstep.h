// Step 1: choosing an image by dialog or by dropping files, and opening it
// with the busy cursor showing meanwhile.
#pragma once

#include "app/langtexts.h"
#include "imageio/imageload.h"

#include <QString>
#include <QStringList>

class QMimeData;
class QWidget;

namespace OpenStep {

// The file the user picks, in the folder of `current`; empty when cancelled.
QString askImageFile(QWidget *parent, const TextTable &texts, const QString &current);
// The local image files of a drop, or none when any item is something else,
// so that a drop the program cannot take stays with its source.
QStringList droppedImages(const QMimeData *mime);
SourceImage openWithBusyCursor(const QString &path, qint64 maxPixels);

// Above this a JPEG shows reduced at once and is decoded whole meanwhile.
constexpr qint64 kFirstViewPixels = 16'000'000;
// The reduced picture of a JPEG over kFirstViewPixels and within the limit,
// at least a screen wide; null for anything else.
PreviewImage firstView(const QString &path, qint64 maxPixels);

} // namespace OpenStep
