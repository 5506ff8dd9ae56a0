// Start-up arguments: display scale factor, settings and language file paths,
// the /batch and /ini= switches, help, and the wildcard expansion of input
// files. Plain functions so tests call them with argument lists.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace CommandLine {

// QT_SCALE_FACTOR text → the factor to set: (value, or 1 when missing, not a
// number or 0) × 1.5, written as the shortest text that reads back the same.
QByteArray scaledFactorText(
    const QByteArray &envValue, double *before = nullptr, double *after = nullptr);

struct Paths
{
    QString appDir;
    QString settingsFile;
    QString langFile;
};
// args[0] is the executable path as typed.
Paths resolvePaths(const QStringList &args);

bool isBatch(const QStringList &args);
bool isHelpRequest(const QStringList &args);
QString usageText();

// args without the executable: drops "/batch" and "/ini=..." arguments,
// expands patterns holding * or ? (file part matched case-insensitively,
// sorted ignoring case, as absolute paths), keeps other arguments as typed.
QStringList expandInputs(const QStringList &args);

} // namespace CommandLine
