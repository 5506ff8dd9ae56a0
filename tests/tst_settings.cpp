// The settings file: every value through a real file, the older key names and
// the sample placeholder, what is written for the output name and the pen, and
// that a failed or damaged file never costs the user a good one.
#include "app/inifile.h"
#include "app/installpaths.h"
#include "app/settingsstore.h"
#include "testsupport.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

const QString appDir = QStringLiteral("/opt/plano");

QVariant field(const AppSettings &s, const QString &name)
{
    if (name == QLatin1String("loadFilePath"))
        return s.loadFilePath;
    if (name == QLatin1String("saveFolderName"))
        return s.saveFolderName;
    if (name == QLatin1String("batchInputFolder"))
        return s.batchInputFolder;
    if (name == QLatin1String("batchOutputFolder"))
        return s.batchOutputFolder;
    if (name == QLatin1String("batchInputFileSortType"))
        return s.batchInputFileSortType;
    if (name == QLatin1String("batchOutputFileNameType"))
        return s.batchOutputFileNameType;
    if (name == QLatin1String("outputSizeX"))
        return s.outputSizeX;
    if (name == QLatin1String("outputFormat"))
        return s.outputFormat;
    if (name == QLatin1String("penSize"))
        return s.penSize;
    if (name == QLatin1String("penColor"))
        return s.penColor;
    if (name == QLatin1String("autoSize"))
        return s.autoSize;
    if (name == QLatin1String("resampling"))
        return s.resampling;
    if (name == QLatin1String("poleFill"))
        return s.poleFill;
    if (name == QLatin1String("overwrite"))
        return s.overwrite;
    if (name == QLatin1String("batchAutoDetect"))
        return s.batchAutoDetect;
    if (name == QLatin1String("maxImagePixels"))
        return s.maxImagePixels;
    return QVariant();
}

AppSettings unusualSettings()
{
    AppSettings s;
    s.geometry = QByteArray("\x01\xd9\xd0\xcb\x00\x03,=\"\n", 10);
    s.previewGeometry = QByteArray("preview,geometry");
    s.previewWindow = true;
    s.autoPreview = true;
    s.autoSize = false;
    s.penSize = 7;
    s.penColor = QColor(0x12, 0x34, 0x56, 0x78);
    s.loadFilePath = QStringLiteral("/data/maps, old/world \"1\".png");
    s.saveBaseName = QStringLiteral("OX-world");
    s.saveFolderName = QStringLiteral("/data/out");
    s.batchInputFolder = QStringLiteral("/data/in");
    s.batchOutputFolder = QStringLiteral("/data/batch out");
    s.batchInputFileSortType = 1;
    s.batchOutputFileNameType = 1;
    s.outputSizeX = 4096;
    s.outputSizeY = 2048;
    s.outputFormat = 1;
    s.outputQuality = 42;
    s.overwrite = false;
    s.openFiler = false;
    s.language = QStringLiteral("english");
    s.batchAutoDetect = true;
    s.resampling = 2;
    s.poleFill = 1;
    s.params = makeParams(55, 42, 47, 78, QStringLiteral("mercator"), 12.3, -170.5, -60.1, 80.7);
    return s;
}

} // namespace

class TestSettings : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void roundTripOfEveryValue();
    void japanesePathsAreUtf8();
    void readingRules_data();
    void readingRules();
    void loadFileNameIsMigrated();
    void saveFileNameCarriesOutputSuffix_data();
    void saveFileNameCarriesOutputSuffix();
    void penColorWrittenInLowerCase();
    void olderAndUnknownKeysStay();
    void missingFileKeepsCurrentValues();
    void failedSaveIsReportedAndKeepsTheOldFile_data();
    void failedSaveIsReportedAndKeepsTheOldFile();
    void damagedFileKeepsReadableKeysAndIsReplaced();
    void whatTheReaderDoes_data();
    void whatTheReaderDoes();
    void installedLayout();
    void unwritableProgramFolderUsesConfigFolder();

private:
    QString path(const QString &name = QStringLiteral("plano-miller.ini")) const
    {
        return m_tmp->filePath(name);
    }

    std::unique_ptr<QTemporaryDir> m_tmp;
};

void TestSettings::init()
{
    m_tmp = std::make_unique<QTemporaryDir>();
    QVERIFY(m_tmp->isValid());
}

void TestSettings::roundTripOfEveryValue()
{
    const AppSettings out = unusualSettings();
    QString error;
    QVERIFY2(out.save(path(), &error), qPrintable(error));
    QVERIFY(error.isEmpty());

    AppSettings in;
    in.load(path(), appDir);
    QCOMPARE(in.geometry, out.geometry);
    QCOMPARE(in.previewGeometry, out.previewGeometry);
    QCOMPARE(in.previewWindow, true);
    QCOMPARE(in.autoPreview, true);
    QCOMPARE(in.autoSize, false);
    QCOMPARE(in.penSize, 7);
    QCOMPARE(in.penColor, out.penColor);
    QCOMPARE(in.penColor.alpha(), 0x78);
    QCOMPARE(in.loadFilePath, out.loadFilePath);
    QCOMPARE(in.saveFolderName, out.saveFolderName);
    QCOMPARE(in.batchInputFolder, out.batchInputFolder);
    QCOMPARE(in.batchOutputFolder, out.batchOutputFolder);
    QCOMPARE(in.batchInputFileSortType, 1);
    QCOMPARE(in.batchOutputFileNameType, 1);
    QCOMPARE(in.outputSizeX, 4096);
    QCOMPARE(in.outputSizeY, 2048);
    QCOMPARE(in.outputFormat, 1);
    QCOMPARE(in.outputQuality, 42);
    QCOMPARE(in.overwrite, false);
    QCOMPARE(in.openFiler, false);
    QCOMPARE(in.language, QStringLiteral("english"));
    QCOMPARE(in.batchAutoDetect, true);
    QCOMPARE(in.resampling, 2);
    QCOMPARE(in.poleFill, 1);
    QCOMPARE(in.params, out.params);
    // Never read back: the next start derives the name from the image opened.
    QCOMPARE(in.saveBaseName, QString());

    const QStringList groups = QSettings(path(), QSettings::IniFormat).childGroups();
    QCOMPARE(groups.size(), 3);
    for (const char *group : { "GUI", "IO", "Convert" })
        QVERIFY(groups.contains(QLatin1String(group)));
}

void TestSettings::japanesePathsAreUtf8()
{
    const QString folder = QStringLiteral("C:/地図/世界");
    QVERIFY(writeFile(path(), "[IO]\nLoadFilePath=C:/地図/世界/ミラー図法.jpg\n"));

    AppSettings s;
    s.load(path(), appDir);
    QCOMPARE(s.loadFilePath, QStringLiteral("C:/地図/世界/ミラー図法.jpg"));

    s.saveFolderName = folder;
    s.saveBaseName = QStringLiteral("OX-ミラー図法");
    QVERIFY(s.save(path()));
    const QByteArray bytes = readFile(path());
    // Written as UTF-8 text, so that the file stays readable and editable.
    QVERIFY(bytes.contains("SaveFolderName=C:/地図/世界\n"));
    QVERIFY(bytes.contains("SaveFileName=OX-ミラー図法.jpg\n"));

    AppSettings again;
    again.load(path(), appDir);
    QCOMPARE(again.saveFolderName, folder);
    QCOMPARE(again.loadFilePath, s.loadFilePath);
}

void TestSettings::readingRules_data()
{
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QVariant>("expected");

    const QString sample = QStringLiteral("/opt/plano/sample_images/sample-miller.jpg");

    QTest::newRow("LoadFileName when LoadFilePath is missing")
        << QByteArray("[IO]\nLoadFileName=/maps/old.jpg\n") << QStringLiteral("loadFilePath")
        << QVariant(QStringLiteral("/maps/old.jpg"));
    QTest::newRow("LoadFilePath wins")
        << QByteArray("[IO]\nLoadFileName=/maps/old.jpg\nLoadFilePath=/maps/new.jpg\n")
        << QStringLiteral("loadFilePath") << QVariant(QStringLiteral("/maps/new.jpg"));
    QTest::newRow("empty LoadFilePath still wins")
        << QByteArray("[IO]\nLoadFileName=/maps/old.jpg\nLoadFilePath=\n")
        << QStringLiteral("loadFilePath") << QVariant(QString());
    QTest::newRow("sample placeholder") << QByteArray("[IO]\nLoadFilePath=%%SAMPLE%%\n")
                                        << QStringLiteral("loadFilePath") << QVariant(sample);
    QTest::newRow("every placeholder replaced")
        << QByteArray("[IO]\nLoadFilePath=%%SAMPLE%%|%%SAMPLE%%\n")
        << QStringLiteral("loadFilePath") << QVariant(sample + QLatin1Char('|') + sample);
    QTest::newRow("placeholder is case-sensitive")
        << QByteArray("[IO]\nLoadFilePath=%%sample%%\n") << QStringLiteral("loadFilePath")
        << QVariant(QStringLiteral("%%sample%%"));
    QTest::newRow("placeholder in LoadFileName")
        << QByteArray("[IO]\nLoadFileName=%%SAMPLE%%\n") << QStringLiteral("loadFilePath")
        << QVariant(sample);

    QTest::newRow("save folder from SaveFileName")
        << QByteArray("[IO]\nSaveFileName=/out/maps/OX-world.jpg\n")
        << QStringLiteral("saveFolderName") << QVariant(QStringLiteral("/out/maps"));
    QTest::newRow("empty SaveFileName gives no folder")
        << QByteArray("[IO]\nSaveFileName=\n") << QStringLiteral("saveFolderName")
        << QVariant(QString());
    QTest::newRow("SaveFileName ignored beside SaveFolderName")
        << QByteArray("[IO]\nSaveFileName=/out/maps/OX-world.jpg\nSaveFolderName=/elsewhere\n")
        << QStringLiteral("saveFolderName") << QVariant(QStringLiteral("/elsewhere"));

    QTest::newRow("InputFolder") << QByteArray("[IO]\nInputFolder=/old/in\n")
                                 << QStringLiteral("batchInputFolder")
                                 << QVariant(QStringLiteral("/old/in"));
    QTest::newRow("BatchInputFolder wins")
        << QByteArray("[IO]\nInputFolder=/old/in\nBatchInputFolder=/new/in\n")
        << QStringLiteral("batchInputFolder") << QVariant(QStringLiteral("/new/in"));
    QTest::newRow("OutputFolder") << QByteArray("[IO]\nOutputFolder=/old/out\n")
                                  << QStringLiteral("batchOutputFolder")
                                  << QVariant(QStringLiteral("/old/out"));
    QTest::newRow("InputFileSortType") << QByteArray("[IO]\nInputFileSortType=1\n")
                                       << QStringLiteral("batchInputFileSortType") << QVariant(1);
    QTest::newRow("BatchInputFileSortType wins")
        << QByteArray("[IO]\nInputFileSortType=1\nBatchInputFileSortType=2\n")
        << QStringLiteral("batchInputFileSortType") << QVariant(2);
    QTest::newRow("OutputFileNameType") << QByteArray("[IO]\nOutputFileNameType=1\n")
                                        << QStringLiteral("batchOutputFileNameType") << QVariant(1);

    QTest::newRow("number that does not parse")
        << QByteArray("[IO]\nOutputSizeX=abc\n") << QStringLiteral("outputSizeX") << QVariant(0);
    QTest::newRow("zero size taken unchanged")
        << QByteArray("[IO]\nOutputSizeX=0\n") << QStringLiteral("outputSizeX") << QVariant(0);
    QTest::newRow("huge size taken unchanged") << QByteArray("[IO]\nOutputSizeX=99999\n")
                                               << QStringLiteral("outputSizeX") << QVariant(99999);
    QTest::newRow("pen size 100 taken unchanged")
        << QByteArray("[GUI]\nPenSize=100\n") << QStringLiteral("penSize") << QVariant(100);
    QTest::newRow("OutputFormat 2 kept")
        << QByteArray("[IO]\nOutputFormat=2\n") << QStringLiteral("outputFormat") << QVariant(2);
    QTest::newRow("no Resampling is nearest")
        << QByteArray("[IO]\nOutputFormat=1\n") << QStringLiteral("resampling") << QVariant(0);
    QTest::newRow("Resampling 3") << QByteArray("[IO]\nResampling=3\n")
                                  << QStringLiteral("resampling") << QVariant(3);
    QTest::newRow("unknown Resampling is nearest")
        << QByteArray("[IO]\nResampling=7\n") << QStringLiteral("resampling") << QVariant(0);
    QTest::newRow("negative Resampling is nearest")
        << QByteArray("[IO]\nResampling=-1\n") << QStringLiteral("resampling") << QVariant(0);
    QTest::newRow("no PoleFill leaves the caps clear")
        << QByteArray("[IO]\nResampling=1\n") << QStringLiteral("poleFill") << QVariant(0);
    QTest::newRow("PoleFill 1") << QByteArray("[IO]\nPoleFill=1\n") << QStringLiteral("poleFill")
                                << QVariant(1);
    QTest::newRow("unknown PoleFill leaves the caps clear")
        << QByteArray("[IO]\nPoleFill=2\n") << QStringLiteral("poleFill") << QVariant(0);
    QTest::newRow("bool as text") << QByteArray("[GUI]\nAutoSize=false\n")
                                  << QStringLiteral("autoSize") << QVariant(false);
    QTest::newRow("no is false") << QByteArray("[IO]\nOverwrite=no\n")
                                 << QStringLiteral("overwrite") << QVariant(false);
    QTest::newRow("OFF is false") << QByteArray("[IO]\nOverwrite=OFF\n")
                                  << QStringLiteral("overwrite") << QVariant(false);
    QTest::newRow("Yes is true") << QByteArray("[IO]\nBatchAutoDetect=Yes\n")
                                 << QStringLiteral("batchAutoDetect") << QVariant(true);
    const QVariant defaultLimit(qint64(1) << 29);
    QTest::newRow("MaxImagePixels 0 is the default limit, not none")
        << QByteArray("[IO]\nMaxImagePixels=0\n") << QStringLiteral("maxImagePixels")
        << defaultLimit;
    QTest::newRow("negative MaxImagePixels is the default limit")
        << QByteArray("[IO]\nMaxImagePixels=-4\n") << QStringLiteral("maxImagePixels")
        << defaultLimit;
    QTest::newRow("MaxImagePixels 1000 kept")
        << QByteArray("[IO]\nMaxImagePixels=1000\n") << QStringLiteral("maxImagePixels")
        << QVariant(qint64(1000));
    QTest::newRow("default pen colour")
        << QByteArray("[GUI]\nPenColor=#FFFF0000\n") << QStringLiteral("penColor")
        << QVariant(QColor(255, 0, 0, 255));
    QTest::newRow("pen colour with alpha")
        << QByteArray("[GUI]\nPenColor=#80112233\n") << QStringLiteral("penColor")
        << QVariant(QColor(0x11, 0x22, 0x33, 0x80));
}

void TestSettings::readingRules()
{
    QFETCH(QByteArray, ini);
    QFETCH(QString, field);
    QFETCH(QVariant, expected);

    QVERIFY(writeFile(path(), ini));
    AppSettings s;
    s.load(path(), appDir);
    QCOMPARE(::field(s, field), expected);
}

void TestSettings::loadFileNameIsMigrated()
{
    QVERIFY(writeFile(path(), "[IO]\nLoadFileName=/maps/old.jpg\n"));
    AppSettings s;
    s.load(path(), appDir);
    QVERIFY(s.save(path()));
    QCOMPARE(iniValue(path(), QStringLiteral("IO/LoadFileName")).toString(),
        QStringLiteral("/maps/old.jpg"));
    QCOMPARE(iniValue(path(), QStringLiteral("IO/LoadFilePath")).toString(),
        QStringLiteral("/maps/old.jpg"));

    // From now on the newer key is the one that counts.
    s.loadFilePath = QStringLiteral("/maps/newer.jpg");
    QVERIFY(s.save(path()));
    AppSettings again;
    again.load(path(), appDir);
    QCOMPARE(again.loadFilePath, QStringLiteral("/maps/newer.jpg"));
}

void TestSettings::saveFileNameCarriesOutputSuffix_data()
{
    QTest::addColumn<int>("format");
    QTest::addColumn<QString>("baseName");
    QTest::addColumn<QString>("written");

    QTest::newRow("JPEG") << 0 << QStringLiteral("OX-world") << QStringLiteral("OX-world.jpg");
    QTest::newRow("PNG") << 1 << QStringLiteral("OX-world") << QStringLiteral("OX-world.png");
    QTest::newRow("2 is JPEG") << 2 << QStringLiteral("OX-world") << QStringLiteral("OX-world.jpg");
    QTest::newRow("no base name") << 1 << QString() << QString();
}

void TestSettings::saveFileNameCarriesOutputSuffix()
{
    QFETCH(int, format);
    QFETCH(QString, baseName);
    QFETCH(QString, written);

    AppSettings s;
    s.outputFormat = format;
    s.saveBaseName = baseName;
    QVERIFY(s.save(path()));
    QCOMPARE(iniValue(path(), QStringLiteral("IO/SaveFileName")).toString(), written);
    QCOMPARE(iniValue(path(), QStringLiteral("IO/OutputFormat")).toInt(), format);
}

void TestSettings::penColorWrittenInLowerCase()
{
    QVERIFY(writeFile(path(), "[GUI]\nPenColor=#FFFF0000\n"));
    AppSettings s;
    s.load(path(), appDir);
    QVERIFY(s.save(path()));
    QCOMPARE(
        iniValue(path(), QStringLiteral("GUI/PenColor")).toString(), QStringLiteral("#ffff0000"));

    AppSettings fresh;
    QVERIFY(fresh.save(path(QStringLiteral("fresh.ini"))));
    QCOMPARE(iniValue(path(QStringLiteral("fresh.ini")), QStringLiteral("GUI/PenColor")).toString(),
        QStringLiteral("#ffff0000"));
}

void TestSettings::olderAndUnknownKeysStay()
{
    QVERIFY(writeFile(path(),
        "[IO]\nLoadFileName=/old/map.jpg\nInputFolder=/old/in\nOutputFolder=/old/out\n"
        "InputFileSortType=1\nOutputFileNameType=1\n"
        "[Extra]\nNote=kept by hand\n"));
    AppSettings s;
    s.load(path(), appDir);
    s.batchInputFolder = QStringLiteral("/new/in");
    QVERIFY(s.save(path()));

    const QList<QPair<QString, QString>> kept {
        { QStringLiteral("IO/LoadFileName"), QStringLiteral("/old/map.jpg") },
        { QStringLiteral("IO/InputFolder"), QStringLiteral("/old/in") },
        { QStringLiteral("IO/OutputFolder"), QStringLiteral("/old/out") },
        { QStringLiteral("IO/InputFileSortType"), QStringLiteral("1") },
        { QStringLiteral("IO/OutputFileNameType"), QStringLiteral("1") },
        { QStringLiteral("Extra/Note"), QStringLiteral("kept by hand") },
        { QStringLiteral("IO/BatchInputFolder"), QStringLiteral("/new/in") },
        { QStringLiteral("IO/BatchOutputFolder"), QStringLiteral("/old/out") },
        { QStringLiteral("IO/BatchInputFileSortType"), QStringLiteral("1") },
        { QStringLiteral("IO/BatchOutputFileNameType"), QStringLiteral("1") },
    };
    for (const auto &entry : kept)
        QCOMPARE(iniValue(path(), entry.first).toString(), entry.second);
}

void TestSettings::missingFileKeepsCurrentValues()
{
    AppSettings s = unusualSettings();
    const AppSettings before = s;
    s.load(path(QStringLiteral("missing.ini")), appDir);
    QVERIFY(!QFile::exists(path(QStringLiteral("missing.ini"))));
    // A missing file is an ordinary first start, not a problem to report.
    QVERIFY(s.loadProblem.isEmpty());

    const AppSettings defaults;
    QCOMPARE(s.geometry, before.geometry);
    QCOMPARE(s.previewGeometry, before.previewGeometry);
    QCOMPARE(s.previewWindow, defaults.previewWindow);
    QCOMPARE(s.autoPreview, defaults.autoPreview);
    QCOMPARE(s.autoSize, defaults.autoSize);
    QCOMPARE(s.penSize, defaults.penSize);
    QCOMPARE(s.penColor, defaults.penColor);
    QCOMPARE(s.loadFilePath, QString());
    QCOMPARE(s.saveFolderName, QString());
    QCOMPARE(s.batchInputFolder, QString());
    QCOMPARE(s.batchOutputFolder, QString());
    QCOMPARE(s.batchInputFileSortType, 0);
    QCOMPARE(s.batchOutputFileNameType, 0);
    QCOMPARE(s.outputSizeX, before.outputSizeX);
    QCOMPARE(s.outputSizeY, before.outputSizeY);
    QCOMPARE(s.outputFormat, 0);
    QCOMPARE(s.outputQuality, 85);
    QCOMPARE(s.overwrite, true);
    QCOMPARE(s.openFiler, true);
    QCOMPARE(s.batchAutoDetect, false);
    QCOMPARE(s.params, before.params);

    // A partial "Convert" group replaces only the values it holds.
    QVERIFY(writeFile(path(), "[Convert]\nMarginLeft=5\nMapProjection=miller\n"));
    s.load(path(), appDir);
    ParamSet expected = before.params;
    expected.marginLeft = 5;
    expected.projection = QStringLiteral("miller");
    QCOMPARE(s.params, expected);
}

void TestSettings::failedSaveIsReportedAndKeepsTheOldFile_data()
{
    QTest::addColumn<QString>("kind");

    // A folder that is really a file stops even root; permissions do not.
    QTest::newRow("parent is a file") << QStringLiteral("file-parent");
    QTest::newRow("read-only file") << QStringLiteral("read-only-file");
    QTest::newRow("read-only folder") << QStringLiteral("read-only-folder");
}

void TestSettings::failedSaveIsReportedAndKeepsTheOldFile()
{
    QFETCH(QString, kind);

    AppSettings good = unusualSettings();
    const QString goodPath = path(QStringLiteral("good.ini"));
    QVERIFY(good.save(goodPath));
    const QByteArray goodBytes = readFile(goodPath);

    QString target;
    QString guarded = goodPath; // the file whose permissions must be restored
    bool folder = false;
    if (kind == QLatin1String("file-parent")) {
        target = goodPath + QStringLiteral("/plano-miller.ini");
        guarded.clear();
    } else if (kind == QLatin1String("read-only-file")) {
        target = goodPath;
        QVERIFY(QFile::setPermissions(goodPath, QFile::ReadOwner | QFile::ReadUser));
    } else {
        target = goodPath;
        guarded = m_tmp->path();
        folder = true;
        QVERIFY(QFile::setPermissions(
            guarded, QFile::ReadOwner | QFile::ExeOwner | QFile::ReadUser | QFile::ExeUser));
    }
    const auto restore = [&] {
        if (!guarded.isEmpty())
            QFile::setPermissions(guarded,
                folder ? QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner
                       : QFile::ReadOwner | QFile::WriteOwner);
    };
    if (!guarded.isEmpty()) {
        QFile probe(folder ? m_tmp->filePath(QStringLiteral("probe")) : goodPath);
        if (probe.open(folder ? QIODevice::WriteOnly : QIODevice::ReadWrite)) {
            probe.close();
            probe.remove();
            restore();
            QSKIP("permissions do not stop writes here (running as root)");
        }
    }

    AppSettings changed = good;
    changed.penSize = 31;
    changed.loadFilePath = QStringLiteral("/somewhere/else.jpg");
    QString error;
    const bool saved = changed.save(target, &error);
    restore();

    QVERIFY(!saved);
    QVERIFY2(error.contains(target), qPrintable(error));
    QCOMPARE(readFile(goodPath), goodBytes);
    QCOMPARE(QDir(m_tmp->path()).entryList(QDir::Files | QDir::Hidden),
        QStringList { QStringLiteral("good.ini") });
}

void TestSettings::damagedFileKeepsReadableKeysAndIsReplaced()
{
    // Readable keys, then a group in another encoding than UTF-8.
    QVERIFY(writeFile(path(), "[GUI]\nPenSize=7\n\n[Notes]\nplace=Gr\xfcnland\n"));
    AppSettings s;
    s.load(path(), appDir);
    QCOMPARE(s.penSize, 7);
    QVERIFY(!s.leftAlone);

    // The reader's complaint about the old file is no reason to report the
    // new one as unwritten.
    const AppSettings out = unusualSettings();
    QString error;
    QVERIFY2(out.save(path(), &error), qPrintable(error));
    AppSettings in;
    in.load(path(), appDir);
    QCOMPARE(in.penColor, out.penColor);
    QCOMPARE(in.loadFilePath, out.loadFilePath);
    QCOMPARE(in.geometry, out.geometry);
    QCOMPARE(in.params, out.params);
}

namespace {

enum class Reader { Reads, ReadsKeepingACopy, LeavesAlone };

// A settings file of exactly `size` bytes with PenSize=7, padded by a comment.
QByteArray sizedSettings(int size)
{
    QByteArray bytes("[GUI]\nPenSize=7\n;");
    bytes.append(QByteArray(size - bytes.size() - 1, 'x'));
    return bytes + '\n';
}

} // namespace

void TestSettings::whatTheReaderDoes_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("olderCopy"); // a .damaged copy from an earlier start
    QTest::addColumn<int>("reader");
    QTest::addColumn<int>("line"); // the first line that is no setting, or 0

    const int reads = int(Reader::Reads);
    const int copies = int(Reader::ReadsKeepingACopy);
    const int alone = int(Reader::LeavesAlone);
    QTest::newRow("CRLF") << QByteArray("[GUI]\r\nPenSize=7\r\n") << false << reads << 0;
    QTest::newRow("UTF-8 BOM") << QByteArray("\xEF\xBB\xBF[GUI]\nPenSize=7\n") << false << reads
                               << 0;
    QTest::newRow("comments, blanks, BOM and CRLF")
        << QByteArray("\xEF\xBB\xBF; note\r\n\r\n[GUI]\r\n# x\r\n  PenSize = 7\r\n") << false
        << reads << 0;
    QTest::newRow("tab") << QByteArray("[GUI]\nPenSize=7\n[Notes]\nlist=a\tb\n") << false << reads
                         << 0;
    QTest::newRow("16 MiB") << sizedSettings(16 << 20) << false << reads << 0;

    QTest::newRow("Latin-1 byte") << QByteArray("[GUI]\nPenSize=7\n\n[Notes]\nplace=Gr\xfcnland\n")
                                  << false << copies << 0;
    QTest::newRow("truncated UTF-8 tail")
        << QByteArray("[GUI]\nPenSize=7\n[Notes]\nplace=\xe5\x9c") << false << copies << 0;
    QTest::newRow("older .damaged copy")
        << QByteArray("[GUI]\nPenSize=7\n[Notes]\nplace=Gr\xfcnland\n") << true << copies << 0;

    QTest::newRow("NUL byte") << QByteArray("[GUI]\nPenSize=7\n\0\n", 18) << false << alone << 0;
    QTest::newRow("DEL byte") << QByteArray("[GUI]\nPenSize=7\x7f\n") << false << alone << 0;
    QTest::newRow("16 MiB + 1 byte") << sizedSettings((16 << 20) + 1) << false << alone << 0;
    QTest::newRow("notes") << QByteArray("[GUI]\nPenSize=7\nRemember the legend\n") << false
                           << alone << 3;
    QTest::newRow("ASCII image") << QByteArray("P3\n1 1\n255\n0 0 0\n") << false << alone << 1;
    QTest::newRow("SVG") << QByteArray("<?xml version=\"1.0\"?>\n<svg a=\"b\">\n</svg>\n") << false
                         << alone << 3;
    QTest::newRow("unterminated group")
        << QByteArray("[GUI]\nPenSize=7\n[IO\n") << false << alone << 3;
    QTest::newRow("value without key") << QByteArray("=5\n") << false << alone << 1;
}

// Read; read with a copy kept of what the next save would lose; or, for what
// is no settings file, neither read nor written. The file itself never changes.
void TestSettings::whatTheReaderDoes()
{
    QFETCH(QByteArray, text);
    QFETCH(bool, olderCopy);
    QFETCH(int, reader);
    QFETCH(int, line);
    const QString copy = path() + QStringLiteral(".damaged");
    const QByteArray older("[GUI]\nPenSize=5\n");
    QVERIFY(writeFile(path(), text));
    if (olderCopy)
        QVERIFY(writeFile(copy, older));

    AppSettings s;
    s.load(path(), appDir);
    QCOMPARE(readFile(path()), text);
    QCOMPARE(checkIniFile(path()).line, line);
    QCOMPARE(s.leftAlone, reader == int(Reader::LeavesAlone));
    QCOMPARE(s.penSize, reader == int(Reader::LeavesAlone) ? AppSettings().penSize : 7);
    switch (Reader(reader)) {
    case Reader::Reads:
        QVERIFY2(s.loadProblem.isEmpty(), qPrintable(s.loadProblem));
        QVERIFY(!QFile::exists(copy));
        break;
    case Reader::ReadsKeepingACopy:
        QVERIFY2(s.loadProblem.contains(QStringLiteral("what could be read is used")),
            qPrintable(s.loadProblem));
        QVERIFY2(
            s.loadProblem.contains(QStringLiteral("kept as ") + copy), qPrintable(s.loadProblem));
        QCOMPARE(readFile(copy), text);
        break;
    case Reader::LeavesAlone:
        QVERIFY(!s.fileRefusal.isEmpty());
        if (line > 0)
            QVERIFY2(s.fileRefusal.contains(QStringLiteral("line %1,").arg(line)),
                qPrintable(s.fileRefusal));
        QVERIFY(!unusualSettings().save(path()));
        QCOMPARE(readFile(path()), text);
        QCOMPARE(readFile(copy), olderCopy ? older : QByteArray());
        break;
    }
}

void TestSettings::installedLayout()
{
    // Installed: the program in bin, its data in share/plano-miller.
    const QString bin = makeFolder(m_tmp->path(), QStringLiteral("bin"));
    const QString data = makeFolder(m_tmp->path(), QStringLiteral("share/plano-miller"));
    QCOMPARE(InstallPaths::dataDir(bin), data);
    QCOMPARE(
        AppSettings::samplePath(bin), data + QStringLiteral("/sample_images/sample-miller.jpg"));
    // A build tree keeps everything beside the executable.
    makeFolder(bin, QStringLiteral("sample_images"));
    QCOMPARE(InstallPaths::dataDir(bin), bin);
}

void TestSettings::unwritableProgramFolderUsesConfigFolder()
{
    const QString beside = path();
    const QString config = m_tmp->filePath(QStringLiteral("config/plano-miller"));
    const QString firstRun = path(QStringLiteral("first-run.ini"));
    QVERIFY(writeFile(firstRun, "[IO]\nOutputQuality=33\n"));

    QCOMPARE(InstallPaths::settingsFile(beside, true, config, { firstRun }), beside);
    QVERIFY(!QFileInfo::exists(config));

    // Seeded from the first seed that exists, once; later runs keep their own file.
    const QString mine = config + QStringLiteral("/plano-miller.ini");
    QCOMPARE(InstallPaths::settingsFile(beside, false, config, { beside, firstRun }), mine);
    QCOMPARE(iniValue(mine, QStringLiteral("IO/OutputQuality")).toInt(), 33);
    QVERIFY(writeFile(beside, "[IO]\nOutputQuality=44\n"));
    QCOMPARE(InstallPaths::settingsFile(beside, false, config, { beside, firstRun }), mine);
    QCOMPARE(iniValue(mine, QStringLiteral("IO/OutputQuality")).toInt(), 33);
    QVERIFY(!QFileInfo::exists(mine + QStringLiteral(".part")));
}

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
