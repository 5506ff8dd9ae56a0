#include "commandline.h"

#include "app/inifile.h"
#include "params/paramcheck.h"
#include "params/paramfile.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QRegExp>
#include <QSettings>

#include <cmath>

namespace CommandLine {

namespace {

bool isIniSwitch(const QString &arg)
{
    return QRegExp(QStringLiteral("/ini=.*")).exactMatch(arg);
}

// * any run of characters, ? one, [set] one of a set ([a-c], [!x] or [^x]
// for its complement); ignoring case, as a Windows user expects of "*.JPG".
bool wildcardMatch(QStringView pattern, QStringView name)
{
    auto same = [](QChar a, QChar b) { return a.toCaseFolded() == b.toCaseFolded(); };
    int p = 0;
    int n = 0;
    int starP = -1;
    int starN = 0;
    while (n < name.size()) {
        bool step = false;
        if (p < pattern.size()) {
            const QChar c = pattern.at(p);
            if (c == QLatin1Char('*')) {
                starP = p++;
                starN = n;
                continue;
            }
            if (c == QLatin1Char('?')) {
                step = true;
                ++p;
            } else if (c == QLatin1Char('[') && pattern.indexOf(QLatin1Char(']'), p + 2) > 0) {
                int q = p + 1;
                const bool negate
                    = pattern.at(q) == QLatin1Char('!') || pattern.at(q) == QLatin1Char('^');
                if (negate)
                    ++q;
                const int end = int(pattern.indexOf(QLatin1Char(']'), q + 1));
                bool inSet = false;
                for (int k = q; k < end; ++k) {
                    if (k + 2 < end && pattern.at(k + 1) == QLatin1Char('-')) {
                        const QChar low = pattern.at(k).toCaseFolded();
                        const QChar high = pattern.at(k + 2).toCaseFolded();
                        const QChar x = name.at(n).toCaseFolded();
                        inSet = inSet || (x >= low && x <= high);
                        k += 2;
                    } else {
                        inSet = inSet || same(pattern.at(k), name.at(n));
                    }
                }
                step = inSet != negate;
                p = end + 1;
            } else {
                step = same(c, name.at(n));
                ++p;
            }
        }
        if (step) {
            ++n;
        } else if (starP >= 0) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern.at(p) == QLatin1Char('*'))
        ++p;
    return p == pattern.size();
}

bool isPattern(const QString &arg)
{
    return arg.contains(QLatin1Char('*')) || arg.contains(QLatin1Char('?'));
}

bool readParamsFile(const QString &path, ParamSet *params, QString *error)
{
    const ParamFileRead read = readParamFile(path);
    if (read.fault != ParamFileRead::Fault::None) {
        *error = read.reason;
        return false;
    }
    *params = boundedParams(read.params);
    return true;
}

bool parseInt(const QString &text, int low, int high, int *value)
{
    bool ok = false;
    const int v = text.toInt(&ok);
    if (!ok || v < low || v > high)
        return false;
    *value = v;
    return true;
}

// Takes the value of a switch that has one: "--name=value" or "--name value".
class ArgReader
{
public:
    explicit ArgReader(const QStringList &args)
        : m_args(args)
    { }
    bool atEnd() const { return m_next >= m_args.size(); }
    QString take() { return m_args.at(m_next++); }
    bool value(const QString &arg, const QString &name, QString *value, QString *error)
    {
        if (arg.startsWith(name + QLatin1Char('='))) {
            *value = arg.mid(name.size() + 1);
        } else if (atEnd()) {
            *error = name + QStringLiteral(": a value is missing");
            return false;
        } else {
            *value = take();
        }
        if (value->isEmpty()) {
            *error = name + QStringLiteral(": the value is empty");
            return false;
        }
        return true;
    }

private:
    const QStringList &m_args;
    int m_next = 0;
};

bool switchWithValue(const QString &arg, const QString &name)
{
    return arg == name || arg.startsWith(name + QLatin1Char('='));
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

bool Overrides::any() const
{
    return outputDir || width || height || format || quality || params || overwrite || resampling
        || poleFill;
}

Options parse(const QStringList &args)
{
    Options o;
    bool help = false;
    bool version = false;
    bool batch = false;
    bool detect = false;
    bool filesOnly = false;
    QString firstOverride;
    ArgReader reader(args);
    if (!reader.atEnd())
        reader.take(); // the executable
    while (!reader.atEnd()) {
        const QString arg = reader.take();
        if (filesOnly) {
            o.inputs.append(arg);
            continue;
        }
        QString value;
        QString &error = o.error;
        const int overridesBefore = int(o.overrides.any());
        if (arg == QLatin1String("--")) {
            filesOnly = true;
        } else if (arg == QLatin1String("/?") || arg == QLatin1String("/help")
            || arg == QLatin1String("-h") || arg == QLatin1String("--help")) {
            help = true;
        } else if (arg == QLatin1String("--version")) {
            version = true;
        } else if (arg == QLatin1String("/batch") || arg == QLatin1String("--batch")) {
            batch = true;
        } else if (arg == QLatin1String("/detect") || arg == QLatin1String("--detect")) {
            detect = true;
        } else if (arg.startsWith(QLatin1String("--detect="))) {
            detect = true;
            o.inputs.append(arg.mid(9));
        } else if (isIniSwitch(arg)) {
            o.iniFile = arg.mid(5);
            if (o.iniFile.isEmpty())
                error = QStringLiteral("/ini: the value is empty");
        } else if (switchWithValue(arg, QStringLiteral("--ini"))) {
            if (reader.value(arg, QStringLiteral("--ini"), &value, &error))
                o.iniFile = value;
        } else if (switchWithValue(arg, QStringLiteral("--output-dir"))) {
            if (reader.value(arg, QStringLiteral("--output-dir"), &value, &error)) {
                if (QFileInfo(value).isDir())
                    o.overrides.outputDir = value;
                else
                    error = QStringLiteral("--output-dir: no such folder: ") + value;
            }
        } else if (switchWithValue(arg, QStringLiteral("--size"))) {
            if (reader.value(arg, QStringLiteral("--size"), &value, &error)) {
                const QStringList parts = value.split(QLatin1Char('x'));
                int w = 0;
                int h = 0;
                if (parts.size() == 2 && parseInt(parts.at(0), 1024, 8192, &w)
                    && parseInt(parts.at(1), 1024, 8192, &h)) {
                    o.overrides.width = w;
                    o.overrides.height = h;
                } else {
                    error = QStringLiteral("--size: \"%1\" is not WIDTHxHEIGHT with both "
                                           "from 1024 to 8192")
                                .arg(value);
                }
            }
        } else if (switchWithValue(arg, QStringLiteral("--format"))) {
            if (reader.value(arg, QStringLiteral("--format"), &value, &error)) {
                const QString f = value.toLower();
                if (f == QLatin1String("jpg") || f == QLatin1String("jpeg"))
                    o.overrides.format = OutputFormat::Jpeg;
                else if (f == QLatin1String("png"))
                    o.overrides.format = OutputFormat::Png;
                else
                    error = QStringLiteral("--format: \"%1\" is neither jpg nor png").arg(value);
            }
        } else if (switchWithValue(arg, QStringLiteral("--quality"))) {
            if (reader.value(arg, QStringLiteral("--quality"), &value, &error)) {
                int q = 0;
                if (parseInt(value, 1, 100, &q))
                    o.overrides.quality = q;
                else
                    error = QStringLiteral("--quality: \"%1\" is not a number from 1 to 100")
                                .arg(value);
            }
        } else if (switchWithValue(arg, QStringLiteral("--params"))) {
            if (reader.value(arg, QStringLiteral("--params"), &value, &error)) {
                ParamSet p;
                QString why;
                if (readParamsFile(value, &p, &why))
                    o.overrides.params = p;
                else
                    error = QStringLiteral("--params: ") + why;
            }
        } else if (arg == QLatin1String("--overwrite")) {
            o.overrides.overwrite = true;
        } else if (arg == QLatin1String("--no-overwrite")) {
            o.overrides.overwrite = false;
        } else if (switchWithValue(arg, QStringLiteral("--resampling"))) {
            if (reader.value(arg, QStringLiteral("--resampling"), &value, &error)) {
                // In the order of the settings values.
                const QStringList kinds { QStringLiteral("nearest"), QStringLiteral("bilinear"),
                    QStringLiteral("bicubic"), QStringLiteral("lanczos3") };
                const int kind = kinds.indexOf(value.toLower());
                if (kind >= 0)
                    o.overrides.resampling = resamplingFromInt(kind);
                else
                    error = QStringLiteral("--resampling: \"%1\" is not nearest, bilinear, "
                                           "bicubic or lanczos3")
                                .arg(value);
            }
        } else if (switchWithValue(arg, QStringLiteral("--pole-fill"))) {
            if (reader.value(arg, QStringLiteral("--pole-fill"), &value, &error)) {
                const QString kind = value.toLower();
                if (kind == QLatin1String("none"))
                    o.overrides.poleFill = PoleFill::None;
                else if (kind == QLatin1String("mean"))
                    o.overrides.poleFill = PoleFill::Mean;
                else
                    error
                        = QStringLiteral("--pole-fill: \"%1\" is neither none nor mean").arg(value);
            }
        } else if (arg.startsWith(QLatin1Char('-')) && arg != QLatin1String("-")) {
            error = arg
                + QStringLiteral(": unknown switch (a file whose name starts with - "
                                 "goes after --)");
        } else {
            o.inputs.append(arg);
        }
        if (firstOverride.isEmpty() && !overridesBefore && o.overrides.any())
            firstOverride = arg.section(QLatin1Char('='), 0, 0);
        if (!o.error.isEmpty())
            break;
    }

    // A device or FIFO named as the settings file is never opened, in any mode.
    if (o.error.isEmpty() && !o.iniFile.isEmpty()
        && checkIniFile(o.iniFile).state == IniFileState::NotRegular)
        o.error = QStringLiteral("--ini: %1 is not a regular file").arg(o.iniFile);
    if (help)
        o.mode = Mode::Help;
    else if (version)
        o.mode = Mode::Version;
    else if (detect)
        o.mode = Mode::Detect;
    else if (batch)
        o.mode = Mode::Batch;
    // Overrides are for scripts: a window would write them back at close.
    if (o.error.isEmpty() && !firstOverride.isEmpty() && o.mode == Mode::Interactive)
        o.error = firstOverride + QStringLiteral(": only with --batch");
    if (help)
        o.error.clear();
    return o;
}

Paths resolvePaths(const QStringList &args)
{
    Paths paths;
    const QFileInfo exe(args.value(0));
    paths.appDir = exe.absolutePath();
    const QString base = exe.baseName();
    paths.settingsFile = paths.appDir + QLatin1Char('/') + base + QStringLiteral(".ini");
    paths.langFile = paths.appDir + QLatin1Char('/') + base + QStringLiteral("_lang.ini");
    const QString ini = parse(args).iniFile;
    if (!ini.isEmpty())
        paths.settingsFile = ini;
    return paths;
}

QString versionText()
{
    return QStringLiteral("Plano-Miller 1.0\n");
}

QString usageText()
{
    return QStringLiteral(
        "Usage:\n"
        "  plano-miller [--ini=FILE] [FILE...]\n"
        "  plano-miller --batch [--ini=FILE] [OVERRIDES] FILES-OR-PATTERNS...\n"
        "  plano-miller --detect IMAGE\n"
        "  plano-miller --help | --version\n"
        "\n"
        "Converts Miller or Mercator world maps into equirectangular images.\n"
        "\n"
        "Modes:\n"
        "  --batch, /batch      convert the named files without opening a window, with\n"
        "                       the output options and conversion parameters of the\n"
        "                       settings file; no display is needed\n"
        "  --detect, /detect    detect the map area of IMAGE and print the parameters\n"
        "  --help, -h, /?       show this text\n"
        "  --version            show the program's name and version\n"
        "\n"
        "Settings:\n"
        "  --ini=FILE, --ini FILE, /ini=FILE\n"
        "                       use FILE as the settings file (the last one wins)\n"
        "\n"
        "Overrides for one batch run (never written to the settings file):\n"
        "  --output-dir DIR     write the outputs into the existing folder DIR\n"
        "  --size WxH           output size in pixels, each side 1024 to 8192\n"
        "  --format jpg|png     output format\n"
        "  --quality N          JPEG quality, 1 to 100\n"
        "  --params FILE        conversion parameters from the [Convert] group of FILE\n"
        "                       (a parameter file saved from the File menu)\n"
        "  --overwrite, --no-overwrite\n"
        "                       replace existing output files, or keep them\n"
        "  --resampling nearest|bilinear|bicubic|lanczos3\n"
        "                       how output pixels are sampled from the source\n"
        "  --pole-fill none|mean\n"
        "                       leave the rows beyond the map's latitudes clear, or\n"
        "                       fill them with the mean colour of the map's edge row\n"
        "  A switch that takes a value accepts --switch=VALUE too.\n"
        "\n"
        "Files:\n"
        "  --                   every later argument is a file, even one named -h\n"
        "  One FILE opens that image; two or more open the batch convert dialog.\n"
        "  An argument holding * or ? is a pattern over file names in its folder,\n"
        "  matched ignoring case and taken in name order; quote it so that the\n"
        "  shell leaves it alone, for example \"maps/*.jpg\". Wildcards in folder\n"
        "  names are not expanded.\n"
        "\n"
        "Settings file:\n"
        "  By default the executable's folder, its name up to the first dot, and\n"
        "  \".ini\" (plano-miller.ini); where that folder cannot be written, the\n"
        "  user's configuration folder (~/.config/plano-miller/plano-miller.ini).\n"
        "  A batch run is steered by:\n"
        "  [IO]       BatchOutputFolder        output folder (must be set)\n"
        "             BatchInputFileSortType   0 by path, 1 newest first, other: as given\n"
        "             BatchOutputFileNameType  0 input's name, other: map_0, map_1, ...\n"
        "             Overwrite                true: replace existing output files\n"
        "             OutputSizeX, OutputSizeY output size in pixels\n"
        "             OutputFormat             1 PNG, other: JPEG\n"
        "             OutputQuality            JPEG quality\n"
        "             Resampling               0 nearest, 1 bilinear, 2 bicubic, 3 Lanczos-3\n"
        "             PoleFill                 1: fill the pole caps with the edge colour\n"
        "             BatchAutoDetect          true: each file with its own detected area\n"
        "             MaxImagePixels           larger images are refused unopened\n"
        "  [Convert]  MarginLeft, MarginRight, MarginBottom, MarginTop,\n"
        "             MapProjection (miller, mercator, equirectangular,\n"
        "             robinson, winkel-tripel, mollweide, equal-earth,\n"
        "             natural-earth, eckert4, kavrayskiy7, gall-stereographic,\n"
        "             gall-peters or behrmann),\n"
        "             LongitudeMinimum, LongitudeMaximum,\n"
        "             LatitudeMinimum, LatitudeMaximum\n"
        "\n"
        "Exit status:\n"
        "  0  every file was converted, or there was nothing to do\n"
        "  1  a file failed or does not exist, a pattern matched no file, or the\n"
        "     run was refused before any file: a value of the settings file is no\n"
        "     number or no true/false, the output folder is not set, the projection\n"
        "     name is unknown, the parameters leave nothing to convert, or the\n"
        "     output size is none\n"
        "  2  the command line was refused, or the settings file is no settings\n"
        "     file (not a regular file, or a line that is no setting); nothing was\n"
        "     read or written\n"
        "\n"
        "A refused run writes nothing, the settings file included. True and false\n"
        "are written true/false, yes/no, on/off or 1/0. An output whose path is a\n"
        "symbolic link is not written.\n");
}

QStringList expandPatterns(const QStringList &args)
{
    QStringList inputs;
    for (const QString &arg : args) {
        if (!isPattern(arg)) {
            inputs.append(arg);
            continue;
        }
        const QFileInfo pattern(arg);
        const QString filePart = pattern.fileName();
        if (filePart.isEmpty())
            continue;
        const QString dirPath = pattern.absolutePath();
        // Matched here rather than by the folder's name filters, which pass
        // over names that are not valid text.
        const QStringList names
            = QDir(dirPath).entryList(QDir::Files, QDir::Name | QDir::IgnoreCase);
        const QString prefix
            = dirPath.endsWith(QLatin1Char('/')) ? dirPath : dirPath + QLatin1Char('/');
        for (const QString &name : names) {
            if (wildcardMatch(filePart, name))
                inputs.append(prefix + name);
        }
    }
    return inputs;
}

QStringList patternsMatchingNothing(const QStringList &inputs)
{
    QStringList unmatched;
    for (const QString &input : inputs) {
        if (isPattern(input) && expandPatterns({ input }).isEmpty())
            unmatched.append(input);
    }
    return unmatched;
}

} // namespace CommandLine
