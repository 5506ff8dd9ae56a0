// The batch run without a window: order, naming, overwrite rules, stop,
// refusals, atomic writes, and outputs equal to the per-pixel reference.
#include "app/batchcommand.h"
#include "batch/batchrun.h"
#include "projection/projectionconverter.h"
#include "testsupport.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QtTest>

namespace {

QImage referenceOutput(const QString &input, const BatchOptions &options)
{
    return ::referenceOutput(
        input, options.params, QSize(options.outputSizeX, options.outputSizeY), options.resampling);
}

int coveredPixels(const QImage &img)
{
    int n = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            n += qAlpha(img.pixel(x, y)) > 0 ? 1 : 0;
    return n;
}

QStringList filesIn(const QString &folder)
{
    return QDir(folder).entryList(
        QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
}

} // namespace

class TestBatchRun : public QObject
{
    Q_OBJECT

private:
    // A fresh input and output folder per case.
    ScratchDir m_tmp;

    BatchOptions smallPngOptions(const QString &outFolder) const
    {
        BatchOptions o;
        o.outputFolder = outFolder;
        o.outputSizeX = 48;
        o.outputSizeY = 24;
        o.outputFormat = OutputFormat::Png;
        o.params = makeParams(2, 3, 1, 4);
        return o;
    }

    BatchResult runQuietly(
        QStringList &inputs, const BatchOptions &options, QList<int> *progressed = nullptr)
    {
        BatchRunner runner;
        runner.processEvents = false;
        if (progressed)
            runner.progress = [progressed](int k, int, const QString &, const QString &) {
                progressed->append(k);
            };
        ProjectionConverter converter;
        return runner.run(inputs, options, converter);
    }

private slots:
    void initTestCase() { QVERIFY(m_tmp.isValid()); }

    void orderByPathIsCaseSensitive()
    {
        const QString in = m_tmp.newFolder(QStringLiteral("in"));
        const QString out = m_tmp.newFolder(QStringLiteral("out"));
        const QString a = in + QStringLiteral("/a.png");
        const QString b = in + QStringLiteral("/B.png");
        QVERIFY(randomImage(20, 16, 1, RandomAlpha::Opaque).save(a));
        QVERIFY(randomImage(20, 16, 2, RandomAlpha::Opaque).save(b));

        BatchOptions o = smallPngOptions(out);
        o.naming = OutputNaming::Numbered;
        QStringList inputs { a, b };
        const BatchResult r = runQuietly(inputs, o);
        QCOMPARE(inputs, (QStringList { b, a }));
        QCOMPARE(r.succeeded, 2);
        QCOMPARE(loadArgb(out + QStringLiteral("/map_0.png")), referenceOutput(b, o));
        QCOMPARE(loadArgb(out + QStringLiteral("/map_1.png")), referenceOutput(a, o));
    }

    void orderByDateNewestFirst()
    {
        const QString in = m_tmp.newFolder(QStringLiteral("in"));
        const QString out = m_tmp.newFolder(QStringLiteral("out"));
        const QDateTime base = QDateTime::currentDateTime().addDays(-3);
        const QStringList names { QStringLiteral("old.png"), QStringLiteral("newest.png"),
            QStringLiteral("middle.png") };
        const int ageHours[] = { 30, 1, 10 };
        QStringList inputs;
        for (int i = 0; i < names.size(); ++i) {
            const QString path = in + QLatin1Char('/') + names.at(i);
            QVERIFY(randomImage(20, 16, 10 + quint32(i), RandomAlpha::Opaque).save(path));
            QFile f(path);
            QVERIFY(f.open(QIODevice::ReadWrite));
            QVERIFY(f.setFileTime(
                base.addSecs(-3600 * ageHours[i]), QFileDevice::FileModificationTime));
            inputs.append(path);
        }

        BatchOptions o = smallPngOptions(out);
        o.sortOrder = SortOrder::NewestFirst;
        o.naming = OutputNaming::Numbered;
        const BatchResult r = runQuietly(inputs, o);
        QCOMPARE(r.succeeded, 3);
        QCOMPARE(inputs,
            (QStringList { in + QStringLiteral("/newest.png"), in + QStringLiteral("/middle.png"),
                in + QStringLiteral("/old.png") }));
        QCOMPARE(loadArgb(out + QStringLiteral("/map_0.png")),
            referenceOutput(in + QStringLiteral("/newest.png"), o));

        // Equal times keep the order they came in, whichever that was.
        const QDateTime same = base.addDays(-1);
        for (const QString &p : qAsConst(inputs)) {
            QFile f(p);
            QVERIFY(f.open(QIODevice::ReadWrite));
            QVERIFY(f.setFileTime(same, QFileDevice::FileModificationTime));
        }
        QStringList forward = inputs;
        sortBatchInputs(forward, SortOrder::NewestFirst);
        QCOMPARE(forward, inputs);
        QStringList backward { inputs.at(2), inputs.at(1), inputs.at(0) };
        const QStringList backwardBefore = backward;
        sortBatchInputs(backward, SortOrder::NewestFirst);
        QCOMPARE(backward, backwardBefore);

        // Any other type leaves the list as the user made it.
        QStringList unsorted { QStringLiteral("/z/b.jpg"), QStringLiteral("/a/A.jpg") };
        const QStringList unsortedBefore = unsorted;
        QCOMPARE(sortOrderFromInt(2), SortOrder::AsGiven);
        QCOMPARE(sortOrderFromInt(-1), SortOrder::AsGiven);
        sortBatchInputs(unsorted, SortOrder::AsGiven);
        QCOMPARE(unsorted, unsortedBefore);
    }

    void inputsAreNeverOverwritten()
    {
        // Output folder = input folder: a.jpg's output would be a.png, which is
        // itself an input, and b.png's output would be b.png.
        const QString dir = m_tmp.newFolder(QStringLiteral("same"));
        const QString jpg = dir + QStringLiteral("/a.jpg");
        const QString png = dir + QStringLiteral("/a.png");
        const QString own = dir + QStringLiteral("/b.png");
        QVERIFY(randomImage(24, 18, 30, RandomAlpha::Opaque).save(jpg));
        QVERIFY(randomImage(24, 18, 31, RandomAlpha::Opaque).save(png));
        QVERIFY(randomImage(24, 18, 32, RandomAlpha::Opaque).save(own));
        const QByteArray pngBytes = readFile(png);
        const QByteArray ownBytes = readFile(own);

        BatchOptions o = smallPngOptions(dir);
        o.overwrite = true;
        QStringList inputs { own, png, jpg };
        const BatchResult r = runQuietly(inputs, o);
        QCOMPARE(r.succeeded, 0);
        QCOMPARE(r.failed, 3);
        QCOMPARE(r.failureReasons,
            QVector<QString>(3, QStringLiteral("would replace an input file, not overwritten"))
                .toList());
        QCOMPARE(readFile(png), pngBytes);
        QCOMPARE(readFile(own), ownBytes);
    }

    void outputNames()
    {
        QCOMPARE(batchOutputName(QStringLiteral("/maps/world.v2.jpg"), 3, OutputNaming::InputName),
            QStringLiteral("world.v2"));
        QCOMPARE(batchOutputName(QStringLiteral("/maps/world.v2.jpg"), 3, OutputNaming::Numbered),
            QStringLiteral("map_3"));
        QCOMPARE(batchOutputName(QStringLiteral("/maps/world.jpg"), 12, outputNamingFromInt(7)),
            QStringLiteral("map_12"));

        BatchOptions o;
        o.outputFolder = QStringLiteral("/out");
        o.outputFormat = OutputFormat::Png;
        QCOMPARE(batchTargetPath(QStringLiteral("/maps/world.v2.jpg"), 0, o),
            QStringLiteral("/out/world.v2.png"));
        o.outputFormat = OutputFormat::Jpeg;
        QCOMPARE(batchTargetPath(QStringLiteral("/maps/world.png"), 0, o),
            QStringLiteral("/out/world.jpg"));
        o.outputFormat = outputFormatFromInt(2);
        o.naming = OutputNaming::Numbered;
        QCOMPARE(batchTargetPath(QStringLiteral("/maps/world.png"), 5, o),
            QStringLiteral("/out/map_5.jpg"));
    }

    void sameBaseNameFollowsOverwrite()
    {
        for (const bool overwrite : { true, false }) {
            const QString in = m_tmp.newFolder(QStringLiteral("in"));
            const QString out = m_tmp.newFolder(QStringLiteral("out"));
            const QString jpg = in + QStringLiteral("/a.jpg");
            const QString png = in + QStringLiteral("/a.png");
            QVERIFY(randomImage(24, 18, 20, RandomAlpha::Opaque).save(jpg));
            QVERIFY(randomImage(24, 18, 21, RandomAlpha::SomeClear).save(png));

            BatchOptions o = smallPngOptions(out);
            o.overwrite = overwrite;
            QStringList inputs { png, jpg };
            const BatchResult r = runQuietly(inputs, o);
            QCOMPARE(filesIn(out), QStringList { QStringLiteral("a.png") });
            const QImage written = loadArgb(out + QStringLiteral("/a.png"));
            if (overwrite) {
                QCOMPARE(r.succeeded, 2);
                QCOMPARE(r.failed, 0);
                QVERIFY(r.allConverted());
                QCOMPARE(written, referenceOutput(png, o));
            } else {
                QCOMPARE(r.succeeded, 1);
                QCOMPARE(r.failed, 1);
                QCOMPARE(r.failedFiles, QStringList { png });
                QCOMPARE(
                    r.failureReasons, QStringList { QStringLiteral("exists, not overwritten") });
                QVERIFY(!r.allConverted());
                QCOMPARE(written, referenceOutput(jpg, o));
            }
        }
    }

    void unreadableFileKeepsItsNumber()
    {
        const QString in = m_tmp.newFolder(QStringLiteral("in"));
        const QString out = m_tmp.newFolder(QStringLiteral("out"));
        const QString first = in + QStringLiteral("/1.png");
        const QString second = in + QStringLiteral("/2.jpg");
        const QString third = in + QStringLiteral("/3.png");
        QVERIFY(randomImage(20, 16, 30, RandomAlpha::Opaque).save(first));
        QVERIFY(writeFile(second, "this is no picture\n"));
        QVERIFY(randomImage(20, 16, 31, RandomAlpha::Opaque).save(third));

        BatchOptions o = smallPngOptions(out);
        o.naming = OutputNaming::Numbered;
        QStringList inputs { first, second, third };
        QList<int> progressed;
        const BatchResult r = runQuietly(inputs, o, &progressed);
        QCOMPARE(r.total, 3);
        QCOMPARE(r.handled, 3);
        QCOMPARE(r.succeeded, 2);
        QCOMPARE(r.failed, 1);
        QCOMPARE(r.failedFiles, QStringList { second });
        QCOMPARE(r.failureReasons, QStringList { QStringLiteral("not a readable image") });
        QCOMPARE(filesIn(out),
            (QStringList { QStringLiteral("map_0.png"), QStringLiteral("map_2.png") }));
        QCOMPARE(loadArgb(out + QStringLiteral("/map_2.png")), referenceOutput(third, o));
        // Progress follows the files that loaded.
        QCOMPARE(progressed, (QList<int> { 1, 3 }));
        QCOMPARE(cliSummaryLine(r),
            QStringLiteral(
                "plano-miller: converted 2 of 3 files, 1 failed: 2.jpg (not a readable image)"));
    }

    void noOverwriteLeavesEveryTargetAlone()
    {
        const QString in = m_tmp.newFolder(QStringLiteral("in"));
        const QString out = m_tmp.newFolder(QStringLiteral("out"));
        QStringList inputs;
        for (int i = 0; i < 3; ++i) {
            const QString name = QStringLiteral("m%1").arg(i);
            inputs.append(in + QLatin1Char('/') + name + QStringLiteral(".png"));
            QVERIFY(randomImage(20, 16, 40 + quint32(i), RandomAlpha::Opaque).save(inputs.last()));
            QVERIFY(writeFile(out + QLatin1Char('/') + name + QStringLiteral(".jpg"),
                "earlier output " + name.toLatin1()));
        }
        BatchOptions o = smallPngOptions(out);
        o.outputFormat = OutputFormat::Jpeg;
        o.overwrite = false;
        const BatchResult r = runQuietly(inputs, o);
        QCOMPARE(r.succeeded, 0);
        QCOMPARE(r.failed, 3);
        QCOMPARE(filesIn(out).size(), 3);
        for (int i = 0; i < 3; ++i)
            QCOMPARE(readFile(out + QStringLiteral("/m%1.jpg").arg(i)),
                "earlier output m" + QByteArray::number(i));
    }

    void stopEndsBeforeTheNextFile()
    {
        const QString in = m_tmp.newFolder(QStringLiteral("in"));
        const QString out = m_tmp.newFolder(QStringLiteral("out"));
        QStringList inputs;
        for (int i = 0; i < 3; ++i) {
            inputs.append(in + QStringLiteral("/s%1.png").arg(i));
            QVERIFY(randomImage(20, 16, 50 + quint32(i), RandomAlpha::Opaque).save(inputs.last()));
        }
        BatchRunner runner;
        runner.processEvents = false;
        int asked = 0;
        runner.stopRequested = [&asked] { return ++asked >= 2; };
        ProjectionConverter converter;
        const BatchResult r = runner.run(inputs, smallPngOptions(out), converter);
        QCOMPARE(asked, 2);
        QVERIFY(r.stopped);
        QCOMPARE(r.total, 3);
        QCOMPARE(r.handled, 1);
        QCOMPARE(r.succeeded, 1);
        QCOMPARE(r.failed, 0);
        QVERIFY(!r.allConverted());
        QCOMPARE(filesIn(out), QStringList { QStringLiteral("s0.png") });

        // A stop button pressed while events wait is seen before the first file,
        // because the run lets the event loop in before it asks.
        const QString out2 = m_tmp.newFolder(QStringLiteral("out"));
        BatchRunner eventful;
        bool pressed = false;
        eventful.stopRequested = [&pressed] { return pressed; };
        QTimer::singleShot(0, [&pressed] { pressed = true; });
        const BatchResult r2 = eventful.run(inputs, smallPngOptions(out2), converter);
        QVERIFY(r2.stopped);
        QCOMPARE(r2.handled, 0);
        QVERIFY(filesIn(out2).isEmpty());
    }

    void emptyListIsSuccess()
    {
        const QString out = m_tmp.newFolder(QStringLiteral("out"));
        QStringList inputs;
        BatchOptions o = smallPngOptions(out);
        BatchResult r = runQuietly(inputs, o);
        QVERIFY(r.refusal.isEmpty());
        QCOMPARE(r.total, 0);
        QVERIFY(r.allConverted());
        QVERIFY(filesIn(out).isEmpty());

        // Nothing to do needs no folder either.
        o.outputFolder.clear();
        r = runQuietly(inputs, o);
        QVERIFY(r.refusal.isEmpty());
        QVERIFY(r.allConverted());
        QCOMPARE(cliSummaryLine(r), QStringLiteral("plano-miller: no files to convert"));
    }

    void refusedRunsWriteNothing()
    {
        const QString in = m_tmp.newFolder(QStringLiteral("in"));
        const QString out = m_tmp.newFolder(QStringLiteral("out"));
        // A name no other run uses, so a stray write to the root would be noticed.
        const QString base
            = QStringLiteral("plano-refusal-%1").arg(QDateTime::currentMSecsSinceEpoch());
        const QString input = in + QLatin1Char('/') + base + QStringLiteral(".png");
        QVERIFY(randomImage(20, 16, 60, RandomAlpha::Opaque).save(input));

        BatchOptions o = smallPngOptions(QString());
        QStringList inputs { input };
        BatchResult r = runQuietly(inputs, o);
        QVERIFY(r.refusal.contains(QStringLiteral("BatchOutputFolder")));
        QCOMPARE(r.succeeded + r.failed + r.handled, 0);
        QVERIFY(!r.allConverted());
        QVERIFY(!QFileInfo::exists(QLatin1Char('/') + base + QStringLiteral(".png")));
        QVERIFY(!QFileInfo::exists(base + QStringLiteral(".png")));
        QCOMPARE(cliSummaryLine(r), QStringLiteral("plano-miller: ") + r.refusal);

        o = smallPngOptions(out);
        o.params.projection = QStringLiteral("Miller");
        r = runQuietly(inputs, o);
        QVERIFY(r.refusal.contains(QStringLiteral("\"Miller\"")));
        QCOMPARE(r.succeeded + r.failed + r.handled, 0);
        QVERIFY(filesIn(out).isEmpty());
    }

    void outputsEqualTheReference_data()
    {
        QTest::addColumn<QString>("projection");
        QTest::addColumn<double>("lonMin");
        QTest::addColumn<double>("lonMax");
        QTest::addColumn<double>("latMin");
        QTest::addColumn<double>("latMax");
        QTest::addColumn<int>("resampling");
        QTest::newRow("miller, whole world")
            << QStringLiteral("miller") << -180.0 << 180.0 << -90.0 << 90.0 << 0;
        QTest::newRow("miller, whole world, bicubic")
            << QStringLiteral("miller") << -180.0 << 180.0 << -90.0 << 90.0 << 2;
        // Crosses the 180° meridian and leaves bands uncovered.
        QTest::newRow("mercator, part of the world")
            << QStringLiteral("mercator") << 20.0 << -160.0 << -60.0 << 75.0 << 0;
        QTest::newRow("mercator, part of the world, bilinear")
            << QStringLiteral("mercator") << 20.0 << -160.0 << -60.0 << 75.0 << 1;
    }

    void outputsEqualTheReference()
    {
        QFETCH(QString, projection);
        QFETCH(double, lonMin);
        QFETCH(double, lonMax);
        QFETCH(double, latMin);
        QFETCH(double, latMax);
        QFETCH(int, resampling);

        const QString in = m_tmp.newFolder(QStringLiteral("in"));
        const QString out = m_tmp.newFolder(QStringLiteral("out"));
        const QString jpg = in + QStringLiteral("/opaque.jpg");
        const QString png = in + QStringLiteral("/alpha.png");
        const QString gray = in + QStringLiteral("/gray.png");
        QVERIFY(randomImage(41, 29, 70, RandomAlpha::Opaque).save(jpg));
        QVERIFY(randomImage(37, 33, 71, RandomAlpha::SomeClear).save(png));
        QVERIFY(randomImage(30, 22, 72, RandomAlpha::Opaque)
                    .convertToFormat(QImage::Format_Grayscale8)
                    .save(gray));
        // Each decoded layout takes its own path through the run.
        QCOMPARE(QImage(jpg).format(), QImage::Format_RGB32);
        QCOMPARE(QImage(png).format(), QImage::Format_ARGB32);
        QCOMPARE(QImage(gray).format(), QImage::Format_Grayscale8);

        BatchOptions o = smallPngOptions(out);
        o.outputSizeX = 90;
        o.outputSizeY = 50;
        o.params.projection = projection;
        o.params.lonMin = lonMin;
        o.params.lonMax = lonMax;
        o.params.latMin = latMin;
        o.params.latMax = latMax;
        o.resampling = resamplingFromInt(resampling);
        QStringList inputs { jpg, png, gray };
        const BatchResult r = runQuietly(inputs, o);
        QCOMPARE(r.succeeded, 3);
        for (const QString &input : qAsConst(inputs)) {
            const QImage expected = referenceOutput(input, o);
            QVERIFY(coveredPixels(expected) > 0);
            const QImage written = loadArgb(out + QLatin1Char('/')
                + QFileInfo(input).completeBaseName() + QStringLiteral(".png"));
            QCOMPARE(written.size(), QSize(90, 50));
            QVERIFY2(written == expected, qPrintable(input));
        }
    }

    void sourceSizeChangesDoNotLeakPixels()
    {
        const QString in = m_tmp.newFolder(QStringLiteral("in"));
        const QString out = m_tmp.newFolder(QStringLiteral("out"));
        const QString big = in + QStringLiteral("/1-big.png");
        const QString tiny = in + QStringLiteral("/2-tiny.png");
        const QString mid = in + QStringLiteral("/3-mid.jpg");
        QVERIFY(randomImage(64, 48, 80, RandomAlpha::Opaque).save(big));
        // One column and one row of map area between its margins.
        QVERIFY(randomImage(17, 13, 81, RandomAlpha::Opaque).save(tiny));
        QVERIFY(randomImage(30, 20, 82, RandomAlpha::Opaque).save(mid));

        BatchOptions o = smallPngOptions(out);
        o.params = makeParams(8, 8, 6, 6, QStringLiteral("miller"), -90, 90);
        QStringList inputs { big, tiny, mid };
        const BatchResult r = runQuietly(inputs, o);
        QCOMPARE(r.succeeded, 3);

        const QImage first = loadArgb(out + QStringLiteral("/1-big.png"));
        QCOMPARE(first, referenceOutput(big, o));
        // Half the longitudes lie outside the box.
        const int half = o.outputSizeX * o.outputSizeY / 2;
        QVERIFY(coveredPixels(first) >= half - o.outputSizeY);
        QVERIFY(coveredPixels(first) <= half + o.outputSizeY);
        QCOMPARE(loadArgb(out + QStringLiteral("/2-tiny.png")), referenceOutput(tiny, o));
        QCOMPARE(loadArgb(out + QStringLiteral("/3-mid.png")), referenceOutput(mid, o));
    }

    void missingFolderFailsEveryFile()
    {
        const QString in = m_tmp.newFolder(QStringLiteral("in"));
        const QString out = m_tmp.filePath(QStringLiteral("not-there"));
        QStringList inputs;
        for (int i = 0; i < 2; ++i) {
            inputs.append(in + QStringLiteral("/f%1.png").arg(i));
            QVERIFY(randomImage(20, 16, 90 + quint32(i), RandomAlpha::Opaque).save(inputs.last()));
        }
        QList<int> progressed;
        const BatchResult r = runQuietly(inputs, smallPngOptions(out), &progressed);
        QCOMPARE(r.succeeded, 0);
        QCOMPARE(r.failed, 2);
        QCOMPARE(r.failedFiles, inputs);
        for (const QString &reason : r.failureReasons)
            QVERIFY(!reason.isEmpty());
        QVERIFY(!QFileInfo::exists(out));
        QCOMPARE(progressed, (QList<int> { 1, 2 }));
    }

    void failedWriteKeepsWhatWasThere()
    {
        const QString in = m_tmp.newFolder(QStringLiteral("in"));
        const QString out = m_tmp.newFolder(QStringLiteral("out"));

        // The target's name is taken by a folder.
        const QString input = in + QStringLiteral("/a.jpg");
        QVERIFY(randomImage(20, 16, 100, RandomAlpha::Opaque).save(input));
        QVERIFY(QDir(out).mkdir(QStringLiteral("a.png")));
        QVERIFY(writeFile(out + QStringLiteral("/a.png/inside.txt"), "inside"));

        // An existing file whose temporary sibling cannot be made: its name
        // leaves no room for the temporary suffix.
        const QString longName = QString(246, QLatin1Char('x'));
        const QString longInput = in + QLatin1Char('/') + longName + QStringLiteral(".png");
        QVERIFY(randomImage(20, 16, 101, RandomAlpha::Opaque).save(longInput));
        const QString longTarget = out + QLatin1Char('/') + longName + QStringLiteral(".png");
        QVERIFY(writeFile(longTarget, "earlier output"));

        QStringList inputs { input, longInput };
        const BatchResult r = runQuietly(inputs, smallPngOptions(out));
        QCOMPARE(r.succeeded, 0);
        QCOMPARE(r.failed, 2);
        for (const QString &reason : r.failureReasons)
            QVERIFY(!reason.isEmpty());
        QVERIFY(QFileInfo(out + QStringLiteral("/a.png")).isDir());
        QCOMPARE(readFile(out + QStringLiteral("/a.png/inside.txt")), QByteArray("inside"));
        QCOMPARE(readFile(longTarget), QByteArray("earlier output"));
        QCOMPARE(filesIn(out).size(), 2);
    }

    void progressLine()
    {
        QCOMPARE(cliProgressLine(
                     3, 10, QStringLiteral("/maps/in/a.jpg"), QStringLiteral("/maps/out/a.png")),
            QStringLiteral("[3/10] a.jpg \u2192 /maps/out/a.png"));
    }

    void summaryLines_data()
    {
        QTest::addColumn<int>("total");
        QTest::addColumn<int>("succeeded");
        QTest::addColumn<int>("handled");
        QTest::addColumn<bool>("stopped");
        QTest::addColumn<QStringList>("failedFiles"); // "path: reason"
        QTest::addColumn<QString>("line");

        // "file" follows the number of files in the run, not the number converted.
        QTest::newRow("1 of 1") << 1 << 1 << 1 << false << QStringList()
                                << QStringLiteral("plano-miller: converted 1 of 1 file");
        QTest::newRow("0 of 1")
            << 1 << 0 << 1 << false << QStringList { QStringLiteral("/in/a.jpg: cannot read") }
            << QStringLiteral("plano-miller: converted 0 of 1 file, 1 failed: a.jpg (cannot read)");
        QTest::newRow("1 of 3, stopped")
            << 3 << 1 << 1 << true << QStringList()
            << QStringLiteral(
                   "plano-miller: converted 1 of 3 files, stopped before the remaining 2");
        QTest::newRow("2 of 2") << 2 << 2 << 2 << false << QStringList()
                                << QStringLiteral("plano-miller: converted 2 of 2 files");
        QTest::newRow("1 of 3, one failed, stopped")
            << 3 << 1 << 2 << true
            << QStringList { QStringLiteral("/in/b.png: exists, not overwritten") }
            << QStringLiteral("plano-miller: converted 1 of 3 files, 1 failed: b.png (exists, not "
                              "overwritten), stopped before the remaining 1");
        QTest::newRow("8 of 10, two failed")
            << 10 << 8 << 10 << false
            << QStringList { QStringLiteral("/in/a.jpg: cannot read"),
                   QStringLiteral("/in/b.jpg: exists, not overwritten") }
            << QStringLiteral("plano-miller: converted 8 of 10 files, 2 failed: a.jpg (cannot "
                              "read), b.jpg (exists, not overwritten)");
    }

    void summaryLines()
    {
        QFETCH(int, total);
        QFETCH(int, succeeded);
        QFETCH(int, handled);
        QFETCH(bool, stopped);
        QFETCH(QStringList, failedFiles);
        QFETCH(QString, line);
        BatchResult r;
        r.total = total;
        r.succeeded = succeeded;
        r.handled = handled;
        r.stopped = stopped;
        r.failed = failedFiles.size();
        for (const QString &failure : qAsConst(failedFiles)) {
            r.failedFiles.append(failure.section(QStringLiteral(": "), 0, 0));
            r.failureReasons.append(failure.section(QStringLiteral(": "), 1));
        }
        QCOMPARE(cliSummaryLine(r), line);
    }

    // a.png does not exist when the run starts: it is a.jpg's output, and is
    // converted once that is on disk rather than failing as missing.
    void outputOfAnEarlierFileIsReadAfterItIsWritten()
    {
        const QString dir = m_tmp.newFolder(QStringLiteral("chain"));
        const QString jpg = dir + QStringLiteral("/a.jpg");
        const QString png = dir + QStringLiteral("/a.png");
        QVERIFY(randomImage(300, 200, 80, RandomAlpha::Opaque).save(jpg));

        // Large enough that the worker is still busy with a.jpg when a.png is reached.
        BatchOptions o = smallPngOptions(dir);
        o.outputSizeX = 600;
        o.outputSizeY = 400;
        o.resampling = Resampling::Lanczos3;
        QStringList inputs { png, jpg };
        const BatchResult r = runQuietly(inputs, o);
        QCOMPARE(inputs, (QStringList { jpg, png }));
        QCOMPARE(r.failedFiles, QStringList());
        QCOMPARE(r.succeeded, 2);

        const QString first = m_tmp.newFolder(QStringLiteral("first")) + QStringLiteral("/a.png");
        QVERIFY(referenceOutput(jpg, o).save(first));
        QCOMPARE(loadArgb(png), referenceOutput(first, o));
    }

    // A Mercator map cut at ±85° through the command's own path: the settings
    // value, and the switch over it for this run only.
    void poleFillFromSettingsOrSwitch_data()
    {
        QTest::addColumn<int>("stored");
        QTest::addColumn<QString>("option");
        QTest::addColumn<bool>("filled");
        QTest::newRow("settings 1") << 1 << QString() << true;
        QTest::newRow("switch mean") << 0 << QStringLiteral("--pole-fill=mean") << true;
        QTest::newRow("switch none") << 1 << QStringLiteral("--pole-fill=none") << false;
    }

    void poleFillFromSettingsOrSwitch()
    {
        QFETCH(int, stored);
        QFETCH(QString, option);
        QFETCH(bool, filled);
        const QString dir = m_tmp.newFolder(QStringLiteral("poles"));
        const QString input = dir + QStringLiteral("/map.png");
        QVERIFY(randomImage(80, 60, 90, RandomAlpha::Opaque).save(input));
        const QString ini = dir + QStringLiteral("/settings.ini");
        writeIni(ini,
            { { "IO/BatchOutputFolder", makeFolder(dir, QStringLiteral("out")) },
                { "IO/OutputSizeX", 72 }, { "IO/OutputSizeY", 36 }, { "IO/OutputFormat", 1 },
                { "IO/PoleFill", stored }, { "Convert/MapProjection", "mercator" },
                { "Convert/LatitudeMinimum", -85 }, { "Convert/LatitudeMaximum", 85 } });
        const QStringList args { QStringLiteral("pm"), QStringLiteral("--batch"),
            QStringLiteral("--ini=") + ini, option.isEmpty() ? QStringLiteral("--") : option,
            input };
        const CommandLine::Paths paths { dir, ini, QString() };
        QCOMPARE(BatchCommand::run(CommandLine::parse(args), paths, [](const QString &) {}), 0);

        const QImage written = loadArgb(dir + QStringLiteral("/out/map.png"));
        QCOMPARE(qAlpha(written.pixel(36, 18)), 255);
        QCOMPARE(qAlpha(written.pixel(0, 0)) == 255, filled);
        QCOMPARE(qAlpha(written.pixel(71, 35)) == 255, filled);
        QCOMPARE(iniValue(ini, QStringLiteral("IO/PoleFill")).toInt(), stored);
    }
};

QTEST_GUILESS_MAIN(TestBatchRun)
#include "tst_batchrun.moc"
