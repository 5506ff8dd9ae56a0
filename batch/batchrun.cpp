#include "batch/batchrun.h"

#include "batch/batchcheck.h"
#include "imageio/imagebuffer.h"
#include "imageio/imageload.h"
#include "imageio/imagesave.h"
#include "params/paramcheck.h"
#include "projection/projectionconverter.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFileInfo>
#include <QImage>
#include <QSet>

#include <algorithm>
#include <future>
#include <utility>
#include <vector>

namespace {

struct FileDateEntry
{
    QString path;
    QDateTime modified;
};

struct SaveOutcome
{
    bool saved = false;
    QString error;
    QImage buffer; // the output buffer, handed back
};

// The file being converted and encoded by the worker, reported when done.
struct PendingSave
{
    std::future<SaveOutcome> done;
    bool active = false;
    int k = 0;
    QString input;
    QString targetPath;
};

const QString kNotOverwritten = QStringLiteral("exists, not overwritten");
const QString kIsInput = QStringLiteral("would replace an input file, not overwritten");
const QString kIsLink = QStringLiteral("the target is a symbolic link, not written");

} // namespace

bool BatchResult::allConverted() const
{
    return refusal.isEmpty() && !stopped && succeeded == total;
}

SortOrder sortOrderFromInt(int value)
{
    return value == 0 ? SortOrder::ByPath
        : value == 1  ? SortOrder::NewestFirst
                      : SortOrder::AsGiven;
}

OutputNaming outputNamingFromInt(int value)
{
    return value == 0 ? OutputNaming::InputName : OutputNaming::Numbered;
}

void sortBatchInputs(QStringList &list, SortOrder order)
{
    if (order == SortOrder::ByPath) {
        list.sort(Qt::CaseSensitive);
    } else if (order == SortOrder::NewestFirst) {
        std::vector<FileDateEntry> entries;
        entries.reserve(static_cast<size_t>(list.size()));
        for (const QString &path : qAsConst(list))
            entries.push_back({ path, QFileInfo(path).lastModified() });
        // Stable, so files of equal time come out in the same order on every run.
        std::stable_sort(entries.begin(), entries.end(),
            [](const FileDateEntry &a, const FileDateEntry &b) { return a.modified > b.modified; });
        list.clear();
        for (const FileDateEntry &entry : entries)
            list.append(entry.path);
    }
}

QString batchOutputName(const QString &inputPath, int index, OutputNaming naming)
{
    if (naming == OutputNaming::InputName)
        return QFileInfo(inputPath).completeBaseName();
    return QString::asprintf("map_%d", index);
}

QString batchTargetPath(const QString &inputPath, int index, const BatchOptions &options)
{
    return options.outputFolder + QLatin1Char('/')
        + batchOutputName(inputPath, index, options.naming) + QLatin1Char('.')
        + outputSuffix(options.outputFormat);
}

BatchResult BatchRunner::run(
    QStringList &inputs, const BatchOptions &options, ProjectionConverter &converter)
{
    BatchResult result;
    result.total = inputs.size();
    if (inputs.isEmpty())
        return result;

    // Without a folder every target would land in the file system's root.
    if (options.outputFolder.isEmpty()) {
        result.refusal = QStringLiteral("no output folder is set (BatchOutputFolder); choose one "
                                        "in the batch dialog or the settings file");
        return result;
    }
    if (!options.params.applyTo(converter)) {
        result.refusal = QStringLiteral("unknown map projection \"%1\" (MapProjection); use "
                                        "\"miller\" or \"mercator\"")
                             .arg(options.params.projection);
        return result;
    }

    result.refusal = batchRefusal(inputs, options);
    if (!result.refusal.isEmpty())
        return result;

    sortBatchInputs(inputs, options.sortOrder);

    // An output folder that holds the inputs must not lose a map to the
    // conversion of itself or of a namesake, whatever Overwrite says.
    QSet<QString> inputFiles;
    std::vector<bool> existedAtStart;
    existedAtStart.reserve(size_t(inputs.size()));
    for (const QString &input : qAsConst(inputs)) {
        const QString canonical = QFileInfo(input).canonicalFilePath();
        if (!canonical.isEmpty())
            inputFiles.insert(canonical);
        existedAtStart.push_back(!canonical.isEmpty());
    }

    converter.setResampling(options.resampling);
    const bool yield = processEvents && QCoreApplication::instance() != nullptr;
    const int n = inputs.size();
    const char *format = outputFormatName(options.outputFormat);

    // Successive files overlap: while this thread decodes file i, a worker
    // converts and encodes file i - 1. Everything the user sees (callbacks,
    // counters, file checks) stays on this thread and in file order. The one
    // output buffer travels to the worker and back, so it is never shared.
    QImage target
        = allocateImage(QSize(options.outputSizeX, options.outputSizeY), QImage::Format_ARGB32);
    if (target.isNull()) {
        result.refusal = outputMemoryProblem(options.outputSizeX, options.outputSizeY);
        return result;
    }

    auto fail = [&](const QString &input, const QString &reason) {
        ++result.failed;
        result.failedFiles.append(input);
        result.failureReasons.append(reason);
    };

    PendingSave pending;
    // Reports the file in the worker's hands once its output is complete on disk.
    auto finishPending = [&] {
        if (!pending.active)
            return;
        SaveOutcome outcome = pending.done.get();
        pending.done = std::future<SaveOutcome>();
        pending.active = false;
        target = std::move(outcome.buffer);
        if (outcome.saved)
            ++result.succeeded;
        else
            fail(pending.input, outcome.error);
        if (progress)
            progress(pending.k, n, pending.input, pending.targetPath);
    };

    for (int i = 0; i < n; ++i) {
        const int k = i + 1;
        const QString input = inputs.at(i);
        // A file missing at the start might be an earlier file's output.
        if (!existedAtStart[size_t(i)])
            finishPending();
        // Decoding is invisible until the file is committed below, where the
        // stop is asked for as before.
        const SourceImage loaded = loadSourceImage(input, options.maxImagePixels);
        // The previous file is reported, and its output is on disk, before
        // this file is committed: two inputs may share an output name.
        finishPending();

        if (yield)
            QCoreApplication::processEvents();
        if (stopRequested && stopRequested()) {
            result.stopped = true;
            break;
        }
        ++result.handled;
        if (loaded.image.isNull()) {
            fail(input, loaded.error);
            continue;
        }
        const QImage &source = loaded.image;
        ParamSet params;
        QString reason;
        if (!paramsForInput(source, options, &params, &reason)) {
            fail(input, reason);
            continue;
        }
        // The run was checked against each header; the decoded image decides
        // (an icon's header may promise more, a file may have been replaced).
        if (const QString wrong = paramProblem(params, source.size()); !wrong.isEmpty()) {
            fail(input, wrong);
            continue;
        }
        // A yield may have let an overlay redraw reconfigure the shared
        // converter; detected parameters change from file to file.
        if (yield || options.autoDetect)
            params.applyTo(converter);

        const QString targetPath = batchTargetPath(input, i, options);
        const QFileInfo targetInfo(targetPath);
        const bool exists = targetInfo.exists();

        // A link, dangling or not, would carry the output out of the folder.
        if (targetInfo.isSymLink()) {
            fail(input, kIsLink);
        } else if (exists && inputFiles.contains(targetInfo.canonicalFilePath())) {
            fail(input, kIsInput);
        } else if (options.overwrite || !exists) {
            pending.k = k;
            pending.input = input;
            pending.targetPath = targetPath;
            pending.active = true;
            const int quality = options.outputQuality;
            const bool fillPoles = options.poleFill == PoleFill::Mean;
            // Remapping with yields must stay on this thread; without them the
            // worker remaps with its own copy of the converter.
            const bool remapHere = yield;
            if (remapHere) {
                target.fill(0);
                converter.remap(source, target, true);
            }
            pending.done = std::async(std::launch::async,
                [buffer = std::move(target), local = converter, source, remapHere, targetPath,
                    format, quality, fillPoles]() mutable {
                    if (!remapHere) {
                        buffer.fill(0);
                        local.remap(source, buffer, false);
                    }
                    if (fillPoles)
                        fillPoleCaps(buffer);
                    SaveOutcome outcome;
                    outcome.saved
                        = saveImageAtomically(buffer, targetPath, format, quality, &outcome.error);
                    outcome.buffer = std::move(buffer);
                    return outcome;
                });
            continue;
        } else {
            fail(input, kNotOverwritten);
        }

        if (progress)
            progress(k, n, input, targetPath);
    }
    finishPending();
    return result;
}

QString cliProgressLine(int k, int n, const QString &input, const QString &target)
{
    return QStringLiteral("[%1/%2] %3 \u2192 %4")
        .arg(k)
        .arg(n)
        .arg(QFileInfo(input).fileName(), target);
}

QString cliSummaryLine(const BatchResult &result)
{
    const QString prefix = QStringLiteral("plano-miller: ");
    if (!result.refusal.isEmpty())
        return prefix + result.refusal;
    if (result.total == 0)
        return prefix + QStringLiteral("no files to convert");

    QString line = prefix
        + QStringLiteral("converted %1 of %2 %3")
              .arg(result.succeeded)
              .arg(result.total)
              .arg(result.total == 1 ? QStringLiteral("file") : QStringLiteral("files"));
    if (result.failed > 0) {
        QStringList items;
        for (int i = 0; i < result.failedFiles.size(); ++i) {
            items.append(QStringLiteral("%1 (%2)").arg(
                QFileInfo(result.failedFiles.at(i)).fileName(), result.failureReasons.value(i)));
        }
        line += QStringLiteral(", %1 failed: %2")
                    .arg(QString::number(result.failed), items.join(QStringLiteral(", ")));
    }
    if (result.stopped)
        line += QStringLiteral(", stopped before the remaining %1")
                    .arg(result.total - result.handled);
    return line;
}
