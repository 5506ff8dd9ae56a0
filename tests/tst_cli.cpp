// The built program run from the command line as a user would: headless batch
// runs with no display at all, exit status, messages, pattern expansion, and
// the settings file written back afterwards.
#include "projection/convertparams.h"
#include "projection/projectionconverter.h"
#include "testsupport.h"

#include <QBuffer>
#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QtTest>

namespace {

struct Run
{
    int exitCode = -1;
    bool crashed = true;
    QString out;
    QString err;
};

// No platform, no display: the program has to find its own way to run headless.
Run runProgram(const QStringList &args, const QString &workDir)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));

    QProcess process;
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(workDir);
    process.start(QStringLiteral(PLANO_EXE), args);
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

// The per-pixel computation on the input, at the output size.
QImage referenceOutput(const QString &input, const IoValues &io)
{
    return ::referenceOutput(input, sampleParams(), QSize(io.sizeX, io.sizeY));
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
        QVERIFY2(run.exitCode == 0, qPrintable(both(run)));
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
    }

    void helpPrintsUsage()
    {
        QFETCH(QString, arg);
        const QString work = m_tmp.newFolder(QStringLiteral("work"));
        const Run run = runProgram({ arg }, work);
        QVERIFY2(!run.crashed, qPrintable(both(run)));
        QCOMPARE(run.exitCode, 0);
        const QString text = run.out + run.err;
        QVERIFY2(text.contains(QStringLiteral("/batch")), qPrintable(both(run)));
        QVERIFY2(text.contains(QStringLiteral("/ini=")), qPrintable(both(run)));
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
};

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
