// The batch run without its window: orders the input list, converts every file
// with one parameter set into the output folder and counts what happened, so
// the main window, the command line and the tests share one implementation.
#pragma once

#include "imageio/imagesave.h"
#include "output/polefill.h"
#include "projection/convertparams.h"
#include "projection/resampling.h"

#include <QImage>
#include <QString>
#include <QStringList>

#include <functional>

class ProjectionConverter;

// BatchInputFileSortType: 0 by full path, case-sensitive; 1 newest
// modification first, equal times in list order; anything else as given.
enum class SortOrder { ByPath, NewestFirst, AsGiven };
SortOrder sortOrderFromInt(int value);
// BatchOutputFileNameType: 0 the input's complete base name; anything else
// "map_<index>".
enum class OutputNaming { InputName, Numbered };
OutputNaming outputNamingFromInt(int value);

struct BatchOptions
{
    SortOrder sortOrder = SortOrder::ByPath;
    OutputNaming naming = OutputNaming::InputName;
    QString outputFolder;
    bool overwrite = true;
    int outputSizeX = 2048;
    int outputSizeY = 1024;
    OutputFormat outputFormat = OutputFormat::Jpeg;
    int outputQuality = 85;
    qint64 maxImagePixels = qint64(1) << 29;
    Resampling resampling = Resampling::Nearest;
    PoleFill poleFill = PoleFill::None;
    ParamSet params;
    // Each file's own map area instead of params' margins (see paramsForInput).
    bool autoDetect = false;
};

// The parameters one loaded source is converted with: options.params, or with
// autoDetect the margins found in it (and the projection and box when the
// shape names a whole-world map). False with the reason when nothing
// map-like was found.
bool paramsForInput(
    const QImage &source, const BatchOptions &options, ParamSet *params, QString *reason);

struct BatchResult
{
    int total = 0;
    int succeeded = 0;
    int failed = 0;
    // Files looked at, converted or not; after a stop fewer than total.
    int handled = 0;
    bool stopped = false;
    // Non-empty when the run was refused before the first file; nothing was written.
    QString refusal;
    // Input paths and why each failed, in run order.
    QStringList failedFiles;
    QStringList failureReasons;

    bool allConverted() const;
};

void sortBatchInputs(QStringList &list, SortOrder order);

QString batchOutputName(const QString &inputPath, int index, OutputNaming naming);
QString batchTargetPath(const QString &inputPath, int index, const BatchOptions &options);

class BatchRunner
{
public:
    // Asked before each file, after the event loop had its turn.
    std::function<bool()> stopRequested;
    // After each file that loaded, whether or not it was written; k counts from 1.
    std::function<void(int k, int n, const QString &input, const QString &target)> progress;
    // Off where no event loop should run: tests, benchmarks.
    bool processEvents = true;

    // Reorders inputs in place, as the user sees the order afterwards.
    BatchResult run(
        QStringList &inputs, const BatchOptions &options, ProjectionConverter &converter);
};

// "[k/n] name → target" for the command line's progress.
QString cliProgressLine(int k, int n, const QString &input, const QString &target);
// One line: how many converted, how many failed and which, or the refusal.
QString cliSummaryLine(const BatchResult &result);
