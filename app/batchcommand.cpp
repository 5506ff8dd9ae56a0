#include "app/batchcommand.h"

#include "app/settingsstore.h"
#include "batch/batchcheck.h"
#include "params/paramcheck.h"
#include "projection/projectionconverter.h"

namespace BatchCommand {

namespace {

// The command line's values for this run over those of the settings file.
void applyOverrides(const CommandLine::Overrides &overrides, BatchOptions &options)
{
    if (overrides.outputDir)
        options.outputFolder = *overrides.outputDir;
    if (overrides.width)
        options.outputSizeX = *overrides.width;
    if (overrides.height)
        options.outputSizeY = *overrides.height;
    if (overrides.format)
        options.outputFormat = *overrides.format;
    if (overrides.quality)
        options.outputQuality = *overrides.quality;
    if (overrides.params)
        options.params = *overrides.params;
    if (overrides.overwrite)
        options.overwrite = *overrides.overwrite;
    if (overrides.resampling)
        options.resampling = *overrides.resampling;
    if (overrides.poleFill)
        options.poleFill = *overrides.poleFill;
}

} // namespace

BatchOptions optionsFrom(const AppSettings &settings)
{
    BatchOptions batch;
    batch.sortOrder = sortOrderFromInt(settings.batchInputFileSortType);
    batch.naming = outputNamingFromInt(settings.batchOutputFileNameType);
    batch.outputFolder = settings.batchOutputFolder;
    batch.overwrite = settings.overwrite;
    batch.outputSizeX = settings.outputSizeX;
    batch.outputSizeY = settings.outputSizeY;
    batch.outputFormat = outputFormatFromInt(settings.outputFormat);
    batch.outputQuality = settings.outputQuality;
    batch.maxImagePixels = settings.maxImagePixels;
    batch.resampling = resamplingFromInt(settings.resampling);
    batch.poleFill = poleFillFromInt(settings.poleFill);
    batch.params = settings.params;
    batch.autoDetect = settings.batchAutoDetect;
    return batch;
}

int run(const CommandLine::Options &options, const CommandLine::Paths &paths,
    const std::function<void(const QString &line)> &print)
{
    const QString prefix = QStringLiteral("plano-miller: ");
    AppSettings settings;
    settings.load(paths.settingsFile, paths.appDir);
    if (!settings.fileRefusal.isEmpty()) {
        print(prefix + settings.fileRefusal + QStringLiteral("; nothing converted"));
        return 2;
    }
    if (!settings.loadProblem.isEmpty())
        print(prefix + settings.loadProblem);

    int exitCode = 0;
    for (const QString &pattern : CommandLine::patternsMatchingNothing(options.inputs)) {
        print(prefix + QStringLiteral("no file matches %1").arg(pattern));
        exitCode = 1;
    }
    QStringList inputs = CommandLine::expandPatterns(options.inputs);

    // A value the program cannot read could turn into one that destroys
    // files; and the file keeps the user's text, so it is not rewritten.
    if (!settings.badValues.isEmpty()) {
        print(prefix + QStringLiteral("nothing converted: ") + settings.loadProblem);
        return 1;
    }
    if (settings.leftAlone) {
        if (inputs.isEmpty())
            return exitCode;
        print(prefix
            + QStringLiteral("nothing converted, since the settings file %1 could not be used")
                  .arg(paths.settingsFile));
        return 1;
    }

    settings.params = boundedParams(settings.params);
    BatchOptions batch = optionsFrom(settings);
    applyOverrides(options.overrides, batch);

    if (!inputs.isEmpty()) {
        BatchRunner runner;
        // Nothing waits on an event loop, so the worker thread remaps too.
        runner.processEvents = false;
        runner.progress = [&print](int k, int n, const QString &input, const QString &target) {
            print(cliProgressLine(k, n, input, target));
        };
        ProjectionConverter converter;
        const BatchResult result = runner.run(inputs, batch, converter);
        print(cliSummaryLine(result));
        if (!result.refusal.isEmpty())
            return 1;
        if (!result.allConverted())
            exitCode = 1;
    }

    // A batch never shows the preview.
    settings.previewWindow = false;
    QString error;
    if (!settings.save(paths.settingsFile, &error))
        print(prefix + error);
    return exitCode;
}

} // namespace BatchCommand
