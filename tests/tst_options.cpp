// Options dialog: the range rules on plain values, then the dialog itself with
// OK, Cancel, Enter as OK and a language file.
#include "options/optionsdialog.h"
#include "options/optionvalues.h"
#include "testsupport.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QString kFormTitle = QStringLiteral("Orbilux 画像変換ツール（設定）");
const QString kErrorText = QStringLiteral("範囲内で入力して下さい");

OptionValues someValues()
{
    OptionValues v;
    v.outputWidth = 3000;
    v.outputHeight = 1500;
    v.quality = 70;
    v.formatIndex = 1;
    v.penColor = QStringLiteral("#ff00ff00");
    v.penWidth = 10;
    v.poleFill = true;
    return v;
}

void compareValues(const OptionValues &actual, const OptionValues &expected)
{
    QCOMPARE(actual.outputWidth, expected.outputWidth);
    QCOMPARE(actual.outputHeight, expected.outputHeight);
    QCOMPARE(actual.quality, expected.quality);
    QCOMPARE(actual.formatIndex, expected.formatIndex);
    QCOMPARE(actual.penColor, expected.penColor);
    QCOMPARE(actual.penWidth, expected.penWidth);
    QCOMPARE(actual.poleFill, expected.poleFill);
}

} // namespace

class TestOptions : public QObject
{
    Q_OBJECT

private slots:
    void fieldRanges_data();
    void fieldRanges();
    void checkOrderAndUncheckedFields();

    void formHasItsFieldsInTabOrder();
    void shownThenCancelled_data();
    void shownThenCancelled();
    void enterInLineEditAccepts_data();
    void enterInLineEditAccepts();
    void okWithValidValuesAccepts();
    void twoFailingFieldsGiveOneWarning();
    void languageFileReplacesTexts();
};

void TestOptions::fieldRanges_data()
{
    QTest::addColumn<int>("field");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("passes");

    const int width = int(OptionField::OutputWidth);
    QTest::newRow("width 1024") << width << "1024" << true;
    QTest::newRow("width 8192") << width << "8192" << true;
    QTest::newRow("width 1023") << width << "1023" << false;
    QTest::newRow("width 8193") << width << "8193" << false;
    QTest::newRow("width empty") << width << "" << false;
    QTest::newRow("width abc") << width << "abc" << false;
    QTest::newRow("width 2048.0") << width << "2048.0" << false;
    QTest::newRow("width 0x800") << width << "0x800" << false;

    const int height = int(OptionField::OutputHeight);
    QTest::newRow("height 1024") << height << "1024" << true;
    QTest::newRow("height 8192") << height << "8192" << true;
    QTest::newRow("height 1023") << height << "1023" << false;
    QTest::newRow("height 8193") << height << "8193" << false;

    const int quality = int(OptionField::Quality);
    QTest::newRow("quality 1") << quality << "1" << true;
    QTest::newRow("quality 100") << quality << "100" << true;
    QTest::newRow("quality 0") << quality << "0" << false;
    QTest::newRow("quality 101") << quality << "101" << false;

    const int pen = int(OptionField::PenWidth);
    QTest::newRow("pen 1") << pen << "1" << true;
    QTest::newRow("pen 32") << pen << "32" << true;
    QTest::newRow("pen 0") << pen << "0" << false;
    QTest::newRow("pen 33") << pen << "33" << false;
    QTest::newRow("pen -3") << pen << "-3" << false;
}

void TestOptions::fieldRanges()
{
    QFETCH(int, field);
    QFETCH(QString, text);
    QFETCH(bool, passes);

    OptionValues values = optionDefaults();
    const int parsed = parseOptionInt(text);
    switch (OptionField(field)) {
    case OptionField::OutputWidth:
        values.outputWidth = parsed;
        break;
    case OptionField::OutputHeight:
        values.outputHeight = parsed;
        break;
    case OptionField::Quality:
        values.quality = parsed;
        break;
    case OptionField::PenWidth:
        values.penWidth = parsed;
        break;
    }
    const QList<OptionField> expected
        = passes ? QList<OptionField>() : QList<OptionField> { OptionField(field) };
    QCOMPARE(failingOptionFields(values), expected);
}

void TestOptions::checkOrderAndUncheckedFields()
{
    QCOMPARE(parseOptionInt(QStringLiteral("abc")), 0);
    QCOMPARE(parseOptionInt(QStringLiteral("2048.0")), 0);
    QCOMPARE(parseOptionInt(QStringLiteral("0x800")), 0);
    QCOMPARE(parseOptionInt(QStringLiteral("4096")), 4096);

    OptionValues values;
    values.outputWidth = 0;
    values.outputHeight = 9000;
    values.quality = 0;
    values.penWidth = 40;
    const QList<OptionField> all { OptionField::OutputWidth, OptionField::OutputHeight,
        OptionField::Quality, OptionField::PenWidth };
    QCOMPARE(failingOptionFields(values), all);

    // Neither the format nor the colour text is checked here.
    values = optionDefaults();
    values.formatIndex = 7;
    values.penColor = QStringLiteral("no colour");
    QVERIFY(failingOptionFields(values).isEmpty());
}

void TestOptions::formHasItsFieldsInTabOrder()
{
    OptionsDialog dialog;
    QCOMPARE(dialog.objectName(), QStringLiteral("OptionsDialog"));
    QCOMPARE(dialog.size(), QSize(350, 330));
    QCOMPARE(dialog.windowTitle(), kFormTitle);
    auto *format = child<QComboBox>(&dialog, "cbFormat");
    QVERIFY(format);
    QCOMPARE(format->count(), 2);
    QCOMPARE(format->itemText(0), QStringLiteral("JPG"));
    QCOMPARE(format->itemText(1), QStringLiteral("PNG"));

    const QStringList expected { "lineOutputSizeX", "lineOutputSizeY", "cbFormat", "lineQuality",
        "linePenColor", "linePenSize", "cbResampling", "chkPoleFill", "btnDefault", "btnOk",
        "btnCancel" };
    QStringList order;
    QWidget *w = child<QWidget>(&dialog, "lineOutputSizeX");
    QVERIFY(w);
    do {
        if (w->focusPolicy() & Qt::TabFocus)
            order << w->objectName();
        w = w->nextInFocusChain();
    } while (w && order.size() < expected.size() && w != &dialog);
    QCOMPARE(order, expected);
}

void TestOptions::shownThenCancelled_data()
{
    QTest::addColumn<QString>("penColor");
    QTest::addColumn<bool>("pressDefault");
    QTest::addColumn<QStringList>("shown");
    QTest::addColumn<int>("format");

    QTest::newRow("values, pen colour upper case")
        << QStringLiteral("#ffff0000") << false
        << QStringList { "3000", "1500", "70", "10", "#FFFF0000" } << 1;
    QTest::newRow("default button, then cancel keeps values")
        << someValues().penColor << true << QStringList { "2048", "1024", "85", "3", "#FFFF0000" }
        << 0;
}

void TestOptions::shownThenCancelled()
{
    QFETCH(QString, penColor);
    QFETCH(bool, pressDefault);
    QFETCH(QStringList, shown);
    QFETCH(int, format);

    OptionsDialog dialog;
    dialog.loadTexts();
    OptionValues in = someValues();
    in.penColor = penColor;
    dialog.setValues(in);

    QStringList texts;
    int formatIndex = -1;
    ModalDriver driver;
    driver.then(&dialog, [&](QWidget *) {
        if (pressDefault)
            QTest::mouseClick(child<QPushButton>(&dialog, "btnDefault"), Qt::LeftButton);
        for (const char *name :
            { "lineOutputSizeX", "lineOutputSizeY", "lineQuality", "linePenSize", "linePenColor" })
            texts << child<QLineEdit>(&dialog, name)->text();
        formatIndex = child<QComboBox>(&dialog, "cbFormat")->currentIndex();
        QTest::mouseClick(child<QPushButton>(&dialog, "btnCancel"), Qt::LeftButton);
    });
    QCOMPARE(dialog.exec(), 0);
    QCOMPARE(texts, shown);
    QCOMPARE(formatIndex, format);
    compareValues(dialog.values(), in);
    QVERIFY(driver.boxes.isEmpty());
    QCOMPARE(driver.unexpected, QStringList());
}

void TestOptions::enterInLineEditAccepts_data()
{
    QTest::addColumn<QString>("edit");
    QTest::addColumn<QString>("text");
    QTest::newRow("quality") << "lineQuality"
                             << "90";
    QTest::newRow("width") << "lineOutputSizeX"
                           << "2000";
    QTest::newRow("pen colour") << "linePenColor"
                                << "#FF112233";
}

// Enter in a field is OK: the typed value is taken.
void TestOptions::enterInLineEditAccepts()
{
    QFETCH(QString, edit);
    QFETCH(QString, text);
    OptionsDialog dialog;
    dialog.loadTexts();
    dialog.setValues(someValues());

    ModalDriver driver;
    driver.then(&dialog, [&](QWidget *) {
        auto *line = dialog.findChild<QLineEdit *>(edit);
        line->setFocus();
        line->setText(text);
        QTest::keyClick(line, Qt::Key_Return);
    });
    QCOMPARE(dialog.exec(), 1);
    const OptionValues v = dialog.values();
    const QString taken = edit == "lineQuality" ? QString::number(v.quality)
        : edit == "lineOutputSizeX"             ? QString::number(v.outputWidth)
                                                : v.penColor;
    QCOMPARE(taken, text);
    QVERIFY(driver.boxes.isEmpty());
}

void TestOptions::okWithValidValuesAccepts()
{
    OptionsDialog dialog;
    dialog.loadTexts();
    dialog.setValues(someValues());

    ModalDriver driver;
    bool poleFillShown = false;
    driver.then(&dialog, [&](QWidget *) {
        auto *poleFill = child<QCheckBox>(&dialog, "chkPoleFill");
        QVERIFY(poleFill);
        poleFillShown = poleFill->isChecked();
        poleFill->setChecked(false);
        child<QLineEdit>(&dialog, "lineOutputSizeX")->setText("8192");
        child<QLineEdit>(&dialog, "lineOutputSizeY")->setText("1024");
        child<QLineEdit>(&dialog, "lineQuality")->setText("100");
        child<QComboBox>(&dialog, "cbFormat")->setCurrentIndex(0);
        child<QLineEdit>(&dialog, "linePenColor")->setText("#80112233");
        child<QLineEdit>(&dialog, "linePenSize")->setText("32");
        QTest::mouseClick(child<QPushButton>(&dialog, "btnOk"), Qt::LeftButton);
    });
    QCOMPARE(dialog.exec(), 1);
    OptionValues expected;
    expected.outputWidth = 8192;
    expected.outputHeight = 1024;
    expected.quality = 100;
    expected.formatIndex = 0;
    expected.penColor = QStringLiteral("#80112233");
    expected.penWidth = 32;
    expected.poleFill = false;
    QVERIFY(poleFillShown);
    compareValues(dialog.values(), expected);
    QVERIFY(driver.boxes.isEmpty());
}

void TestOptions::twoFailingFieldsGiveOneWarning()
{
    OptionsDialog dialog;
    dialog.setLangFile(QStringLiteral("/nonexistent/plano-miller_lang.ini"));
    dialog.loadTexts();
    dialog.setValues(optionDefaults());

    QString widthSelected, heightSelected, penSelected;
    QWidget *focused = nullptr;
    OptionValues afterOk;
    ModalDriver driver;
    driver.then(&dialog, [&](QWidget *) {
        child<QLineEdit>(&dialog, "lineOutputSizeX")->setText("500");
        child<QLineEdit>(&dialog, "linePenSize")->setText("40");
        QTest::mouseClick(child<QPushButton>(&dialog, "btnOk"), Qt::LeftButton);
    });
    // The dialog is modal again once the warning has been answered.
    driver.then(&dialog, [&](QWidget *) {
        widthSelected = child<QLineEdit>(&dialog, "lineOutputSizeX")->selectedText();
        heightSelected = child<QLineEdit>(&dialog, "lineOutputSizeY")->selectedText();
        penSelected = child<QLineEdit>(&dialog, "linePenSize")->selectedText();
        focused = dialog.focusWidget();
        afterOk = dialog.values();
        child<QPushButton>(&dialog, "btnCancel")->click();
    });
    QCOMPARE(dialog.exec(), 0);
    QCOMPARE(driver.stepsLeft(), 0);

    QCOMPARE(driver.boxes.size(), 1);
    const ModalDriver::Box &box = driver.boxes.first();
    QCOMPARE(box.text, kErrorText);
    QCOMPARE(box.title, kFormTitle);
    QCOMPARE(box.icon, QMessageBox::Warning);
    QCOMPARE(box.buttonCount, 1);
    QCOMPARE(box.parent, static_cast<QWidget *>(&dialog));

    QCOMPARE(widthSelected, QStringLiteral("500"));
    QCOMPARE(penSelected, QStringLiteral("40"));
    QCOMPARE(heightSelected, QString());
    QCOMPARE(focused, child<QWidget>(&dialog, "linePenSize"));
    // The rejected values are kept; only the caller decides to ignore them.
    QCOMPARE(afterOk.outputWidth, 500);
    QCOMPARE(afterOk.penWidth, 40);
}

void TestOptions::languageFileReplacesTexts()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString langFile = dir.filePath(QStringLiteral("plano-miller_lang.ini"));
    writeIni(langFile,
        { { "config/title", QStringLiteral("Réglages 設定") },
            { "config/btn_default", QStringLiteral("Défauts") },
            { "config/error_mess", "Hors limites" }, { "config/lbl_3", QString() },
            { "main/btn_cancel", "not for this dialog" } });

    OptionsDialog dialog;
    dialog.setLangFile(langFile);
    dialog.loadTexts();
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Réglages 設定"));
    QCOMPARE(child<QPushButton>(&dialog, "btnDefault")->text(), QStringLiteral("Défauts"));
    QCOMPARE(child<QPushButton>(&dialog, "btnCancel")->text(), QStringLiteral("キャンセル"));
    QCOMPARE(child<QPushButton>(&dialog, "btnOk")->text(), QStringLiteral("OK"));
    QCOMPARE(child<QLabel>(&dialog, "label_3")->text(), QStringLiteral("画像形式"));
    QCOMPARE(child<QLabel>(&dialog, "label_2")->text(),
        QStringLiteral("画像変換後のピクセルサイズ\n(1024x1024 - 8192x8192)"));

    dialog.setValues(optionDefaults());
    ModalDriver driver;
    driver.then(&dialog, [&](QWidget *) {
        child<QLineEdit>(&dialog, "lineQuality")->setText("0");
        child<QPushButton>(&dialog, "btnOk")->click();
    });
    driver.then(&dialog, [&](QWidget *) { child<QPushButton>(&dialog, "btnCancel")->click(); });
    QCOMPARE(dialog.exec(), 0);
    QCOMPARE(driver.boxes.size(), 1);
    QCOMPARE(driver.boxes.first().text, QStringLiteral("Hors limites"));
    QCOMPARE(driver.boxes.first().title, QStringLiteral("Réglages 設定"));
}

QTEST_MAIN(TestOptions)
#include "tst_options.moc"
