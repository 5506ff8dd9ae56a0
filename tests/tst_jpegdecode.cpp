// The JPEG decoder against the toolkit's reader, which serves as the oracle:
// the same pixels for each sampling and scan layout, failures where it would
// fail, and the reduced first view.
#include "imageio/imageload.h"
#include "imageio/jpegdecode.h"

#include <QImageReader>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdio>
#include <jpeglib.h>
#include <vector>

namespace {

// Gradients, blocks and a little noise: smooth areas and sharp edges.
QImage testPicture(int w, int h)
{
    QImage img(w, h, QImage::Format_RGB32);
    quint32 seed = 12345;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            seed = seed * 1664525u + 1013904223u;
            const int noise = int(seed >> 28) - 8;
            const int block = ((x / 37 + y / 23) & 1) * 60;
            img.setPixel(x, y,
                qRgb(qBound(0, x * 255 / w + noise, 255), qBound(0, y * 255 / h + block, 255),
                    qBound(0, 128 + block - noise, 255)));
        }
    return img;
}

// Written through libjpeg itself, for the layouts the toolkit's writer does
// not offer: sampling factors per luma component, progressive, CMYK.
bool writeJpeg(const QString &path, const QImage &img, int hSamp, int vSamp, bool progressive,
    J_COLOR_SPACE space)
{
    FILE *out = std::fopen(QFile::encodeName(path).constData(), "wb");
    if (!out)
        return false;
    jpeg_compress_struct c {};
    jpeg_error_mgr err {};
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    jpeg_stdio_dest(&c, out);
    c.image_width = JDIMENSION(img.width());
    c.image_height = JDIMENSION(img.height());
    c.input_components = space == JCS_GRAYSCALE ? 1 : space == JCS_CMYK ? 4 : 3;
    c.in_color_space = space;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 90, TRUE);
    c.comp_info[0].h_samp_factor = hSamp;
    c.comp_info[0].v_samp_factor = vSamp;
    if (progressive)
        jpeg_simple_progression(&c);
    jpeg_start_compress(&c, TRUE);
    std::vector<JSAMPLE> row(size_t(img.width()) * 4);
    for (int y = 0; y < img.height(); ++y) {
        for (int x = 0; x < img.width(); ++x) {
            const QRgb p = img.pixel(x, y);
            JSAMPLE *s = &row[size_t(x) * c.input_components];
            if (space == JCS_GRAYSCALE) {
                s[0] = JSAMPLE(qGray(p));
            } else {
                s[0] = JSAMPLE(qRed(p));
                s[1] = JSAMPLE(qGreen(p));
                s[2] = JSAMPLE(qBlue(p));
                if (space == JCS_CMYK)
                    s[3] = JSAMPLE(200);
            }
        }
        JSAMPROW r = row.data();
        jpeg_write_scanlines(&c, &r, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    return std::fclose(out) == 0;
}

QImage toolkitRead(const QString &path)
{
    QImageReader reader(path);
    reader.setAutoTransform(false);
    const QImage img = reader.read();
    return img.format() == QImage::Format_RGB32 ? img : img.convertToFormat(QImage::Format_ARGB32);
}

} // namespace

class TestJpegDecode : public QObject
{
    Q_OBJECT

private slots:
    void sameAsToolkit_data();
    void sameAsToolkit();
    void cmykLeftToToolkit();
    void truncatedFails();
    void cancelledStops();
    void overLimitRefusedBeforeDecoding();
    void reduction();
    void previewIsTheImageReduced();

private:
    QTemporaryDir m_dir;
};

void TestJpegDecode::sameAsToolkit_data()
{
    QTest::addColumn<int>("hSamp");
    QTest::addColumn<int>("vSamp");
    QTest::addColumn<bool>("progressive");
    QTest::addColumn<bool>("grey");
    QTest::addColumn<QSize>("size");
    QTest::newRow("4:2:0") << 2 << 2 << false << false << QSize(320, 200);
    QTest::newRow("4:4:4") << 1 << 1 << false << false << QSize(320, 200);
    QTest::newRow("4:2:2, odd size") << 2 << 1 << false << false << QSize(333, 217);
    QTest::newRow("4:2:0 progressive, odd size") << 2 << 2 << true << false << QSize(301, 199);
    QTest::newRow("grey") << 1 << 1 << false << true << QSize(250, 130);
}

void TestJpegDecode::sameAsToolkit()
{
    QFETCH(int, hSamp);
    QFETCH(int, vSamp);
    QFETCH(bool, progressive);
    QFETCH(bool, grey);
    QFETCH(QSize, size);
    const QString path = m_dir.filePath(QStringLiteral("%1.jpg").arg(QTest::currentDataTag()));
    QVERIFY(writeJpeg(path, testPicture(size.width(), size.height()), hSamp, vSamp, progressive,
        grey ? JCS_GRAYSCALE : JCS_RGB));
    const QImage expected = toolkitRead(path);
    QCOMPARE(expected.format(), grey ? QImage::Format_ARGB32 : QImage::Format_RGB32);

    const JpegDecoded jpeg = decodeJpeg(path, kDefaultMaxImagePixels);
    QVERIFY(!jpeg.unsupported);
    QCOMPARE(jpeg.fault, LoadFault::None);
    QCOMPARE(jpeg.size, size);
    QCOMPARE(jpeg.image.format(), expected.format());
    QVERIFY(jpeg.image == expected);
    QVERIFY(loadSourceImage(path).image == expected);
}

void TestJpegDecode::cmykLeftToToolkit()
{
    const QString path = m_dir.filePath(QStringLiteral("cmyk.jpg"));
    QVERIFY(writeJpeg(path, testPicture(64, 48), 1, 1, false, JCS_CMYK));
    QVERIFY(decodeJpeg(path, kDefaultMaxImagePixels).unsupported);
    const SourceImage loaded = loadSourceImage(path);
    QCOMPARE(loaded.fault, LoadFault::None);
    QVERIFY(loaded.image == toolkitRead(path));
}

void TestJpegDecode::truncatedFails()
{
    const QString whole = m_dir.filePath(QStringLiteral("whole.jpg"));
    QVERIFY(writeJpeg(whole, testPicture(400, 300), 2, 2, false, JCS_RGB));
    QFile in(whole);
    QVERIFY(in.open(QIODevice::ReadOnly));
    const QByteArray bytes = in.readAll();
    const QString cut = m_dir.filePath(QStringLiteral("cut.jpg"));
    QFile out(cut);
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write(bytes.left(bytes.size() * 2 / 3));
    out.close();

    // The decoder alone, and behind the loader's own end check.
    const JpegDecoded jpeg = decodeJpeg(cut, kDefaultMaxImagePixels);
    QCOMPARE(jpeg.fault, LoadFault::Damaged);
    QVERIFY(jpeg.image.isNull());
    QCOMPARE(jpeg.error, QStringLiteral("damaged or truncated image"));
    const SourceImage loaded = loadSourceImage(cut);
    QCOMPARE(loaded.fault, LoadFault::Damaged);
    QVERIFY(loaded.image.isNull());
    QVERIFY(loadPreviewImage(cut, 50).image.isNull());
}

// A newer open sets the flag: the decode stops and hands back nothing.
void TestJpegDecode::cancelledStops()
{
    const QString path = m_dir.filePath(QStringLiteral("cancel.jpg"));
    QVERIFY(writeJpeg(path, testPicture(400, 300), 2, 2, false, JCS_RGB));
    const std::atomic<bool> cancel { true };
    const JpegDecoded jpeg = decodeJpeg(path, kDefaultMaxImagePixels, 0, &cancel);
    QVERIFY(jpeg.image.isNull());
    QCOMPARE(jpeg.error, QStringLiteral("cancelled"));
    const SourceImage loaded = loadSourceImage(path, kDefaultMaxImagePixels, &cancel);
    QVERIFY(loaded.image.isNull());
    QCOMPARE(loaded.fault, LoadFault::Other);
    const std::atomic<bool> carryOn { false };
    QVERIFY(!loadSourceImage(path, kDefaultMaxImagePixels, &carryOn).image.isNull());
}

void TestJpegDecode::overLimitRefusedBeforeDecoding()
{
    // A small file whose header claims 30000 x 30000: decoding it would need
    // 3.6 GB and then run out of data.
    const QString small = m_dir.filePath(QStringLiteral("small.jpg"));
    QVERIFY(writeJpeg(small, testPicture(64, 48), 2, 2, false, JCS_RGB));
    QFile file(small);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QByteArray bytes = file.readAll();
    const int sof = bytes.indexOf("\xFF\xC0");
    QVERIFY(sof > 0);
    for (int i : { 5, 7 }) {
        bytes[sof + i] = char(30000 >> 8);
        bytes[sof + i + 1] = char(30000 & 0xFF);
    }
    const QString huge = m_dir.filePath(QStringLiteral("huge.jpg"));
    QFile out(huge);
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write(bytes);
    out.close();

    const JpegDecoded jpeg = decodeJpeg(huge, kDefaultMaxImagePixels);
    QCOMPARE(jpeg.fault, LoadFault::TooLarge);
    QCOMPARE(jpeg.size, QSize(30000, 30000));
    QVERIFY(jpeg.image.isNull());
    QCOMPARE(decodeJpeg(small, 64 * 48 - 1).fault, LoadFault::TooLarge);
    QCOMPARE(decodeJpeg(small, 64 * 48).fault, LoadFault::None);
    QVERIFY(loadPreviewImage(huge, 100).image.isNull());
}

void TestJpegDecode::reduction()
{
    QCOMPARE(jpegReduction(12000, 2048), 4);
    QCOMPARE(jpegReduction(8000, 2048), 2);
    QCOMPARE(jpegReduction(8192, 2048), 4);
    QCOMPARE(jpegReduction(20000, 2048), 8);
    QCOMPARE(jpegReduction(4000, 2048), 1);
    QCOMPARE(jpegReduction(4000, 0), 1);
}

void TestJpegDecode::previewIsTheImageReduced()
{
    const QString path = m_dir.filePath(QStringLiteral("preview.jpg"));
    QVERIFY(writeJpeg(path, testPicture(1000, 600), 2, 2, false, JCS_RGB));
    const PreviewImage quarter = loadPreviewImage(path, 200);
    QCOMPARE(quarter.size, QSize(1000, 600));
    QCOMPARE(quarter.image.size(), QSize(250, 150));
    QCOMPARE(loadPreviewImage(path, 300).image.size(), QSize(500, 300));

    const QImage expected
        = toolkitRead(path).scaled(250, 150, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    qint64 sum = 0;
    for (int y = 0; y < 150; ++y)
        for (int x = 0; x < 250; ++x) {
            const QRgb a = quarter.image.pixel(x, y);
            const QRgb b = expected.pixel(x, y);
            sum += qAbs(qRed(a) - qRed(b)) + qAbs(qGreen(a) - qGreen(b))
                + qAbs(qBlue(a) - qBlue(b));
        }
    const double meanDiff = double(sum) / (250 * 150 * 3);
    QVERIFY2(meanDiff < 4, qPrintable(QString::number(meanDiff)));

    const QString png = m_dir.filePath(QStringLiteral("preview.png"));
    QVERIFY(testPicture(100, 60).save(png));
    QVERIFY(loadPreviewImage(png, 10).image.isNull());
}

QTEST_GUILESS_MAIN(TestJpegDecode)
#include "tst_jpegdecode.moc"
