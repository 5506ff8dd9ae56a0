// Frame dragging as plain geometry: which edges a press grabs, how edge drags,
// frame moves and new frames turn pointer positions into margins.
#include "mainwindow/framedrag.h"

#include <QtTest>

Q_DECLARE_METATYPE(Margins)

namespace {

Margins margins(int left, int right, int bottom, int top)
{
    Margins m;
    m.left = left;
    m.right = right;
    m.bottom = bottom;
    m.top = top;
    return m;
}

// The zones set, as "left right top bottom inside" with the unset ones left out.
QString zoneNames(const FrameZones &z)
{
    QStringList names;
    if (z.left)
        names << QStringLiteral("left");
    if (z.right)
        names << QStringLiteral("right");
    if (z.top)
        names << QStringLiteral("top");
    if (z.bottom)
        names << QStringLiteral("bottom");
    if (z.inside)
        names << QStringLiteral("inside");
    return names.join(QLatin1Char(' '));
}

} // namespace

namespace QTest {
template <> char *toString(const Margins &m)
{
    return qstrdup(QStringLiteral("left %1 right %2 bottom %3 top %4")
                       .arg(m.left)
                       .arg(m.right)
                       .arg(m.bottom)
                       .arg(m.top)
                       .toUtf8()
                       .constData());
}
} // namespace QTest

class TestFrameDrag : public QObject
{
    Q_OBJECT

private slots:
    void zones_data();
    void zones();
    void edgeGrab_data();
    void edgeGrab();
    void pressNearCornerInsideNoZoneHidesFrame();
    void frameMoveStaysInsideImage_data();
    void frameMoveStaysInsideImage();
    void newFrameFromTwoPoints_data();
    void newFrameFromTwoPoints();
    void edgeDragClampsToImageOnly_data();
    void edgeDragClampsToImageOnly();
    void releaseEndsTheDrag();
};

void TestFrameDrag::zones_data()
{
    QTest::addColumn<int>("x");
    QTest::addColumn<int>("y");
    QTest::addColumn<QString>("expected");

    // Frame of margins 100 on 1000 x 800: columns 100 ... 899, rows 100 ... 699.
    QTest::newRow("centre") << 500 << 400 << "inside";
    QTest::newRow("on left edge") << 100 << 400 << "left";
    QTest::newRow("10 px outside left edge") << 90 << 400 << "left";
    QTest::newRow("on right edge") << 899 << 400 << "right";
    QTest::newRow("on top edge") << 500 << 100 << "top";
    QTest::newRow("on bottom edge") << 500 << 699 << "bottom";
    QTest::newRow("top-left corner") << 100 << 100 << "left top";
    QTest::newRow("bottom-right corner") << 899 << 699 << "right bottom";
    // The bands are ellipses, so their own corners are left out.
    QTest::newRow("outer corner of the bands") << 88 << 88 << "";
    QTest::newRow("20 px outside left edge") << 80 << 400 << "";
    QTest::newRow("far outside") << 20 << 20 << "";
}

void TestFrameDrag::zones()
{
    QFETCH(int, x);
    QFETCH(int, y);
    QFETCH(QString, expected);
    QCOMPARE(zoneNames(hitZones(margins(100, 100, 100, 100), 1000, 800, x, y)), expected);
}

void TestFrameDrag::edgeGrab_data()
{
    QTest::addColumn<Margins>("current");
    QTest::addColumn<QPoint>("pressAt");
    QTest::addColumn<QString>("grabbed");
    QTest::addColumn<QPoint>("moveTo");
    QTest::addColumn<Margins>("expected");

    // Frames on 1000 x 800.
    QTest::newRow("corner moves two edges")
        << margins(100, 100, 100, 100) << QPoint(100, 100) << "left top" << QPoint(105, 103)
        << margins(105, 100, 100, 103);
    // Columns 100 ... 109: both side bands cover the middle column.
    QTest::newRow("thin frame, opposite edges")
        << margins(100, 890, 100, 100) << QPoint(104, 400) << "left right" << QPoint(107, 400)
        << margins(103, 887, 100, 100);
}

void TestFrameDrag::edgeGrab()
{
    QFETCH(Margins, current);
    QFETCH(QPoint, pressAt);
    QFETCH(QString, grabbed);
    QFETCH(QPoint, moveTo);
    QFETCH(Margins, expected);
    FrameDrag drag;
    drag.press(pressAt.x(), pressAt.y(), true, current, 1000, 800);
    QCOMPARE(drag.mode(), FrameDrag::Mode::EdgeDrag);
    QCOMPARE(zoneNames(drag.grabbed()), grabbed);

    // The press itself draws the frame where it is.
    QCOMPARE(drag.step(pressAt.x(), pressAt.y(), true, current, 1000, 800),
        std::optional<Margins>(current));
    QCOMPARE(drag.step(moveTo.x(), moveTo.y(), true, current, 1000, 800),
        std::optional<Margins>(expected));

    Margins committed;
    QCOMPARE(drag.release(moveTo.x(), moveTo.y(), true, current, 1000, 800, &committed),
        FrameDrag::Release::Commit);
    QCOMPARE(committed, expected);
}

void TestFrameDrag::pressNearCornerInsideNoZoneHidesFrame()
{
    // A frame 400 x 300 px: 20 px in from both the left and the top edge is beyond
    // the edge bands and outside the inner ellipse.
    const Margins current = margins(100, 100, 100, 100);
    FrameDrag drag;
    drag.press(120, 120, true, current, 600, 500);
    QCOMPARE(drag.mode(), FrameDrag::Mode::OutsidePress);
    QVERIFY(!drag.step(200, 200, true, current, 600, 500).has_value());

    Margins committed = margins(1, 2, 3, 4);
    QCOMPARE(
        drag.release(200, 200, true, current, 600, 500, &committed), FrameDrag::Release::HideFrame);
    QCOMPARE(committed, margins(1, 2, 3, 4));
}

void TestFrameDrag::frameMoveStaysInsideImage_data()
{
    QTest::addColumn<int>("dx");
    QTest::addColumn<int>("dy");
    QTest::addColumn<Margins>("expected");

    // Start: left 20, right 100, bottom 30, top 40.
    QTest::newRow("left by 50, only 20 room") << -50 << 0 << margins(0, 120, 30, 40);
    QTest::newRow("within room") << 10 << -15 << margins(30, 90, 45, 25);
    QTest::newRow("down and right past both") << 500 << 500 << margins(120, 0, 0, 70);
    QTest::newRow("up past the top") << 0 << -100 << margins(20, 100, 70, 0);
}

void TestFrameDrag::frameMoveStaysInsideImage()
{
    QFETCH(int, dx);
    QFETCH(int, dy);
    QFETCH(Margins, expected);
    const Margins current = margins(20, 100, 30, 40);
    // 1000 x 500: frame columns 20 ... 899, rows 40 ... 469; press at its centre.
    FrameDrag drag;
    drag.press(460, 255, true, current, 1000, 500);
    QCOMPARE(drag.mode(), FrameDrag::Mode::FrameMove);
    QCOMPARE(
        drag.step(460 + dx, 255 + dy, true, current, 1000, 500), std::optional<Margins>(expected));
    Margins committed;
    QCOMPARE(drag.release(460 + dx, 255 + dy, true, current, 1000, 500, &committed),
        FrameDrag::Release::Commit);
    QCOMPARE(committed, expected);
}

void TestFrameDrag::newFrameFromTwoPoints_data()
{
    QTest::addColumn<QPoint>("start");
    QTest::addColumn<QPoint>("end");
    QTest::addColumn<Margins>("expected");

    QTest::newRow("up and left") << QPoint(100, 50) << QPoint(30, 400) << margins(30, 899, 99, 50);
    QTest::newRow("ends beyond right and top")
        << QPoint(100, 50) << QPoint(1200, -40) << margins(100, 0, 449, 0);
    QTest::newRow("ends beyond left and bottom")
        << QPoint(100, 50) << QPoint(-7, 700) << margins(0, 899, 0, 50);
    QTest::newRow("click") << QPoint(100, 50) << QPoint(100, 50) << margins(100, 899, 449, 50);
}

void TestFrameDrag::newFrameFromTwoPoints()
{
    QFETCH(QPoint, start);
    QFETCH(QPoint, end);
    QFETCH(Margins, expected);
    const Margins current = margins(5, 5, 5, 5);

    QCOMPARE(newFrame(start.x(), start.y(), end.x(), end.y(), 1000, 500), expected);

    FrameDrag drag;
    drag.press(start.x(), start.y(), false, current, 1000, 500);
    QCOMPARE(drag.mode(), FrameDrag::Mode::None);
    QCOMPARE(
        drag.step(end.x(), end.y(), false, current, 1000, 500), std::optional<Margins>(expected));
    Margins committed;
    QCOMPARE(drag.release(end.x(), end.y(), false, current, 1000, 500, &committed),
        FrameDrag::Release::Commit);
    QCOMPARE(committed, expected);
}

void TestFrameDrag::edgeDragClampsToImageOnly_data()
{
    QTest::addColumn<int>("releaseX");
    QTest::addColumn<Margins>("expected");

    // Left edge of a frame with margins 100 on a 3000 x 1000 image, grabbed at
    // its middle. Bounding to what the spin boxes take is not done here.
    QTest::newRow("to 1500") << 1500 << margins(1500, 100, 100, 100);
    // Past the right edge (column 2899): the edges may cross.
    QTest::newRow("past the opposite edge") << 2950 << margins(2950, 100, 100, 100);
    QTest::newRow("beyond the image") << 5000 << margins(2999, 100, 100, 100);
    QTest::newRow("beyond the left side") << -300 << margins(0, 100, 100, 100);
}

void TestFrameDrag::edgeDragClampsToImageOnly()
{
    QFETCH(int, releaseX);
    QFETCH(Margins, expected);
    const Margins current = margins(100, 100, 100, 100);
    FrameDrag drag;
    drag.press(100, 500, true, current, 3000, 1000);
    QCOMPARE(drag.mode(), FrameDrag::Mode::EdgeDrag);
    Margins committed;
    // The vertical offset is ignored: only the left edge is held.
    QCOMPARE(drag.release(releaseX, 560, true, current, 3000, 1000, &committed),
        FrameDrag::Release::Commit);
    QCOMPARE(committed, expected);
}

void TestFrameDrag::releaseEndsTheDrag()
{
    const Margins current = margins(100, 100, 100, 100);
    FrameDrag drag;
    drag.press(500, 400, true, current, 1000, 800);
    Margins committed;
    QCOMPARE(
        drag.release(510, 400, true, current, 1000, 800, &committed), FrameDrag::Release::Commit);
    QCOMPARE(drag.mode(), FrameDrag::Mode::None);

    // No drag in progress on a shown frame: nothing to draw, nothing to commit.
    committed = margins(1, 2, 3, 4);
    QVERIFY(!drag.step(520, 400, true, current, 1000, 800).has_value());
    QCOMPARE(
        drag.release(520, 400, true, current, 1000, 800, &committed), FrameDrag::Release::Nothing);
    QCOMPARE(committed, margins(1, 2, 3, 4));

    // A hidden frame sets no mode at the press.
    drag.press(100, 100, false, current, 1000, 800);
    QCOMPARE(drag.mode(), FrameDrag::Mode::None);
}

QTEST_GUILESS_MAIN(TestFrameDrag)
#include "tst_framedrag.moc"
