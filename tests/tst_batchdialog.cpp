// Batch convert dialog: what it shows of the values handed in, the three
// pickers, and which ways of leaving it take the user's choices.
#include "batch/batchconvertdialog.h"
#include "testsupport.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

namespace {

BatchDialogValues someValues()
{
    BatchDialogValues v;
    v.files
        = QStringList { "/maps/1.jpg", "/maps/2.jpg", "/maps/3.jpg", "/maps/4.png", "/maps/5.gif" };
    v.outputFolder = QStringLiteral("/maps/out");
    v.inputFolder = QStringLiteral("/maps");
    v.sortType = 0;
    v.nameType = 1;
    v.openFiler = true;
    v.overwrite = false;
    return v;
}

} // namespace

class TestBatchDialog : public QObject
{
    Q_OBJECT

private slots:
    void listImageFolder_data();
    void listImageFolder();

    void execShowsPreloadedValues();
    void folderReplacesPickedFiles();
    void inputFolderKeptWhenClosedWithClose();
    void cancelledPickersChangeNothing();
    void outputFolderPicker();
    void enterOnNonButtonStartsRun_data();
    void enterOnNonButtonStartsRun();
    void leavingTakesChoicesExceptEscape_data();
    void leavingTakesChoicesExceptEscape();
    void unknownTypesCheckNoRadioAndComeBack();
    void languageFileReplacesTexts();
};

void TestBatchDialog::listImageFolder_data()
{
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QStringList>("folders");
    QTest::addColumn<QString>("listed");
    QTest::addColumn<QStringList>("expected");

    const QStringList mixedCase { "c.jpg", "B.gif", "a.png", "D.JPG" };
    QTest::newRow("keeps only image files")
        << QStringList { "a.PNG", "b.jpeg", "c.gif", ".hidden.png", "e.txt" }
        << QStringList { "d.jpg" } << QString() << QStringList { "a.PNG", "b.jpeg", "c.gif" };
    QTest::newRow("orders by name ignoring case")
        << mixedCase << QStringList() << QString()
        << QStringList { "a.png", "B.gif", "c.jpg", "D.JPG" };
    QTest::newRow("missing folder")
        << mixedCase << QStringList() << QStringLiteral("missing") << QStringList();
}

void TestBatchDialog::listImageFolder()
{
    QFETCH(QStringList, files);
    QFETCH(QStringList, folders);
    QFETCH(QString, listed);
    QFETCH(QStringList, expected);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    for (const QString &name : qAsConst(files))
        QVERIFY(writeFile(dir.filePath(name), QByteArray()));
    for (const QString &name : qAsConst(folders))
        QVERIFY(QDir(dir.path()).mkdir(name));
    for (QString &name : expected)
        name = dir.filePath(name);
    const QString folder = listed.isEmpty() ? dir.path() : dir.filePath(listed);
    QCOMPARE(BatchConvertDialog::listImageFolder(folder), expected);
}

void TestBatchDialog::execShowsPreloadedValues()
{
    BatchConvertDialog dialog;
    dialog.loadTexts();
    dialog.setValues(someValues());

    QString count, output;
    QList<bool> checks;
    ModalDriver driver;
    driver.then(&dialog, [&](QWidget *) {
        count = child<QLabel>(&dialog, "labelSelectCount")->text();
        output = child<QLabel>(&dialog, "labelOutputFolder")->text();
        for (const char *name : { "radioSortType1", "radioSortType2", "radioFilename1",
                 "radioFilename2", "checkOverwrite", "checkOpenFiler" })
            checks << child<QAbstractButton>(&dialog, name)->isChecked();
        QTest::keyClick(&dialog, Qt::Key_Escape);
    });
    QCOMPARE(dialog.exec(), 0);
    QCOMPARE(count, QStringLiteral("5 個のファイルが選択されました"));
    QCOMPARE(output, QStringLiteral("/maps/out"));
    QCOMPARE(checks, (QList<bool> { true, false, false, true, false, true }));
    QCOMPARE(driver.unexpected, QStringList());
}

void TestBatchDialog::folderReplacesPickedFiles()
{
    QTemporaryDir root;
    QVERIFY(root.isValid());
    const QString picked = makeFolder(root.path(), "picked");
    const QString folder = makeFolder(root.path(), "folder");
    for (const char *name : { "x1.png", "x2.jpg", "x3.gif" })
        QVERIFY(writeFile(picked + "/" + name, QByteArray()));
    for (const char *name : { "m1.jpg", "m2.png", "notes.txt" })
        QVERIFY(writeFile(folder + "/" + name, QByteArray()));

    BatchConvertDialog dialog;
    dialog.loadTexts();
    BatchDialogValues in = someValues();
    in.files.clear();
    in.inputFolder = root.path();
    dialog.setValues(in);

    PickerSeen filePicker, folderPicker;
    QString countAfterFiles;
    ModalDriver driver;
    driver.then(
        &dialog, [&](QWidget *) { child<QPushButton>(&dialog, "btnSelectFiles")->click(); });
    driver.then(isFileDialog, pick(quoted({ "x1.png", "x2.jpg", "x3.gif" }), &filePicker, picked));
    driver.then(&dialog, [&](QWidget *) {
        countAfterFiles = child<QLabel>(&dialog, "labelSelectCount")->text();
        child<QPushButton>(&dialog, "btnSelectFolder")->click();
    });
    driver.then(isFileDialog, pick(folder, &folderPicker, root.path()));
    driver.then(&dialog, [&](QWidget *) { child<QPushButton>(&dialog, "btnClose")->click(); });
    QCOMPARE(dialog.exec(), 0);
    QCOMPARE(driver.stepsLeft(), 0);
    QVERIFY(driver.boxes.isEmpty());

    QCOMPARE(filePicker.title, QStringLiteral("変換するファイルを選択して下さい"));
    QCOMPARE(filePicker.fileMode, QFileDialog::ExistingFiles);
    QCOMPARE(filePicker.nameFilters.size(), 1);
    QVERIFY(filePicker.nameFilters[0].startsWith("画像ファイル (*."));
    QVERIFY(filePicker.nameFilters[0].contains("*.jpeg"));
    QCOMPARE(filePicker.directory, root.path());
    QCOMPARE(countAfterFiles, QStringLiteral("3 個のファイルが選択されました"));

    QCOMPARE(
        folderPicker.title, QStringLiteral("変換するファイルが含まれるフォルダを選択して下さい"));
    QCOMPARE(folderPicker.fileMode, QFileDialog::Directory);
    // The next picker opens where the files were picked.
    QCOMPARE(folderPicker.directory, picked);

    const BatchDialogValues out = dialog.values();
    QCOMPARE(out.files, (QStringList { folder + "/m1.jpg", folder + "/m2.png" }));
    QCOMPARE(out.inputFolder, folder);
    QCOMPARE(child<QLabel>(&dialog, "labelSelectCount")->text(),
        QStringLiteral("2 個のファイルが選択されました"));
}

void TestBatchDialog::inputFolderKeptWhenClosedWithClose()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    for (const char *name : { "p.png", "q.png" })
        QVERIFY(writeFile(dir.filePath(name), QByteArray()));

    BatchConvertDialog dialog;
    dialog.loadTexts();
    dialog.setValues(someValues());
    ModalDriver driver;
    driver.then(
        &dialog, [&](QWidget *) { child<QPushButton>(&dialog, "btnSelectFiles")->click(); });
    driver.then(isFileDialog, pick(quoted({ "q.png", "p.png" }), nullptr, dir.path()));
    driver.then(&dialog, [&](QWidget *) { child<QPushButton>(&dialog, "btnClose")->click(); });
    QCOMPARE(dialog.exec(), 0);
    QCOMPARE(driver.stepsLeft(), 0);

    const BatchDialogValues out = dialog.values();
    QCOMPARE(out.inputFolder, dir.path());
    QStringList files = out.files;
    files.sort();
    QCOMPARE(files, (QStringList { dir.filePath("p.png"), dir.filePath("q.png") }));
    QCOMPARE(out.outputFolder, someValues().outputFolder);
}

void TestBatchDialog::cancelledPickersChangeNothing()
{
    BatchConvertDialog dialog;
    dialog.loadTexts();
    dialog.setValues(someValues());
    auto pressThenCancelPicker = [&](ModalDriver &driver, const char *button) {
        driver.then(&dialog,
            [&dialog, button](QWidget *) { child<QPushButton>(&dialog, button)->click(); });
        driver.then(isFileDialog, pick(QString()));
    };
    ModalDriver driver;
    pressThenCancelPicker(driver, "btnSelectFiles");
    pressThenCancelPicker(driver, "btnSelectFolder");
    pressThenCancelPicker(driver, "btnOutputFolder");
    QString count, output;
    driver.then(&dialog, [&](QWidget *) {
        count = child<QLabel>(&dialog, "labelSelectCount")->text();
        output = child<QLabel>(&dialog, "labelOutputFolder")->text();
        QTest::keyClick(&dialog, Qt::Key_Escape);
    });
    QCOMPARE(dialog.exec(), 0);
    QCOMPARE(driver.stepsLeft(), 0);

    const BatchDialogValues out = dialog.values();
    QCOMPARE(out.files, someValues().files);
    QCOMPARE(out.inputFolder, someValues().inputFolder);
    QCOMPARE(out.outputFolder, someValues().outputFolder);
    QCOMPARE(count, QStringLiteral("5 個のファイルが選択されました"));
    QCOMPARE(output, someValues().outputFolder);
}

void TestBatchDialog::outputFolderPicker()
{
    QTemporaryDir root;
    QVERIFY(root.isValid());
    const QString oldFolder = makeFolder(root.path(), "old");
    const QString newFolder = makeFolder(root.path(), "new");

    BatchConvertDialog dialog;
    dialog.loadTexts();
    BatchDialogValues in = someValues();
    in.outputFolder = oldFolder;
    dialog.setValues(in);

    PickerSeen seen;
    QString shown;
    ModalDriver driver;
    driver.then(
        &dialog, [&](QWidget *) { child<QPushButton>(&dialog, "btnOutputFolder")->click(); });
    driver.then(isFileDialog, pick(newFolder, &seen, root.path()));
    driver.then(&dialog, [&](QWidget *) {
        shown = child<QLabel>(&dialog, "labelOutputFolder")->text();
        QTest::keyClick(&dialog, Qt::Key_Escape);
    });
    QCOMPARE(dialog.exec(), 0);
    QCOMPARE(driver.stepsLeft(), 0);

    QCOMPARE(seen.title, QStringLiteral("変換後のファイルを保存するフォルダを選択して下さい"));
    QCOMPARE(seen.fileMode, QFileDialog::Directory);
    QCOMPARE(seen.directory, oldFolder);
    QCOMPARE(shown, newFolder);
    // A picked folder counts even when the dialog is then left with Escape.
    QCOMPARE(dialog.values().outputFolder, newFolder);
    QCOMPARE(dialog.values().files, someValues().files);
}

void TestBatchDialog::enterOnNonButtonStartsRun_data()
{
    QTest::addColumn<QString>("widget");
    for (const char *name : { "radioSortType1", "radioFilename2", "checkOverwrite" })
        QTest::newRow(name) << QString::fromLatin1(name);
}

void TestBatchDialog::enterOnNonButtonStartsRun()
{
    QFETCH(QString, widget);
    BatchConvertDialog dialog;
    dialog.loadTexts();
    dialog.setValues(someValues());
    ModalDriver driver;
    driver.then(&dialog, [&](QWidget *) {
        auto *target = dialog.findChild<QWidget *>(widget);
        target->setFocus();
        QTest::keyClick(target, Qt::Key_Return);
    });
    QCOMPARE(dialog.exec(), 1);
    QCOMPARE(driver.unexpected, QStringList());
}

void TestBatchDialog::leavingTakesChoicesExceptEscape_data()
{
    QTest::addColumn<QString>("leaveBy");
    QTest::addColumn<int>("result");
    QTest::addColumn<bool>("choicesTaken");
    QTest::newRow("Escape") << "Escape" << 0 << false;
    QTest::newRow("title-bar close") << "close" << 0 << false;
    QTest::newRow("btnClose") << "btnClose" << 0 << true;
    QTest::newRow("btnConvert") << "btnConvert" << 1 << true;
}

void TestBatchDialog::leavingTakesChoicesExceptEscape()
{
    QFETCH(QString, leaveBy);
    QFETCH(int, result);
    QFETCH(bool, choicesTaken);

    BatchConvertDialog dialog;
    dialog.loadTexts();
    const BatchDialogValues in = someValues(); // sort 0, numbered names, no overwrite
    dialog.setValues(in);
    ModalDriver driver;
    driver.then(&dialog, [&](QWidget *) {
        QTest::mouseClick(child<QRadioButton>(&dialog, "radioSortType2"), Qt::LeftButton);
        QTest::mouseClick(child<QRadioButton>(&dialog, "radioFilename1"), Qt::LeftButton);
        child<QCheckBox>(&dialog, "checkOverwrite")->setChecked(true);
        child<QCheckBox>(&dialog, "checkOpenFiler")->setChecked(false);
        child<QCheckBox>(&dialog, "checkAutoDetect")->setChecked(true);
        if (leaveBy == "Escape")
            QTest::keyClick(&dialog, Qt::Key_Escape);
        else if (leaveBy == "close")
            dialog.close();
        else
            dialog.findChild<QPushButton *>(leaveBy)->click();
    });
    QCOMPARE(dialog.exec(), result);
    QCOMPARE(driver.unexpected, QStringList());

    const BatchDialogValues out = dialog.values();
    QCOMPARE(out.sortType, choicesTaken ? 1 : in.sortType);
    QCOMPARE(out.nameType, choicesTaken ? 0 : in.nameType);
    QCOMPARE(out.overwrite, choicesTaken ? true : in.overwrite);
    QCOMPARE(out.openFiler, choicesTaken ? false : in.openFiler);
    QCOMPARE(out.autoDetect, choicesTaken ? true : in.autoDetect);
    QCOMPARE(out.files, in.files);
    QCOMPARE(out.outputFolder, in.outputFolder);
}

void TestBatchDialog::unknownTypesCheckNoRadioAndComeBack()
{
    BatchConvertDialog dialog;
    dialog.loadTexts();
    BatchDialogValues in = someValues();
    dialog.setValues(in);
    ModalDriver driver;
    driver.then(&dialog, [&](QWidget *) { QTest::keyClick(&dialog, Qt::Key_Escape); });
    QCOMPARE(dialog.exec(), 0);

    // A second run of the same dialog must clear what the first one checked.
    in.sortType = 2;
    in.nameType = -1;
    dialog.setValues(in);
    QList<bool> checks;
    driver.then(&dialog, [&](QWidget *) {
        for (const char *name :
            { "radioSortType1", "radioSortType2", "radioFilename1", "radioFilename2" })
            checks << child<QRadioButton>(&dialog, name)->isChecked();
        child<QPushButton>(&dialog, "btnClose")->click();
    });
    QCOMPARE(dialog.exec(), 0);
    QCOMPARE(checks, (QList<bool> { false, false, false, false }));
    QCOMPARE(dialog.values().sortType, 2);
    QCOMPARE(dialog.values().nameType, -1);
    QCOMPARE(driver.unexpected, QStringList());
}

void TestBatchDialog::languageFileReplacesTexts()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString langFile = dir.filePath(QStringLiteral("plano-miller_lang.ini"));
    writeIni(langFile,
        { { "batch_convert/title", QStringLiteral("Batch 変換") },
            { "batch_convert/lbl_5", "Output names" }, { "batch_convert/btn_cancel", "Close" },
            { "batch_convert/btn_sort2", "Newest first" },
            { "batch_convert/chk_open_filer", "Open the folder" },
            { "batch_convert/file_selected", " files chosen" } });

    BatchConvertDialog dialog;
    dialog.setLangFile(langFile);
    dialog.loadTexts();
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Batch 変換"));
    QCOMPARE(child<QLabel>(&dialog, "label_5")->text(), QStringLiteral("Output names"));
    QCOMPARE(child<QPushButton>(&dialog, "btnClose")->text(), QStringLiteral("Close"));
    QCOMPARE(
        child<QRadioButton>(&dialog, "radioSortType2")->text(), QStringLiteral("Newest first"));
    QCOMPARE(
        child<QCheckBox>(&dialog, "checkOpenFiler")->text(), QStringLiteral("Open the folder"));
    QCOMPARE(child<QLabel>(&dialog, "label_1")->text(),
        QStringLiteral("複数の画像を一括変換します（座標変換情報は現在の設定を使用）"));
    QCOMPARE(child<QPushButton>(&dialog, "btnConvert")->text(), QStringLiteral("画像変換開始"));

    BatchDialogValues in = someValues();
    in.files = QStringList { "/a.jpg", "/b.jpg" };
    dialog.setValues(in);
    QString count;
    ModalDriver driver;
    driver.then(&dialog, [&](QWidget *) {
        count = child<QLabel>(&dialog, "labelSelectCount")->text();
        QTest::keyClick(&dialog, Qt::Key_Escape);
    });
    QCOMPARE(dialog.exec(), 0);
    QCOMPARE(count, QStringLiteral("2 files chosen"));
}

QTEST_MAIN(TestBatchDialog)
#include "tst_batchdialog.moc"
