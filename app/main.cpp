// Entry point: help, version, detection and the batch run without a window;
// otherwise display scaling before the application object exists, the
// application font, then the main window with its settings and texts.
#include "app/batchcommand.h"
#include "app/commandline.h"
#include "app/detectcommand.h"
#include "app/filenames.h"
#include "app/installpaths.h"
#include "app/languages.h"
#include "logging/logging.h"
#include "mainwindow/mainwindow.h"

#include <QApplication>
#include <QFont>
#include <QLibraryInfo>
#include <QScreen>
#include <QStandardPaths>
#include <QTranslator>

#include <cstdio>

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace {

// An installed program, or one where the user cannot write, keeps its settings
// in the user's configuration folder, seeded from the installed first-run file
// (a build tree from what lies beside the executable first): a program folder
// that happens to be writable, as root's, is no place for one user's settings.
// Needs the application object.
CommandLine::Paths runPaths(const CommandLine::Options &options)
{
    CommandLine::Paths paths = CommandLine::resolvePaths(QCoreApplication::arguments());
    const QString dataDir = InstallPaths::dataDir(paths.appDir);
    const bool installed = dataDir != paths.appDir;
    if (options.iniFile.isEmpty() && (installed || !InstallPaths::canWrite(paths.settingsFile))) {
        QStringList seeds;
        if (!installed)
            seeds << paths.settingsFile;
        seeds << dataDir + QStringLiteral("/plano-miller.ini");
        paths.settingsFile = InstallPaths::settingsFile(paths.settingsFile, false,
            QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation), seeds);
    }
    return paths;
}

void printLine(const QString &line)
{
    std::fprintf(stderr, "%s\n", FileNames::shown(line).toLocal8Bit().constData());
    std::fflush(stderr);
}

} // namespace

int main(int argc, char *argv[])
{
    // Before any argument or file name is decoded.
    FileNames::installRoundTripCodec();
    QStringList rawArgs;
    for (int i = 0; i < argc; ++i)
        rawArgs << QString::fromLocal8Bit(argv[i]);

    // Help, version and refusals need no display and read no input file.
    const CommandLine::Options options = CommandLine::parse(rawArgs);
    if (!options.error.isEmpty()) {
        printLine(QStringLiteral("plano-miller: ") + options.error
            + QStringLiteral("\nTry 'plano-miller --help'."));
        return 2;
    }
    switch (options.mode) {
    case CommandLine::Mode::Help:
        std::fputs(CommandLine::usageText().toLocal8Bit().constData(), stdout);
        return 0;
    case CommandLine::Mode::Version:
        std::fputs(CommandLine::versionText().toLocal8Bit().constData(), stdout);
        return 0;
    case CommandLine::Mode::Detect: {
        // Detection prints a parameter file and needs neither a window nor a display.
        QCoreApplication app(argc, argv);
        QCoreApplication::setApplicationName(QStringLiteral("plano-miller"));
        const DetectCommand::Outcome outcome
            = DetectCommand::run(options.inputs.value(0), runPaths(options));
        std::fputs(outcome.out.toUtf8().constData(), stdout);
        printLine(outcome.err);
        return outcome.exitCode;
    }
    case CommandLine::Mode::Batch: {
#ifdef __GLIBC__
        // Decoding, converting and encoding run in different threads, each
        // allocating image-sized buffers: kept on the heap for the next file
        // rather than mapped and unmapped every time, they cost no page faults.
        mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
        mallopt(M_TRIM_THRESHOLD, 1024 * 1024 * 1024);
#endif
        // No window and no display: a display that cannot be opened is no matter.
        QCoreApplication app(argc, argv);
        QCoreApplication::setApplicationName(QStringLiteral("plano-miller"));
        return BatchCommand::run(options, runPaths(options), printLine);
    }
    case CommandLine::Mode::Interactive:
        break;
    }

    double before = 0;
    double after = 0;
    const QByteArray factor
        = CommandLine::scaledFactorText(qgetenv("QT_SCALE_FACTOR"), &before, &after);
    planoDebug() << "qtScaleFactor = " << before << " -> " << after;
    qputenv("QT_SCALE_FACTOR", factor);

    QApplication app(argc, argv);
    // The user's configuration folder is named after the program, not the file.
    QCoreApplication::setApplicationName(QStringLiteral("plano-miller"));

    QFont font = QApplication::font();
    planoDebug() << "fontPointSizeF = " << font.pointSizeF();
    planoDebug() << "winScalingFactor = " << 13.5 / font.pointSizeF();
    if (QScreen *screen = QApplication::primaryScreen()) {
        const QList<QScreen *> screens = QGuiApplication::screens();
        QScreen *first = screens.isEmpty() ? screen : screens.first();
        const double dpi = first->logicalDotsPerInch();
        planoDebug() << "dotsPerInch = " << dpi;
        planoDebug() << "96/dotsPerInch = " << 96 / dpi;
        planoDebug() << "devicePixelRatio = " << first->devicePixelRatio();
        planoDebug() << "fontSizeFactor = " << 96 / dpi;
        font.setPointSizeF(96 / dpi * 6.75);
        planoDebug() << "fontPointSizeF = " << font.pointSizeF();
        QApplication::setFont(font);
    }

    MainWindow window;
    window.setPaths(runPaths(options));
    window.loadSettings();
    window.loadTexts();
    // Message-box buttons, file dialogs and context menus in the texts' language.
    QTranslator toolkitTexts;
    if (toolkitTexts.load(QStringLiteral("qtbase_") + Languages::localeOf(window.paths().langFile),
            QLibraryInfo::location(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(&toolkitTexts);
    window.show();
    return app.exec();
}
