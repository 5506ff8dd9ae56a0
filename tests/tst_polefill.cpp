// Pole caps: a hand-made target with known edge rows, then a real Mercator
// conversion cut at ±85°, filled and unfilled.
#include "output/outputimage.h"
#include "output/polefill.h"
#include "testsupport.h"

#include <QtTest>

#include <algorithm>

namespace {

QVector<QRgb> row(const QImage &img, int y)
{
    const auto *line = reinterpret_cast<const QRgb *>(img.constScanLine(y));
    return QVector<QRgb>(line, line + img.width());
}

// Per channel over the pixels of full alpha, rounded to the nearest.
QRgb meanOfOpaque(const QVector<QRgb> &pixels)
{
    double sum[3] = {};
    int n = 0;
    for (QRgb p : pixels) {
        if (qAlpha(p) == 255) {
            sum[0] += qRed(p);
            sum[1] += qGreen(p);
            sum[2] += qBlue(p);
            ++n;
        }
    }
    return qRgb(qRound(sum[0] / n), qRound(sum[1] / n), qRound(sum[2] / n));
}

} // namespace

class TestPoleFill : public QObject
{
    Q_OBJECT

private slots:
    void capsTakeTheirEdgeRowsMean()
    {
        QImage img(4, 7, QImage::Format_ARGB32);
        img.fill(0);
        // Row 2 is a map row though partly clear; only its opaque columns count.
        const QRgb edges[2][4] = { { 0, qRgb(10, 20, 30), qRgb(21, 41, 60), qRgba(9, 9, 9, 128) },
            { qRgb(1, 2, 3), qRgb(4, 5, 6), qRgb(7, 8, 9), qRgb(10, 11, 13) } };
        for (int x = 0; x < 4; ++x) {
            img.setPixel(x, 2, edges[0][x]);
            img.setPixel(x, 3, qRgb(100, 0, 0));
            img.setPixel(x, 4, qRgb(0, 100, 0));
            img.setPixel(x, 5, edges[1][x]);
        }
        const QImage before = img.copy();
        fillPoleCaps(img);
        const QRgb top = qRgb(16, 31, 45);
        for (int y : { 0, 1 })
            QCOMPARE(row(img, y), QVector<QRgb>({ 0, top, top, 0 }));
        for (int y = 2; y <= 5; ++y)
            QCOMPARE(row(img, y), row(before, y));
        QCOMPARE(row(img, 6), QVector<QRgb>(4, qRgb(6, 7, 8)));

        // Without a map row there is no edge to take a colour from.
        img.fill(0);
        const QImage clear = img.copy();
        fillPoleCaps(img);
        QCOMPARE(img, clear);
    }

    void mercatorCutShortOfThePoles()
    {
        const QImage source = randomImage(90, 70, 7, RandomAlpha::Opaque);
        const ParamSet params
            = makeParams(4, 5, 6, 3, QStringLiteral("mercator"), -180.0, 180.0, -85.0, 85.0);
        // The output as made before the option: a plain remap.
        ProjectionConverter converter;
        QVERIFY(params.applyTo(converter));
        QImage before(144, 72, QImage::Format_ARGB32);
        before.fill(0);
        converter.remap(source, before, false);

        OutputSpec output;
        output.width = 144;
        output.height = 72;
        QCOMPARE(makeOutputImage(source, params, output, converter), before);
        output.poleFill = PoleFill::Mean;
        const QImage filled = makeOutputImage(source, params, output, converter);
        const auto isMapRow = [&](int y) {
            const QVector<QRgb> r = row(before, y);
            return std::any_of(r.begin(), r.end(), [](QRgb p) { return qAlpha(p) > 0; });
        };
        int first = 0;
        int last = 71;
        while (!isMapRow(first))
            ++first;
        while (!isMapRow(last))
            --last;
        QVERIFY(first >= 2 && last <= 69);
        for (int y = 0; y < 72; ++y) {
            QVector<QRgb> expected = row(before, y);
            if (y < first || y > last)
                expected.fill(meanOfOpaque(row(before, qBound(first, y, last))));
            QVERIFY2(row(filled, y) == expected, qPrintable(QString::number(y)));
        }
    }
};

QTEST_MAIN(TestPoleFill)
#include "tst_polefill.moc"
