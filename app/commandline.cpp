#include "commandline.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QRegExp>

namespace CommandLine {

namespace {

bool isIniSwitch(const QString &arg)
{
    return QRegExp(QStringLiteral("/ini=.*")).exactMatch(arg);
}

bool isPattern(const QString &arg)
{
    return arg.contains(QLatin1Char('*')) || arg.contains(QLatin1Char('?'));
}

} // namespace

QByteArray scaledFactorText(const QByteArray &envValue, double *before, double *after)
{
    bool ok = false;
    double factor = envValue.toDouble(&ok);
    if (!ok)
        factor = 0.0;
    if (before)
        *before = factor;
    if (factor == 0.0)
        factor = 1.0;
    factor *= 1.5;
    if (after)
        *after = factor;
    return QString::number(factor, 'g', QLocale::FloatingPointShortest).toLatin1();
}

Paths resolvePaths(const QStringList &args)
{
    Paths paths;
    const QFileInfo exe(args.value(0));
    paths.appDir = exe.absolutePath();
    const QString base = exe.baseName();
    paths.settingsFile = paths.appDir + QLatin1Char('/') + base + QStringLiteral(".ini");
    paths.langFile = paths.appDir + QLatin1Char('/') + base + QStringLiteral("_lang.ini");
    for (int i = args.size() - 1; i >= 0; --i) {
        if (isIniSwitch(args.at(i))) {
            paths.settingsFile = args.at(i).mid(5);
            break;
        }
    }
    return paths;
}

bool isBatch(const QStringList &args)
{
    return args.contains(QStringLiteral("/batch"));
}

bool isHelpRequest(const QStringList &args)
{
    for (const QString &arg : args) {
        if (arg == QLatin1String("/?") || arg == QLatin1String("/help")
            || arg == QLatin1String("-h") || arg == QLatin1String("--help"))
            return true;
    }
    return false;
}

QString usageText()
{
    return QStringLiteral(
        "Usage:\n"
        "  plano-miller [/ini=FILE] [FILE...]\n"
        "  plano-miller /batch [/ini=FILE] FILES-OR-PATTERNS...\n"
        "\n"
        "Converts Miller or Mercator world maps into equirectangular images.\n"
        "\n"
        "  /batch      convert the named files without opening a window, with the\n"
        "              output options and conversion parameters of the settings file\n"
        "  /ini=FILE   use FILE as the settings file (the last /ini= wins)\n"
        "  /?, /help, -h, --help\n"
        "              show this text\n"
        "\n"
        "One FILE opens that image; two or more open the batch convert dialog.\n"
        "An argument holding * or ? is a pattern over file names in its folder,\n"
        "matched ignoring case and taken in name order; quote it so that the shell\n"
        "leaves it alone, for example \"maps/*.jpg\". Wildcards in folder names are\n"
        "not expanded.\n"
        "\n"
        "The default settings file is the executable's folder, its name up to the\n"
        "first dot, and \".ini\" (plano-miller.ini). A batch run is steered by:\n"
        "  [IO]       BatchOutputFolder        output folder (must be set)\n"
        "             BatchInputFileSortType   0 by path, 1 newest first, other: as given\n"
        "             BatchOutputFileNameType  0 input's name, other: map_0, map_1, ...\n"
        "             Overwrite                true: replace existing output files\n"
        "             OutputSizeX, OutputSizeY output size in pixels\n"
        "             OutputFormat             1 PNG, other: JPEG\n"
        "             OutputQuality            JPEG quality\n"
        "  [Convert]  MarginLeft, MarginRight, MarginBottom, MarginTop,\n"
        "             MapProjection (miller or mercator),\n"
        "             LongitudeMinimum, LongitudeMaximum,\n"
        "             LatitudeMinimum, LatitudeMaximum\n"
        "\n"
        "Exit status:\n"
        "  0  every file was converted, or there was nothing to do\n"
        "  1  a file failed or does not exist, a pattern matched no file, or the\n"
        "     run was refused before any file: the settings file is no settings\n"
        "     file, the output folder is not set, the projection name is unknown,\n"
        "     the parameters leave nothing to convert, or the output size is none\n");
}

QStringList expandInputs(const QStringList &args)
{
    QStringList inputs;
    for (const QString &arg : args) {
        if (arg == QLatin1String("/batch") || isIniSwitch(arg))
            continue;
        if (!isPattern(arg)) {
            inputs.append(arg);
            continue;
        }
        const QFileInfo pattern(arg);
        const QString filePart = pattern.fileName();
        if (filePart.isEmpty())
            continue;
        const QString dirPath = pattern.absolutePath();
        // QDir matches name filters ignoring case, as a Windows user expects of
        // "*.jpg".
        const QStringList names = QDir(dirPath).entryList(
            QStringList(filePart), QDir::Files, QDir::Name | QDir::IgnoreCase);
        const QString prefix
            = dirPath.endsWith(QLatin1Char('/')) ? dirPath : dirPath + QLatin1Char('/');
        for (const QString &name : names)
            inputs.append(prefix + name);
    }
    return inputs;
}

} // namespace CommandLine
