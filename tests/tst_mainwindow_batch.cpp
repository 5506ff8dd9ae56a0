// The interactive batch run through the main window: the dialog's choices,
// the progress dialog and its stop button, the final report and what the run
// leaves behind.
#include "batch/batchconvertdialog.h"
#include "batch/batchreport.h"
#include "batch/batchrun.h"
#include "batch/batchprogressdialog.h"
#include "testsupport.h"

#include <QLabel>
#include <QProgressBar>
#include <QRadioButton>
#include <QtTest>

namespace {

bool isBatchDialog(QWidget *w)
{
    return qobject_cast<BatchConvertDialog *>(w) != nullptr;
}

ModalDriver::Act clickButton(const char *name)
{
    return [name](QWidget *w) { child<QPushButton>(w, name)->click(); };
}

struct BatchHarness : WindowHarness
{
    QString in;
    QString out;

    BatchHarness()
    {
        in = makeFolder(QStringLiteral("in"));
        out = makeFolder(QStringLiteral("out"));
        window.show();
        AppSettings &s = window.settings();
        s.batchOutputFolder = out;
        s.batchOutputFileNameType = 1;
        s.openFiler = false;
        s.outputSizeX = 64;
        s.outputSizeY = 32;
        s.outputFormat = 1;
    }

    QString input(const QString &name, int w = 40, int h = 30)
    {
        return writeImage(in + QLatin1Char('/') + name, w, h, Qt::blue);
    }
    QString text(const QString &name) const { return out + QLatin1Char('/') + name; }
    QStringList written() const { return QDir(out).entryList(QDir::Files); }

    // Runs the batch dialog's convert button through the menu entry.
    void runFromMenu()
    {
        modal.then(isBatchDialog, clickButton("btnConvert"));
        action("actionBatch_Convert")->trigger();
    }
};

} // namespace

class TestMainWindowBatch : public QObject
{
    Q_OBJECT

private slots:
    void reportTextNamesTheCounts_data();
    void reportTextNamesTheCounts();
    void reportCountsSuccessesAndFailures_data();
    void reportCountsSuccessesAndFailures();
    void progressAndStopBetweenFiles();
    void refusedRunWritesNothing_data();
    void refusedRunWritesNothing();
    void cancelledDialogKeepsChoicesAndRunsNothing();
};

void TestMainWindowBatch::reportTextNamesTheCounts_data()
{
    QTest::addColumn<QString>("langFile");
    QTest::addColumn<int>("total");
    QTest::addColumn<int>("succeeded");
    QTest::addColumn<int>("failed");
    QTest::addColumn<bool>("stopped");
    QTest::addColumn<QString>("text");

    const QString en = QStringLiteral(PLANO_SOURCE_DIR "/lang/english_lang.ini");
    QTest::newRow("en stopped") << en << 10 << 6 << 0 << true
                                << "Batch conversion stopped\n6 of 10 converted, 4 not converted";
    QTest::newRow("en stopped after a failure")
        << en << 10 << 5 << 1 << true
        << "Batch conversion stopped\n5 of 10 converted, 5 not converted";
    QTest::newRow("en finished") << en << 4 << 4 << 0 << false
                                 << "Batch conversion has finished\n4 converted, 0 failed";
    QTest::newRow("en finished with failures")
        << en << 4 << 3 << 1 << false << "Batch conversion has finished\n3 converted, 1 failed";
    QTest::newRow("ja stopped") << QString() << 10 << 6 << 0 << true
                                << "複数画像ファイル変換を中止しました\n10 個中 6 個を変換, 4 "
                                   "個は未変換";
}

void TestMainWindowBatch::reportTextNamesTheCounts()
{
    QFETCH(QString, langFile);
    QFETCH(int, total);
    QFETCH(int, succeeded);
    QFETCH(int, failed);
    QFETCH(bool, stopped);
    QFETCH(QString, text);

    TextTable texts;
    LangTexts::readGroup(
        langFile, QStringLiteral("main"), {}, LangTexts::mainTableDefaults(), nullptr, texts);
    BatchResult result;
    result.total = total;
    result.succeeded = succeeded;
    result.failed = failed;
    result.handled = succeeded + failed;
    result.stopped = stopped;
    QCOMPARE(batchReportText(result, texts), text);
}

void TestMainWindowBatch::reportCountsSuccessesAndFailures_data()
{
    QTest::addColumn<bool>("secondUnreadable");
    QTest::addColumn<QString>("report");
    QTest::addColumn<int>("icon");
    QTest::addColumn<QStringList>("outputs");

    QTest::newRow("all converted")
        << false << QStringLiteral("複数画像ファイル変換が終了しました\n3 個変換, 0 個失敗")
        << int(QMessageBox::Information)
        << QStringList { QStringLiteral("map_0.png"), QStringLiteral("map_1.png"),
               QStringLiteral("map_2.png") };
    // The numbering follows the position, so the failed file still uses up map_1.
    QTest::newRow("second unreadable")
        << true << QStringLiteral("複数画像ファイル変換が終了しました\n2 個変換, 1 個失敗")
        << int(QMessageBox::Warning)
        << QStringList { QStringLiteral("map_0.png"), QStringLiteral("map_2.png") };
}

void TestMainWindowBatch::reportCountsSuccessesAndFailures()
{
    QFETCH(bool, secondUnreadable);
    QFETCH(QString, report);
    QFETCH(int, icon);
    QFETCH(QStringList, outputs);

    BatchHarness h;
    QVERIFY(h.openWhite(50, 40));
    const QString b = h.in + QStringLiteral("/b.png");
    if (secondUnreadable)
        QVERIFY(writeFile(b, "not an image"));
    else
        h.input(QStringLiteral("b.png"));
    h.window.batchInputs()
        = QStringList { h.input(QStringLiteral("c.png")), b, h.input(QStringLiteral("a.png")) };

    h.runFromMenu();

    QCOMPARE(h.modal.boxes.size(), 1);
    QCOMPARE(h.modal.boxes[0].text, report);
    QCOMPARE(h.modal.boxes[0].title, QStringLiteral("複数ファイルをまとめて変換"));
    QCOMPARE(int(h.modal.boxes[0].icon), icon);
    QCOMPARE(h.modal.boxes[0].buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(h.written(), outputs);
    // Path order: a.png first, so map_0 is a's output.
    const ParamSet params = h.window.params();
    QCOMPARE(loadArgb(h.text(QStringLiteral("map_0.png"))),
        referenceOutput(h.in + QStringLiteral("/a.png"), params, QSize(64, 32)));
    // The open image stays open, framed, and converts as before the run.
    QVERIFY(h.window.isEnabled());
    QCOMPARE(h.window.sourceView()->image().size(), QSize(50, 40));
    QVERIFY(h.window.sourceView()->overlay().shown);
    QCOMPARE(h.window.makeOutputImage(),
        referenceOutput(h.path(QStringLiteral("white.png")), params, QSize(64, 32)));
    QCOMPARE(h.window.batchInputs().first(), h.in + QStringLiteral("/a.png"));
}

void TestMainWindowBatch::progressAndStopBetweenFiles()
{
    BatchHarness h;
    h.window.batchInputs() = QStringList { h.input(QStringLiteral("a.png"), 400, 300),
        h.input(QStringLiteral("b.png"), 400, 300), h.input(QStringLiteral("c.png"), 400, 300) };

    // The progress dialog is not modal; watch it from a timer while the run
    // yields to the event loop, and press stop once the first file is in.
    QStringList counts;
    QList<int> values;
    bool windowDisabledDuringRun = false;
    QTimer watch;
    connect(&watch, &QTimer::timeout, [&] {
        auto *status = h.window.findChild<BatchProgressDialog *>();
        if (!status || !status->isVisible())
            return;
        windowDisabledDuringRun = windowDisabledDuringRun || !h.window.isEnabled();
        const QString count = child<QLabel>(status, "lblCount")->text();
        if (!count.isEmpty() && !counts.contains(count)) {
            counts << count;
            values << child<QProgressBar>(status, "progStatus")->value();
        }
        if (count == QStringLiteral("1 / 3"))
            child<QPushButton>(status, "btnStop")->click();
    });
    watch.start(0);
    h.runFromMenu();
    watch.stop();

    QCOMPARE(counts, QStringList { QStringLiteral("1 / 3") });
    QCOMPARE(values, QList<int> { 33 });
    QVERIFY(windowDisabledDuringRun);
    QCOMPARE(h.written(), QStringList { QStringLiteral("map_0.png") });
    // A stop is no failure: it says how many were left, with the information icon.
    QCOMPARE(h.modal.boxes.size(), 1);
    QCOMPARE(h.modal.boxes[0].text,
        QStringLiteral("複数画像ファイル変換を中止しました\n3 個中 1 個を変換, 2 個は未変換"));
    QCOMPARE(int(h.modal.boxes[0].icon), int(QMessageBox::Information));
}

void TestMainWindowBatch::refusedRunWritesNothing_data()
{
    QTest::addColumn<QString>("projection");
    QTest::addColumn<bool>("folderSet");
    QTest::addColumn<QString>("report");

    QTest::newRow("no output folder")
        << QStringLiteral("miller") << false
        << QStringLiteral("出力フォルダが指定されていません。「フォルダ選択」で指定して下さい");
    QTest::newRow("unknown projection")
        << QStringLiteral("lambert") << true
        << QStringLiteral(
               "\"lambert\" は不明な地図投影法です。\"miller\" か \"mercator\" を選んで下さい");
}

void TestMainWindowBatch::refusedRunWritesNothing()
{
    QFETCH(QString, projection);
    QFETCH(bool, folderSet);
    QFETCH(QString, report);

    BatchHarness h;
    if (!folderSet)
        h.window.settings().batchOutputFolder.clear();
    // A name the selector does not know reaches the run as it was written.
    ParamSet params = h.window.params();
    params.projection = projection;
    h.window.applyParamSet(params);
    h.window.batchInputs() = QStringList { h.input(QStringLiteral("a.png")) };

    h.runFromMenu();

    QCOMPARE(h.modal.boxes.size(), 1);
    QCOMPARE(h.modal.boxes[0].text, report);
    QCOMPARE(int(h.modal.boxes[0].icon), int(QMessageBox::Warning));
    QVERIFY(h.written().isEmpty());
    QVERIFY(QDir(QDir::rootPath()).entryList({ QStringLiteral("a.png") }).isEmpty());
}

void TestMainWindowBatch::cancelledDialogKeepsChoicesAndRunsNothing()
{
    BatchHarness h;
    h.window.settings().batchInputFileSortType = 0;
    h.window.batchInputs() = QStringList { h.input(QStringLiteral("a.png")) };

    h.modal.then(isBatchDialog, [](QWidget *w) {
        child<QRadioButton>(w, "radioSortType2")->setChecked(true);
        child<QPushButton>(w, "btnClose")->click();
    });
    h.action("actionBatch_Convert")->trigger();

    QCOMPARE(h.window.settings().batchInputFileSortType, 1);
    QVERIFY(h.modal.boxes.isEmpty());
    QVERIFY(h.written().isEmpty());
}

QTEST_MAIN(TestMainWindowBatch)
#include "tst_mainwindow_batch.moc"
