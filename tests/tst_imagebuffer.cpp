// Images in their own mappings, as the loader and the outputs make them: every
// image here is over 8 MiB, where the mappings begin. The toolkit's readers
// are the oracle.
#include "imageio/imagebuffer.h"
#include "imageio/imageload.h"
#include "testsupport.h"

#include <QImageReader>
#include <QImageWriter>
#include <QtTest>

namespace {

int mappingCount()
{
    QFile maps(QStringLiteral("/proc/self/maps"));
    return maps.open(QIODevice::ReadOnly) ? maps.readAll().count('\n') : -1;
}

} // namespace

class TestImageBuffer : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(m_tmp.isValid()); }

    // The readers decode into the mapped image: a grey PNG whose rows are
    // padded to four bytes, colour with and without alpha, and a JPEG.
    void loaderDecodesIntoThem_data()
    {
        QTest::addColumn<QImage>("image");
        QTest::addColumn<QByteArray>("format");
        const QImage colour = randomImage(1601, 1400, 5, RandomAlpha::SomeClear);
        QTest::newRow("grey PNG, odd width")
            << colour.scaled(3001, 3000).convertToFormat(QImage::Format_Grayscale8)
            << QByteArray("png");
        QTest::newRow("RGB PNG") << colour.convertToFormat(QImage::Format_RGB32)
                                 << QByteArray("png");
        QTest::newRow("RGBA PNG") << colour << QByteArray("png");
        QTest::newRow("JPEG") << colour.convertToFormat(QImage::Format_RGB32) << QByteArray("jpg");
    }

    void loaderDecodesIntoThem()
    {
        QFETCH(QImage, image);
        QFETCH(QByteArray, format);
        const QString path = m_tmp.newFolder(QStringLiteral("load")) + QStringLiteral("/a.")
            + QString::fromLatin1(format);
        QVERIFY(QImageWriter(path, format).write(image));
        const SourceImage loaded = loadSourceImage(path);
        QCOMPARE(loaded.fault, LoadFault::None);
        QImageReader reader(path);
        QCOMPARE(loaded.image, toSourceFormat(reader.read()));
    }

    // Each image gives its mapping back when the last copy goes, and a copy
    // written to leaves the original as it was.
    void mappingsAreReleased()
    {
        const int before = mappingCount();
        QVERIFY(before > 0);
        for (int i = 0; i < 20; ++i) {
            QImage image = allocateImage(QSize(4096, 2048), QImage::Format_ARGB32);
            QVERIFY(!image.isNull());
            image.fill(qRgba(1, 2, 3, 4));
            QImage copy = image;
            copy.setPixel(7, 9, 0);
            QCOMPARE(image.pixel(7, 9), qRgba(1, 2, 3, 4));
            QCOMPARE(copy.pixel(7, 9), 0u);
        }
        QVERIFY(mappingCount() <= before + 2);
    }

private:
    ScratchDir m_tmp;
};

QTEST_GUILESS_MAIN(TestImageBuffer)
#include "tst_imagebuffer.moc"
