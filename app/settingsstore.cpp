#include "settingsstore.h"

#include "app/inifile.h"
#include "app/installpaths.h"
#include "imageio/imagesave.h"
#include "output/polefill.h"
#include "projection/resampling.h"

#include <QFileInfo>
#include <QSettings>
#include <QVariant>

namespace {

// A newer key wins; files written before it existed still carry the old one.
QVariant valueOrOlder(const QSettings &settings, const QString &key, const QString &olderKey,
    const QVariant &fallback = QVariant())
{
    if (settings.contains(key))
        return settings.value(key);
    return settings.value(olderKey, fallback);
}

// true/false, yes/no, on/off and 1/0 in any case; anything else keeps the
// default and is named, since reading it as true could overwrite files.
bool readBool(const QSettings &settings, const QString &key, bool fallback, QStringList *bad)
{
    if (!settings.contains(key))
        return fallback;
    const QVariant value = settings.value(key);
    const QString text = value.type() == QVariant::StringList
        ? value.toStringList().join(QStringLiteral(", "))
        : value.toString();
    const QString word = text.trimmed().toLower();
    if (word == QLatin1String("true") || word == QLatin1String("yes") || word == QLatin1String("on")
        || word == QLatin1String("1"))
        return true;
    if (word == QLatin1String("false") || word == QLatin1String("no")
        || word == QLatin1String("off") || word == QLatin1String("0"))
        return false;
    bad->append(QStringLiteral("%1=%2 is neither true nor false").arg(key, text));
    return fallback;
}

} // namespace

QString AppSettings::samplePath(const QString &appDir)
{
    return InstallPaths::dataDir(appDir) + QStringLiteral("/sample_images/sample-miller.jpg");
}

void AppSettings::load(const QString &path, const QString &appDir)
{
    loadProblem.clear();
    fileRefusal.clear();
    badValues.clear();
    leftAlone = false;
    const IniFileCheck check = checkIniFile(path);
    const IniFileState state = check.state;
    fileRefusal = check.refusal(path);
    if (!fileRefusal.isEmpty()) {
        leftAlone = true;
        loadProblem
            = fileRefusal + QStringLiteral("; it is left as it is and the defaults are used");
        return;
    }
    QSettings settings(path, QSettings::IniFormat);
    settings.setIniCodec("UTF-8");
    if (state == IniFileState::NotUtf8 || settings.status() == QSettings::FormatError) {
        const QString copy = keepDamagedCopy(path);
        const QString what = state == IniFileState::NotUtf8
            ? QStringLiteral("the settings file %1 is not UTF-8 text; what could be read is used")
                  .arg(path)
            : QStringLiteral("the settings file %1 could not be read completely; the values that "
                             "could be read are used")
                  .arg(path);
        // Without the copy the next save would lose what the reader could not take.
        leftAlone = copy.isEmpty();
        loadProblem = what
            + (leftAlone ? QStringLiteral(", and since no copy of it could be kept it is not "
                                          "written at close")
                         : QStringLiteral(", and the old file is kept as %1").arg(copy));
    }

    settings.beginGroup(QStringLiteral("GUI"));
    geometry = settings.value(QStringLiteral("Geometry"), geometry).toByteArray();
    previewGeometry
        = settings.value(QStringLiteral("PreviewGeometry"), previewGeometry).toByteArray();
    previewWindow = readBool(settings, QStringLiteral("PreviewWindow"), false, &badValues);
    autoPreview = readBool(settings, QStringLiteral("AutoPreview"), false, &badValues);
    previewGlobe = settings.value(QStringLiteral("PreviewMode")).toString().trimmed().toLower()
        == QLatin1String("globe");
    autoSize = readBool(settings, QStringLiteral("AutoSize"), true, &badValues);
    penSize = settings.value(QStringLiteral("PenSize"), 3).toInt();
    penColor.setNamedColor(
        settings.value(QStringLiteral("PenColor"), QStringLiteral("#FFFF0000")).toString());
    language = settings.value(QStringLiteral("Language"), language).toString();
    settings.endGroup();

    settings.beginGroup(QStringLiteral("IO"));
    loadFilePath
        = valueOrOlder(settings, QStringLiteral("LoadFilePath"), QStringLiteral("LoadFileName"))
              .toString();
    loadFilePath.replace(QStringLiteral("%%SAMPLE%%"), samplePath(appDir), Qt::CaseSensitive);
    if (settings.contains(QStringLiteral("SaveFolderName"))) {
        saveFolderName = settings.value(QStringLiteral("SaveFolderName")).toString();
    } else {
        // QFileInfo would turn an empty name into ".".
        const QString saveFileName = settings.value(QStringLiteral("SaveFileName")).toString();
        saveFolderName = saveFileName.isEmpty() ? QString() : QFileInfo(saveFileName).path();
    }
    batchInputFolder
        = valueOrOlder(settings, QStringLiteral("BatchInputFolder"), QStringLiteral("InputFolder"))
              .toString();
    batchOutputFolder = valueOrOlder(
        settings, QStringLiteral("BatchOutputFolder"), QStringLiteral("OutputFolder"))
                            .toString();
    batchInputFileSortType = valueOrOlder(
        settings, QStringLiteral("BatchInputFileSortType"), QStringLiteral("InputFileSortType"), 0)
                                 .toInt();
    batchOutputFileNameType = valueOrOlder(settings, QStringLiteral("BatchOutputFileNameType"),
        QStringLiteral("OutputFileNameType"), 0)
                                  .toInt();
    outputSizeX = settings.value(QStringLiteral("OutputSizeX"), outputSizeX).toInt();
    outputSizeY = settings.value(QStringLiteral("OutputSizeY"), outputSizeY).toInt();
    outputFormat = settings.value(QStringLiteral("OutputFormat"), 0).toInt();
    outputQuality = settings.value(QStringLiteral("OutputQuality"), 85).toInt();
    overwrite = readBool(settings, QStringLiteral("Overwrite"), true, &badValues);
    openFiler = readBool(settings, QStringLiteral("OpenFiler"), true, &badValues);
    batchAutoDetect = readBool(settings, QStringLiteral("BatchAutoDetect"), false, &badValues);
    maxImagePixels = settings.value(QStringLiteral("MaxImagePixels"), maxImagePixels).toLongLong();
    if (maxImagePixels <= 0)
        maxImagePixels = qint64(1) << 29;
    resampling = int(resamplingFromInt(settings.value(QStringLiteral("Resampling"), 0).toInt()));
    poleFill = int(poleFillFromInt(settings.value(QStringLiteral("PoleFill"), 0).toInt()));
    settings.endGroup();

    params.readConvertGroup(settings, &badValues);
    if (!badValues.isEmpty()) {
        const QString values = QStringLiteral("in the settings file %1, %2; the defaults are used "
                                              "for them")
                                   .arg(path, badValues.join(QStringLiteral("; ")));
        loadProblem = loadProblem.isEmpty() ? values : loadProblem + QStringLiteral("; ") + values;
    }
}

bool AppSettings::save(const QString &path, QString *error) const
{
    const QString refusal = checkIniFile(path).refusal(path);
    if (leftAlone || !refusal.isEmpty()) {
        if (error) {
            *error = refusal.isEmpty()
                ? QStringLiteral("%1 is not a settings file; it is left as it is").arg(path)
                : refusal + QStringLiteral("; it is left as it is");
        }
        return false;
    }
    QSettings settings(path, QSettings::IniFormat);
    settings.setIniCodec("UTF-8");

    settings.beginGroup(QStringLiteral("GUI"));
    settings.setValue(QStringLiteral("Geometry"), geometry);
    settings.setValue(QStringLiteral("PreviewGeometry"), previewGeometry);
    settings.setValue(QStringLiteral("PreviewWindow"), previewWindow);
    settings.setValue(QStringLiteral("AutoPreview"), autoPreview);
    settings.setValue(QStringLiteral("PreviewMode"),
        previewGlobe ? QStringLiteral("globe") : QStringLiteral("flat"));
    settings.setValue(QStringLiteral("AutoSize"), autoSize);
    settings.setValue(QStringLiteral("PenSize"), penSize);
    settings.setValue(QStringLiteral("PenColor"), penColor.name(QColor::HexArgb));
    // No choice yet: the file beside the executable, or the built-in texts.
    if (!language.isEmpty())
        settings.setValue(QStringLiteral("Language"), language);
    settings.endGroup();

    settings.beginGroup(QStringLiteral("IO"));
    settings.setValue(QStringLiteral("LoadFilePath"), loadFilePath);
    const QString suffix = QLatin1Char('.') + outputSuffix(outputFormatFromInt(outputFormat));
    settings.setValue(
        QStringLiteral("SaveFileName"), saveBaseName.isEmpty() ? QString() : saveBaseName + suffix);
    settings.setValue(QStringLiteral("SaveFolderName"), saveFolderName);
    settings.setValue(QStringLiteral("BatchInputFolder"), batchInputFolder);
    settings.setValue(QStringLiteral("BatchOutputFolder"), batchOutputFolder);
    settings.setValue(QStringLiteral("BatchInputFileSortType"), batchInputFileSortType);
    settings.setValue(QStringLiteral("BatchOutputFileNameType"), batchOutputFileNameType);
    settings.setValue(QStringLiteral("OutputSizeX"), outputSizeX);
    settings.setValue(QStringLiteral("OutputSizeY"), outputSizeY);
    settings.setValue(QStringLiteral("OutputFormat"), outputFormat);
    settings.setValue(QStringLiteral("OutputQuality"), outputQuality);
    settings.setValue(QStringLiteral("Overwrite"), overwrite);
    settings.setValue(QStringLiteral("OpenFiler"), openFiler);
    settings.setValue(QStringLiteral("BatchAutoDetect"), batchAutoDetect);
    settings.setValue(QStringLiteral("MaxImagePixels"), maxImagePixels);
    settings.setValue(QStringLiteral("Resampling"), resampling);
    settings.setValue(QStringLiteral("PoleFill"), poleFill);
    settings.endGroup();

    params.writeConvertGroup(settings);

    // QSettings writes through a temporary file and renames it, so a failed
    // write leaves the old file whole.
    if (!syncAndCheck(
            settings, { QStringLiteral("GUI"), QStringLiteral("IO"), QStringLiteral("Convert") })) {
        if (error)
            *error = QStringLiteral("could not write the settings file %1").arg(path);
        return false;
    }
    return true;
}
