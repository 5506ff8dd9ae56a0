// Entry point: display scaling before the application object exists, the
// application font, then the main window with its settings and texts. With
// /batch the window stays hidden and the deferred start converts the files.
#include "app/commandline.h"
#include "app/detectcommand.h"
#include "app/logging.h"
#include "mainwindow/mainwindow.h"

#include <QApplication>
#include <QFont>
#include <QScreen>

#include <cstdio>

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

} // namespace

int main(int argc, char *argv[])
{
    QStringList rawArgs;
    for (int i = 0; i < argc; ++i)
        rawArgs << QString::fromLocal8Bit(argv[i]);

    if (CommandLine::isHelpRequest(rawArgs)) {
        std::fputs(CommandLine::usageText().toLocal8Bit().constData(), stdout);
        return 0;
    }

    // Detection prints a parameter file and needs neither a window nor a display.
    const DetectCommand::Request detect = DetectCommand::parse(rawArgs);
    if (detect.requested) {
        QCoreApplication app(argc, argv);
        const DetectCommand::Outcome outcome
            = DetectCommand::run(detect.image, CommandLine::resolvePaths(rawArgs));
        std::fputs(outcome.out.toUtf8().constData(), stdout);
        std::fprintf(stderr, "%s\n", outcome.err.toLocal8Bit().constData());
        return outcome.exitCode;
    }

    // A headless batch shows nothing, so it never needs a display: one that is
    // set but cannot be opened would abort the platform start-up.
    if (CommandLine::isBatch(rawArgs)) {
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
    window.setPaths(CommandLine::resolvePaths(QCoreApplication::arguments()));
    window.loadSettings();
    window.loadTexts();
    const bool batch = CommandLine::isBatch(QCoreApplication::arguments());
    if (batch)
        window.scheduleDeferredStart(0);
    else
        window.show();

    const int result = app.exec();
    return batch && window.batchExitCode() != 0 ? window.batchExitCode() : result;
}
