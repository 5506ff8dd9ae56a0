// Writes an image through a temporary file in the target's folder and renames
// it over the target only once the write succeeded, so a failed save never
// destroys the file it would have replaced.
#pragma once

#include <QImage>
#include <QString>

// format: 1 gives "png", anything else "jpg".
const char *outputFormatName(int outputFormat);
QString outputSuffix(int outputFormat);

bool saveImageAtomically(const QImage &image, const QString &path, const char *format, int quality,
    QString *error = nullptr);
