// The running windows with the shipped English file: no text of any window,
// menu or dialog may stay Japanese; the toolkit's own texts follow the file's
// locale; the language menu offers what lies in the language folder.
#include "app/languages.h"
#include "batch/batchconvertdialog.h"
#include "options/optionsdialog.h"
#include "preview/previewwindow.h"
#include "testsupport.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QLibraryInfo>
#include <QMenu>
#include <QTranslator>
#include <QtTest>

namespace {

bool isJapanese(const QString &text)
{
    for (const QChar c : text) {
        const ushort u = c.unicode();
        if ((u >= 0x3000 && u <= 0x9fff) || (u >= 0xff00 && u <= 0xffef))
            return true;
    }
    return false;
}

// Every text a user can see on the widget and below it, with where it is.
QStringList japaneseTexts(QWidget *top)
{
    QStringList found;
    const auto check = [&found](const QObject *o, const QString &text) {
        if (isJapanese(text))
            found << o->objectName() + QStringLiteral(": ") + text;
    };
    QList<QWidget *> widgets = top->findChildren<QWidget *>();
    widgets.prepend(top);
    for (QWidget *w : widgets) {
        // Its title and entries are the same in every language on purpose.
        if (w->objectName() == QLatin1String("menuLanguage"))
            continue;
        if (w->isWindow())
            check(w, w->windowTitle());
        if (auto *label = qobject_cast<QLabel *>(w))
            check(w, label->text());
        if (auto *button = qobject_cast<QAbstractButton *>(w))
            check(w, button->text());
        if (auto *combo = qobject_cast<QComboBox *>(w)) {
            for (int i = 0; i < combo->count(); ++i)
                check(w, combo->itemText(i));
        }
        if (auto *menu = qobject_cast<QMenu *>(w)) {
            check(w, menu->title());
            for (QAction *a : menu->actions()) {
                if (!a->menu() || a->menu()->objectName() != QLatin1String("menuLanguage"))
                    check(a, a->text() + a->toolTip());
            }
        }
    }
    return found;
}

} // namespace

class TestLanguage : public QObject
{
    Q_OBJECT

private slots:
    void englishLeavesNoJapaneseText();
    void toolkitTextsFollowTheLocale_data();
    void toolkitTextsFollowTheLocale();
    void chooseFile_data();
    void chooseFile();
    void menuChoiceIsStoredForTheNextStart();
};

void TestLanguage::englishLeavesNoJapaneseText()
{
    WindowHarness h;
    const QString english = h.path(QStringLiteral("plano-miller_lang.ini"));
    QVERIFY(QFile::copy(QStringLiteral(PLANO_SOURCE_DIR "/lang/english_lang.ini"), english));
    h.window.loadTexts();
    QCOMPARE(japaneseTexts(&h.window), QStringList());
    QCOMPARE(japaneseTexts(h.window.previewWindow()), QStringList());

    BatchConvertDialog batch(&h.window);
    batch.setLangFile(english);
    batch.loadTexts();
    BatchDialogValues values;
    values.files = QStringList { QStringLiteral("a.jpg") };
    batch.setValues(values);
    QCOMPARE(japaneseTexts(&batch), QStringList());

    OptionsDialog options(&h.window);
    options.setLangFile(english);
    options.loadTexts();
    QCOMPARE(japaneseTexts(&options), QStringList());

    // Without a file the window is Japanese, the form's English placeholders included.
    WindowHarness japanese;
    QVERIFY(isJapanese(japanese.child<QLabel>("labelLoadedFilename")->text()));
}

void TestLanguage::toolkitTextsFollowTheLocale_data()
{
    QTest::addColumn<QString>("langFile");
    QTest::addColumn<QString>("cancel");
    QTest::newRow("built in") << QString() << QStringLiteral("キャンセル");
    QTest::newRow("English") << QStringLiteral(PLANO_SOURCE_DIR "/lang/english_lang.ini")
                             << QStringLiteral("Cancel");
}

void TestLanguage::toolkitTextsFollowTheLocale()
{
    QFETCH(QString, langFile);
    QFETCH(QString, cancel);

    QTranslator translator;
    QVERIFY(translator.load(QStringLiteral("qtbase_") + Languages::localeOf(langFile),
        QLibraryInfo::location(QLibraryInfo::TranslationsPath)));
    const QString text = translator.translate("QPlatformTheme", "Cancel");
    QCOMPARE(text.isEmpty() ? QStringLiteral("Cancel") : text, cancel);
}

void TestLanguage::chooseFile_data()
{
    // "@" is the executable's folder, which holds plano-miller_lang.ini when
    // beside is set; the language folder holds english_lang.ini.
    QTest::addColumn<QString>("stored");
    QTest::addColumn<bool>("beside");
    QTest::addColumn<QString>("expected");

    const QString besideFile = QStringLiteral("@/plano-miller_lang.ini");
    const QString englishFile = QStringLiteral("@/lang/english_lang.ini");
    QTest::newRow("no choice, no file: built in") << QString() << false << QString();
    QTest::newRow("no choice: the file beside") << QString() << true << besideFile;
    QTest::newRow("Japanese chosen over the file beside")
        << QStringLiteral("ja") << true << QString();
    QTest::newRow("English chosen") << QStringLiteral("english") << true << englishFile;
    QTest::newRow("chosen file gone") << QStringLiteral("klingon") << true << besideFile;
    QTest::newRow("no path in a choice") << QStringLiteral("../english") << false << QString();
}

void TestLanguage::chooseFile()
{
    QFETCH(QString, stored);
    QFETCH(bool, beside);
    QFETCH(QString, expected);

    QTemporaryDir dir;
    const QString langDir = makeFolder(dir.path(), QStringLiteral("lang"));
    QVERIFY(QFile::copy(QStringLiteral(PLANO_SOURCE_DIR "/lang/english_lang.ini"),
        langDir + QStringLiteral("/english_lang.ini")));
    const QString besideFile = dir.filePath(QStringLiteral("plano-miller_lang.ini"));
    if (beside)
        QVERIFY(writeFile(besideFile, "[main]\ntitle=Mine\n"));
    expected.replace(QLatin1Char('@'), dir.path());
    QCOMPARE(Languages::chooseFile(stored, besideFile, langDir), expected);
}

void TestLanguage::menuChoiceIsStoredForTheNextStart()
{
    WindowHarness h;
    makeFolder(h.dir.path(), QStringLiteral("lang"));
    QVERIFY(QFile::copy(QStringLiteral(PLANO_SOURCE_DIR "/lang/english_lang.ini"),
        h.path(QStringLiteral("lang/english_lang.ini"))));
    h.window.loadTexts();
    auto *menu = h.child<QMenu>("menuLanguage");
    QVERIFY(menu);
    QStringList names;
    for (QAction *a : menu->actions())
        names << a->text() + (a->isChecked() ? QStringLiteral("*") : QString());
    QCOMPARE(names, (QStringList { QStringLiteral("日本語*"), QStringLiteral("English") }));

    menu->actions().at(1)->trigger();
    QCOMPARE(h.modal.boxes.size(), 1);
    // Said in the language chosen, which the user reads from now on.
    QCOMPARE(h.modal.boxes.first().text,
        QStringLiteral("The new language takes effect the next time the program starts."));
    // The texts change only at the next start.
    QCOMPARE(h.window.windowTitle(), QStringLiteral("Orbilux 画像変換ツール: Plano-Miller 1.0"));
    QVERIFY(h.window.saveSettings());
    QCOMPARE(iniValue(h.path(QStringLiteral("plano-miller.ini")), QStringLiteral("GUI/Language"))
                 .toString(),
        QStringLiteral("english"));
}

QTEST_MAIN(TestLanguage)
#include "tst_language.moc"
