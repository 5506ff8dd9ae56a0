// Entry point: display scaling before the application object exists, the
// application font, then the main window with its settings and texts. With
// /batch the window stays hidden and the deferred start converts the files.
#include "app/commandline.h"
#include "app/detectcommand.h"
#include "app/installpaths.h"
#include "app/languages.h"
#include "app/logging.h"
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

QtMessageHandler defaultHandler = nullptr;

// A headless run on the offscreen platform makes the toolkit complain about a
// missing runtime folder it never uses; the user of a script needs none of it.
void quietBatchHandler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (message.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR not set")))
        return;
    defaultHandler(type, context, message);
}

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

} // namespace

int main(int argc, char *argv[])
{
    QStringList rawArgs;
    for (int i = 0; i < argc; ++i)
        rawArgs << QString::fromLocal8Bit(argv[i]);

    // Help, version and refusals need no display and read no input file.
    const CommandLine::Options options = CommandLine::parse(rawArgs);
    if (!options.error.isEmpty()) {
        std::fprintf(stderr, "plano-miller: %s\nTry 'plano-miller --help'.\n",
            options.error.toLocal8Bit().constData());
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
        const DetectCommand::Outcome outcome
            = DetectCommand::run(options.inputs.value(0), runPaths(options));
        std::fputs(outcome.out.toUtf8().constData(), stdout);
        std::fprintf(stderr, "%s\n", outcome.err.toLocal8Bit().constData());
        return outcome.exitCode;
    }
    case CommandLine::Mode::Interactive:
    case CommandLine::Mode::Batch:
        break;
    }
    // A headless batch shows nothing, so it never needs a display: one that is
    // set but cannot be opened would abort the platform start-up.
    if (options.mode == CommandLine::Mode::Batch) {
#ifdef __GLIBC__
        // Decoding, converting and encoding run in different threads, each
        // allocating image-sized buffers: kept on the heap for the next file
        // rather than mapped and unmapped every time, they cost no page faults.
        mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
        mallopt(M_TRIM_THRESHOLD, 1024 * 1024 * 1024);
#endif
        qputenv("QT_QPA_PLATFORM", "offscreen");
        defaultHandler = qInstallMessageHandler(quietBatchHandler);
    }

    double before = 0;
    double after = 0;
    const QByteArray factor
        = CommandLine::scaledFactorText(qgetenv("QT_SCALE_FACTOR"), &before, &after);
    planoDebug() << "qtScaleFactor = " << before;
    planoDebug() << "qtScaleFactor = " << after;
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
    window.setRunOverrides(options.overrides);
    const bool batch = options.mode == CommandLine::Mode::Batch;
    if (batch)
        window.scheduleDeferredStart(0);
    else
        window.show();

    const int result = app.exec();
    return batch && window.batchExitCode() != 0 ? window.batchExitCode() : result;
}
