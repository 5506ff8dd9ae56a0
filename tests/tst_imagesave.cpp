// Saving outputs: the own PNG and JPEG writers against the toolkit's reader
// and writer, and failed writes that leave nothing behind.
#include "imageio/imagesave.h"
#include "imageio/jpegwrite.h"
#include "imageio/pngwrite.h"
#include "testsupport.h"

#include <QBuffer>
#include <QImageReader>
#include <QImageWriter>
#include <QtTest>

namespace {

// A smooth picture with some noise, so rows differ and runs repeat.
QImage mapLike(int w, int h, QImage::Format format)
{
    QImage img = randomImage(w, h, 7, RandomAlpha::SomeClear).convertToFormat(format);
    for (int y = 0; y < h; y += 2)
        for (int x = 0; x < w / 2; ++x)
            img.setPixel(x, y, qRgba(x % 256, y % 256, 90, 255));
    return img;
}

QImage decode(const QByteArray &bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    return QImageReader(&buffer).read().convertToFormat(QImage::Format_ARGB32);
}

// Takes the first `room` bytes, then refuses.
class ShortDevice : public QBuffer
{
public:
    explicit ShortDevice(qint64 room)
        : m_room(room)
    { }

protected:
    qint64 writeData(const char *data, qint64 len) override
    {
        if (size() + len > m_room)
            return -1;
        return QBuffer::writeData(data, len);
    }

private:
    qint64 m_room;
};

} // namespace

class TestImageSave : public QObject
{
    Q_OBJECT

private:
    ScratchDir m_tmp;

private slots:
    void initTestCase() { QVERIFY(m_tmp.isValid()); }

    void pngDecodesToTheImage_data()
    {
        QTest::addColumn<QImage>("image");
        QTest::addColumn<int>("colourType");
        QTest::newRow("opaque") << mapLike(301, 517, QImage::Format_RGB32) << 2;
        QTest::newRow("partly transparent") << mapLike(517, 301, QImage::Format_ARGB32) << 6;
        QTest::newRow("premultiplied")
            << mapLike(33, 260, QImage::Format_ARGB32_Premultiplied) << 6;
        QTest::newRow("one row") << mapLike(40, 1, QImage::Format_ARGB32) << 6;
    }

    void pngDecodesToTheImage()
    {
        QFETCH(QImage, image);
        QFETCH(int, colourType);
        const QString path = m_tmp.newFolder(QStringLiteral("png")) + QStringLiteral("/a.png");
        QString error;
        QVERIFY2(saveImageAtomically(image, path, "png", 85, &error), qPrintable(error));
        const QByteArray bytes = readFile(path);
        QCOMPARE(int(bytes.at(25)), colourType); // in the header chunk
        QCOMPARE(decode(bytes), image.convertToFormat(QImage::Format_ARGB32));
    }

    // A quality below the fast levels keeps the toolkit's smaller file, as the
    // user chose it.
    void lowQualityPngStaysSmall()
    {
        const QImage image = mapLike(400, 300, QImage::Format_ARGB32);
        const QString dir = m_tmp.newFolder(QStringLiteral("quality"));
        QVERIFY(saveImageAtomically(image, dir + QStringLiteral("/fast.png"), "png", 85));
        QVERIFY(saveImageAtomically(image, dir + QStringLiteral("/small.png"), "png", 10));
        QBuffer toolkit;
        toolkit.open(QIODevice::WriteOnly);
        QImageWriter writer(&toolkit, "png");
        writer.setQuality(10);
        QVERIFY(writer.write(image));
        QCOMPARE(readFile(dir + QStringLiteral("/small.png")), toolkit.data());
        QVERIFY(readFile(dir + QStringLiteral("/fast.png")) != toolkit.data());
    }

    // Many bands joined into one stream, on more threads than bands at the end.
    void pngBandsJoin_data()
    {
        QTest::addColumn<int>("filter");
        QTest::newRow("sub") << int(PngFilter::Sub);
        QTest::newRow("up") << int(PngFilter::Up);
        QTest::newRow("paeth") << int(PngFilter::Paeth);
        QTest::newRow("adaptive") << int(PngFilter::Adaptive);
    }

    void pngBandsJoin()
    {
        QFETCH(int, filter);
        const QImage image = mapLike(97, 203, QImage::Format_ARGB32);
        PngWriteSettings settings;
        settings.filter = PngFilter(filter);
        settings.bandRows = 7;
        settings.threads = 3;
        settings.level = 6;
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        QVERIFY(writePng(image, &buffer, nullptr, settings));
        QCOMPARE(decode(buffer.data()), image);
    }

    // One band is the toolkit's file byte for byte. Bands joined by restart
    // markers (more than eight, so the markers' numbers wrap; the last band
    // short; a width off the 16-pixel grid) decode to the toolkit's pixels.
    void jpegMatchesTheToolkit_data()
    {
        QTest::addColumn<int>("quality");
        QTest::addColumn<int>("bandRows");
        QTest::newRow("one band") << 85 << 288;
        QTest::newRow("one band, default quality") << -1 << 288;
        QTest::newRow("bands of 16 rows") << 85 << 16;
        QTest::newRow("bands of 48 rows, quality 30") << 30 << 50;
    }

    void jpegMatchesTheToolkit()
    {
        QFETCH(int, quality);
        QFETCH(int, bandRows);
        QImage image = mapLike(333, 277, QImage::Format_ARGB32);
        image.setDotsPerMeterX(5000);
        QBuffer toolkit;
        toolkit.open(QIODevice::WriteOnly);
        QImageWriter writer(&toolkit, "jpg");
        writer.setQuality(quality);
        QVERIFY(writer.write(image));
        QBuffer own;
        own.open(QIODevice::WriteOnly);
        QString error;
        QVERIFY2(writeJpeg(image, &own, quality, &error, bandRows), qPrintable(error));
        QCOMPARE(decode(own.data()), decode(toolkit.data()));
        QCOMPARE(own.data() == toolkit.data(), bandRows >= image.height());
    }

    void refusedBytesAreReported()
    {
        const QImage image = mapLike(300, 300, QImage::Format_ARGB32);
        ShortDevice device(5000);
        device.open(QIODevice::WriteOnly);
        QString error;
        QVERIFY(!writePng(image, &device, &error));
        QCOMPARE(error, QStringLiteral("the device refused the data"));
        ShortDevice jpegDevice(5000);
        jpegDevice.open(QIODevice::WriteOnly);
        error.clear();
        QVERIFY(!writeJpeg(image, &jpegDevice, 85, &error, 64));
        QCOMPARE(error, QStringLiteral("the device refused the data"));
    }

    void failedWriteLeavesNoFile_data()
    {
        QTest::addColumn<QByteArray>("format");
        QTest::newRow("png") << QByteArray("png");
        QTest::newRow("jpg") << QByteArray("jpg");
    }

    void failedWriteLeavesNoFile()
    {
        QFETCH(QByteArray, format);
        const QString dir = m_tmp.newFolder(QStringLiteral("fail"));
        QVERIFY(writeFile(dir + QStringLiteral("/plain"), "x"));
        const QImage image = mapLike(20, 10, QImage::Format_ARGB32);
        // A missing folder, and a file where a folder should be.
        for (const QString &path : { dir + QStringLiteral("/missing/a.") + format,
                 dir + QStringLiteral("/plain/a.") + format }) {
            QString error;
            QVERIFY(!saveImageAtomically(image, path, format.constData(), 85, &error));
            QVERIFY2(error.startsWith(QStringLiteral("could not be written: ")), qPrintable(error));
            QVERIFY(error.size() > 25);
        }
        QCOMPARE(QDir(dir).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
            QStringList { QStringLiteral("plain") });
    }
};

QTEST_GUILESS_MAIN(TestImageSave)
#include "tst_imagesave.moc"
