// The overlay is checked by reading painted pixels: the frame's exact outline and
// the columns and rows that carry grid lines, for the worked example source.
#include "mainwindow/overlay.h"
#include "projection/convertparams.h"
#include "projection/projectionconverter.h"
#include "testsupport.h"

#include <QtTest>

Q_DECLARE_METATYPE(ParamSet)

namespace {

const QColor kRed(255, 0, 0);

// The frame's outline, both corners included.
QRect frameOf(const QImage &image, const ParamSet &set)
{
    return QRect(QPoint(set.marginLeft, set.marginTop),
        QPoint(image.width() - set.marginRight - 1, image.height() - set.marginBottom - 1));
}

ParamSet workedExample(const QString &projection)
{
    return makeParams(10, 10, 20, 20, projection);
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
    void curvedGridOnTheGraticuleGmtDrew_data();
    void curvedGridOnTheGraticuleGmtDrew();
    void curvesAreDottedAlongTheirLength();
    void penWidthWidensTheFrameAroundItsEdge();
    void withoutPointModeThePlainImage();
};

void TestOverlay::frameOutline_data()
{
    QTest::addColumn<QString>("projection");
    QTest::addColumn<bool>("known");
    QTest::newRow("miller") << QStringLiteral("miller") << true;
    QTest::newRow("mercator") << QStringLiteral("mercator") << true;
    // An unknown projection draws the frame only.
    QTest::newRow("empty name") << QString() << false;
    QTest::newRow("capital M") << QStringLiteral("Miller") << false;
}

void TestOverlay::frameOutline()
{
    QFETCH(QString, projection);
    QFETCH(bool, known);
    const ParamSet set = workedExample(projection);
    ProjectionConverter converter;
    const QImage out = renderOverlay(
        filledImage(2000, 1000), set.toTable(), overlayPen(1, kRed), true, converter);
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
    if (!known) {
        const QRect f = frameOf(out, set);
        QVERIFY(lineColumns(out, f).isEmpty());
        QVERIFY(lineRows(out, f).isEmpty());
    }
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
    QTest::newRow("full circle from 0") << makeParams(10, 10, 20, 20, QStringLiteral("miller"), 0,
        0) << kInnerMeridians << QList<int> { 250, 387, 499, 611, 748 };

    // Lon 20 ... -160 crosses the 180 meridian: -180 stands at column 1776 and the
    // meridians west of 20 fall beyond the frame. Lat -40 ... 80 puts -60 and -90
    // below the frame; neither kind is drawn outside it.
    QTest::newRow("box across 180")
        << makeParams(0, 0, 0, 0, QStringLiteral("miller"), 20, -160, -40, 80)
        << QList<int> { 111, 444, 777, 1110, 1443, 1776 } << QList<int> { 247, 502, 712, 922 };

    // Margins of 200 on lon -150 ... 150 and lat -45 ... 45: lon -180 (column
    // 1958) and lat 60 and -60 (rows 74 and 924) fall inside the image but
    // outside the frame, and must not be drawn there.
    QTest::newRow("lines beyond the frame")
        << makeParams(200, 200, 200, 200, QStringLiteral("miller"), -150, 150, -45, 45)
        << QList<int> { 359, 519, 679, 839, 999, 1159, 1319, 1479, 1639 }
        << QList<int> { 307, 499, 691 };
}

void TestOverlay::gridLines()
{
    QFETCH(ParamSet, set);
    QFETCH(QList<int>, columns);
    QFETCH(QList<int>, rows);

    ProjectionConverter converter;
    const QImage source = filledImage(2000, 1000);
    const QImage out = renderOverlay(source, set.toTable(), overlayPen(1, kRed), true, converter);
    const QRect f = frameOf(out, set);
    QCOMPARE(lineColumns(out, f), columns);
    QCOMPARE(lineRows(out, f), rows);

    int outside = redPixels(out);
    for (int y = f.top(); y <= f.bottom(); ++y)
        outside -= redInRow(out, y, f.left(), f.right());
    QCOMPARE(outside, 0);
}

void TestOverlay::penWidthWidensTheFrameAroundItsEdge()
{
    ProjectionConverter converter;
    const QImage out = renderOverlay(filledImage(2000, 1000),
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
    // Without a source there is nothing to draw on.
    QVERIFY(renderOverlay(QImage(), ParamSet().toTable(), overlayPen(3, kRed), true, converter)
                .isNull());
}

void TestOverlay::curvedGridOnTheGraticuleGmtDrew_data()
{
    QTest::addColumn<QString>("projection");
    for (const char *name : { "robinson", "mollweide", "winkel-tripel", "eckert4",
             "equirectangular", "gall-stereographic", "gall-peters", "behrmann" })
        QTest::newRow(name) << QString::fromLatin1(name);
}

// Whole-world maps with a 30° graticule drawn by GMT (tests/data/world/grid),
// the outline's bounding rectangle 20 px inside the page: away from the
// outline, every pixel of the overlay's grid lies within a pixel of GMT's
// lines, and every pixel of GMT's lines within two of the overlay's.
void TestOverlay::curvedGridOnTheGraticuleGmtDrew()
{
    QFETCH(QString, projection);
    const QImage map(
        QStringLiteral(PLANO_TEST_DATA "/world/grid/") + projection + QStringLiteral(".png"));
    QVERIFY(!map.isNull());
    ProjectionConverter converter;
    QImage drawn(map.size(), QImage::Format_ARGB32);
    drawn.fill(Qt::transparent);
    {
        // The lines' places, solid: the dots of the drawn grid leave gaps.
        QPainter painter(&drawn);
        const OverlayLines lines = overlayLines(
            makeParams(20, 20, 20, 20, projection).toTable(), true, map.size(), converter);
        QVERIFY(lines.grid.size() > 100);
        painter.setPen(QPen(kRed, 1));
        painter.drawLines(lines.grid);
    }
    auto gmtLine = [&](int x, int y) {
        const QRgb p = map.pixel(x, y);
        return qRed(p) + qGreen(p) + qBlue(p) < 330;
    };
    auto near = [&](int x, int y, int reach, const auto &test) {
        for (int dy = -reach; dy <= reach; ++dy)
            for (int dx = -reach; dx <= reach; ++dx)
                if (map.rect().contains(x + dx, y + dy) && test(x + dx, y + dy))
                    return true;
        return false;
    };
    auto page = [&](int x, int y) { return map.pixel(x, y) == qRgb(255, 0, 255); };
    int checked = 0;
    for (int y = 0; y < map.height(); ++y)
        for (int x = 0; x < map.width(); ++x) {
            if (near(x, y, 3, page))
                continue;
            const bool ours = qAlpha(drawn.pixel(x, y)) > 0;
            if (ours && !near(x, y, 1, gmtLine))
                QFAIL(qPrintable(
                    QStringLiteral("overlay at %1,%2 far from GMT's lines").arg(x).arg(y)));
            if (gmtLine(x, y)
                && !near(x, y, 2, [&](int u, int v) { return qAlpha(drawn.pixel(u, v)) > 0; }))
                QFAIL(
                    qPrintable(QStringLiteral("GMT's line at %1,%2 has no overlay").arg(x).arg(y)));
            checked += ours ? 1 : 0;
        }
    QVERIFY(checked > 2000);
}

// A curved grid line is many short chords; its dots run on along the curve,
// one pixel in three, rather than starting again on every chord.
void TestOverlay::curvesAreDottedAlongTheirLength()
{
    const ParamSet set = makeParams(20, 20, 20, 20, QStringLiteral("robinson"));
    ProjectionConverter converter;
    const OverlayLines lines = overlayLines(set.toTable(), true, QSize(640, 340), converter);
    QImage dotted(640, 340, QImage::Format_ARGB32);
    dotted.fill(Qt::transparent);
    QImage solid = dotted;
    OverlayLines gridOnly = lines;
    gridOnly.frame = QRect(-10, -10, 1, 1);
    {
        QPainter painter(&dotted);
        paintOverlay(painter, gridOnly, overlayPen(1, kRed));
    }
    {
        QPainter painter(&solid);
        painter.setPen(QPen(kRed, 1));
        painter.drawLines(lines.grid);
    }
    int on = 0;
    int along = 0;
    for (int y = 0; y < 340; ++y)
        for (int x = 0; x < 640; ++x) {
            along += qAlpha(solid.pixel(x, y)) > 0 ? 1 : 0;
            on += qAlpha(dotted.pixel(x, y)) > 0 ? 1 : 0;
        }
    // One pixel on, two off.
    QVERIFY2(on > along * 0.28 && on < along * 0.4,
        qPrintable(QStringLiteral("%1 of %2").arg(on).arg(along)));
}

QTEST_GUILESS_MAIN(TestOverlay)
#include "tst_overlay.moc"
