// Batch convert dialog: what it shows of the values handed in, the three
// pickers, and which ways of leaving it take the user's choices.
#include "batch/batchconvertdialog.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <functional>

namespace {

// Answers what a dialog under test opens modally. Every message box is recorded
// and closed with its first button; each step runs once the active modal widget
// is what the step waits for. Polls from whichever event loop is running.
class ModalDriver : public QObject
{
public:
    using Match = std::function<bool(QWidget *)>;
    using Act = std::function<void(QWidget *)>;

    struct Box
    {
        QString text;
        QString title;
        QMessageBox::Icon icon;
        int buttonCount;
        QWidget *parent;
    };

    ModalDriver()
    {
        connect(&m_timer, &QTimer::timeout, this, &ModalDriver::poll);
        m_timer.start(10);
    }

    void then(Match match, Act act) { m_steps.append({ std::move(match), std::move(act) }); }
    int stepsLeft() const { return m_steps.size(); }

    QList<Box> boxes;
    // Dialogs still open when no step was left; each was rejected so the test ends.
    int forcedClosures = 0;

private:
    struct Step
    {
        Match match;
        Act act;
    };

    void poll()
    {
        if (m_busy)
            return;
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal)
            return;
        if (auto *box = qobject_cast<QMessageBox *>(modal)) {
            boxes.append({ box->text(), box->windowTitle(), box->icon(), box->buttons().size(),
                box->parentWidget() });
            if (!box->buttons().isEmpty())
                box->buttons().first()->click();
            else
                box->reject();
            return;
        }
        if (m_steps.isEmpty()) {
            ++forcedClosures;
            if (auto *dialog = qobject_cast<QDialog *>(modal))
                dialog->reject();
            return;
        }
        if (!m_steps.first().match(modal))
            return;
        const Step step = m_steps.takeFirst();
        m_busy = true;
        QPointer<QWidget> target(modal);
        // Acting from inside the timer's slot would keep the timer from firing
        // in a modal loop that the step opens.
        QTimer::singleShot(0, this, [this, step, target] {
            m_busy = false;
            if (target)
                step.act(target);
        });
    }

    QList<Step> m_steps;
    QTimer m_timer;
    bool m_busy = false;
};

bool touch(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly);
}

template <typename T> T *child(QWidget *dialog, const char *name)
{
    return dialog->findChild<T *>(QString::fromLatin1(name));
}

bool isFileDialog(QWidget *w)
{
    return qobject_cast<QFileDialog *>(w) != nullptr;
}

// What a picker looked like when it opened.
struct PickerSeen
{
    QString title;
    QFileDialog::FileMode mode = QFileDialog::AnyFile;
    QStringList nameFilters;
    QString directory;
};

// Answers a picker as a user typing into its name field would: names relative
// to dir, several of them each in double quotes.
PickerSeen answerPicker(QWidget *w, const QString &dir, const QString &typed)
{
    auto *picker = qobject_cast<QFileDialog *>(w);
    PickerSeen seen { picker->windowTitle(), picker->fileMode(), picker->nameFilters(),
        picker->directory().absolutePath() };
    picker->setDirectory(dir);
    if (auto *name = picker->findChild<QLineEdit *>(QStringLiteral("fileNameEdit")))
        name->setText(typed);
    // QDialog::accept is public and still reaches the picker's own checks.
    static_cast<QDialog *>(picker)->accept();
    return seen;
}

QString quoted(const QStringList &names)
{
    return QLatin1Char('"') + names.join(QStringLiteral("\" \"")) + QLatin1Char('"');
}

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
    void listImageFolderKeepsOnlyImageFiles();
    void listImageFolderOrdersByNameIgnoringCase();

    void execShowsPreloadedValues();
    void folderReplacesPickedFiles();
    void inputFolderKeptWhenClosedWithClose();
    void cancelledPickersChangeNothing();
    void outputFolderPicker();
    void enterOnNonButtonCloses_data();
    void enterOnNonButtonCloses();
    void leavingTakesChoicesExceptEscape_data();
    void leavingTakesChoicesExceptEscape();
    void unknownTypesCheckNoRadioAndComeBack();
    void languageFileReplacesTexts();
};

void TestBatchDialog::listImageFolderKeepsOnlyImageFiles()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(touch(dir.filePath("a.PNG")));
    QVERIFY(touch(dir.filePath("b.jpeg")));
    QVERIFY(touch(dir.filePath("c.gif")));
    QVERIFY(touch(dir.filePath(".hidden.png")));
    QVERIFY(QDir(dir.path()).mkdir("d.jpg"));

    const QStringList expected { dir.path() + "/a.PNG", dir.path() + "/c.gif" };
    QCOMPARE(BatchConvertDialog::listImageFolder(dir.path()), expected);
}

void TestBatchDialog::listImageFolderOrdersByNameIgnoringCase()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    for (const char *name : { "c.jpg", "B.gif", "a.png", "D.JPG" })
        QVERIFY(touch(dir.filePath(name)));
    const QStringList expected { dir.path() + "/a.png", dir.path() + "/B.gif",
        dir.path() + "/c.jpg", dir.path() + "/D.JPG" };
    QCOMPARE(BatchConvertDialog::listImageFolder(dir.path()), expected);
    QCOMPARE(BatchConvertDialog::listImageFolder(dir.filePath("missing")), QStringList());
}

void TestBatchDialog::execShowsPreloadedValues()
{
    BatchConvertDialog dialog;
    dialog.loadTexts();
    QCOMPARE(dialog.size(), QSize(489, 452));
    dialog.setValues(someValues());

    QString count, output;
    QList<bool> checks;
    ModalDriver driver;
    driver.then([&](QWidget *w) { return w == &dialog; },
        [&](QWidget *) {
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
    QCOMPARE(driver.forcedClosures, 0);
}

void TestBatchDialog::folderReplacesPickedFiles()
{
    QTemporaryDir root;
    QVERIFY(root.isValid());
    QDir(root.path()).mkdir("picked");
    QDir(root.path()).mkdir("folder");
    const QString picked = root.filePath("picked");
    const QString folder = root.filePath("folder");
    for (const char *name : { "x1.png", "x2.jpg", "x3.gif" })
        QVERIFY(touch(picked + "/" + name));
    for (const char *name : { "m1.jpg", "m2.png", "notes.txt" })
        QVERIFY(touch(folder + "/" + name));

    BatchConvertDialog dialog;
    dialog.loadTexts();
    BatchDialogValues in = someValues();
    in.files.clear();
    in.inputFolder = root.path();
    dialog.setValues(in);

    PickerSeen filePicker, folderPicker;
    QString countAfterFiles;
    ModalDriver driver;
    driver.then([&](QWidget *w) { return w == &dialog; },
        [&](QWidget *) { child<QPushButton>(&dialog, "btnSelectFiles")->click(); });
    driver.then(isFileDialog, [&](QWidget *w) {
        filePicker = answerPicker(w, picked, quoted({ "x1.png", "x2.jpg", "x3.gif" }));
    });
    driver.then([&](QWidget *w) { return w == &dialog; },
        [&](QWidget *) {
            countAfterFiles = child<QLabel>(&dialog, "labelSelectCount")->text();
            child<QPushButton>(&dialog, "btnSelectFolder")->click();
        });
    driver.then(
        isFileDialog, [&](QWidget *w) { folderPicker = answerPicker(w, root.path(), folder); });
    driver.then([&](QWidget *w) { return w == &dialog; },
        [&](QWidget *) { child<QPushButton>(&dialog, "btnClose")->click(); });
    QCOMPARE(dialog.exec(), 0);
    QCOMPARE(driver.stepsLeft(), 0);
    QVERIFY(driver.boxes.isEmpty());

    QCOMPARE(filePicker.title, QStringLiteral("変換するファイルを選択して下さい"));
    QCOMPARE(filePicker.mode, QFileDialog::ExistingFiles);
    QCOMPARE(filePicker.nameFilters, QStringList { "画像ファイル (*.gif *.png *.jpg)" });
    QCOMPARE(filePicker.directory, root.path());
    QCOMPARE(countAfterFiles, QStringLiteral("3 個のファイルが選択されました"));

    QCOMPARE(
        folderPicker.title, QStringLiteral("変換するファイルが含まれるフォルダを選択して下さい"));
    QCOMPARE(folderPicker.mode, QFileDialog::Directory);
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
        QVERIFY(touch(dir.filePath(name)));

    BatchConvertDialog dialog;
    dialog.loadTexts();
    dialog.setValues(someValues());
    ModalDriver driver;
    driver.then([&](QWidget *w) { return w == &dialog; },
        [&](QWidget *) { child<QPushButton>(&dialog, "btnSelectFiles")->click(); });
    driver.then(isFileDialog, [&](QWidget *w) {
        answerPicker(w, dir.path(), quoted({ "q.png", "p.png" }));
    });
    driver.then([&](QWidget *w) { return w == &dialog; },
        [&](QWidget *) { child<QPushButton>(&dialog, "btnClose")->click(); });
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
        driver.then([&dialog](QWidget *w) { return w == &dialog; },
            [&dialog, button](QWidget *) { child<QPushButton>(&dialog, button)->click(); });
        driver.then(isFileDialog, [](QWidget *w) { qobject_cast<QDialog *>(w)->reject(); });
    };
    ModalDriver driver;
    pressThenCancelPicker(driver, "btnSelectFiles");
    pressThenCancelPicker(driver, "btnSelectFolder");
    pressThenCancelPicker(driver, "btnOutputFolder");
    QString count, output;
    driver.then([&](QWidget *w) { return w == &dialog; },
        [&](QWidget *) {
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
    QDir(root.path()).mkdir("old");
    QDir(root.path()).mkdir("new");
    const QString oldFolder = root.filePath("old");
    const QString newFolder = root.filePath("new");

    BatchConvertDialog dialog;
    dialog.loadTexts();
    BatchDialogValues in = someValues();
    in.outputFolder = oldFolder;
    dialog.setValues(in);

    PickerSeen seen;
    QString shown;
    ModalDriver driver;
    driver.then([&](QWidget *w) { return w == &dialog; },
        [&](QWidget *) { child<QPushButton>(&dialog, "btnOutputFolder")->click(); });
    driver.then(isFileDialog, [&](QWidget *w) { seen = answerPicker(w, root.path(), newFolder); });
    driver.then([&](QWidget *w) { return w == &dialog; },
        [&](QWidget *) {
            shown = child<QLabel>(&dialog, "labelOutputFolder")->text();
            QTest::keyClick(&dialog, Qt::Key_Escape);
        });
    QCOMPARE(dialog.exec(), 0);
    QCOMPARE(driver.stepsLeft(), 0);

    QCOMPARE(seen.title, QStringLiteral("変換後のファイルを保存するフォルダを選択して下さい"));
    QCOMPARE(seen.mode, QFileDialog::Directory);
    QCOMPARE(seen.directory, oldFolder);
    QCOMPARE(shown, newFolder);
    // A picked folder counts even when the dialog is then left with Escape.
    QCOMPARE(dialog.values().outputFolder, newFolder);
    QCOMPARE(dialog.values().files, someValues().files);
}

void TestBatchDialog::enterOnNonButtonCloses_data()
{
    QTest::addColumn<QString>("widget");
    for (const char *name : { "radioSortType1", "radioFilename2", "checkOverwrite" })
        QTest::newRow(name) << QString::fromLatin1(name);
}

void TestBatchDialog::enterOnNonButtonCloses()
{
    QFETCH(QString, widget);
    BatchConvertDialog dialog;
    dialog.loadTexts();
    dialog.setValues(someValues());
    ModalDriver driver;
    driver.then([&](QWidget *w) { return w == &dialog; },
        [&](QWidget *) {
            auto *target = dialog.findChild<QWidget *>(widget);
            target->setFocus();
            QTest::keyClick(target, Qt::Key_Return);
        });
    QCOMPARE(dialog.exec(), 0);
    QCOMPARE(driver.forcedClosures, 0);
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
    driver.then([&](QWidget *w) { return w == &dialog; },
        [&](QWidget *) {
            QTest::mouseClick(child<QRadioButton>(&dialog, "radioSortType2"), Qt::LeftButton);
            QTest::mouseClick(child<QRadioButton>(&dialog, "radioFilename1"), Qt::LeftButton);
            child<QCheckBox>(&dialog, "checkOverwrite")->setChecked(true);
            child<QCheckBox>(&dialog, "checkOpenFiler")->setChecked(false);
            if (leaveBy == "Escape")
                QTest::keyClick(&dialog, Qt::Key_Escape);
            else if (leaveBy == "close")
                dialog.close();
            else
                dialog.findChild<QPushButton *>(leaveBy)->click();
        });
    QCOMPARE(dialog.exec(), result);
    QCOMPARE(driver.forcedClosures, 0);

    const BatchDialogValues out = dialog.values();
    QCOMPARE(out.sortType, choicesTaken ? 1 : in.sortType);
    QCOMPARE(out.nameType, choicesTaken ? 0 : in.nameType);
    QCOMPARE(out.overwrite, choicesTaken ? true : in.overwrite);
    QCOMPARE(out.openFiler, choicesTaken ? false : in.openFiler);
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
    driver.then([&](QWidget *w) { return w == &dialog; },
        [&](QWidget *) { QTest::keyClick(&dialog, Qt::Key_Escape); });
    QCOMPARE(dialog.exec(), 0);

    // A second run of the same dialog must clear what the first one checked.
    in.sortType = 2;
    in.nameType = -1;
    dialog.setValues(in);
    QList<bool> checks;
    driver.then([&](QWidget *w) { return w == &dialog; },
        [&](QWidget *) {
            for (const char *name :
                { "radioSortType1", "radioSortType2", "radioFilename1", "radioFilename2" })
                checks << child<QRadioButton>(&dialog, name)->isChecked();
            child<QPushButton>(&dialog, "btnClose")->click();
        });
    QCOMPARE(dialog.exec(), 0);
    QCOMPARE(checks, (QList<bool> { false, false, false, false }));
    QCOMPARE(dialog.values().sortType, 2);
    QCOMPARE(dialog.values().nameType, -1);
    QCOMPARE(driver.forcedClosures, 0);
}

void TestBatchDialog::languageFileReplacesTexts()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString langFile = dir.filePath(QStringLiteral("plano-miller_lang.ini"));
    {
        QSettings ini(langFile, QSettings::IniFormat);
        ini.setIniCodec("UTF-8");
        ini.beginGroup(QStringLiteral("batch_convert"));
        ini.setValue(QStringLiteral("title"), QStringLiteral("Batch 変換"));
        ini.setValue(QStringLiteral("lbl_5"), QStringLiteral("Output names"));
        ini.setValue(QStringLiteral("btn_cancel"), QStringLiteral("Close"));
        ini.setValue(QStringLiteral("btn_sort2"), QStringLiteral("Newest first"));
        ini.setValue(QStringLiteral("chk_open_filer"), QStringLiteral("Open the folder"));
        ini.setValue(QStringLiteral("file_selected"), QStringLiteral(" files chosen"));
        ini.endGroup();
    }

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
    driver.then([&](QWidget *w) { return w == &dialog; },
        [&](QWidget *) {
            count = child<QLabel>(&dialog, "labelSelectCount")->text();
            QTest::keyClick(&dialog, Qt::Key_Escape);
        });
    QCOMPARE(dialog.exec(), 0);
    QCOMPARE(count, QStringLiteral("2 files chosen"));
}

QTEST_MAIN(TestBatchDialog)
#include "tst_batchdialog.moc"
