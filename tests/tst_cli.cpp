// The built program run from the command line as a user would: headless batch
// runs with no display at all, exit status, messages, pattern expansion, and
// the settings file written back afterwards.
#include "projection/convertparams.h"
#include "testsupport.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QSettings>
#include <QtEndian>
#include <QtTest>

#include <climits>
#include <cmath>
#include <dirent.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

Q_DECLARE_METATYPE(ParamSet)

namespace {

struct Run
{
    int exitCode = -1;
    bool crashed = true;
    QString out;
    QString err;
};

// No platform, no display: the program has to find its own way to run headless.
// A shell line before the program sets limits; display names one that is not there.
Run runProgram(const QStringList &args, const QString &workDir, const QString &shell = QString(),
    const QString &display = QString())
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    if (!display.isEmpty())
        env.insert(QStringLiteral("DISPLAY"), display);

    QProcess process;
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(workDir);
    if (shell.isEmpty()) {
        process.start(QStringLiteral(PLANO_EXE), args);
    } else {
        process.start(QStringLiteral("/bin/sh"),
            QStringList { QStringLiteral("-c"), shell + QStringLiteral("; exec \"$0\" \"$@\""),
                QStringLiteral(PLANO_EXE) }
                + args);
    }
    Run run;
    if (!process.waitForStarted(60000))
        return run;
    if (!process.waitForFinished(300000)) {
        process.kill();
        process.waitForFinished(10000);
        return run;
    }
    run.crashed = process.exitStatus() != QProcess::NormalExit;
    run.exitCode = process.exitCode();
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

// A batch run with the given settings file and inputs.
Run runBatch(const QString &ini, const QStringList &inputs, const QString &workDir)
{
    return runProgram(
        QStringList { QStringLiteral("/batch"), QStringLiteral("/ini=") + ini } + inputs, workDir);
}

// The frame and box that fit the sample image.
ParamSet sampleParams()
{
    return makeParams(55, 42, 47, 78);
}

struct IoValues
{
    QString outputFolder;
    int sizeX = 1024;
    int sizeY = 512;
    int format = 1;
    int quality = 90;
    bool overwrite = true;
};

void writeSettings(const QString &path, const IoValues &io)
{
    const ParamSet p = sampleParams();
    // PreviewWindow is written back as false: a batch run never shows the preview.
    writeIni(path,
        { { "GUI/PreviewWindow", true }, { "IO/BatchOutputFolder", io.outputFolder },
            { "IO/OutputSizeX", io.sizeX }, { "IO/OutputSizeY", io.sizeY },
            { "IO/OutputFormat", io.format }, { "IO/OutputQuality", io.quality },
            { "IO/Overwrite", io.overwrite }, { "IO/BatchOutputFileNameType", 0 },
            { "IO/BatchInputFileSortType", 0 }, { "Convert/MarginLeft", p.marginLeft },
            { "Convert/MarginRight", p.marginRight }, { "Convert/MarginBottom", p.marginBottom },
            { "Convert/MarginTop", p.marginTop }, { "Convert/MapProjection", p.projection },
            { "Convert/LongitudeMinimum", p.lonMin }, { "Convert/LongitudeMaximum", p.lonMax },
            { "Convert/LatitudeMinimum", p.latMin }, { "Convert/LatitudeMaximum", p.latMax } });
}

// The per-pixel formula written out apart from the converter: the source
// pixel that target pixel (j, i) takes, or (-1, -1).
int trunc32(double v)
{
    return std::isfinite(v) && v > INT_MIN - 1.0 && v < INT_MAX + 1.0 ? int(v) : INT_MIN;
}

struct Oracle
{
    ParamSet p;
    QSize src, dst;

    double projected(double lat) const
    {
        const double a = (p.projection == QLatin1String("mercator") ? 1.0 : 0.8) * (M_PI / 180);
        return std::atanh(qBound(-0.99999, std::sin(a * lat), 0.99999)) / a;
    }
    QPoint sourcePixel(int j, int i) const
    {
        double lonMin = p.lonMin, lonMax = p.lonMax;
        while (lonMin < -180)
            lonMin += 360;
        while (lonMin >= 180)
            lonMin -= 360;
        while (lonMax <= -180)
            lonMax += 360;
        while (lonMax > 180)
            lonMax -= 360;
        const double span = lonMax > lonMin ? lonMax - lonMin : lonMax - lonMin + 360;
        const int w = src.width(), h = src.height();
        const double sx = (w - p.marginLeft - p.marginRight - 1) / span;
        const double yMax = projected(p.latMax);
        const double sy = -((h - p.marginBottom - p.marginTop - 1) / (yMax - projected(p.latMin)));
        double lon = j * (360.0 / (dst.width() - 1)) - 180;
        while (lonMin > lon)
            lon += 360;
        while (lon > lonMin + 360)
            lon -= 360;
        const int u = trunc32(lon * sx + (p.marginLeft - sx * lonMin));
        const double lat = 90 - i * (180.0 / (dst.height() - 1));
        const int v = trunc32(projected(lat) * sy + (p.marginTop - sy * yMax));
        const bool inside = u >= qMax(0, p.marginLeft) && u < qMin(w, w - p.marginRight)
            && v >= qMax(0, p.marginTop) && v < qMin(h, h - p.marginBottom);
        return inside ? QPoint(u, v) : QPoint(-1, -1);
    }
};

QImage referenceOutput(const QString &input, const IoValues &io)
{
    const QImage source = loadArgb(input);
    const Oracle oracle { sampleParams(), source.size(), QSize(io.sizeX, io.sizeY) };
    QImage target(oracle.dst, QImage::Format_ARGB32);
    target.fill(0);
    for (int i = 0; i < target.height(); ++i) {
        for (int j = 0; j < target.width(); ++j) {
            const QPoint from = oracle.sourcePixel(j, i);
            if (from.x() >= 0)
                target.setPixel(j, i, source.pixel(from));
        }
    }
    return target;
}

// A one-bit image declaring w x h, holding only the first rows: tiny on disk,
// 32 bits a pixel once decoded.
QByteArray bitmap(int w, int h, int rowsStored)
{
    return QStringLiteral("P4\n%1 %2\n").arg(w).arg(h).toLatin1()
        + QByteArray(qint64(rowsStored) * ((w + 7) / 8), '\0');
}

QMap<QString, QByteArray> checksums(const QString &root)
{
    QMap<QString, QByteArray> sums;
    for (QDirIterator it(root, QDir::Files); it.hasNext();) {
        const QString path = it.next();
        sums.insert(path, QCryptographicHash::hash(readFile(path), QCryptographicHash::Sha1));
    }
    return sums;
}

// "Group/Key=value;..." into a map.
QVariantMap keys(const QString &list)
{
    QVariantMap map;
    for (const QString &item : list.split(QLatin1Char(';'), Qt::SkipEmptyParts))
        map.insert(item.section(QLatin1Char('='), 0, 0), item.section(QLatin1Char('='), 1));
    return map;
}

// Encoded and decoded the way a JPEG output is, so the comparison can be exact.
QImage throughJpeg(const QImage &image, int quality)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "jpg", quality))
        return QImage();
    return QImage::fromData(bytes, "jpg");
}

// Every image file below a folder, relative to it; the filters ignore case.
QStringList imagesBelow(const QString &folder)
{
    QStringList found;
    QDirIterator it(folder, { QStringLiteral("*.png"), QStringLiteral("*.jpg") }, QDir::Files,
        QDirIterator::Subdirectories);
    while (it.hasNext())
        found.append(QDir(folder).relativeFilePath(it.next()));
    found.sort();
    return found;
}

// Counted from the bytes of the names: the toolkit passes over names that
// are not valid text.
int regularFilesIn(const QString &folder)
{
    int count = 0;
    DIR *dir = opendir(QFile::encodeName(folder).constData());
    while (dirent *entry = dir ? readdir(dir) : nullptr)
        count += entry->d_type == DT_REG;
    if (dir)
        closedir(dir);
    return count;
}

// Every file and folder below a folder, relative to it, links and FIFOs included.
QStringList entriesBelow(const QString &folder)
{
    QStringList found;
    QDirIterator it(folder, QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot,
        QDirIterator::Subdirectories);
    while (it.hasNext())
        found.append(QDir(folder).relativeFilePath(it.next()));
    return found;
}

QString both(const Run &run)
{
    return QStringLiteral("stdout: %1\nstderr: %2").arg(run.out, run.err);
}

} // namespace

class TestCli : public QObject
{
    Q_OBJECT

private:
    ScratchDir m_tmp;

    QString copySample(const QString &folder, const QString &name)
    {
        const QString target = folder + QLatin1Char('/') + name;
        QFile::copy(QStringLiteral(PLANO_SOURCE_DIR "/sample_images/sample-miller.jpg"), target);
        return target;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_tmp.isValid());
        if (!QFileInfo::exists(QStringLiteral(PLANO_EXE)))
            QSKIP("the program has not been built");
    }

    void pngOutputsEqualTheReference()
    {
        const QString in = m_tmp.newFolder(QStringLiteral("in"));
        const QString out = m_tmp.newFolder(QStringLiteral("out"));
        const QString sample = copySample(in, QStringLiteral("sample-miller.jpg"));
        const QString alpha = in + QStringLiteral("/alpha.png");
        const QString small = in + QStringLiteral("/small.jpg");
        QVERIFY(randomImage(300, 240, 1, RandomAlpha::Any).save(alpha));
        QVERIFY(randomImage(260, 220, 2, RandomAlpha::Opaque).save(small));

        IoValues io;
        io.outputFolder = out;
        io.format = 1;
        const QString ini = m_tmp.filePath(QStringLiteral("png.ini"));
        writeSettings(ini, io);

        const Run run = runBatch(ini, { sample, alpha, small }, m_tmp.path());
        QVERIFY2(!run.crashed, qPrintable(both(run)));
        QVERIFY2(run.exitCode == 0, qPrintable(both(run)));
        QCOMPARE(imagesBelow(out),
            (QStringList { QStringLiteral("alpha.png"), QStringLiteral("sample-miller.png"),
                QStringLiteral("small.png") }));
        for (const QString &input : { sample, alpha, small }) {
            const QImage expected = referenceOutput(input, io);
            const QImage written = loadArgb(out + QLatin1Char('/')
                + QFileInfo(input).completeBaseName() + QStringLiteral(".png"));
            QCOMPARE(written.size(), QSize(io.sizeX, io.sizeY));
            QVERIFY2(written == expected, qPrintable(input));
        }

        // Closing the hidden window stores the settings, the preview as never shown.
        QCOMPARE(
            iniValue(ini, QStringLiteral("GUI/PreviewWindow")).toString(), QStringLiteral("false"));
        QCOMPARE(iniValue(ini, QStringLiteral("IO/BatchOutputFolder")).toString(), out);
        QCOMPARE(iniValue(ini, QStringLiteral("Convert/MarginTop")).toInt(), 78);
        QCOMPARE(iniValue(ini, QStringLiteral("Convert/MapProjection")).toString(),
            QStringLiteral("miller"));
    }

    void jpegOutputsEqualTheReferenceEncodedAlike()
    {
        const QString in = m_tmp.newFolder(QStringLiteral("in"));
        const QString out = m_tmp.newFolder(QStringLiteral("out"));
        const QString sample = copySample(in, QStringLiteral("world.jpg"));
        const QString alpha = in + QStringLiteral("/alpha.png");
        QVERIFY(randomImage(300, 240, 3, RandomAlpha::Any).save(alpha));

        IoValues io;
        io.outputFolder = out;
        io.format = 0;
        io.quality = 70;
        const QString ini = m_tmp.filePath(QStringLiteral("jpeg.ini"));
        writeSettings(ini, io);

        const Run run = runBatch(ini, { sample, alpha }, m_tmp.path());
        QVERIFY2(!run.crashed, qPrintable(both(run)));
        QVERIFY2(run.exitCode == 0, qPrintable(both(run)));
        QCOMPARE(imagesBelow(out),
            (QStringList { QStringLiteral("alpha.jpg"), QStringLiteral("world.jpg") }));
        for (const QString &input : { sample, alpha }) {
            const QImage expected = throughJpeg(referenceOutput(input, io), io.quality);
            QVERIFY(!expected.isNull());
            const QImage written(out + QLatin1Char('/') + QFileInfo(input).completeBaseName()
                + QStringLiteral(".jpg"));
            QVERIFY2(written == expected, qPrintable(input));
        }
    }

    void unreadableInputFailsTheRun()
    {
        const QString in = m_tmp.newFolder(QStringLiteral("in"));
        const QString out = m_tmp.newFolder(QStringLiteral("out"));
        const QString good = in + QStringLiteral("/good.png");
        const QString bad = in + QStringLiteral("/not-a-picture.jpg");
        QVERIFY(randomImage(200, 200, 4, RandomAlpha::Opaque).save(good));
        QVERIFY(writeFile(bad, "just some words\n"));

        IoValues io;
        io.outputFolder = out;
        const QString ini = m_tmp.filePath(QStringLiteral("bad.ini"));
        writeSettings(ini, io);

        const Run run = runBatch(ini, { bad, good }, m_tmp.path());
        QVERIFY2(!run.crashed, qPrintable(both(run)));
        QVERIFY2(run.exitCode != 0, qPrintable(both(run)));
        QVERIFY2(run.err.contains(QStringLiteral("not-a-picture.jpg")), qPrintable(both(run)));
        // One bad file does not stop the others.
        QCOMPARE(imagesBelow(out), QStringList { QStringLiteral("good.png") });
    }

    void emptyOutputFolderIsRefused()
    {
        const QString in = m_tmp.newFolder(QStringLiteral("in"));
        const QString work = m_tmp.newFolder(QStringLiteral("work"));
        // A name no other run uses, so a write into the root would be noticed.
        const QString base
            = QStringLiteral("plano-cli-refusal-%1").arg(QDateTime::currentMSecsSinceEpoch());
        const QString input = in + QLatin1Char('/') + base + QStringLiteral(".png");
        QVERIFY(randomImage(200, 200, 5, RandomAlpha::Opaque).save(input));

        IoValues io;
        const QString ini = work + QStringLiteral("/nofolder.ini");
        writeSettings(ini, io);

        const Run run = runBatch(ini, { input }, work);
        QVERIFY2(!run.crashed, qPrintable(both(run)));
        QVERIFY2(run.exitCode != 0, qPrintable(both(run)));
        QVERIFY2(run.err.contains(QStringLiteral("BatchOutputFolder")), qPrintable(both(run)));
        QCOMPARE(imagesBelow(in), QStringList { base + QStringLiteral(".png") });
        QCOMPARE(imagesBelow(work), QStringList());
        QVERIFY(!QFileInfo::exists(QLatin1Char('/') + base + QStringLiteral(".png")));
        QVERIFY(!QFileInfo::exists(QLatin1Char('/') + base + QStringLiteral(".jpg")));
    }

    void batchWithoutFilesStoresTheSettings()
    {
        const QString work = m_tmp.newFolder(QStringLiteral("work"));
        const QString ini = work + QStringLiteral("/fresh.ini");
        QVERIFY(!QFileInfo::exists(ini));

        const Run run = runBatch(ini, QStringList(), work);
        QVERIFY2(!run.crashed, qPrintable(both(run)));
        QVERIFY2(run.exitCode == 0 && run.err.isEmpty(), qPrintable(both(run)));
        QVERIFY(QFileInfo::exists(ini));
        QCOMPARE(
            iniValue(ini, QStringLiteral("GUI/PreviewWindow")).toString(), QStringLiteral("false"));
        QCOMPARE(iniValue(ini, QStringLiteral("IO/OutputSizeX")).toInt(), 2048);
        QCOMPARE(iniValue(ini, QStringLiteral("IO/OutputSizeY")).toInt(), 1024);
        QCOMPARE(iniValue(ini, QStringLiteral("Convert/MapProjection")).toString(),
            QStringLiteral("miller"));
        QCOMPARE(imagesBelow(work), QStringList());
    }

    void helpPrintsUsage_data()
    {
        QTest::addColumn<QString>("arg");
        QTest::newRow("--help") << QStringLiteral("--help");
        QTest::newRow("/?") << QStringLiteral("/?");
        QTest::newRow("--version") << QStringLiteral("--version");
    }

    void helpPrintsUsage()
    {
        QFETCH(QString, arg);
        const QString work = m_tmp.newFolder(QStringLiteral("work"));
        const Run run = runProgram({ arg }, work);
        QVERIFY2(!run.crashed, qPrintable(both(run)));
        QCOMPARE(run.exitCode, 0);
        if (arg == QLatin1String("--version")) {
            QCOMPARE(run.out, QStringLiteral("Plano-Miller 1.0\n"));
            return;
        }
        const QString text = run.out + run.err;
        QVERIFY2(text.contains(QStringLiteral("/batch")), qPrintable(both(run)));
        QVERIFY2(text.contains(QStringLiteral("/ini=")), qPrintable(both(run)));
        QVERIFY2(text.contains(QStringLiteral("--output-dir")), qPrintable(both(run)));
    }

    void overridesServeOneRunOnly()
    {
        const QString in = m_tmp.newFolder(QStringLiteral("in"));
        const QString stored = m_tmp.newFolder(QStringLiteral("stored"));
        const QString out = m_tmp.newFolder(QStringLiteral("out"));
        const QString input = copySample(in, QStringLiteral("world.jpg"));
        IoValues io;
        io.outputFolder = stored;
        const QString ini = m_tmp.filePath(QStringLiteral("over.ini"));
        writeSettings(ini, io);
        const QString params = m_tmp.filePath(QStringLiteral("params.ini"));
        QVERIFY(QFile::copy(QStringLiteral(PLANO_TEST_DATA "/sample-miller.ini"), params));
        const QByteArray before = readFile(ini);

        // A refused value stops the run before anything is read or written.
        Run run = runProgram({ QStringLiteral("--batch"), QStringLiteral("--ini"), ini,
                                 QStringLiteral("--quality=0"), input },
            m_tmp.path());
        QCOMPARE(run.exitCode, 2);
        QVERIFY2(run.err.contains(QStringLiteral("--quality")), qPrintable(both(run)));
        QCOMPARE(readFile(ini), before);

        run = runProgram({ QStringLiteral("--batch"), QStringLiteral("--ini=") + ini,
                             QStringLiteral("--output-dir"), out,
                             QStringLiteral("--size=1024x1024"), QStringLiteral("--format=jpg"),
                             QStringLiteral("--params"), params, QStringLiteral("--"), input },
            m_tmp.path());
        QVERIFY2(run.exitCode == 0, qPrintable(both(run)));
        QCOMPARE(imagesBelow(stored), QStringList());
        QCOMPARE(imagesBelow(out), QStringList { QStringLiteral("world.jpg") });
        QCOMPARE(QImage(out + QStringLiteral("/world.jpg")).size(), QSize(1024, 1024));
        QCOMPARE(iniValue(ini, QStringLiteral("IO/BatchOutputFolder")).toString(), stored);
        QCOMPARE(iniValue(ini, QStringLiteral("IO/OutputSizeY")).toInt(), io.sizeY);
        QCOMPARE(iniValue(ini, QStringLiteral("IO/OutputFormat")).toInt(), io.format);

        // The method switch reaches the conversion.
        const QString cubic = m_tmp.newFolder(QStringLiteral("cubic"));
        run = runProgram(
            { QStringLiteral("--batch"), QStringLiteral("--ini=") + ini,
                QStringLiteral("--output-dir"), cubic, QStringLiteral("--format=png"),
                QStringLiteral("--resampling=bicubic"), QStringLiteral("--params"), params, input },
            m_tmp.path());
        QVERIFY2(run.exitCode == 0, qPrintable(both(run)));
        QSettings paramFile(params, QSettings::IniFormat);
        ParamSet set;
        set.readConvertGroup(paramFile);
        QCOMPARE(loadArgb(cubic + QStringLiteral("/world.png")),
            referenceOutput(input, set, QSize(io.sizeX, io.sizeY), Resampling::Bicubic));
        QVERIFY(iniValue(ini, QStringLiteral("IO/Resampling")).toInt() == 0);
    }

    void patternsExpandToMatchingFiles()
    {
        const QString in = m_tmp.newFolder(QStringLiteral("in"));
        const QString out = m_tmp.newFolder(QStringLiteral("out"));
        QVERIFY(randomImage(200, 200, 6, RandomAlpha::Opaque).save(in + QStringLiteral("/a.png")));
        QVERIFY(randomImage(200, 200, 7, RandomAlpha::Opaque)
                    .save(in + QStringLiteral("/B.PNG"), "png"));
        QVERIFY(randomImage(200, 200, 8, RandomAlpha::Opaque).save(in + QStringLiteral("/c.jpg")));
        // A folder that matches the pattern is no input.
        QVERIFY(QDir(in).mkdir(QStringLiteral("sub.png")));
        QVERIFY(QDir(in).mkdir(QStringLiteral("deeper")));
        QVERIFY(randomImage(200, 200, 9, RandomAlpha::Opaque)
                    .save(in + QStringLiteral("/deeper/d.png")));

        IoValues io;
        io.outputFolder = out;
        const QString ini = m_tmp.filePath(QStringLiteral("pattern.ini"));
        writeSettings(ini, io);

        // Passed as one argument, the way a quoted pattern reaches the program.
        const Run run = runBatch(ini, { in + QStringLiteral("/*.png") }, m_tmp.path());
        QVERIFY2(!run.crashed, qPrintable(both(run)));
        QVERIFY2(run.exitCode == 0, qPrintable(both(run)));
        QCOMPARE(
            imagesBelow(out), (QStringList { QStringLiteral("B.png"), QStringLiteral("a.png") }));
        QVERIFY(loadArgb(out + QStringLiteral("/B.png"))
            == referenceOutput(in + QStringLiteral("/B.PNG"), io));
    }

    void oracleFollowsTheWorkedExample_data()
    {
        QTest::addColumn<ParamSet>("params");
        QTest::addColumn<QPoint>("target");
        QTest::addColumn<QPoint>("source");
        const ParamSet miller = makeParams(10, 10, 20, 20);
        const ParamSet mercator = makeParams(10, 10, 20, 20, QStringLiteral("mercator"));
        const ParamSet crossing = makeParams(0, 0, 0, 0, QStringLiteral("miller"), 20, -160);
        QTest::newRow("centre") << miller << QPoint(1024, 256) << QPoint(999, 324);
        QTest::newRow("top left") << miller << QPoint(0, 0) << QPoint(10, 20);
        QTest::newRow("lon 180 on 1988, not 1989")
            << miller << QPoint(2047, 1023) << QPoint(1988, 979);
        QTest::newRow("mercator pole") << mercator << QPoint(0, 0) << QPoint(10, 20);
        QTest::newRow("crossing 180, wrapped") << crossing << QPoint(0, 512) << QPoint(1776, 499);
        QTest::newRow("crossing 180, outside") << crossing << QPoint(1100, 512) << QPoint(-1, -1);
    }

    void oracleFollowsTheWorkedExample()
    {
        QFETCH(ParamSet, params);
        QFETCH(QPoint, target);
        QFETCH(QPoint, source);
        const Oracle oracle { params, QSize(2000, 1000), QSize(2048, 1024) };
        QCOMPARE(oracle.sourcePixel(target.x(), target.y()), source);
    }

    // Each row one bad input: the exit status, the reason on the error
    // stream, the outputs, every file that was there before unchanged and
    // nothing new but the settings file. Settings "!image", "!xpm", "!notes",
    // "!fifo", "!device" put something else at the settings path; "!latin1"
    // adds a group that is not UTF-8. "args" replaces the default switches
    // (%in the input folder, %ini the settings file); "before" is a shell line
    // run in the input folder first (%out the output folder); "shell" one run before the program in
    // its own shell; "kept" lists values the settings file must hold afterwards.
    void badInputChangesNothing_data()
    {
        for (const char *column :
            { "settings", "args", "before", "inputs", "shell", "display", "reason", "kept" })
            QTest::addColumn<QString>(column);
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<int>("outputs");
        struct Row
        {
            const char *name, *settings, *args, *before, *inputs, *shell, *display, *reason, *kept;
            int exitCode, outputs;
        };
        const char *batch = "/batch /ini=%ini";
        const Row rows[] = {
            { "settings file is an image", "!image", batch, "", "good.png", "", "",
                "is not a settings file (it holds binary data)", "", 2, 0 },
            { "settings path is a FIFO", "!fifo", batch, "", "good.png", "", "",
                "is not a regular file", "", 2, 0 },
            { "settings path is a device", "!device", batch, "", "good.png", "", "",
                "is not a regular file", "", 2, 0 },
            { "settings file is an image in text, and an input", "!xpm", batch, "", "settings.ini",
                "", "", "line 1, \"/* XPM */\", is no setting", "", 2, 0 },
            { "settings file is a notes file", "!notes", batch, "", "good.png", "", "",
                "line 1, \"Margins of the atlas pages\", is no setting", "", 2, 0 },
            { "parameter file is an image holding a parameter text", "",
                "--batch --ini=%ini --params=%in/p.png", "", "good.png", "", "", "--params: ", "",
                2, 0 },
            { "parameter file with an infinite latitude", "",
                "--batch --ini=%ini --params=%in/p-inf.ini", "", "good.png", "", "",
                "LatitudeMinimum=inf is not a finite number", "", 2, 0 },
            { "settings file not UTF-8", "!latin1", batch, "", "good.png", "", "", "kept as", "", 0,
                1 },
            { "headless run keeps the geometry", "GUI/Geometry=kept;GUI/PreviewGeometry=also",
                batch, "", "good.png", "", "", "converted 1 of 1",
                "GUI/Geometry=kept;GUI/PreviewGeometry=also", 0, 1 },
            { "Overwrite=no keeps an existing output", "IO/Overwrite=no", batch,
                "printf precious > %out/good.png", "good.png", "", "",
                "good.png (exists, not overwritten)", "IO/Overwrite=false", 1, 1 },
            { "a boolean that is none is refused", "IO/BatchAutoDetect=maybe", batch, "",
                "good.png", "", "", "BatchAutoDetect=maybe is neither true nor false",
                "IO/BatchAutoDetect=maybe", 1, 0 },
            { "output is a link out of the folder", "", batch,
                "printf precious > precious.png && ln -s \"$PWD/precious.png\" %out/good.png",
                "good.png", "", "", "good.png (the target is a symbolic link, not written)", "", 1,
                0 },
            { "output is a dangling link", "", batch, "ln -s \"$PWD/made.png\" %out/good.png",
                "good.png", "", "", "the target is a symbolic link", "", 1, 0 },
            { "output beyond the pixel limit", "IO/OutputSizeX=60000;IO/OutputSizeY=60000", batch,
                "", "good.png", "", "", "output size 60000 \u00d7 60000", "", 1, 0 },
            { "output cannot be allocated", "IO/OutputSizeX=16000;IO/OutputSizeY=16000", batch, "",
                "good.png", "ulimit -v 600000", "",
                "not enough memory for the 16000 \u00d7 16000 output", "", 1, 0 },
            { "32-bit copy does not fit", "IO/MaxImagePixels=1000000000", batch, "", "mono.pbm",
                "ulimit -v 600000", "", "not enough memory to open 16000 \u00d7 16000", "", 1, 0 },
            { "decompression bomb", "", batch, "", "bomb.pbm", "", "",
                "too large (30000 \u00d7 30000", "", 1, 0 },
            { "truncated JPEG", "", batch, "", "cut.jpg", "", "",
                "cut.jpg (damaged or truncated image)", "", 1, 0 },
            { "truncated BMP", "", batch, "", "cut.bmp;good.png", "", "",
                "cut.bmp (damaged or truncated image)", "", 1, 1 },
            { "truncated GIF", "", batch, "", "cut.gif", "", "",
                "cut.gif (damaged or truncated image)", "", 1, 0 },
            { "icon holds less than its header says", "", batch, "", "lie.ico", "", "",
                "lie.ico (MarginLeft + MarginRight (55 + 42) leave no column", "", 1, 0 },
            { "margins cross", "Convert/MarginLeft=1024;Convert/MarginRight=1024", batch, "",
                "good.png;narrow.png", "", "", "MarginLeft + MarginRight (1024 + 1024)", "", 1, 0 },
            { "latitudes equal", "Convert/LatitudeMinimum=30;Convert/LatitudeMaximum=30", batch, "",
                "good.png", "", "", "LatitudeMinimum and LatitudeMaximum are equal", "", 1, 0 },
            { "latitude not a number", "Convert/LatitudeMinimum=nan", batch, "", "good.png", "", "",
                "LatitudeMinimum=nan is not a finite number", "Convert/LatitudeMinimum=nan", 1, 0 },
            { "latitude is text", "Convert/LatitudeMaximum=abc", batch, "", "good.png", "", "",
                "LatitudeMaximum=abc is not a finite number", "Convert/LatitudeMaximum=abc", 1, 0 },
            { "margin is text", "Convert/MarginLeft=abc", batch, "", "good.png", "", "",
                "MarginLeft=abc is not a whole number", "Convert/MarginLeft=abc", 1, 0 },
            { "margin beyond every integer", "Convert/MarginLeft=99999999999", batch, "",
                "good.png", "", "", "MarginLeft=99999999999 is not a whole number",
                "Convert/MarginLeft=99999999999", 1, 0 },
            { "pattern matches nothing", "", batch, "", "nowhere/*.jpg", "", "", "no file matches ",
                "", 1, 0 },
            { "file does not exist", "", batch, "", "absent.jpg", "", "",
                "absent.jpg (the file does not exist)", "", 1, 0 },
            { "file name not UTF-8", "", batch, "cp good.png \"$(printf 'caf\\351.png')\"", "*.png",
                "", "", "caf\\xE9.png \u2192", "", 0, 3 },
            { "input is a FIFO", "", batch, "mkfifo f.jpg", "f.jpg;good.png", "", "",
                "f.jpg (not a regular file)", "", 1, 1 },
            { "detection of a FIFO", "", "--detect /ini=%ini", "mkfifo f.jpg", "f.jpg", "", "",
                "f.jpg: not a regular file", "", 1, 0 },
            { "empty /ini= is refused", "", "/batch /ini=", "", "good.png", "", "",
                "/ini: the value is empty", "", 2, 0 },
            { "refused run creates no settings folder", "", "--batch --ini=%in/new/none.ini", "",
                "good.png", "", "", "BatchOutputFolder", "", 1, 0 },
            { "unknown projection kept", "Convert/MapProjection=Miller", batch, "", "good.png", "",
                "", "unknown map projection \"Miller\"", "Convert/MapProjection=Miller", 1, 0 },
            { "output size not a number", "IO/OutputSizeX=wide", batch, "", "good.png", "", "",
                "output size 0 \u00d7 512", "", 1, 0 },
            { "disk full", "", batch, "", "good.png", "trap '' XFSZ; ulimit -f 4", "",
                "could not be written: File too large", "", 1, 0 },
            { "display cannot be opened", "", batch, "", "good.png", "", ":4711",
                "converted 1 of 1", "", 0, 1 },
        };
        for (const Row &r : rows) {
            QTest::newRow(r.name) << QString::fromUtf8(r.settings) << r.args << r.before
                                  << QString::fromUtf8(r.inputs) << r.shell << r.display
                                  << QString::fromUtf8(r.reason) << r.kept << r.exitCode
                                  << r.outputs;
        }
    }

    void badInputChangesNothing()
    {
        QFETCH(QString, settings);
        QFETCH(QString, args);
        QFETCH(QString, before);
        QFETCH(QString, inputs);
        QFETCH(QString, reason);
        QFETCH(QString, kept);
        const QString in = m_tmp.newFolder(QStringLiteral("in"));
        const QString out = m_tmp.newFolder(QStringLiteral("out"));
        const QImage good = randomImage(200, 150, 11, RandomAlpha::Opaque);
        QVERIFY(good.save(in + "/good.png"));
        QVERIFY(randomImage(400, 300, 12, RandomAlpha::Opaque).save(in + "/narrow.png"));
        QVERIFY(writeFile(in + "/bomb.pbm", bitmap(30000, 30000, 8)));
        if (inputs == QLatin1String("mono.pbm"))
            QVERIFY(writeFile(in + "/mono.pbm", bitmap(16000, 16000, 16000)));
        auto cut = [&in](const QString &name, const QByteArray &bytes) {
            return writeFile(in + QLatin1Char('/') + name, bytes.left(bytes.size() / 2));
        };
        QByteArray jpeg;
        QBuffer buffer(&jpeg);
        QVERIFY(buffer.open(QIODevice::WriteOnly)
            && randomImage(300, 200, 13, RandomAlpha::Opaque).save(&buffer, "jpg"));
        QVERIFY(cut("cut.jpg", jpeg));
        QByteArray bmp;
        QBuffer bmpBuffer(&bmp);
        QVERIFY(bmpBuffer.open(QIODevice::WriteOnly) && good.save(&bmpBuffer, "bmp"));
        QVERIFY(cut("cut.bmp", bmp));
        QVERIFY(cut("cut.gif", readFile(QStringLiteral(PLANO_TEST_DATA "/gradient.gif"))));
        // An icon whose directory promises 256 x 256 around a 20 x 20 PNG.
        QByteArray png;
        QBuffer pngBuffer(&png);
        QVERIFY(pngBuffer.open(QIODevice::WriteOnly)
            && good.copy(0, 0, 20, 20).save(&pngBuffer, "png"));
        QByteArray ico = QByteArray::fromHex("000001000100000000000100200000000000"
                                             "16000000");
        qToLittleEndian<quint32>(quint32(png.size()), ico.data() + 14);
        QVERIFY(writeFile(in + "/lie.ico", ico + png));
        if (args.contains(QLatin1String("p.png"))) {
            QImage withText = good;
            withText.setText(QStringLiteral("x"), QStringLiteral("\n[Convert]\nMarginLeft=55\n"));
            QVERIFY(withText.save(in + "/p.png"));
        }
        QVERIFY(writeFile(in + "/p-inf.ini", "[Convert]\nLatitudeMinimum=inf\n"));

        const QString ini = in + "/settings.ini";
        IoValues io;
        io.outputFolder = out;
        writeSettings(ini, io);
        writeIni(ini, keys(settings));
        const QByteArray iniBefore = readFile(ini);
        const bool special = settings.startsWith(QLatin1Char('!'));
        if (special)
            QVERIFY(QFile::remove(ini));
        if (settings == QLatin1String("!image"))
            QVERIFY(QFile::copy(in + "/good.png", ini));
        if (settings == QLatin1String("!xpm"))
            QVERIFY(good.save(ini, "xpm"));
        if (settings == QLatin1String("!notes"))
            QVERIFY(writeFile(ini, "Margins of the atlas pages\nPage 1: left=55\n"));
        if (settings == QLatin1String("!fifo"))
            QVERIFY(mkfifo(QFile::encodeName(ini).constData(), 0600) == 0);
        if (settings == QLatin1String("!device")
            && mknod(QFile::encodeName(ini).constData(), S_IFCHR | 0666, makedev(1, 3)) != 0)
            QSKIP("making a character device needs root");
        if (settings == QLatin1String("!latin1"))
            QVERIFY(writeFile(ini, iniBefore + "[Notes]\nplace=Gr\xfcnland\n"));
        if (!before.isEmpty()) {
            QProcess shell;
            shell.setWorkingDirectory(in);
            shell.start(QStringLiteral("/bin/sh"),
                { QStringLiteral("-c"), QString(before).replace("%out", out) });
            QVERIFY(shell.waitForFinished() && shell.exitCode() == 0);
        }
        auto sums = checksums(in);
        sums.insert(checksums(out));
        // Written after a run that is not refused, unless it is no settings file.
        if (!special || settings == QLatin1String("!latin1"))
            sums.remove(ini);
        const QString besideExe = QFileInfo(QStringLiteral(PLANO_EXE)).absolutePath()
            + QStringLiteral("/plano-miller.ini");
        const QByteArray besideExeBefore = readFile(besideExe);
        const QStringList entriesBefore = entriesBelow(in);

        QStringList argv;
        for (const QString &arg : args.split(QLatin1Char(' ')))
            argv << QString(arg).replace("%ini", ini).replace("%in", in);
        for (const QString &input : inputs.split(QLatin1Char(';')))
            argv << in + QLatin1Char('/') + input;
        QFETCH(QString, shell);
        QFETCH(QString, display);
        const Run run = runProgram(argv, in, shell, display);
        QVERIFY2(!run.crashed && run.err.contains(reason), qPrintable(both(run)));
        QFETCH(int, exitCode);
        QFETCH(int, outputs);
        QVERIFY2(run.exitCode == exitCode, qPrintable(both(run)));
        QCOMPARE(regularFilesIn(out), outputs);
        auto after = checksums(in);
        after.insert(checksums(out));
        for (auto it = sums.cbegin(); it != sums.cend(); ++it)
            QVERIFY2(after.value(it.key()) == it.value(), qPrintable(it.key()));
        // Nothing new beside the inputs but the settings file and its copy.
        QStringList added = entriesBelow(in);
        for (const QString &entry : entriesBefore)
            added.removeOne(entry);
        added.removeOne(QStringLiteral("settings.ini"));
        added.removeOne(QStringLiteral("settings.ini.damaged"));
        QVERIFY2(added.isEmpty(), qPrintable(added.join(QLatin1Char(' '))));
        QCOMPARE(readFile(besideExe), besideExeBefore);
        if (settings == QLatin1String("!latin1"))
            QCOMPARE(readFile(ini + ".damaged"), iniBefore + "[Notes]\nplace=Gr\xfcnland\n");
        if (settings == QLatin1String("!fifo") || settings == QLatin1String("!device"))
            QVERIFY(QFileInfo::exists(ini) && !QFileInfo(ini).isFile());
        const QVariantMap expected = keys(kept);
        for (auto it = expected.cbegin(); it != expected.cend(); ++it)
            QCOMPARE(iniValue(ini, it.key()).toString(), it.value().toString());
    }
};

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
