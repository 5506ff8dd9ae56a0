// The main window's files: opening images by dialog, start path and drops, the
// proposed output name, converting and saving with its questions and reports,
// parameter files, the options dialog's round trip and the settings file as the
// window reads and writes it. Every modal box and dialog is answered from a timer.
#include "batch/batchconvertdialog.h"
#include "mainwindow/mainwindow.h"
#include "mainwindow/sourceview.h"
#include "preview/previewview.h"
#include "preview/previewwindow.h"
#include "testsupport.h"

#include <QComboBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QSpinBox>
#include <QUrl>
#include <QtTest>

Q_DECLARE_METATYPE(ParamSet)

namespace {

const QString kConvertTitle = QStringLiteral("変換して保存");
const QString kSavedText = QStringLiteral(" へ保存されました");
const QString kOverwriteText
    = QStringLiteral(" は既にファイルが存在します。\nファイルを上書きしますか？\n"
                     "（上書する前のファイルには戻せません）");
const QString kSaveParamTitle = QStringLiteral("選択範囲情報の保存");

bool isJpeg(const QByteArray &bytes)
{
    return bytes.startsWith(QByteArray("\xFF\xD8\xFF"));
}

bool isPng(const QByteArray &bytes)
{
    return bytes.startsWith(QByteArray("\x89PNG\r\n\x1a\n"));
}

// The shared harness with the save name line, converting and drops.
struct Harness : WindowHarness
{
    QLineEdit *line() const { return child<QLineEdit>("lineSaveFilename"); }

    void typeName(const QString &text)
    {
        line()->setText(text);
        emit line()->editingFinished();
    }

    void convert() { child<QPushButton>("btnConvert")->click(); }

    bool dragEnter(const QMimeData &mime)
    {
        QDragEnterEvent event(
            QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&window, &event);
        return event.isAccepted();
    }
    bool drop(const QMimeData &mime)
    {
        QDropEvent event(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&window, &event);
        return event.isAccepted();
    }
};

QMimeData *urlData(const QList<QUrl> &urls)
{
    auto *mime = new QMimeData;
    mime->setUrls(urls);
    return mime;
}

// The smallest GIF: one transparent pixel.
const QByteArray kGif1x1 = QByteArray::fromHex(
    "47494638396101000100800000ffffff00000021f90401000000002c00000000010001000002024401003b");

} // namespace

class TestMainWindowIo : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void openProposesNameAndKeepsFirstFolder();
    void openButtonUsesFileDialog();
    void nameOfOnlyDotAndSuffixGivesEmptyLine();
    void failedOpenReportsAndKeepsLabel();
    void tooLargeImageRefusedNamingItsSize();
    void openAppliesAutoSizeLimits();
    void dragEnterTakesImagesBySuffix_data();
    void dragEnterTakesImagesBySuffix();
    void dropOfOneImageOpensIt_data();
    void dropOfOneImageOpensIt();
    void dropOfRefusedFileOpensNothing();
    void dropOfTwoImagesGoesToBatchDialog();

    void convertSavesUnderLineNameInSaveFolder();
    void overwriteQuestionGuardsExistingFile();
    void typedNameDecidesFileAndFormat_data();
    void typedNameDecidesFileAndFormat();
    void uncoveredPixelsStayTransparentInPng();
    void poleCapsFilledInPreviewAndSave();
    void failedSaveReportsWarning();
    void emptyNameAsksThenFailsOnFolder();
    void browseChoosesSaveFolder();
    void failedEncodingKeepsExistingFile();
    void emptySaveFolderIsRefused();
    void convertRefusesWhatGivesNoImage_data();
    void convertRefusesWhatGivesNoImage();
    void dropWithoutFilesIsIgnored();

    void parameterFileRoundTrip();
    void parameterFileLoadsOnlyWhatItHolds_data();
    void parameterFileLoadsOnlyWhatItHolds();
    void parameterSaveKeepsOtherGroups();
    void parameterSaveFailureIsReported();
    void parameterSaveIntoOddFiles_data();
    void parameterSaveIntoOddFiles();

    void optionsAcceptedChangeFormatAndPen();
    void optionsCancelledChangeNothing();

    void settingsBoundedByWidgetsAndWrittenBack();
    void settingsRecordPreviewVisibility();
    void settingsWrittenAtClose();
    void unwritableSettingsWarnInTheWindowsLanguage();
    void unusableSettingsNamedAtStart();
};

void TestMainWindowIo::initTestCase()
{
    QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
}

void TestMainWindowIo::openProposesNameAndKeepsFirstFolder()
{
    Harness h;
    const QString first = h.makeFolder(QStringLiteral("maps"));
    const QString world = writeImage(first + QStringLiteral("/world.jpg"), 200, 100);
    QVERIFY(!world.isEmpty());
    QVERIFY(h.window.settings().saveFolderName.isEmpty());
    QVERIFY(h.open(world));

    QCOMPARE(h.window.settings().saveFolderName, first);
    QCOMPARE(h.window.saveBaseName(), QStringLiteral("OX-world"));
    QCOMPARE(h.line()->text(), QStringLiteral("OX-world.jpg"));
    QCOMPARE(h.line()->toolTip(), first + QStringLiteral("/OX-world.jpg"));
    auto *loaded = h.child<QLabel>("labelLoadedFilename");
    QCOMPARE(loaded->text(), QStringLiteral("変換元の画像ファイル: world.jpg"));
    QCOMPARE(loaded->toolTip(), world);
    QVERIFY(h.window.frameActive());

    h.window.settings().outputFormat = 1;
    h.window.updateSaveFilename();
    QCOMPARE(h.line()->text(), QStringLiteral("OX-world.png"));

    const QString second = h.makeFolder(QStringLiteral("elsewhere"));
    const QString other
        = writeImage(second + QStringLiteral("/old.map.png"), 100, 50, Qt::white, "png");
    QVERIFY(h.open(other));
    QCOMPARE(h.window.settings().saveFolderName, first);
    QCOMPARE(h.line()->text(), QStringLiteral("OX-old.map.png"));
    QCOMPARE(h.line()->toolTip(), first + QStringLiteral("/OX-old.map.png"));
    QVERIFY(h.modal.boxes.isEmpty());
}

void TestMainWindowIo::openButtonUsesFileDialog()
{
    Harness h;
    const QString folder = h.makeFolder(QStringLiteral("maps"));
    const QString first = writeImage(folder + QStringLiteral("/first.png"), 120, 60);
    const QString second = writeImage(folder + QStringLiteral("/second.png"), 80, 40);
    QVERIFY(h.open(first));

    // Cancelled: nothing changes.
    PickerSeen seen;
    h.modal.then(pick(QString(), &seen));
    h.child<QPushButton>("btnImageRead")->click();
    QCOMPARE(h.modal.stepsLeft(), 0);
    QCOMPARE(seen.title, QStringLiteral("変換したい画像ファイルを選択して下さい"));
    QCOMPARE(seen.directory, folder);
    QCOMPARE(seen.fileMode, QFileDialog::ExistingFile);
    // The language text's label, with a pattern for every suffix that opens.
    QCOMPARE(seen.nameFilters.size(), 1);
    QVERIFY(seen.nameFilters[0].startsWith(QStringLiteral("画像ファイル (*.")));
    for (const char *pattern : { "*.jpeg", "*.jpg", "*.png", "*.gif" })
        QVERIFY2(seen.nameFilters[0].contains(QLatin1String(pattern)), pattern);
    QCOMPARE(h.window.loadPath(), first);
    QCOMPARE(h.window.sourceImage().size(), QSize(120, 60));

    h.modal.then(pick(second));
    h.child<QPushButton>("btnImageRead")->click();
    QCOMPARE(h.modal.stepsLeft(), 0);
    QCOMPARE(h.window.loadPath(), second);
    QCOMPARE(h.window.sourceImage().size(), QSize(80, 40));
    QCOMPARE(h.line()->text(), QStringLiteral("OX-second.jpg"));
    QVERIFY(h.modal.unexpected.isEmpty());
}

void TestMainWindowIo::nameOfOnlyDotAndSuffixGivesEmptyLine()
{
    Harness h;
    QVERIFY(h.openWhite(50, 25, QStringLiteral("world.jpg")));
    QCOMPARE(h.line()->text(), QStringLiteral("OX-world.jpg"));

    QVERIFY(h.open(writeImage(h.path(QStringLiteral(".jpg")), 50, 25, Qt::white, "jpg")));
    QCOMPARE(h.window.saveBaseName(), QString());
    QCOMPARE(h.line()->text(), QString());
    QCOMPARE(h.line()->toolTip(), QString());
}

void TestMainWindowIo::failedOpenReportsAndKeepsLabel()
{
    Harness h;
    const QString good = writeImage(h.path(QStringLiteral("good.png")), 60, 30);
    QVERIFY(h.open(good));
    const QString bad = h.path(QStringLiteral("bad.png"));
    QVERIFY(writeFile(bad, "this is no image\n"));

    QString loadPathWhileShown = QStringLiteral("unset");
    h.modal.onBox = [&] { loadPathWhileShown = h.window.loadPath(); };
    QVERIFY(!h.open(bad));
    QCOMPARE(loadPathWhileShown, QString());
    QCOMPARE(h.modal.boxes.size(), 1);
    const ModalDriver::Box box = h.modal.boxes.first();
    QCOMPARE(box.text, bad + QStringLiteral(" は開けませんでした (読み込める画像ではありません)"));
    QCOMPARE(box.title, QStringLiteral("開く"));
    QCOMPARE(box.icon, QMessageBox::Warning);
    QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));

    QCOMPARE(h.window.loadPath(), QString());
    QVERIFY(h.window.sourceImage().isNull());
    QVERIFY(!h.window.frameActive());
    QVERIFY(!h.window.sourceView()->hasImage());
    QCOMPARE(h.child<QLabel>("labelLoadedFilename")->text(),
        QStringLiteral("変換元の画像ファイル: good.png"));
    QCOMPARE(h.line()->text(), QStringLiteral("OX-good.jpg"));

    // With nothing open, converting does nothing at all.
    h.convert();
    QCOMPARE(h.modal.boxes.size(), 1);
}

void TestMainWindowIo::tooLargeImageRefusedNamingItsSize()
{
    Harness h;
    const QString good = writeImage(h.path(QStringLiteral("good.png")), 60, 30);
    QVERIFY(h.open(good));
    const QString big = writeImage(h.path(QStringLiteral("big.png")), 200, 100);
    h.window.settings().maxImagePixels = 200 * 100 - 1;
    QVERIFY(!h.open(big));
    QCOMPARE(h.modal.boxes.size(), 1);
    const QString text = h.modal.boxes.first().text;
    QVERIFY2(text.startsWith(big + QStringLiteral(" は開けませんでした (")), qPrintable(text));
    QVERIFY2(text.contains(QStringLiteral("200 \u00d7 100")), qPrintable(text));
}

void TestMainWindowIo::openAppliesAutoSizeLimits()
{
    Harness h;
    auto *contents = h.child<QWidget>("scrollAreaWidgetContents_R");
    const QString image = writeImage(h.path(QStringLiteral("map.png")), 321, 123);

    h.window.settings().autoSize = false;
    h.window.show();
    QVERIFY(h.open(image));
    QCOMPARE(contents->minimumSize(), contents->maximumSize());
    // The contents also hold the margins and the file-name line: the view itself
    // must still get the whole image, last row and column included.
    QTRY_VERIFY(h.window.sourceView()->width() >= 321 && h.window.sourceView()->height() >= 123);

    h.window.settings().autoSize = true;
    QVERIFY(h.open(image));
    QCOMPARE(contents->minimumSize(), QSize(0, 0));
    QCOMPARE(contents->maximumSize(), QSize(16777215, 16777215));
}

void TestMainWindowIo::dragEnterTakesImagesBySuffix_data()
{
    QTest::addColumn<QList<QUrl>>("urls");
    QTest::addColumn<bool>("accepted");
    auto local = [](const char *name) { return QUrl::fromLocalFile(QLatin1String(name)); };
    QTest::newRow("upper-case JPG") << QList<QUrl> { local("/maps/MAP.JPG") } << true;
    QTest::newRow("png") << QList<QUrl> { local("/maps/a.png") } << true;
    QTest::newRow("gif") << QList<QUrl> { local("/maps/a.Gif") } << true;
    QTest::newRow("pdf") << QList<QUrl> { local("/maps/a.pdf") } << false;
    QTest::newRow("jpeg") << QList<QUrl> { local("/maps/a.JPEG") } << true;
    QTest::newRow("bmp") << QList<QUrl> { local("/maps/a.bmp") } << true;
    QTest::newRow("no suffix") << QList<QUrl> { local("/maps/jpg") } << false;
    QTest::newRow("not local") << QList<QUrl> { QUrl(QStringLiteral("http://example.com/a.jpg")) }
                               << false;
    QTest::newRow("second refused")
        << QList<QUrl> { local("/maps/a.jpg"), local("/maps/b.txt") } << false;
    // Several images are let through to the batch dialog.
    QTest::newRow("two images") << QList<QUrl> { local("/maps/a.jpg"), local("/maps/b.png") }
                                << true;
}

void TestMainWindowIo::dragEnterTakesImagesBySuffix()
{
    QFETCH(QList<QUrl>, urls);
    QFETCH(bool, accepted);
    Harness h;
    QScopedPointer<QMimeData> mime(urlData(urls));
    QCOMPARE(h.dragEnter(*mime), accepted);
}

void TestMainWindowIo::dropOfOneImageOpensIt_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QSize>("size");
    QTest::newRow("gif") << QStringLiteral("tiny.gif") << QSize(1, 1);
    QTest::newRow("upper-case JPG") << QStringLiteral("MAP.JPG") << QSize(64, 32);
}

void TestMainWindowIo::dropOfOneImageOpensIt()
{
    QFETCH(QString, name);
    QFETCH(QSize, size);
    Harness h;
    const QString path = h.path(name);
    if (size == QSize(1, 1))
        QVERIFY(writeFile(path, kGif1x1));
    else
        QVERIFY(!writeImage(path, size.width(), size.height(), Qt::white, "jpg").isEmpty());

    QScopedPointer<QMimeData> mime(urlData({ QUrl::fromLocalFile(path) }));
    QVERIFY(h.dragEnter(*mime));
    QVERIFY(h.drop(*mime));
    QCOMPARE(h.window.loadPath(), path);
    QCOMPARE(h.window.sourceImage().size(), size);
    QVERIFY(h.window.frameActive());
    QVERIFY(h.window.batchInputs().isEmpty());
    QVERIFY(h.modal.boxes.isEmpty());
}

void TestMainWindowIo::dropOfRefusedFileOpensNothing()
{
    Harness h;
    const QString tif = writeImage(h.path(QStringLiteral("map.tif")), 20, 10);
    QScopedPointer<QMimeData> mime(urlData(
        { QUrl::fromLocalFile(h.path(QStringLiteral("a.png"))), QUrl::fromLocalFile(tif) }));
    QVERIFY(!h.drop(*mime));
    QVERIFY(h.window.sourceImage().isNull());
    QVERIFY(h.modal.boxes.isEmpty());
    QVERIFY(h.modal.unexpected.isEmpty());
}

void TestMainWindowIo::dropOfTwoImagesGoesToBatchDialog()
{
    Harness h;
    const QString a = writeImage(h.path(QStringLiteral("a.png")), 20, 10);
    const QString b = writeImage(h.path(QStringLiteral("b.jpg")), 20, 10, Qt::white, "jpg");
    QStringList offered;
    h.modal.then([&offered](QWidget *w) {
        auto *dialog = qobject_cast<BatchConvertDialog *>(w);
        if (dialog)
            offered = dialog->values().files;
        static_cast<QDialog *>(w)->reject();
    });

    QScopedPointer<QMimeData> mime(urlData({ QUrl::fromLocalFile(a), QUrl::fromLocalFile(b) }));
    QVERIFY(h.dragEnter(*mime));
    QVERIFY(h.drop(*mime));
    QCOMPARE(h.modal.stepsLeft(), 0);
    QCOMPARE(offered, QStringList({ a, b }));
    QCOMPARE(h.window.batchInputs(), QStringList({ a, b }));
    // Neither was opened, and a cancelled dialog converts nothing.
    QVERIFY(h.window.sourceImage().isNull());
    QVERIFY(h.modal.boxes.isEmpty());
}

void TestMainWindowIo::convertSavesUnderLineNameInSaveFolder()
{
    Harness h;
    const QString in = h.makeFolder(QStringLiteral("in"));
    const QString out = h.makeFolder(QStringLiteral("out"));
    QVERIFY(h.open(writeImage(in + QStringLiteral("/world.png"), 200, 100, QColor(10, 200, 30))));
    h.window.settings().saveFolderName = out;
    h.window.updateSaveFilename();
    h.window.settings().outputSizeX = 1024;
    h.window.settings().outputSizeY = 512;

    h.convert();
    const QString target = out + QStringLiteral("/OX-world.jpg");
    QCOMPARE(h.modal.boxes.size(), 1);
    QCOMPARE(h.modal.boxes[0].text, target + kSavedText);
    QCOMPARE(h.modal.boxes[0].title, kConvertTitle);
    QCOMPARE(h.modal.boxes[0].icon, QMessageBox::Information);
    QCOMPARE(h.modal.boxes[0].buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QVERIFY(isJpeg(readFile(target)));
    const QImage saved(target);
    QCOMPARE(saved.size(), QSize(1024, 512));
    const QColor centre = saved.pixelColor(512, 256);
    QVERIFY(qAbs(centre.red() - 10) < 12 && qAbs(centre.green() - 200) < 12
        && qAbs(centre.blue() - 30) < 12);
    QVERIFY(!QFileInfo::exists(in + QStringLiteral("/OX-world.jpg")));

    // The menu's hidden convert action does the same work.
    QVERIFY(QFile::remove(target));
    h.action("actionConvert_Save")->trigger();
    QCOMPARE(h.modal.boxes.size(), 2);
    QCOMPARE(h.modal.boxes[1].text, target + kSavedText);
    QVERIFY(isJpeg(readFile(target)));
}

void TestMainWindowIo::overwriteQuestionGuardsExistingFile()
{
    Harness h;
    QVERIFY(h.openWhite(100, 50, QStringLiteral("world.png")));
    const QString target = h.path(QStringLiteral("OX-world.jpg"));
    const QByteArray old("an older file that must survive");
    QVERIFY(writeFile(target, old));

    h.modal.answerBox(QMessageBox::No);
    h.convert();
    QCOMPARE(h.modal.boxes.size(), 1);
    const ModalDriver::Box question = h.modal.boxes.first();
    QCOMPARE(question.text, QStringLiteral("OX-world.jpg") + kOverwriteText);
    QCOMPARE(question.title, kConvertTitle);
    QCOMPARE(question.icon, QMessageBox::Warning);
    QCOMPARE(question.buttons, QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(question.defaultButton, QMessageBox::No);
    QCOMPARE(readFile(target), old);

    h.modal.answerBox(QMessageBox::Yes);
    h.modal.answerBox(QMessageBox::Ok);
    h.convert();
    QCOMPARE(h.modal.boxes.size(), 3);
    QCOMPARE(h.modal.boxes[2].text, target + kSavedText);
    QVERIFY(isJpeg(readFile(target)));
}

void TestMainWindowIo::typedNameDecidesFileAndFormat_data()
{
    QTest::addColumn<int>("formatBefore");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("formatAfter");
    QTest::newRow("png switches to PNG") << 0 << QStringLiteral("x.png") << 1;
    QTest::newRow("JPG switches to JPEG") << 1 << QStringLiteral("y.JPG") << 0;
    QTest::newRow("gif keeps JPEG") << 0 << QStringLiteral("z.gif") << 0;
    QTest::newRow("gif keeps PNG") << 1 << QStringLiteral("z.gif") << 1;
    QTest::newRow("no suffix") << 0 << QStringLiteral("plain") << 0;
}

void TestMainWindowIo::typedNameDecidesFileAndFormat()
{
    QFETCH(int, formatBefore);
    QFETCH(QString, typed);
    QFETCH(int, formatAfter);
    Harness h;
    QVERIFY(h.openWhite(100, 50, QStringLiteral("world.png")));
    h.window.settings().outputFormat = formatBefore;
    h.window.updateSaveFilename();

    h.typeName(typed);
    QCOMPARE(h.window.settings().outputFormat, formatAfter);
    QCOMPARE(h.line()->text(), typed);
    QCOMPARE(h.line()->toolTip(), h.dir.path() + QLatin1Char('/') + typed);
    QCOMPARE(h.window.saveBaseName(), QFileInfo(typed).completeBaseName());

    const QStringList before = QDir(h.dir.path()).entryList(QDir::Files);
    h.convert();
    const QString target = h.path(typed);
    QCOMPARE(h.modal.boxes.size(), 1);
    QCOMPARE(h.modal.boxes[0].text, target + kSavedText);
    const QByteArray bytes = readFile(target);
    QVERIFY(formatAfter == 1 ? isPng(bytes) : isJpeg(bytes));
    // Exactly the typed name, nothing else.
    QCOMPARE(QDir(h.dir.path()).entryList(QDir::Files).size(), before.size() + 1);
}

void TestMainWindowIo::uncoveredPixelsStayTransparentInPng()
{
    Harness h;
    QVERIFY(h.openWhite(200, 100, QStringLiteral("world.png")));
    h.child<QDoubleSpinBox>("doubleSpinBoxLatMin")->setValue(-45);
    h.child<QDoubleSpinBox>("doubleSpinBoxLatMax")->setValue(45);
    h.window.settings().outputFormat = 1;
    h.window.updateSaveFilename();
    h.window.previewWindow()->show();
    QVERIFY(h.window.previewWindow()->imageLabel()->pixmap(Qt::ReturnByValue).isNull());
    h.convert();
    // A visible preview gets the converted image too.
    QCOMPARE(h.window.previewWindow()->imageLabel()->pixmap(Qt::ReturnByValue).size(),
        QSize(2048, 1024));

    const QString target = h.path(QStringLiteral("OX-world.png"));
    QVERIFY(isPng(readFile(target)));
    const QImage saved = QImage(target).convertToFormat(QImage::Format_ARGB32);
    QCOMPARE(saved.size(), QSize(2048, 1024));
    QVERIFY(saved.hasAlphaChannel());
    // Latitudes above 45 and below -45 are not covered.
    QCOMPARE(qAlpha(saved.pixel(0, 0)), 0);
    QCOMPARE(qAlpha(saved.pixel(1024, 100)), 0);
    QCOMPARE(qAlpha(saved.pixel(2047, 1023)), 0);
    QCOMPARE(saved.pixel(1024, 512), qRgba(255, 255, 255, 255));
    QCOMPARE(saved.pixel(0, 400), qRgba(255, 255, 255, 255));
}

void TestMainWindowIo::poleCapsFilledInPreviewAndSave()
{
    Harness h;
    QVERIFY(h.openWhite(200, 100, QStringLiteral("world.png")));
    h.child<QDoubleSpinBox>("doubleSpinBoxLatMax")->setValue(45);
    h.window.settings().outputFormat = 1;
    h.window.settings().poleFill = 1;
    h.window.updateSaveFilename();
    h.window.previewWindow()->show();
    h.convert();
    const QPixmap shown = h.window.previewWindow()->imageLabel()->pixmap(Qt::ReturnByValue);
    QCOMPARE(shown.toImage().pixel(0, 0), qRgb(255, 255, 255));
    QCOMPARE(loadArgb(h.path(QStringLiteral("OX-world.png"))).pixel(0, 0), qRgb(255, 255, 255));
}

void TestMainWindowIo::failedSaveReportsWarning()
{
    Harness h;
    QVERIFY(h.openWhite(100, 50, QStringLiteral("world.png")));
    const QString missing = h.path(QStringLiteral("missing"));
    h.window.settings().saveFolderName = missing;
    h.convert();

    const QString target = missing + QStringLiteral("/OX-world.jpg");
    QCOMPARE(h.modal.boxes.size(), 1);
    QVERIFY2(h.modal.boxes[0].text.startsWith(target + QStringLiteral(" への保存が失敗しました ("))
            && h.modal.boxes[0].text.contains(QStringLiteral("could not be written: ")),
        qPrintable(h.modal.boxes[0].text));
    QCOMPARE(h.modal.boxes[0].title, kConvertTitle);
    QCOMPARE(h.modal.boxes[0].icon, QMessageBox::Warning);
    QCOMPARE(h.modal.boxes[0].buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QVERIFY(!QFileInfo::exists(missing));
}

void TestMainWindowIo::emptyNameAsksThenFailsOnFolder()
{
    Harness h;
    QVERIFY(h.openWhite(100, 50, QStringLiteral("world.png")));
    h.typeName(QString());
    QCOMPARE(h.line()->toolTip(), QString());
    QCOMPARE(h.window.saveBaseName(), QStringLiteral("OX-world"));

    // The target names the save folder itself: asked, then refused by the writer.
    h.modal.answerBox(QMessageBox::Yes);
    h.convert();
    QCOMPARE(h.modal.boxes.size(), 2);
    QCOMPARE(h.modal.boxes[0].text, kOverwriteText);
    QVERIFY(h.modal.boxes[1].text.startsWith(
        h.dir.path() + QStringLiteral("/ への保存が失敗しました (")));
    QCOMPARE(h.modal.boxes[1].icon, QMessageBox::Warning);
    QVERIFY(QFileInfo(h.dir.path()).isDir());
    QVERIFY(QFileInfo::exists(h.path(QStringLiteral("world.png"))));
}

void TestMainWindowIo::browseChoosesSaveFolder()
{
    Harness h;
    const QString in = h.makeFolder(QStringLiteral("in"));
    const QString out = h.makeFolder(QStringLiteral("out"));
    QVERIFY(h.open(writeImage(in + QStringLiteral("/world.png"), 100, 50)));

    PickerSeen seen;
    h.modal.then(pick(QString(), &seen));
    h.child<QPushButton>("btnBrowse")->click();
    QCOMPARE(h.modal.stepsLeft(), 0);
    QCOMPARE(
        seen.title, QStringLiteral("画像変換後のファイルを保存するフォルダ名を指定して下さい"));
    QCOMPARE(seen.fileMode, QFileDialog::Directory);
    QCOMPARE(seen.directory, in);
    QCOMPARE(h.window.settings().saveFolderName, in);

    h.modal.then(pick(out));
    h.child<QPushButton>("btnBrowse")->click();
    QCOMPARE(h.modal.stepsLeft(), 0);
    QCOMPARE(h.window.settings().saveFolderName, out);
    QCOMPARE(h.line()->text(), QStringLiteral("OX-world.jpg"));
    QCOMPARE(h.line()->toolTip(), out + QStringLiteral("/OX-world.jpg"));

    // The chosen folder is where the next dialog starts.
    h.modal.then(pick(QString(), &seen));
    h.child<QPushButton>("btnBrowse")->click();
    QCOMPARE(seen.directory, out);
    QVERIFY(h.modal.unexpected.isEmpty());
}

void TestMainWindowIo::failedEncodingKeepsExistingFile()
{
    Harness h;
    QVERIFY(h.openWhite(100, 50, QStringLiteral("world.png")));
    const QString target = h.path(QStringLiteral("OX-world.jpg"));
    const QByteArray old("an older file that must survive");
    QVERIFY(writeFile(target, old));
    // Wider than any JPEG may be, so the encoder fails after the question.
    h.window.settings().outputSizeX = 70000;
    h.window.settings().outputSizeY = 2;

    h.modal.answerBox(QMessageBox::Yes);
    h.convert();
    QCOMPARE(h.modal.boxes.size(), 2);
    QVERIFY(h.modal.boxes[1].text.startsWith(target + QStringLiteral(" への保存が失敗しました (")));
    QCOMPARE(h.modal.boxes[1].icon, QMessageBox::Warning);
    QCOMPARE(readFile(target), old);
    QCOMPARE(QDir(h.dir.path()).entryList(QDir::Files).size(), 2);
}

void TestMainWindowIo::emptySaveFolderIsRefused()
{
    Harness h;
    QVERIFY(h.openWhite(100, 50, QStringLiteral("world.png")));
    h.typeName(QStringLiteral("plano-miller-test-must-not-exist.jpg"));
    h.window.settings().saveFolderName.clear();
    h.convert();

    QCOMPARE(h.modal.boxes.size(), 1);
    QCOMPARE(h.modal.boxes[0].title, kConvertTitle);
    QCOMPARE(h.modal.boxes[0].icon, QMessageBox::Warning);
    QVERIFY2(!h.modal.boxes[0].text.trimmed().isEmpty(), "the refusal must say why");
    QVERIFY(!QFileInfo::exists(QStringLiteral("/plano-miller-test-must-not-exist.jpg")));
}

void TestMainWindowIo::convertRefusesWhatGivesNoImage_data()
{
    QTest::addColumn<ParamSet>("params");
    QTest::addColumn<int>("outputWidth");
    QTest::addColumn<QString>("reason");
    const ParamSet fits = makeParams(0, 0, 0, 0);
    QTest::newRow("unknown projection, named as written") << makeParams(
        0, 0, 0, 0, QStringLiteral("lambert")) << 2048 << QStringLiteral("\"lambert\" ");
    QTest::newRow("margins cross")
        << makeParams(60, 60, 0, 0) << 2048 << QStringLiteral("MarginLeft + MarginRight (60 + 60)");
    QTest::newRow("output beyond the pixel limit")
        << fits << 1000000 << QStringLiteral("output size 1000000 \u00d7 1024");
}

// One box that says why, and no file written.
void TestMainWindowIo::convertRefusesWhatGivesNoImage()
{
    QFETCH(ParamSet, params);
    QFETCH(int, outputWidth);
    QFETCH(QString, reason);
    Harness h;
    QVERIFY(h.openWhite(100, 50, QStringLiteral("world.png")));
    h.window.applyParamSet(params);
    h.window.settings().outputSizeX = outputWidth;
    const QStringList before
        = QDir(h.dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);

    h.convert();
    QCOMPARE(h.modal.boxes.size(), 1);
    QCOMPARE(h.modal.boxes[0].title, kConvertTitle);
    QCOMPARE(h.modal.boxes[0].icon, QMessageBox::Warning);
    QVERIFY2(h.modal.boxes[0].text.contains(reason), qPrintable(h.modal.boxes[0].text));
    QCOMPARE(QDir(h.dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), before);
}

// The drag source must hear that a text or a web address was not taken.
void TestMainWindowIo::dropWithoutFilesIsIgnored()
{
    Harness h;
    QMimeData mime;
    mime.setText(QStringLiteral("just words"));
    QVERIFY(!h.dragEnter(mime));
    // Straight to the handler: the toolkit sends a drop only to a taker of the enter.
    QDropEvent event(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    event.accept();
    static_cast<QObject &>(h.window).event(&event);
    QVERIFY(!event.isAccepted());
}

void TestMainWindowIo::parameterFileRoundTrip()
{
    Harness h;
    const QString folder = h.makeFolder(QStringLiteral("maps"));
    QVERIFY(h.open(writeImage(folder + QStringLiteral("/world.png"), 100, 50)));
    h.setMargins(12, 34, 5, 7);
    h.child<QComboBox>("cbFormatMapProj")->setCurrentIndex(1);
    h.child<QDoubleSpinBox>("doubleSpinBoxLonMin")->setValue(-170.5);
    h.child<QDoubleSpinBox>("doubleSpinBoxLonMax")->setValue(160.2);
    h.child<QDoubleSpinBox>("doubleSpinBoxLatMin")->setValue(-60.5);
    h.child<QDoubleSpinBox>("doubleSpinBoxLatMax")->setValue(70.3);
    const ParamSet saved = h.window.params();

    const QString file = folder + QStringLiteral("/fit.ini");
    PickerSeen seen;
    h.modal.then(pick(file, &seen));
    h.action("actionSave_Param")->trigger();
    QCOMPARE(h.modal.stepsLeft(), 0);
    QCOMPARE(seen.title,
        QStringLiteral("選択範囲情報をファイルへ保存します、ファイル名を指定して下さい"));
    QCOMPARE(seen.acceptMode, QFileDialog::AcceptSave);
    QCOMPARE(seen.directory, folder);
    QCOMPARE(seen.proposedName, QStringLiteral("OX_map_param"));
    QCOMPARE(seen.nameFilters, QStringList { QStringLiteral("選択範囲情報 (*.ini)") });
    QCOMPARE(h.modal.boxes.size(), 1);
    QCOMPARE(h.modal.boxes[0].text, file + kSavedText);
    QCOMPARE(h.modal.boxes[0].title, kSaveParamTitle);
    QCOMPARE(h.modal.boxes[0].icon, QMessageBox::Information);

    QCOMPARE(QSettings(file, QSettings::IniFormat).childGroups(),
        QStringList { QStringLiteral("Convert") });
    QCOMPARE(iniValue(file, QStringLiteral("Convert/MarginRight")).toInt(), 34);
    QCOMPARE(iniValue(file, QStringLiteral("Convert/MapProjection")).toString(),
        QStringLiteral("mercator"));
    QCOMPARE(iniValue(file, QStringLiteral("Convert/LatitudeMaximum")).toDouble(), 70.3);

    h.child<QPushButton>("btnReset")->click();
    QCOMPARE(h.memberMargins(), QList<int>({ 0, 0, 0, 0 }));

    // The name is proposed afresh every time.
    h.modal.then(pick(QString(), &seen));
    h.action("actionSave_Param")->trigger();
    QCOMPARE(seen.proposedName, QStringLiteral("OX_map_param"));

    h.modal.then(pick(file, &seen));
    h.action("actionLoad_Param")->trigger();
    QCOMPARE(h.modal.stepsLeft(), 0);
    QCOMPARE(seen.title,
        QStringLiteral("選択範囲情報をファイルから読み込みます、ファイル名を指定して下さい"));
    QCOMPARE(seen.acceptMode, QFileDialog::AcceptOpen);
    QCOMPARE(seen.fileMode, QFileDialog::ExistingFile);
    QCOMPARE(seen.directory, folder);
    QVERIFY(h.window.params() == saved);
    QCOMPARE(h.spinMargins(), QList<int>({ 12, 34, 5, 7 }));
    QCOMPARE(h.child<QComboBox>("cbFormatMapProj")->currentIndex(), 1);
    QCOMPARE(h.child<QDoubleSpinBox>("doubleSpinBoxLonMax")->value(), 160.2);
    // Loading reports nothing.
    QCOMPARE(h.modal.boxes.size(), 1);
    QVERIFY(h.modal.unexpected.isEmpty());
}

void TestMainWindowIo::parameterFileLoadsOnlyWhatItHolds_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QList<int>>("margins");
    QTest::addColumn<QString>("projection");
    QTest::addColumn<double>("lonMin");
    QTest::addColumn<double>("latMax");
    QTest::addColumn<QString>("report");
    // Before loading: margins 1, 2, 3, 4, miller, lon -180, lat max 90.
    QTest::newRow("only MarginTop")
        << QByteArray("[Convert]\nMarginTop=77\n") << QList<int> { 1, 2, 3, 77 }
        << QStringLiteral("miller") << -180.0 << 90.0 << QString();
    QTest::newRow("rounded and bounded")
        << QByteArray("[Convert]\nLongitudeMinimum=12.34\nLatitudeMaximum=95\nMarginLeft=2000\n")
        << QList<int> { 299, 2, 3, 4 } << QStringLiteral("miller") << 12.3 << 90.0 << QString();
    QTest::newRow("settings file")
        << QByteArray("[GUI]\nPenSize=9\n\n[IO]\nOutputSizeX=4096\nLoadFilePath=/x/y.jpg\n\n"
                      "[Convert]\nMarginLeft=55\nMarginRight=42\nMarginBottom=47\nMarginTop=78\n"
                      "MapProjection=mercator\nLongitudeMinimum=-170\nLatitudeMaximum=80\n")
        << QList<int> { 55, 42, 47, 78 } << QStringLiteral("mercator") << -170.0 << 80.0
        << QString();
    // A file that is no parameter file changes nothing and says so.
    QTest::newRow("no Convert group")
        << QByteArray("[Other]\nMarginTop=77\n") << QList<int> { 1, 2, 3, 4 }
        << QStringLiteral("miller") << -180.0 << 90.0
        << QStringLiteral(" には座標変換情報 ([Convert]) がありません");
    QTest::newRow("not an INI file")
        << QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16) << QList<int> { 1, 2, 3, 4 }
        << QStringLiteral("miller") << -180.0 << 90.0
        << QStringLiteral(" には座標変換情報 ([Convert]) がありません");
}

void TestMainWindowIo::parameterFileLoadsOnlyWhatItHolds()
{
    QFETCH(QByteArray, content);
    QFETCH(QList<int>, margins);
    QFETCH(QString, projection);
    QFETCH(double, lonMin);
    QFETCH(double, latMax);
    QFETCH(QString, report);
    Harness h;
    QVERIFY(h.openWhite(300, 200, QStringLiteral("world.png")));
    h.setMargins(1, 2, 3, 4);
    const int penSize = h.window.settings().penSize;
    const int outputSizeX = h.window.settings().outputSizeX;
    const QString loadPath = h.window.loadPath();

    const QString file = h.path(QStringLiteral("params.ini"));
    QVERIFY(writeFile(file, content));
    h.modal.then(pick(file));
    h.action("actionLoad_Param")->trigger();
    QCOMPARE(h.modal.stepsLeft(), 0);

    QCOMPARE(h.spinMargins(), margins);
    QCOMPARE(h.memberMargins(), margins);
    QCOMPARE(h.window.params().projection, projection);
    QCOMPARE(h.child<QDoubleSpinBox>("doubleSpinBoxLonMin")->value(), lonMin);
    QCOMPARE(h.window.params().lonMin, lonMin);
    QCOMPARE(h.window.params().latMax, latMax);
    // Only the parameters are taken, whatever else the file holds.
    QCOMPARE(h.window.settings().penSize, penSize);
    QCOMPARE(h.window.settings().outputSizeX, outputSizeX);
    QCOMPARE(h.window.loadPath(), loadPath);
    if (report.isEmpty()) {
        QVERIFY(h.modal.boxes.isEmpty());
    } else {
        QCOMPARE(h.modal.boxes.size(), 1);
        QCOMPARE(h.modal.boxes[0].text, file + report);
        QCOMPARE(h.modal.boxes[0].title, QStringLiteral("座標変換情報の読込..."));
        QCOMPARE(int(h.modal.boxes[0].icon), int(QMessageBox::Warning));
    }
}

void TestMainWindowIo::parameterSaveKeepsOtherGroups()
{
    Harness h;
    QVERIFY(h.openWhite(100, 50, QStringLiteral("world.png")));
    h.child<QSpinBox>("spinBoxMarginLeft")->setValue(21);
    const QString file = h.path(QStringLiteral("plano-miller.ini"));
    QVERIFY(writeFile(file,
        "[GUI]\nPenSize=7\nAutoSize=false\n\n[IO]\nOutputSizeX=4096\nInputFolder=/old\n\n"
        "[Convert]\nMarginLeft=1\nMarginTop=9\n"));

    h.modal.then(pick(file));
    h.action("actionSave_Param")->trigger();
    QCOMPARE(h.modal.stepsLeft(), 0);
    QCOMPARE(h.modal.boxes.size(), 1);
    QCOMPARE(h.modal.boxes[0].icon, QMessageBox::Information);

    QCOMPARE(iniValue(file, QStringLiteral("GUI/PenSize")).toInt(), 7);
    QCOMPARE(iniValue(file, QStringLiteral("GUI/AutoSize")).toBool(), false);
    QCOMPARE(iniValue(file, QStringLiteral("IO/OutputSizeX")).toInt(), 4096);
    QCOMPARE(iniValue(file, QStringLiteral("IO/InputFolder")).toString(), QStringLiteral("/old"));
    QCOMPARE(iniValue(file, QStringLiteral("Convert/MarginLeft")).toInt(), 21);
    QCOMPARE(iniValue(file, QStringLiteral("Convert/MarginTop")).toInt(), 0);
}

void TestMainWindowIo::parameterSaveFailureIsReported()
{
    Harness h;
    QVERIFY(h.openWhite(100, 50, QStringLiteral("world.png")));
    const QString blocker = h.path(QStringLiteral("not-a-folder"));
    QVERIFY(writeFile(blocker, "a plain file"));
    // A file's parent that is a regular file cannot be written, even by root.
    const QString file = blocker + QStringLiteral("/params.ini");

    h.modal.then(pick(file));
    h.action("actionSave_Param")->trigger();
    QCOMPARE(h.modal.stepsLeft(), 0);
    QCOMPARE(h.modal.boxes.size(), 1);
    const ModalDriver::Box box = h.modal.boxes.first();
    QCOMPARE(box.icon, QMessageBox::Warning);
    QCOMPARE(box.title, kSaveParamTitle);
    QVERIFY(box.text != file + kSavedText);
    QVERIFY2(box.text.startsWith(file) && box.text.size() > file.size(),
        qPrintable(
            QStringLiteral("the report must name the file and say what failed: ") + box.text));
    QCOMPARE(readFile(blocker), QByteArray("a plain file"));
}

void TestMainWindowIo::parameterSaveIntoOddFiles_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QList<int>>("answers");
    QTest::addColumn<bool>("written");
    QTest::addColumn<bool>("copyKept");
    const QList<int> none;
    const QList<int> yes { QMessageBox::Yes };
    // A file with a line that is no setting would lose that line.
    QTest::newRow("unclosed group")
        << QByteArray("[IO]\nOutputSizeX=4096\n[GUI\n") << none << false << false;
    QTest::newRow("notes") << QByteArray("Margins of page 3\n") << none << false << false;
    QTest::newRow("not UTF-8, saved after asking")
        << QByteArray("[Notes]\nplace=Gr\xfcnland\n") << yes << true << true;
}

void TestMainWindowIo::parameterSaveIntoOddFiles()
{
    QFETCH(QByteArray, content);
    QFETCH(QList<int>, answers);
    QFETCH(bool, written);
    QFETCH(bool, copyKept);
    Harness h;
    QVERIFY(h.openWhite(100, 50, QStringLiteral("world.png")));
    h.child<QSpinBox>("spinBoxMarginLeft")->setValue(21);
    const QString file = h.path(QStringLiteral("params.ini"));
    QVERIFY(writeFile(file, content));

    h.modal.then(pick(file));
    for (const int answer : answers)
        h.modal.answerBox(QMessageBox::StandardButton(answer));
    h.action("actionSave_Param")->trigger();
    QCOMPARE(h.modal.boxes.size(), answers.size() + 1);
    QCOMPARE(h.modal.boxes.last().icon, written ? QMessageBox::Information : QMessageBox::Warning);
    QCOMPARE(iniValue(file, QStringLiteral("Convert/MarginLeft")).toInt(), written ? 21 : 0);
    if (!written)
        QCOMPARE(readFile(file), content);
    QCOMPARE(readFile(file + QStringLiteral(".damaged")), copyKept ? content : QByteArray());
}

void TestMainWindowIo::optionsAcceptedChangeFormatAndPen()
{
    Harness h;
    QVERIFY(h.openWhite(200, 100, QStringLiteral("world.png")));
    QCOMPARE(h.line()->text(), QStringLiteral("OX-world.jpg"));
    QCOMPARE(naturalPicture(h.window.sourceView()).pixel(0, 0), qRgba(255, 0, 0, 255));

    QString shownColor, shownWidth, shownPen;
    h.modal.then([&](QWidget *w) {
        shownColor = w->findChild<QLineEdit *>(QStringLiteral("linePenColor"))->text();
        shownWidth = w->findChild<QLineEdit *>(QStringLiteral("lineOutputSizeX"))->text();
        shownPen = w->findChild<QLineEdit *>(QStringLiteral("linePenSize"))->text();
        w->findChild<QComboBox *>(QStringLiteral("cbFormat"))->setCurrentIndex(1);
        w->findChild<QLineEdit *>(QStringLiteral("linePenColor"))
            ->setText(QStringLiteral("#ff0000ff"));
        w->findChild<QLineEdit *>(QStringLiteral("lineOutputSizeY"))
            ->setText(QStringLiteral("2048"));
        w->findChild<QPushButton *>(QStringLiteral("btnOk"))->click();
    });
    h.action("actionSetting")->trigger();
    QCOMPARE(h.modal.stepsLeft(), 0);
    QVERIFY(h.modal.boxes.isEmpty());

    QCOMPARE(shownColor, QStringLiteral("#FFFF0000"));
    QCOMPARE(shownWidth, QStringLiteral("2048"));
    QCOMPARE(shownPen, QStringLiteral("3"));
    QCOMPARE(h.window.settings().outputFormat, 1);
    QCOMPARE(h.window.settings().outputSizeY, 2048);
    QCOMPARE(h.window.settings().penColor, QColor(0, 0, 255));
    QCOMPARE(h.line()->text(), QStringLiteral("OX-world.png"));
    // The overlay is drawn again with the new pen.
    QCOMPARE(naturalPicture(h.window.sourceView()).pixel(0, 0), qRgba(0, 0, 255, 255));
}

void TestMainWindowIo::optionsCancelledChangeNothing()
{
    Harness h;
    QVERIFY(h.openWhite(200, 100, QStringLiteral("world.png")));
    h.modal.then([](QWidget *w) {
        w->findChild<QComboBox *>(QStringLiteral("cbFormat"))->setCurrentIndex(1);
        w->findChild<QLineEdit *>(QStringLiteral("lineOutputSizeX"))
            ->setText(QStringLiteral("4096"));
        w->findChild<QLineEdit *>(QStringLiteral("linePenSize"))->setText(QStringLiteral("9"));
        w->findChild<QPushButton *>(QStringLiteral("btnCancel"))->click();
    });
    h.action("actionSetting")->trigger();
    QCOMPARE(h.modal.stepsLeft(), 0);

    QCOMPARE(h.window.settings().outputFormat, 0);
    QCOMPARE(h.window.settings().outputSizeX, 2048);
    QCOMPARE(h.window.settings().penSize, 3);
    QCOMPARE(h.line()->text(), QStringLiteral("OX-world.jpg"));
}

void TestMainWindowIo::settingsBoundedByWidgetsAndWrittenBack()
{
    Harness h;
    const QString file = h.window.paths().settingsFile;
    QVERIFY(writeFile(
        file, "[Convert]\nMarginLeft=1500\nLongitudeMinimum=12.34\nMapProjection=mercator\n"));
    h.window.loadSettings();
    QCOMPARE(h.child<QSpinBox>("spinBoxMarginLeft")->value(), 1024);
    QCOMPARE(h.window.params().marginLeft, 1024);
    QCOMPARE(h.child<QDoubleSpinBox>("doubleSpinBoxLonMin")->value(), 12.3);
    QCOMPARE(h.window.params().lonMin, 12.3);
    QCOMPARE(h.child<QComboBox>("cbFormatMapProj")->currentIndex(), 1);

    QVERIFY(h.window.saveSettings());
    QCOMPARE(iniValue(file, QStringLiteral("Convert/MarginLeft")).toInt(), 1024);
    QCOMPARE(iniValue(file, QStringLiteral("Convert/LongitudeMinimum")).toDouble(), 12.3);
    QCOMPARE(iniValue(file, QStringLiteral("Convert/MapProjection")).toString(),
        QStringLiteral("mercator"));
}

void TestMainWindowIo::settingsRecordPreviewVisibility()
{
    Harness h;
    const QString file = h.window.paths().settingsFile;
    auto written
        = [&file] { return iniValue(file, QStringLiteral("GUI/PreviewWindow")).toString(); };
    h.action("actionPreview_Window")->trigger();
    QVERIFY(h.window.previewWindow()->isVisible());
    QVERIFY(h.window.saveSettings());
    QCOMPARE(written(), QStringLiteral("true"));

    QVERIFY(h.window.previewWindow()->close());
    QVERIFY(h.window.saveSettings());
    QCOMPARE(written(), QStringLiteral("false"));
}

void TestMainWindowIo::settingsWrittenAtClose()
{
    Harness h;
    const QString file = h.window.paths().settingsFile;
    h.window.show();
    h.child<QSpinBox>("spinBoxMarginBottom")->setValue(5);
    h.window.settings().outputFormat = 1;
    QVERIFY(!QFileInfo::exists(file));
    QVERIFY(h.window.close());
    QVERIFY(h.modal.boxes.isEmpty());

    QCOMPARE(QSettings(file, QSettings::IniFormat).childGroups(),
        QStringList({ "Convert", "GUI", "IO" }));
    QCOMPARE(iniValue(file, QStringLiteral("Convert/MarginBottom")).toInt(), 5);
    QCOMPARE(iniValue(file, QStringLiteral("IO/OutputFormat")).toInt(), 1);
}

void TestMainWindowIo::unwritableSettingsWarnInTheWindowsLanguage()
{
    Harness h;
    // A folder where the file should be cannot be replaced, even by root.
    const QString folder = h.makeFolder(QStringLiteral("settings.ini"));
    h.window.setPaths({ h.dir.path(), folder, h.path(QStringLiteral("none_lang.ini")) });
    h.window.show();
    QVERIFY(h.window.close());
    QCOMPARE(h.modal.boxes.size(), 1);
    QCOMPARE(h.modal.boxes[0].text, folder + QStringLiteral(" に設定を保存できませんでした"));
    QCOMPARE(h.modal.boxes[0].icon, QMessageBox::Warning);
}

void TestMainWindowIo::unusableSettingsNamedAtStart()
{
    Harness h;
    const QString file = h.window.paths().settingsFile;
    QVERIFY(writeFile(file, QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16)));
    h.window.loadSettings();
    QVERIFY(!h.window.settings().loadProblem.isEmpty());
    h.window.show();
    h.window.scheduleDeferredStart(0);
    QTRY_COMPARE(h.modal.boxes.size(), 1);
    QCOMPARE(h.modal.boxes[0].text,
        file + QStringLiteral(" の設定は使えませんでした\n(") + h.window.settings().loadProblem
            + QLatin1Char(')'));
    QCOMPARE(h.modal.boxes[0].icon, QMessageBox::Warning);
}

QTEST_MAIN(TestMainWindowIo)
#include "tst_mainwindow_io.moc"
