// A map whose margins end in the middle of its dark frame line: with the frame
// line's pixels left out, the ±180° seam and the pole rows of the output take
// the map inside it, on every method and on both engines, fast and pixel by
// pixel alike.
#include "projection/convertparams.h"
#include "projection/projectionconverter.h"
#include "testsupport.h"

#include <QtTest>

namespace {

constexpr int kWidth = 530;
constexpr int kHeight = 280;
constexpr int kMargin = 6;

// Sea whose colour changes slowly with the row only, a 4-px dark frame line
// centred on the map area's edge.
QImage framedMap()
{
    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    image.fill(qRgb(255, 255, 255));
    const QRect area(kMargin, kMargin, kWidth - 2 * kMargin, kHeight - 2 * kMargin);
    for (int y = area.top() - 2; y <= area.bottom() + 2; ++y)
        for (int x = area.left() - 2; x <= area.right() + 2; ++x) {
            const bool line = x < area.left() + 2 || x > area.right() - 2 || y < area.top() + 2
                || y > area.bottom() - 2;
            image.setPixel(x, y, line ? qRgb(25, 25, 30) : qRgb(120 + y / 4, 170, 210 - y / 5));
        }
    return image;
}

int difference(QRgb a, QRgb b)
{
    return std::max({ std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
        std::abs(qBlue(a) - qBlue(b)) });
}

// The largest step between the seam columns and the first row and their
// inner neighbours.
int edgeStep(const QImage &out)
{
    int worst = 0;
    for (int i = 0; i < out.height(); ++i) {
        worst = std::max(worst, difference(out.pixel(0, i), out.pixel(1, i)));
        worst = std::max(
            worst, difference(out.pixel(out.width() - 1, i), out.pixel(out.width() - 2, i)));
    }
    for (int j = 0; j < out.width(); ++j)
        worst = std::max(worst, difference(out.pixel(j, 0), out.pixel(j, 1)));
    return worst;
}

} // namespace

class TestFrameLine : public QObject
{
    Q_OBJECT

private slots:
    void seamAndPolesTakeTheMapInside_data();
    void seamAndPolesTakeTheMapInside();
};

void TestFrameLine::seamAndPolesTakeTheMapInside_data()
{
    QTest::addColumn<QString>("projection");
    QTest::addColumn<int>("method");
    for (const char *projection : { "miller", "equirectangular" })
        for (int method = 0; method <= 3; ++method)
            QTest::newRow(qPrintable(QStringLiteral("%1, method %2").arg(projection).arg(method)))
                << QString::fromLatin1(projection) << method;
}

void TestFrameLine::seamAndPolesTakeTheMapInside()
{
    QFETCH(QString, projection);
    QFETCH(int, method);
    const QImage source = framedMap();
    ParamSet params = makeParams(kMargin, kMargin, kMargin, kMargin, projection);
    ProjectionConverter converter;
    converter.setResampling(Resampling(method));
    auto convert = [&](int frameLine, bool reference) {
        params.frameLine = frameLine;
        params.applyTo(converter);
        QImage out(256, 128, QImage::Format_ARGB32);
        out.fill(0);
        if (reference)
            converter.remapReference(source, out);
        else
            converter.remap(source, out, false);
        return out;
    };
    // Today's dark meridian and polar ring.
    QVERIFY(edgeStep(convert(0, false)) > 60);
    const QImage left = convert(2, false);
    QVERIFY2(edgeStep(left) <= 4, qPrintable(QString::number(edgeStep(left))));
    QCOMPARE(left, convert(2, true));
    // No frame line: the conversion as it always was.
    QCOMPARE(convert(0, false), convert(0, true));
}

QTEST_GUILESS_MAIN(TestFrameLine)
#include "tst_frameline.moc"
