// The built program run from the command line as a user would: headless batch
// runs with no display at all, exit status, messages, pattern expansion, and
// the settings file written back afterwards.
#include "projection/convertparams.h"
#include "projection/projectionconverter.h"

#include <QBuffer>
#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QRandomGenerator>
#include <QSettings>
#include <QTemporaryDir>
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

ParamSet sampleParams()
{
    ParamSet p;
    p.marginLeft = 55;
    p.marginRight = 42;
    p.marginBottom = 47;
    p.marginTop = 78;
    p.projection = QStringLiteral("miller");
    p.lonMin = -180;
    p.lonMax = 180;
    p.latMin = -90;
    p.latMax = 90;
    return p;
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
    QSettings s(path, QSettings::IniFormat);
    s.setIniCodec("UTF-8");
    s.beginGroup(QStringLiteral("GUI"));
    // Written back as false: a batch run never shows the preview.
    s.setValue(QStringLiteral("PreviewWindow"), true);
    s.endGroup();
    s.beginGroup(QStringLiteral("IO"));
    s.setValue(QStringLiteral("BatchOutputFolder"), io.outputFolder);
    s.setValue(QStringLiteral("OutputSizeX"), io.sizeX);
    s.setValue(QStringLiteral("OutputSizeY"), io.sizeY);
    s.setValue(QStringLiteral("OutputFormat"), io.format);
    s.setValue(QStringLiteral("OutputQuality"), io.quality);
    s.setValue(QStringLiteral("Overwrite"), io.overwrite);
    s.setValue(QStringLiteral("BatchOutputFileNameType"), 0);
    s.setValue(QStringLiteral("BatchInputFileSortType"), 0);
    s.endGroup();
    const ParamSet p = sampleParams();
    s.beginGroup(QStringLiteral("Convert"));
    s.setValue(QStringLiteral("MarginLeft"), p.marginLeft);
    s.setValue(QStringLiteral("MarginRight"), p.marginRight);
    s.setValue(QStringLiteral("MarginBottom"), p.marginBottom);
    s.setValue(QStringLiteral("MarginTop"), p.marginTop);
    s.setValue(QStringLiteral("MapProjection"), p.projection);
    s.setValue(QStringLiteral("LongitudeMinimum"), p.lonMin);
    s.setValue(QStringLiteral("LongitudeMaximum"), p.lonMax);
    s.setValue(QStringLiteral("LatitudeMinimum"), p.latMin);
    s.setValue(QStringLiteral("LatitudeMaximum"), p.latMax);
    s.endGroup();
    s.sync();
}

QImage randomImage(int w, int h, quint32 seed, bool withAlpha)
{
    QRandomGenerator rng(seed);
    QImage img(w, h, QImage::Format_ARGB32);
    for (int y = 0; y < h; ++y) {
        auto *line = reinterpret_cast<QRgb *>(img.scanLine(y));
        for (int x = 0; x < w; ++x) {
            const quint32 v = rng.generate();
            const int a = withAlpha ? int(v >> 24) : 255;
            line[x] = qRgba(int(v & 0xff), int((v >> 8) & 0xff), int((v >> 16) & 0xff), a);
        }
    }
    return img;
}

// The per-pixel computation on the input as 32-bit ARGB, into a transparent target.
QImage referenceOutput(const QString &input, const IoValues &io)
{
    QImage source(input);
    if (source.isNull())
        return QImage();
    source = source.convertToFormat(QImage::Format_ARGB32);
    ProjectionConverter converter;
    if (!sampleParams().applyTo(converter))
        return QImage();
    QImage target(io.sizeX, io.sizeY, QImage::Format_ARGB32);
    target.fill(0);
    converter.remapReference(source, target);
    return target;
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

QImage loadArgb(const QString &path)
{
    return QImage(path).convertToFormat(QImage::Format_ARGB32);
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
    QTemporaryDir m_tmp;
    int m_case = 0;

    QString newFolder(const QString &name)
    {
        const QString path = m_tmp.filePath(QStringLiteral("%1-%2").arg(++m_case).arg(name));
        QDir().mkpath(path);
        return path;
    }

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
        const QString in = newFolder(QStringLiteral("in"));
        const QString out = newFolder(QStringLiteral("out"));
        const QString sample = copySample(in, QStringLiteral("sample-miller.jpg"));
        const QString alpha = in + QStringLiteral("/alpha.png");
        const QString small = in + QStringLiteral("/small.jpg");
        QVERIFY(randomImage(300, 240, 1, true).save(alpha));
        QVERIFY(randomImage(260, 220, 2, false).save(small));

        IoValues io;
        io.outputFolder = out;
        io.format = 1;
        const QString ini = m_tmp.filePath(QStringLiteral("png.ini"));
        writeSettings(ini, io);

        const Run run = runProgram(
            { QStringLiteral("/batch"), QStringLiteral("/ini=") + ini, sample, alpha, small },
            m_tmp.path());
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
        QSettings after(ini, QSettings::IniFormat);
        after.setIniCodec("UTF-8");
        QCOMPARE(
            after.value(QStringLiteral("GUI/PreviewWindow")).toString(), QStringLiteral("false"));
        QCOMPARE(after.value(QStringLiteral("IO/BatchOutputFolder")).toString(), out);
        QCOMPARE(after.value(QStringLiteral("Convert/MarginTop")).toInt(), 78);
        QCOMPARE(after.value(QStringLiteral("Convert/MapProjection")).toString(),
            QStringLiteral("miller"));
    }

    void jpegOutputsEqualTheReferenceEncodedAlike()
    {
        const QString in = newFolder(QStringLiteral("in"));
        const QString out = newFolder(QStringLiteral("out"));
        const QString sample = copySample(in, QStringLiteral("world.jpg"));
        const QString alpha = in + QStringLiteral("/alpha.png");
        QVERIFY(randomImage(300, 240, 3, true).save(alpha));

        IoValues io;
        io.outputFolder = out;
        io.format = 0;
        io.quality = 70;
        const QString ini = m_tmp.filePath(QStringLiteral("jpeg.ini"));
        writeSettings(ini, io);

        const Run run
            = runProgram({ QStringLiteral("/batch"), QStringLiteral("/ini=") + ini, sample, alpha },
                m_tmp.path());
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
        const QString in = newFolder(QStringLiteral("in"));
        const QString out = newFolder(QStringLiteral("out"));
        const QString good = in + QStringLiteral("/good.png");
        const QString bad = in + QStringLiteral("/not-a-picture.jpg");
        QVERIFY(randomImage(200, 200, 4, false).save(good));
        QFile text(bad);
        QVERIFY(text.open(QIODevice::WriteOnly));
        text.write("just some words\n");
        text.close();

        IoValues io;
        io.outputFolder = out;
        const QString ini = m_tmp.filePath(QStringLiteral("bad.ini"));
        writeSettings(ini, io);

        const Run run = runProgram(
            { QStringLiteral("/batch"), QStringLiteral("/ini=") + ini, bad, good }, m_tmp.path());
        QVERIFY2(!run.crashed, qPrintable(both(run)));
        QVERIFY2(run.exitCode != 0, qPrintable(both(run)));
        QVERIFY2(run.err.contains(QStringLiteral("not-a-picture.jpg")), qPrintable(both(run)));
        // One bad file does not stop the others.
        QCOMPARE(imagesBelow(out), QStringList { QStringLiteral("good.png") });
    }

    void emptyOutputFolderIsRefused()
    {
        const QString in = newFolder(QStringLiteral("in"));
        const QString work = newFolder(QStringLiteral("work"));
        // A name no other run uses, so a write into the root would be noticed.
        const QString base
            = QStringLiteral("plano-cli-refusal-%1").arg(QDateTime::currentMSecsSinceEpoch());
        const QString input = in + QLatin1Char('/') + base + QStringLiteral(".png");
        QVERIFY(randomImage(200, 200, 5, false).save(input));

        IoValues io;
        const QString ini = work + QStringLiteral("/nofolder.ini");
        writeSettings(ini, io);

        const Run run
            = runProgram({ QStringLiteral("/batch"), QStringLiteral("/ini=") + ini, input }, work);
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
        const QString work = newFolder(QStringLiteral("work"));
        const QString ini = work + QStringLiteral("/fresh.ini");
        QVERIFY(!QFileInfo::exists(ini));

        const Run run
            = runProgram({ QStringLiteral("/batch"), QStringLiteral("/ini=") + ini }, work);
        QVERIFY2(!run.crashed, qPrintable(both(run)));
        QVERIFY2(run.exitCode == 0, qPrintable(both(run)));
        QVERIFY(QFileInfo::exists(ini));
        QSettings after(ini, QSettings::IniFormat);
        after.setIniCodec("UTF-8");
        QCOMPARE(
            after.value(QStringLiteral("GUI/PreviewWindow")).toString(), QStringLiteral("false"));
        QCOMPARE(after.value(QStringLiteral("IO/OutputSizeX")).toInt(), 2048);
        QCOMPARE(after.value(QStringLiteral("IO/OutputSizeY")).toInt(), 1024);
        QCOMPARE(after.value(QStringLiteral("Convert/MapProjection")).toString(),
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
        const QString work = newFolder(QStringLiteral("work"));
        const Run run = runProgram({ arg }, work);
        QVERIFY2(!run.crashed, qPrintable(both(run)));
        QCOMPARE(run.exitCode, 0);
        const QString text = run.out + run.err;
        QVERIFY2(text.contains(QStringLiteral("/batch")), qPrintable(both(run)));
        QVERIFY2(text.contains(QStringLiteral("/ini=")), qPrintable(both(run)));
    }

    void patternsExpandToMatchingFiles()
    {
        const QString in = newFolder(QStringLiteral("in"));
        const QString out = newFolder(QStringLiteral("out"));
        QVERIFY(randomImage(200, 200, 6, false).save(in + QStringLiteral("/a.png")));
        QVERIFY(randomImage(200, 200, 7, false).save(in + QStringLiteral("/B.PNG"), "png"));
        QVERIFY(randomImage(200, 200, 8, false).save(in + QStringLiteral("/c.jpg")));
        // A folder that matches the pattern is no input.
        QVERIFY(QDir(in).mkdir(QStringLiteral("sub.png")));
        QVERIFY(QDir(in).mkdir(QStringLiteral("deeper")));
        QVERIFY(randomImage(200, 200, 9, false).save(in + QStringLiteral("/deeper/d.png")));

        IoValues io;
        io.outputFolder = out;
        const QString ini = m_tmp.filePath(QStringLiteral("pattern.ini"));
        writeSettings(ini, io);

        // Passed as one argument, the way a quoted pattern reaches the program.
        const Run run = runProgram({ QStringLiteral("/batch"), QStringLiteral("/ini=") + ini,
                                       in + QStringLiteral("/*.png") },
            m_tmp.path());
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
