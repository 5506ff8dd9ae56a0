// Start-up arguments: the scale factor rewrite, where the settings and
// language files are looked for, the switches, and wildcard expansion.
#include "app/commandline.h"
#include "testsupport.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

class TestCommandLine : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void scaledFactorText_data();
    void scaledFactorText();
    void resolvePaths_data();
    void resolvePaths();
    void bareExecutableNameUsesWorkingDirectory();
    void switches_data();
    void switches();
    void usageNamesTheBatchKeys();
    void parse_data();
    void parse();
    void resamplingNames();
    void paramsFile();
    void expandInputs_data();
    void expandInputs();

private:
    QTemporaryDir m_tmp;
    QString m_root; // canonical, so that it compares equal to the working directory
    QString m_startDir;
};

void TestCommandLine::initTestCase()
{
    QVERIFY(m_tmp.isValid());
    m_root = QDir(m_tmp.path()).canonicalPath();
    m_startDir = QDir::currentPath();

    QDir root(m_root);
    QVERIFY(root.mkpath(QStringLiteral("maps/sub.jpg")));
    QVERIFY(root.mkpath(QStringLiteral("other")));
    for (const char *name : { "maps/A.JPG", "maps/a1.jpg", "maps/B.jpg", "maps/c.Jpg", "maps/d.png",
             "maps/.hidden.jpg", "maps/notes.jpg.txt", "other/e.jpg" })
        QVERIFY2(writeFile(root.filePath(QLatin1String(name)), "x"), name);
}

void TestCommandLine::cleanup()
{
    QDir::setCurrent(m_startDir);
}

void TestCommandLine::scaledFactorText_data()
{
    QTest::addColumn<QByteArray>("env");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<double>("before");

    QTest::newRow("unset") << QByteArray() << QByteArray("1.5") << 0.0;
    QTest::newRow("2 becomes 3") << QByteArray("2") << QByteArray("3") << 2.0;
    QTest::newRow("not a number") << QByteArray("big") << QByteArray("1.5") << 0.0;
    QTest::newRow("zero") << QByteArray("0") << QByteArray("1.5") << 0.0;
    QTest::newRow("fraction") << QByteArray("0.5") << QByteArray("0.75") << 0.5;
    // 1.1 * 1.5 is not exactly 1.65 in binary; "1.65" would read back as a
    // different double.
    QTest::newRow("shortest exact text")
        << QByteArray("1.1") << QByteArray("1.6500000000000001") << 1.1;
}

void TestCommandLine::scaledFactorText()
{
    QFETCH(QByteArray, env);
    QFETCH(QByteArray, text);
    QFETCH(double, before);

    double logBefore = -1.0;
    double logAfter = -1.0;
    const QByteArray result = CommandLine::scaledFactorText(env, &logBefore, &logAfter);
    QCOMPARE(result, text);
    QCOMPARE(logBefore, before);
    QCOMPARE(result.toDouble(), logAfter);
}

void TestCommandLine::resolvePaths_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("appDir");
    QTest::addColumn<QString>("settingsFile");
    QTest::addColumn<QString>("langFile");

    const QString exe = QStringLiteral("/opt/pm/plano-miller");
    QTest::newRow("defaults") << QStringList { exe } << QStringLiteral("/opt/pm")
                              << QStringLiteral("/opt/pm/plano-miller.ini")
                              << QStringLiteral("/opt/pm/plano-miller_lang.ini");
    QTest::newRow("suffix dropped")
        << QStringList { QStringLiteral("/opt/pm/plano-miller.exe") } << QStringLiteral("/opt/pm")
        << QStringLiteral("/opt/pm/plano-miller.ini")
        << QStringLiteral("/opt/pm/plano-miller_lang.ini");
    QTest::newRow("base name up to first dot")
        << QStringList { QStringLiteral("/opt/pm/a.b.c") } << QStringLiteral("/opt/pm")
        << QStringLiteral("/opt/pm/a.ini") << QStringLiteral("/opt/pm/a_lang.ini");
    QTest::newRow("last /ini= wins")
        << QStringList { exe, QStringLiteral("/ini=/etc/first.ini"), QStringLiteral("map.jpg"),
               QStringLiteral("/ini=/etc/second.ini"), QStringLiteral("/batch") }
        << QStringLiteral("/opt/pm") << QStringLiteral("/etc/second.ini")
        << QStringLiteral("/opt/pm/plano-miller_lang.ini");
    QTest::newRow("capitals are a file argument")
        << QStringList { exe, QStringLiteral("/INI=/etc/other.ini") } << QStringLiteral("/opt/pm")
        << QStringLiteral("/opt/pm/plano-miller.ini")
        << QStringLiteral("/opt/pm/plano-miller_lang.ini");
    QTest::newRow("relative /ini= kept as typed")
        << QStringList { exe, QStringLiteral("/ini=conf/../my settings.ini") }
        << QStringLiteral("/opt/pm") << QStringLiteral("conf/../my settings.ini")
        << QStringLiteral("/opt/pm/plano-miller_lang.ini");
    QTest::newRow("/ini= must start the argument")
        << QStringList { exe, QStringLiteral("x/ini=/etc/s.ini") } << QStringLiteral("/opt/pm")
        << QStringLiteral("/opt/pm/plano-miller.ini")
        << QStringLiteral("/opt/pm/plano-miller_lang.ini");
}

void TestCommandLine::resolvePaths()
{
    QFETCH(QStringList, args);
    QFETCH(QString, appDir);
    QFETCH(QString, settingsFile);
    QFETCH(QString, langFile);

    const CommandLine::Paths paths = CommandLine::resolvePaths(args);
    QCOMPARE(paths.appDir, appDir);
    QCOMPARE(paths.settingsFile, settingsFile);
    QCOMPARE(paths.langFile, langFile);
}

void TestCommandLine::bareExecutableNameUsesWorkingDirectory()
{
    // A start through the search path gives no folder in the first argument.
    QVERIFY(QDir::setCurrent(m_root + QStringLiteral("/other")));
    CommandLine::Paths paths = CommandLine::resolvePaths({ QStringLiteral("plano-miller") });
    QCOMPARE(paths.appDir, m_root + QStringLiteral("/other"));
    QCOMPARE(paths.settingsFile, m_root + QStringLiteral("/other/plano-miller.ini"));
    QCOMPARE(paths.langFile, m_root + QStringLiteral("/other/plano-miller_lang.ini"));

    paths = CommandLine::resolvePaths({ QStringLiteral("bin/plano-miller") });
    QCOMPARE(paths.appDir, m_root + QStringLiteral("/other/bin"));
}

void TestCommandLine::switches_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<bool>("batch");
    QTest::addColumn<bool>("help");

    const QString exe = QStringLiteral("plano-miller");
    QTest::newRow("none") << QStringList { exe, QStringLiteral("a.jpg") } << false << false;
    QTest::newRow("/batch") << QStringList { exe, QStringLiteral("a.jpg"),
        QStringLiteral("/batch") }
                            << true << false;
    QTest::newRow("/BATCH is a file")
        << QStringList { exe, QStringLiteral("/BATCH") } << false << false;
    QTest::newRow("/batch= is a file")
        << QStringList { exe, QStringLiteral("/batch=1") } << false << false;
    QTest::newRow("/?") << QStringList { exe, QStringLiteral("/?") } << false << true;
    QTest::newRow("/help") << QStringList { exe, QStringLiteral("/help") } << false << true;
    QTest::newRow("-h") << QStringList { exe, QStringLiteral("-h") } << false << true;
    QTest::newRow("--batch") << QStringList { exe, QStringLiteral("--batch") } << true << false;
    QTest::newRow("help wins over /batch")
        << QStringList { exe, QStringLiteral("/batch"), QStringLiteral("--help") } << false << true;
    QTest::newRow("after -- a switch is a file")
        << QStringList { exe, QStringLiteral("--"), QStringLiteral("-h"), QStringLiteral("/batch") }
        << false << false;
}

void TestCommandLine::switches()
{
    QFETCH(QStringList, args);
    QFETCH(bool, batch);
    QFETCH(bool, help);

    const CommandLine::Mode mode = CommandLine::parse(args).mode;
    QCOMPARE(mode == CommandLine::Mode::Batch, batch);
    QCOMPARE(mode == CommandLine::Mode::Help, help);
}

void TestCommandLine::usageNamesTheBatchKeys()
{
    const QString usage = CommandLine::usageText();
    const char *const keys[] = {
        "/batch",
        "/ini=",
        "BatchOutputFolder",
        "BatchInputFileSortType",
        "BatchOutputFileNameType",
        "Overwrite",
        "OutputSizeX",
        "OutputSizeY",
        "OutputFormat",
        "OutputQuality",
        "MarginLeft",
        "MarginRight",
        "MarginBottom",
        "MarginTop",
        "MapProjection",
        "LongitudeMinimum",
        "LongitudeMaximum",
        "LatitudeMinimum",
        "LatitudeMaximum",
    };
    for (const char *key : keys)
        QVERIFY2(usage.contains(QLatin1String(key)), key);
}

void TestCommandLine::parse_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("error"); // how the refusal starts; empty: accepted
    QTest::addColumn<QString>("ini");
    QTest::addColumn<QStringList>("inputs");

    const QString b = QStringLiteral("--batch");
    const auto row = [](const char *name, QStringList args, const char *error, const char *ini = "",
                         QStringList inputs = {}) {
        QTest::newRow(name) << (QStringList { QStringLiteral("pm") } + args)
                            << QString::fromUtf8(error) << QString::fromUtf8(ini) << inputs;
    };
    const QString a = QStringLiteral("a.jpg");
    row("--ini=FILE", { QStringLiteral("--ini=s.ini"), a }, "", "s.ini", { a });
    row("--ini FILE, last wins",
        { QStringLiteral("/ini=x.ini"), QStringLiteral("--ini"), QStringLiteral("s.ini"), a }, "",
        "s.ini", { a });
    row("--ini without a value", { a, QStringLiteral("--ini") }, "--ini:", "", {});
    row("-- ends the switches", { QStringLiteral("--"), QStringLiteral("--ini=s.ini") }, "", "",
        { QStringLiteral("--ini=s.ini") });
    row("unknown switch", { QStringLiteral("--sise=2048x1024") }, "--sise=2048x1024:");
    row("overrides in one batch run",
        { b, QStringLiteral("--size=2048x1024"), QStringLiteral("--format"), QStringLiteral("PNG"),
            QStringLiteral("--quality"), QStringLiteral("100"), QStringLiteral("--output-dir"),
            QStringLiteral("/"), QStringLiteral("--no-overwrite"), QStringLiteral("--resampling"),
            QStringLiteral("bicubic"), QStringLiteral("--pole-fill"), QStringLiteral("MEAN"), a },
        "", "", { a });
    row("override needs --batch", { QStringLiteral("--quality=90"), a }, "--quality:");
    row("size below range", { b, QStringLiteral("--size"), QStringLiteral("1023x1024") },
        "--size:");
    row("size not WxH", { b, QStringLiteral("--size=2048") }, "--size:");
    row("format", { b, QStringLiteral("--format=gif") }, "--format:");
    row("quality 0", { b, QStringLiteral("--quality=0") }, "--quality:");
    row("resampling", { b, QStringLiteral("--resampling=cubic") }, "--resampling:");
    row("pole fill", { b, QStringLiteral("--pole-fill"), QStringLiteral("edge") }, "--pole-fill:");
    row("pole fill needs --batch", { QStringLiteral("--pole-fill=mean"), a }, "--pole-fill:");
    row("empty output dir", { b, QStringLiteral("--output-dir=") }, "--output-dir:");
    row("output dir missing", { b, QStringLiteral("--output-dir=/no/such/dir") }, "--output-dir:");
    row("missing params file", { b, QStringLiteral("--params=/no/such.ini") }, "--params:");
}

void TestCommandLine::parse()
{
    QFETCH(QStringList, args);
    QFETCH(QString, error);
    QFETCH(QString, ini);
    QFETCH(QStringList, inputs);

    const CommandLine::Options o = CommandLine::parse(args);
    if (!error.isEmpty()) {
        QVERIFY2(o.error.startsWith(error), qPrintable(o.error));
        return;
    }
    QCOMPARE(o.error, QString());
    QCOMPARE(o.iniFile, ini);
    QCOMPARE(o.inputs, inputs);
    if (o.mode == CommandLine::Mode::Batch && o.overrides.any()) {
        const CommandLine::Overrides &v = o.overrides;
        QCOMPARE(*v.width * 10000 + *v.height, 2048 * 10000 + 1024);
        QVERIFY(*v.format == OutputFormat::Png);
        QCOMPARE(*v.quality, 100);
        QCOMPARE(*v.outputDir, QStringLiteral("/"));
        QCOMPARE(*v.overwrite, false);
        QVERIFY(*v.resampling == Resampling::Bicubic);
        QVERIFY(*v.poleFill == PoleFill::Mean);
        QVERIFY(!v.params);
    }
}

// Every method of the options dialog has its name, in the settings' order.
void TestCommandLine::resamplingNames()
{
    const QStringList names { QStringLiteral("nearest"), QStringLiteral("Bilinear"),
        QStringLiteral("bicubic"), QStringLiteral("LANCZOS3"), QStringLiteral("lanczos") };
    for (int k = 0; k < names.size(); ++k) {
        const CommandLine::Options o = CommandLine::parse({ QStringLiteral("pm"),
            QStringLiteral("--batch"), QStringLiteral("--resampling=") + names[k] });
        if (k < 4) {
            QCOMPARE(o.error, QString());
            QVERIFY(*o.overrides.resampling == Resampling(k));
        } else {
            QVERIFY(o.error.contains(QStringLiteral("lanczos3")));
        }
    }
}

void TestCommandLine::paramsFile()
{
    // Rounded as the window's fields show the same file; margins only lose
    // their sign, since each image bounds them.
    const QString file = m_root + QStringLiteral("/p.ini");
    QVERIFY(writeFile(file,
        "[Convert]\nMarginLeft=1500\nMarginTop=-3\nMapProjection=mercator\n"
        "LongitudeMinimum=12.34\nLatitudeMaximum=95\n"));
    CommandLine::Options o = CommandLine::parse(
        { QStringLiteral("pm"), QStringLiteral("--batch"), QStringLiteral("--params"), file });
    QCOMPARE(o.error, QString());
    ParamSet expected;
    expected.marginLeft = 1500;
    expected.projection = QStringLiteral("mercator");
    expected.lonMin = 12.3;
    expected.latMax = 90;
    QVERIFY(o.overrides.params);
    QCOMPARE(*o.overrides.params, expected);

    QVERIFY(writeFile(file, "[IO]\nOutputSizeX=2048\n"));
    o = CommandLine::parse(
        { QStringLiteral("pm"), QStringLiteral("--batch"), QStringLiteral("--params=") + file });
    QVERIFY2(o.error.startsWith(QStringLiteral("--params:")), qPrintable(o.error));
}

void TestCommandLine::expandInputs_data()
{
    // "@" stands for the temporary folder; cwd is relative to it.
    QTest::addColumn<QString>("cwd");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QStringList>("expected");

    const QStringList jpegs { QStringLiteral("@/maps/A.JPG"), QStringLiteral("@/maps/a1.jpg"),
        QStringLiteral("@/maps/B.jpg"), QStringLiteral("@/maps/c.Jpg") };

    QTest::newRow("folder/*.jpg: files of any case, sorted ignoring case")
        << QString() << QStringList { QStringLiteral("@/maps/*.jpg") } << jpegs;
    QTest::newRow("star only in the folder name")
        << QString() << QStringList { QStringLiteral("@/ma*s/B.jpg") } << QStringList();
    QTest::newRow("pattern matching nothing")
        << QString() << QStringList { QStringLiteral("@/maps/*.gif") } << QStringList();
    QTest::newRow("? is one character")
        << QString() << QStringList { QStringLiteral("@/maps/?.jpg") }
        << QStringList { QStringLiteral("@/maps/A.JPG"), QStringLiteral("@/maps/B.jpg"),
               QStringLiteral("@/maps/c.Jpg") };
    QTest::newRow("pattern without folder is taken in the working directory")
        << QStringLiteral("maps") << QStringList { QStringLiteral("*.jpg") } << jpegs;
    QTest::newRow("relative folder in a pattern")
        << QString() << QStringList { QStringLiteral("maps/a*") }
        << QStringList { QStringLiteral("@/maps/A.JPG"), QStringLiteral("@/maps/a1.jpg") };
    QTest::newRow("plain relative arguments stay as typed")
        << QStringLiteral("maps")
        << QStringList { QStringLiteral("B.jpg"), QStringLiteral("../other/missing.jpg") }
        << QStringList { QStringLiteral("B.jpg"), QStringLiteral("../other/missing.jpg") };
    QTest::newRow("switches dropped, order kept")
        << QString()
        << QStringList { QStringLiteral("first.jpg"), QStringLiteral("/batch"),
               QStringLiteral("maps/*.png"), QStringLiteral("/ini=s.ini"),
               QStringLiteral("/INI=t.ini"), QStringLiteral("other/*"), QStringLiteral("last.jpg") }
        << QStringList { QStringLiteral("first.jpg"), QStringLiteral("@/maps/d.png"),
               QStringLiteral("/INI=t.ini"), QStringLiteral("@/other/e.jpg"),
               QStringLiteral("last.jpg") };
}

void TestCommandLine::expandInputs()
{
    QFETCH(QString, cwd);
    QFETCH(QStringList, args);
    QFETCH(QStringList, expected);

    QVERIFY(QDir::setCurrent(cwd.isEmpty() ? m_root : m_root + QLatin1Char('/') + cwd));
    args.replaceInStrings(QStringLiteral("@"), m_root);
    expected.replaceInStrings(QStringLiteral("@"), m_root);
    args.prepend(QStringLiteral("plano-miller"));
    QCOMPARE(CommandLine::expandPatterns(CommandLine::parse(args).inputs), expected);
}

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"
