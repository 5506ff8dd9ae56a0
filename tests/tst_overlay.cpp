// The overlay is checked by reading painted pixels: the frame's exact outline and
// the columns and rows that carry grid lines, for the worked example source.
#include "mainwindow/overlay.h"
#include "projection/convertparams.h"
#include "projection/projectionconverter.h"

#include <QtTest>

Q_DECLARE_METATYPE(ParamSet)

namespace {

const QColor kRed(255, 0, 0);

bool isRed(QRgb p)
{
    return qAlpha(p) == 255 && qRed(p) == 255 && qGreen(p) == 0 && qBlue(p) == 0;
}

struct Frame
{
    int left, top, right, bottom;
};

Frame frameOf(const QImage &image, const ParamSet &set)
{
    return Frame { set.marginLeft, set.marginTop, image.width() - set.marginRight - 1,
        image.height() - set.marginBottom - 1 };
}

int redInColumn(const QImage &image, int x, int y0, int y1)
{
    int n = 0;
    for (int y = y0; y <= y1; ++y)
        n += isRed(image.pixel(x, y));
    return n;
}

int redInRow(const QImage &image, int y, int x0, int x1)
{
    const QRgb *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
    int n = 0;
    for (int x = x0; x <= x1; ++x)
        n += isRed(line[x]);
    return n;
}

// Columns strictly inside the frame that carry a dotted line. Crossing lines
// leave only a few red pixels in a column, a line itself about a third of it.
QList<int> lineColumns(const QImage &image, const Frame &f)
{
    QList<int> found;
    const int span = f.bottom - f.top - 1;
    for (int x = f.left + 1; x < f.right; ++x)
        if (redInColumn(image, x, f.top + 1, f.bottom - 1) > span / 10)
            found << x;
    return found;
}

QList<int> lineRows(const QImage &image, const Frame &f)
{
    QList<int> found;
    const int span = f.right - f.left - 1;
    for (int y = f.top + 1; y < f.bottom; ++y)
        if (redInRow(image, y, f.left + 1, f.right - 1) > span / 10)
            found << y;
    return found;
}

QImage whiteSource(int w, int h)
{
    QImage source(w, h, QImage::Format_RGB32);
    source.fill(Qt::white);
    return source;
}

ParamSet workedExample(const QString &projection)
{
    ParamSet set;
    set.marginLeft = 10;
    set.marginRight = 10;
    set.marginBottom = 20;
    set.marginTop = 20;
    set.projection = projection;
    set.lonMin = -180;
    set.lonMax = 180;
    set.latMin = -90;
    set.latMax = 90;
    return set;
}

// The meridians of the worked example without the one on the frame's left column.
const QList<int> kInnerMeridians { 174, 339, 504, 669, 834, 999, 1164, 1329, 1494, 1659, 1824 };

} // namespace

class TestOverlay : public QObject
{
    Q_OBJECT

private slots:
    void frameOutline_data();
    void frameOutline();
    void gridLines_data();
    void gridLines();
    void penWidthWidensTheFrameAroundItsEdge();
    void withoutPointModeThePlainImage();
    void unknownProjectionDrawsFrameOnly_data();
    void unknownProjectionDrawsFrameOnly();
    void nullSourceGivesNullImage();
};

void TestOverlay::frameOutline_data()
{
    QTest::addColumn<QString>("projection");
    QTest::newRow("miller") << QStringLiteral("miller");
    QTest::newRow("mercator") << QStringLiteral("mercator");
}

void TestOverlay::frameOutline()
{
    QFETCH(QString, projection);
    ProjectionConverter converter;
    const QImage out = renderOverlay(whiteSource(2000, 1000), workedExample(projection).toTable(),
        overlayPen(1, kRed), true, converter);
    QCOMPARE(out.format(), QImage::Format_ARGB32);
    QCOMPARE(out.size(), QSize(2000, 1000));

    // The frame runs from (10, 20) to (1989, 979), both corners included.
    QCOMPARE(redInRow(out, 20, 10, 1989), 1980);
    QCOMPARE(redInRow(out, 979, 10, 1989), 1980);
    QCOMPARE(redInColumn(out, 10, 20, 979), 960);
    QCOMPARE(redInColumn(out, 1989, 20, 979), 960);
    QCOMPARE(redInRow(out, 19, 0, 1999), 0);
    QCOMPARE(redInRow(out, 980, 0, 1999), 0);
    QCOMPARE(redInColumn(out, 9, 0, 999), 0);
    QCOMPARE(redInColumn(out, 1990, 0, 999), 0);
    QCOMPARE(out.pixel(5, 5), qRgb(255, 255, 255));
}

void TestOverlay::gridLines_data()
{
    QTest::addColumn<ParamSet>("set");
    QTest::addColumn<QList<int>>("columns");
    QTest::addColumn<QList<int>>("rows");

    // Lat -90 lies on the frame's bottom row 979, lon -180 on its left column.
    QTest::newRow("miller worked example")
        << workedExample(QStringLiteral("miller")) << kInnerMeridians
        << QList<int> { 250, 387, 499, 611, 748 };
    QTest::newRow("mercator worked example")
        << workedExample(QStringLiteral("mercator")) << kInnerMeridians
        << QList<int> { 396, 456, 499, 542, 602 };

    // 0 lands on the left column and -180 wraps to the middle; without the wrap
    // the western half of the grid would be missing.
    ParamSet fullCircle = workedExample(QStringLiteral("miller"));
    fullCircle.lonMin = 0;
    fullCircle.lonMax = 0;
    QTest::newRow("full circle from 0")
        << fullCircle << kInnerMeridians << QList<int> { 250, 387, 499, 611, 748 };

    // Lon 20 ... -160 crosses the 180 meridian: -180 stands at column 1776 and the
    // meridians west of 20 fall beyond the frame. Lat -40 ... 80 puts -60 and -90
    // below the frame; neither kind is drawn outside it.
    ParamSet crossing = workedExample(QStringLiteral("miller"));
    crossing.marginLeft = crossing.marginRight = crossing.marginBottom = crossing.marginTop = 0;
    crossing.lonMin = 20;
    crossing.lonMax = -160;
    crossing.latMin = -40;
    crossing.latMax = 80;
    QTest::newRow("box across 180") << crossing << QList<int> { 111, 444, 777, 1110, 1443, 1776 }
                                    << QList<int> { 247, 502, 712, 922 };

    // Margins of 200 on lon -150 ... 150 and lat -45 ... 45: lon -180 (column
    // 1958) and lat 60 and -60 (rows 74 and 924) fall inside the image but
    // outside the frame, and must not be drawn there.
    ParamSet inner = workedExample(QStringLiteral("miller"));
    inner.marginLeft = inner.marginRight = inner.marginBottom = inner.marginTop = 200;
    inner.lonMin = -150;
    inner.lonMax = 150;
    inner.latMin = -45;
    inner.latMax = 45;
    QTest::newRow("lines beyond the frame")
        << inner << QList<int> { 359, 519, 679, 839, 999, 1159, 1319, 1479, 1639 }
        << QList<int> { 307, 499, 691 };
}

void TestOverlay::gridLines()
{
    QFETCH(ParamSet, set);
    QFETCH(QList<int>, columns);
    QFETCH(QList<int>, rows);

    ProjectionConverter converter;
    const QImage source = whiteSource(2000, 1000);
    const QImage out = renderOverlay(source, set.toTable(), overlayPen(1, kRed), true, converter);
    const Frame f = frameOf(out, set);
    QCOMPARE(lineColumns(out, f), columns);
    QCOMPARE(lineRows(out, f), rows);

    int outside = 0;
    for (int y = 0; y < out.height(); ++y)
        outside += redInRow(out, y, 0, out.width() - 1);
    for (int y = f.top; y <= f.bottom; ++y)
        outside -= redInRow(out, y, f.left, f.right);
    QCOMPARE(outside, 0);
}

void TestOverlay::penWidthWidensTheFrameAroundItsEdge()
{
    ProjectionConverter converter;
    const QImage out = renderOverlay(whiteSource(2000, 1000),
        workedExample(QStringLiteral("miller")).toTable(), overlayPen(3, kRed), true, converter);
    const int midRow = 560; // between the dots of any parallel
    QVERIFY(isRed(out.pixel(9, midRow)));
    QVERIFY(isRed(out.pixel(10, midRow)));
    QVERIFY(isRed(out.pixel(11, midRow)));
    QVERIFY(!isRed(out.pixel(8, midRow)));
    QVERIFY(!isRed(out.pixel(12, midRow)));
}

void TestOverlay::withoutPointModeThePlainImage()
{
    QImage source(300, 200, QImage::Format_RGB888);
    for (int y = 0; y < source.height(); ++y)
        for (int x = 0; x < source.width(); ++x)
            source.setPixel(x, y, qRgb(x % 256, y, (x + y) % 256));
    ProjectionConverter converter;
    const QImage out
        = renderOverlay(source, ParamSet().toTable(), overlayPen(3, kRed), false, converter);
    QCOMPARE(out.format(), QImage::Format_ARGB32);
    QCOMPARE(out, source.convertToFormat(QImage::Format_ARGB32));
}

void TestOverlay::unknownProjectionDrawsFrameOnly_data()
{
    QTest::addColumn<QString>("projection");
    QTest::newRow("empty name") << QString();
    QTest::newRow("capital M") << QStringLiteral("Miller");
}

void TestOverlay::unknownProjectionDrawsFrameOnly()
{
    QFETCH(QString, projection);
    const ParamSet set = workedExample(projection);
    ProjectionConverter converter;
    const QImage out = renderOverlay(
        whiteSource(2000, 1000), set.toTable(), overlayPen(1, kRed), true, converter);
    QCOMPARE(redInRow(out, 20, 10, 1989), 1980);
    QCOMPARE(redInColumn(out, 10, 20, 979), 960);
    const Frame f = frameOf(out, set);
    QVERIFY(lineColumns(out, f).isEmpty());
    QVERIFY(lineRows(out, f).isEmpty());
}

void TestOverlay::nullSourceGivesNullImage()
{
    ProjectionConverter converter;
    QVERIFY(renderOverlay(QImage(), ParamSet().toTable(), overlayPen(3, kRed), true, converter)
                .isNull());
}

QTEST_GUILESS_MAIN(TestOverlay)
#include "tst_overlay.moc"
