// Writes an image through a temporary file in the target's folder and renames
// it over the target only once the write succeeded, so a failed save never
// destroys the file it would have replaced.
#pragma once

#include <QImage>
#include <QString>

enum class OutputFormat { Jpeg, Png };
// The settings value: 1 is PNG, anything else JPEG.
OutputFormat outputFormatFromInt(int value);
// "jpg" or "png", as the writer and the file names take it.
const char *outputFormatName(OutputFormat format);
QString outputSuffix(OutputFormat format);

bool saveImageAtomically(const QImage &image, const QString &path, const char *format, int quality,
    QString *error = nullptr);

// PNG through the toolkit's writer instead of the own one, for comparisons;
// off unless set.
void setToolkitEncoders(bool on);
