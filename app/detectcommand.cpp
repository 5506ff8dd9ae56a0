#include "app/detectcommand.h"

#include "app/settingsstore.h"
#include "detection/mapdetect.h"
#include "imageio/imageload.h"

#include <QVariant>

namespace DetectCommand {

QString parameterFileText(const ParamSet &p)
{
    // Numbers as the settings reader writes them, so the text reads back unchanged.
    auto number = [](double v) { return QVariant(v).toString(); };
    return QStringLiteral("[Convert]\n"
                          "MarginLeft=%1\n"
                          "MarginRight=%2\n"
                          "MarginBottom=%3\n"
                          "MarginTop=%4\n"
                          "MapProjection=%5\n"
                          "LongitudeMinimum=%6\n"
                          "LongitudeMaximum=%7\n"
                          "LatitudeMinimum=%8\n"
                          "LatitudeMaximum=%9\n")
               .arg(QString::number(p.marginLeft), QString::number(p.marginRight),
                   QString::number(p.marginBottom), QString::number(p.marginTop), p.projection,
                   number(p.lonMin), number(p.lonMax), number(p.latMin), number(p.latMax))
        + QStringLiteral("FrameLine=%1\n").arg(p.frameLine);
}

Outcome run(const QString &image, const CommandLine::Paths &paths)
{
    const QString prefix = QStringLiteral("plano-miller: ");
    Outcome outcome;
    if (image.isEmpty()) {
        outcome.err = prefix + QStringLiteral("/detect needs an image file");
        return outcome;
    }
    AppSettings settings;
    settings.load(paths.settingsFile, paths.appDir);
    if (!settings.loadProblem.isEmpty())
        outcome.err = prefix + settings.loadProblem + QLatin1Char('\n');

    const SourceImage loaded = loadSourceImage(image, settings.maxImagePixels);
    if (loaded.image.isNull()) {
        outcome.err += prefix + image + QStringLiteral(": ") + loaded.error;
        return outcome;
    }
    const MapDetection found = detectMapArea(loaded.image, settings.params);
    outcome.err += prefix + image + QStringLiteral(": ")
        + found.summary(loaded.image.width(), loaded.image.height());
    if (!found.found)
        return outcome;
    outcome.out = found.sourceLines().join(QLatin1Char('\n')) + QLatin1Char('\n')
        + parameterFileText(found.params);
    outcome.exitCode = 0;
    return outcome;
}

} // namespace DetectCommand
