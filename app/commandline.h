// Start-up arguments: display scale factor, settings and language file paths,
// the switches in both spellings (/batch and --batch), the run's overrides,
// help, and the wildcard expansion of input files. Plain functions so tests
// call them with argument lists.
#pragma once

#include "imageio/imagesave.h"
#include "output/polefill.h"
#include "projection/convertparams.h"
#include "projection/resampling.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

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

// Values a script gives for one run; they replace the settings file's values
// for that run and are never written back.
struct Overrides
{
    std::optional<QString> outputDir;
    std::optional<int> width;
    std::optional<int> height;
    std::optional<OutputFormat> format;
    std::optional<int> quality;
    std::optional<ParamSet> params; // the Convert group of --params FILE
    std::optional<bool> overwrite;
    std::optional<Resampling> resampling;
    std::optional<PoleFill> poleFill;

    bool any() const;
};

enum class Mode { Interactive, Batch, Detect, Help, Version };

struct Options
{
    Mode mode = Mode::Interactive;
    QString iniFile; // empty: the default settings file
    QStringList inputs; // file arguments as typed, patterns not yet expanded
    Overrides overrides;
    // Non-empty when the command line is refused; it names the switch.
    QString error;
};

// args[0] is the executable. Reads no file except the one --params names.
// The first refused argument stops the parse; help wins over every other mode.
Options parse(const QStringList &args);

QString usageText();
QString versionText();

// Expands the file arguments holding * or ? (file part matched ignoring
// case, sorted ignoring case, as absolute paths); keeps the others as typed.
QStringList expandPatterns(const QStringList &inputs);
// The file arguments that are patterns matching no file, as typed.
QStringList patternsMatchingNothing(const QStringList &inputs);

} // namespace CommandLine
