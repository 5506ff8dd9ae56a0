// Language files: which texts reach widgets, which land in a window's text
// table, what the INI notation does to them, and the shipped English file.
#include "app/langtexts.h"
#include "testsupport.h"

#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

struct Group
{
    QString name;
    QStringList widgetKeys;
    TextDefaults tableDefaults;
};

QList<Group> allGroups()
{
    return {
        { QStringLiteral("main"), LangTexts::mainWidgetKeys(), LangTexts::mainTableDefaults() },
        { QStringLiteral("batch_convert"), LangTexts::batchWidgetKeys(),
            LangTexts::batchTableDefaults() },
        { QStringLiteral("config"), LangTexts::configWidgetKeys(),
            LangTexts::configTableDefaults() },
    };
}

using Applied = QList<QPair<QString, QString>>;

struct Reading
{
    Applied applied;
    TextTable table;
};

// One group of a language file, every text meant for a widget collected.
Reading readTexts(const QString &file, const QString &groupName)
{
    Reading r;
    for (const Group &group : allGroups()) {
        if (group.name != groupName)
            continue;
        LangTexts::readGroup(
            file, group.name, group.widgetKeys, group.tableDefaults,
            [&r](const QString &key, const QString &text) {
                r.applied.append(qMakePair(key, text));
            },
            r.table);
    }
    return r;
}

Reading readMain(const QString &file)
{
    return readTexts(file, QStringLiteral("main"));
}

QString defaultOf(const TextDefaults &defaults, const QString &key)
{
    for (const auto &entry : defaults) {
        if (entry.first == key)
            return entry.second;
    }
    return QString();
}

} // namespace

class TestLangTexts : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void onlyTitleLeavesEveryOtherTextBuiltIn();
    void laterKeyOfOneWidgetWins_data();
    void laterKeyOfOneWidgetWins();
    void iniNotation_data();
    void iniNotation();
    void missingFileGivesDefaults();
    void groupsAreSeparate();
    void keysOfAGroupAreDistinct();
    void batchFailureMessageFromDefaults();

    void englishFileCoversEveryKey_data();
    void englishFileCoversEveryKey();
    void englishFileKeepsMessageBlanks();

private:
    QString langFile(const QByteArray &content);

    std::unique_ptr<QTemporaryDir> m_tmp;
};

void TestLangTexts::init()
{
    m_tmp = std::make_unique<QTemporaryDir>();
    QVERIFY(m_tmp->isValid());
}

QString TestLangTexts::langFile(const QByteArray &content)
{
    const QString path = m_tmp->filePath(QStringLiteral("plano-miller_lang.ini"));
    return writeFile(path, content) ? path : QString();
}

void TestLangTexts::onlyTitleLeavesEveryOtherTextBuiltIn()
{
    const Reading r = readMain(langFile("[main]\ntitle=My Map Tool\n"));

    QVERIFY(r.applied.isEmpty());
    const TextDefaults &defaults = LangTexts::mainTableDefaults();
    QCOMPARE(r.table.keys().size(), defaults.size());
    for (const auto &entry : defaults) {
        const QString expected
            = entry.first == QLatin1String("title") ? QStringLiteral("My Map Tool") : entry.second;
        QCOMPARE(r.table.value(entry.first), expected);
    }
    QCOMPARE(r.table.value(QStringLiteral("preview_window_title")),
        QStringLiteral("Orbilux 画像変換ツール: Plano-Miller （プレビュー）"));
}

void TestLangTexts::laterKeyOfOneWidgetWins_data()
{
    QTest::addColumn<QByteArray>("content");

    QTest::newRow("lbl_1 first in the file") << QByteArray("[main]\nlbl_1=Open A\n"
                                                           "labelOpenFile=Open B\n");
    QTest::newRow("labelOpenFile first in the file") << QByteArray("[main]\nlabelOpenFile=Open B\n"
                                                                   "lbl_1=Open A\n");
}

void TestLangTexts::laterKeyOfOneWidgetWins()
{
    QFETCH(QByteArray, content);

    // Both keys feed labelOpenFile; the reading order, not the file's, decides.
    const Reading r = readMain(langFile(content));
    const Applied expected { qMakePair(QStringLiteral("lbl_1"), QStringLiteral("Open A")),
        qMakePair(QStringLiteral("labelOpenFile"), QStringLiteral("Open B")) };
    QCOMPARE(r.applied, expected);
}

void TestLangTexts::iniNotation_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("expected");

    const TextDefaults &d = LangTexts::mainTableDefaults();
    QTest::newRow("unquoted loses leading blank")
        << QByteArray("open_error= could not be opened") << QStringLiteral("open_error")
        << QStringLiteral("could not be opened");
    QTest::newRow("quoted keeps leading blank")
        << QByteArray("open_error=\" could not be opened\"") << QStringLiteral("open_error")
        << QStringLiteral(" could not be opened");
    QTest::newRow("unquoted comma reads as empty")
        << QByteArray("batch_fail2=a, b") << QStringLiteral("batch_fail2")
        << defaultOf(d, QStringLiteral("batch_fail2"));
    QTest::newRow("quoted comma is text")
        << QByteArray("batch_fail2=\" ok, \"") << QStringLiteral("batch_fail2")
        << QStringLiteral(" ok, ");
    QTest::newRow("escaped line break")
        << QByteArray("batch_fail1=Failed\\n(") << QStringLiteral("batch_fail1")
        << QStringLiteral("Failed\n(");
    QTest::newRow("empty value") << QByteArray("saved_file=") << QStringLiteral("saved_file")
                                 << defaultOf(d, QStringLiteral("saved_file"));
    QTest::newRow("byte array notation is no text")
        << QByteArray("saved_file=@ByteArray(saved)") << QStringLiteral("saved_file")
        << defaultOf(d, QStringLiteral("saved_file"));
    QTest::newRow("UTF-8") << QByteArray("map_proj_miller=Миллер")
                           << QStringLiteral("map_proj_miller") << QStringLiteral("Миллер");
}

void TestLangTexts::iniNotation()
{
    QFETCH(QByteArray, line);
    QFETCH(QString, key);
    QFETCH(QString, expected);

    const Reading r = readMain(langFile("[main]\n" + line + "\n"));
    QCOMPARE(r.table.value(key), expected);
}

void TestLangTexts::missingFileGivesDefaults()
{
    const QString missing = m_tmp->filePath(QStringLiteral("none_lang.ini"));
    for (const Group &group : allGroups()) {
        const Reading r = readTexts(missing, group.name);
        QVERIFY(r.applied.isEmpty());
        QCOMPARE(r.table.keys().size(), group.tableDefaults.size());
        for (const auto &entry : group.tableDefaults)
            QCOMPARE(r.table.value(entry.first), entry.second);
    }
    QVERIFY(!QFile::exists(missing));
}

void TestLangTexts::groupsAreSeparate()
{
    const QString file = langFile("[main]\ntitle=Main\nfile_filter=Pictures (*.png)\n"
                                  "[batch_convert]\ntitle=Batch\nfile_selected=\" chosen\"\n"
                                  "[config]\ntitle=Options\nerror_mess=Out of range\n");

    const Reading r = readTexts(file, QStringLiteral("batch_convert"));

    // In this group the title is the dialog's window title, not a table text.
    QCOMPARE(r.applied, Applied({ qMakePair(QStringLiteral("title"), QStringLiteral("Batch")) }));
    QVERIFY(!r.table.contains(QStringLiteral("title")));
    QCOMPARE(r.table.value(QStringLiteral("file_selected")), QStringLiteral(" chosen"));
    QCOMPARE(r.table.value(QStringLiteral("file_filter")),
        QStringLiteral("画像ファイル (*.gif *.png *.jpg)"));
}

void TestLangTexts::keysOfAGroupAreDistinct()
{
    // A key listed twice in one group would feed two places from one entry.
    for (const Group &group : allGroups()) {
        QStringList keys = group.widgetKeys;
        for (const auto &entry : group.tableDefaults)
            keys.append(entry.first);
        QCOMPARE(keys.removeDuplicates(), 0);
    }
    const TextDefaults widgetTexts[] = { LangTexts::mainWidgetTexts(),
        LangTexts::batchWidgetTexts(), LangTexts::configWidgetTexts() };
    const QStringList widgetKeys[] = { LangTexts::mainWidgetKeys(), LangTexts::batchWidgetKeys(),
        LangTexts::configWidgetKeys() };
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(widgetTexts[i].size(), widgetKeys[i].size());
        for (int k = 0; k < widgetKeys[i].size(); ++k)
            QCOMPARE(widgetTexts[i].at(k).first, widgetKeys[i].at(k));
    }
}

void TestLangTexts::batchFailureMessageFromDefaults()
{
    TextTable table;
    LangTexts::readGroup(QString(), QStringLiteral("main"), LangTexts::mainWidgetKeys(),
        LangTexts::mainTableDefaults(), nullptr, table);
    const QString message = table[QStringLiteral("batch_fail1")] + QString::number(3)
        + table[QStringLiteral("batch_fail2")] + QString::number(1)
        + table[QStringLiteral("batch_fail3")];
    QCOMPARE(message, QStringLiteral("複数画像ファイル変換は失敗しました\n(3個成功, 1個失敗)"));
}

void TestLangTexts::englishFileCoversEveryKey_data()
{
    QTest::addColumn<QString>("group");
    QTest::addColumn<QStringList>("keys");

    for (const Group &group : allGroups()) {
        QStringList keys = group.widgetKeys;
        for (const auto &entry : group.tableDefaults)
            keys.append(entry.first);
        QTest::newRow(qPrintable(group.name)) << group.name << keys;
    }
}

void TestLangTexts::englishFileCoversEveryKey()
{
    QFETCH(QString, group);
    QFETCH(QStringList, keys);

    const QString path = QStringLiteral(PLANO_SOURCE_DIR "/lang/english_lang.ini");
    QVERIFY(QFile::exists(path));
    QSettings settings(path, QSettings::IniFormat);
    settings.setIniCodec("UTF-8");
    QCOMPARE(settings.status(), QSettings::NoError);
    settings.beginGroup(group);

    for (const QString &key : keys) {
        const QVariant value = settings.value(key);
        QVERIFY2(value.type() == QVariant::String, qPrintable(key));
        QVERIFY2(!value.toString().trimmed().isEmpty(), qPrintable(key));
    }
    // A misspelt key would be ignored silently, leaving the Japanese text.
    QStringList fileKeys = settings.childKeys();
    fileKeys.sort();
    keys.sort();
    QCOMPARE(fileKeys, keys);
}

void TestLangTexts::englishFileKeepsMessageBlanks()
{
    const QString path = QStringLiteral(PLANO_SOURCE_DIR "/lang/english_lang.ini");
    // Messages are built by plain concatenation, so the blanks at the joins
    // must survive the INI notation. English needs more of them than Japanese
    // (" succeeded, " after a number), never fewer.
    const QLatin1Char blank(' ');
    for (const Group &group : allGroups()) {
        TextTable table;
        LangTexts::readGroup(
            path, group.name, group.widgetKeys, group.tableDefaults, nullptr, table);
        for (const auto &entry : group.tableDefaults) {
            const QString text = table.value(entry.first);
            QVERIFY2(text != entry.second, qPrintable(entry.first));
            QVERIFY2(
                !entry.second.startsWith(blank) || text.startsWith(blank), qPrintable(entry.first));
            QVERIFY2(
                !entry.second.endsWith(blank) || text.endsWith(blank), qPrintable(entry.first));
        }
    }

    const Reading r = readMain(path);
    QCOMPARE(r.table.value(QStringLiteral("open_error")), QStringLiteral(" could not be opened"));
    QCOMPARE(r.table.value(QStringLiteral("title")),
        QStringLiteral("Orbilux Image Conversion Tool: Plano-Miller"));
    QCOMPARE(r.table.value(QStringLiteral("map_proj_miller")), QStringLiteral("Miller"));
    QCOMPARE(r.table.value(QStringLiteral("map_proj_mercator")), QStringLiteral("Mercator"));
    QCOMPARE(r.table.value(QStringLiteral("batch_fail1")) + QStringLiteral("3")
            + r.table.value(QStringLiteral("batch_fail2")) + QStringLiteral("1")
            + r.table.value(QStringLiteral("batch_fail3")),
        QStringLiteral("Batch conversion failed\n(3 succeeded, 1 failed)"));

    const QStringList steps { QStringLiteral("1) "), QStringLiteral("1) "), QStringLiteral("3) "),
        QStringLiteral("4) ") };
    QCOMPARE(r.applied.size(), LangTexts::mainWidgetKeys().size());
    for (int i = 0; i < steps.size(); ++i)
        QVERIFY2(r.applied.at(i).second.startsWith(steps.at(i)), qPrintable(r.applied.at(i).first));
}

QTEST_GUILESS_MAIN(TestLangTexts)
#include "tst_langtexts.moc"
