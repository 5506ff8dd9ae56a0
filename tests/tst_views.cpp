// The source view and the preview label: the signals a press, drag and release
// produce, in image pixels, and how the pixmap is painted when fitted.
#include "mainwindow/sourceview.h"
#include "preview/previewview.h"
#include "preview/previewwindow.h"
#include "testsupport.h"

#include <QtTest>

namespace {

QPixmap plainPixmap(int w, int h)
{
    QPixmap pixmap(w, h);
    pixmap.fill(Qt::gray);
    return pixmap;
}

// The source view shows an image of its own, the preview label its pixmap.
void setPicture(QLabel &view, const QPixmap &pixmap)
{
    if (auto *source = qobject_cast<SourceView *>(&view))
        source->setImage(pixmap.toImage());
    else
        view.setPixmap(pixmap);
}

// A view of the given size showing a plain pixmap, fitted when scaled.
void setUp(QLabel &view, QSize label, QSize pixmap, bool scaled = false)
{
    view.resize(label);
    setPicture(view, plainPixmap(pixmap.width(), pixmap.height()));
    view.setScaledContents(scaled);
}

QList<QVariant> args(std::initializer_list<int> values)
{
    QList<QVariant> list;
    for (int v : values)
        list << v;
    return list;
}

// Every signal of a view, in emission order, as "name(args)".
class SignalLog : public QObject
{
public:
    template <class View> explicit SignalLog(View *view)
    {
        connect(view, &View::mouseleftdown, this, [this](int x, int y) {
            add("mouseleftdown", { x, y });
        });
        connect(view, &View::mouseleftup, this, [this](int x, int y) {
            add("mouseleftup", { x, y });
        });
        connect(view, &View::size_changing, this,
            [this](int cx, int cy, int x1, int y1, int x2, int y2, int x, int y) {
                add("size_changing", { cx, cy, x1, y1, x2, y2, x, y });
            });
    }

    void add(const char *name, std::initializer_list<int> values)
    {
        QStringList parts;
        for (int v : values)
            parts << QString::number(v);
        entries << QStringLiteral("%1(%2)").arg(QLatin1String(name), parts.join(QLatin1Char(',')));
    }

    QStringList take()
    {
        QStringList out = entries;
        entries.clear();
        return out;
    }

    QStringList entries;
};

} // namespace

class TestViews : public QObject
{
    Q_OBJECT

private slots:
    void clickWithoutMovement_data();
    void clickWithoutMovement();
    void dragUpAndLeftSwapsCorners();
    void firstMoveReportsUnclamped_data();
    void firstMoveReportsUnclamped();
    void rightButtonDuringLeftDrag();
    void pointModeReportsRelease();
    void withoutPixmapNothingIsReported();
    void releaseWithoutPixmapKeepsTheDrag();
    void fittedPaint_data();
    void fittedPaint();
    void previewRepaintsAllOfANewResult();
    void overlayOverThePicture_data();
    void overlayOverThePicture();
};

void TestViews::clickWithoutMovement_data()
{
    QTest::addColumn<bool>("scaled");
    QTest::addColumn<QStringList>("expected");

    // Label 200 x 100, pixmap 500 x 200: s = max(2.5, 2) = 2.5 when fitted.
    QTest::newRow("natural size") << false
                                  << QStringList { "mouseleftdown(41,17)" };
    QTest::newRow("scaled, s 2.5")
        << true << QStringList { "mouseleftdown(102,42)" };
}

void TestViews::clickWithoutMovement()
{
    QFETCH(bool, scaled);
    QFETCH(QStringList, expected);
    SourceView view;
    setUp(view, QSize(200, 100), QSize(500, 200), scaled);
    SignalLog log(&view);

    sendPress(&view, QPoint(41, 17));
    sendRelease(&view, QPoint(41, 17));
    QCOMPARE(log.take(), expected);
}

void TestViews::dragUpAndLeftSwapsCorners()
{
    SourceView view;
    setUp(view, QSize(300, 200), QSize(300, 200));
    SignalLog log(&view);

    sendPress(&view, QPoint(100, 80));
    sendMove(&view, QPoint(40, 50));
    sendRelease(&view, QPoint(40, 50));
    QCOMPARE(log.take(),
        (QStringList { "mouseleftdown(100,80)", "size_changing(100,80,40,50,100,80,40,50)" }));
}

void TestViews::firstMoveReportsUnclamped_data()
{
    QTest::addColumn<bool>("scaled");
    QTest::addColumn<QPoint>("from");
    QTest::addColumn<QPoint>("to");
    QTest::addColumn<QList<QVariant>>("expected");

    // Label 300 x 200 at natural size, or 200 x 100 fitting 500 x 200 (s 2.5).
    QTest::newRow("one column back is not swapped")
        << false << QPoint(100, 80) << QPoint(99, 80) << args({ 100, 80, 100, 80, 99, 80, 99, 80 });
    // -3 truncates toward zero to -7, and 250 beyond the label gives 625 beyond
    // the pixmap.
    QTest::newRow("past the edge is not clamped")
        << true << QPoint(10, 10) << QPoint(-3, 250) << args({ 25, 25, -7, 25, 25, 625, -7, 625 });
}

void TestViews::firstMoveReportsUnclamped()
{
    QFETCH(bool, scaled);
    QFETCH(QPoint, from);
    QFETCH(QPoint, to);
    QFETCH(QList<QVariant>, expected);
    SourceView view;
    if (scaled)
        setUp(view, QSize(200, 100), QSize(500, 200), true);
    else
        setUp(view, QSize(300, 200), QSize(300, 200));
    QSignalSpy changing(&view, &SourceView::size_changing);

    sendPress(&view, from);
    sendMove(&view, to);
    QCOMPARE(changing.count(), 1);
    QCOMPARE(changing.takeFirst(), expected);
}

void TestViews::rightButtonDuringLeftDrag()
{
    SourceView view;
    setUp(view, QSize(300, 200), QSize(300, 200));
    SignalLog log(&view);

    sendPress(&view, QPoint(10, 10));
    // The held buttons include the left one, so the press point moves.
    sendPress(&view, QPoint(50, 60), Qt::RightButton, Qt::LeftButton | Qt::RightButton);
    QCOMPARE(log.take(), (QStringList { "mouseleftdown(10,10)", "mouseleftdown(50,60)" }));

    sendRelease(&view, QPoint(55, 60), Qt::RightButton, Qt::LeftButton);
    QCOMPARE(log.take(), QStringList());

    // The left drag goes on from the new press point.
    view.pointMode = true;
    sendMove(&view, QPoint(70, 65));
    sendRelease(&view, QPoint(70, 65));
    QCOMPARE(log.take(),
        (QStringList { "size_changing(50,60,50,60,70,65,70,65)", "mouseleftup(70,65)" }));
}

void TestViews::pointModeReportsRelease()
{
    SourceView view;
    setUp(view, QSize(200, 100), QSize(500, 200), true);
    SignalLog log(&view);

    view.pointMode = true;
    sendPress(&view, QPoint(10, 10));
    sendMove(&view, QPoint(20, 30));
    sendRelease(&view, QPoint(21, 31));
    QCOMPARE(log.take(),
        (QStringList { "mouseleftdown(25,25)", "size_changing(25,25,25,25,50,75,50,75)",
            "mouseleftup(52,77)" }));
    // Out of point mode a release is no frame.
    view.pointMode = false;
    sendPress(&view, QPoint(10, 10));
    sendRelease(&view, QPoint(21, 31));
    QCOMPARE(log.take(), QStringList { "mouseleftdown(25,25)" });
}

void TestViews::withoutPixmapNothingIsReported()
{
    SourceView view;
    view.resize(200, 100);
    view.setMouseTracking(true);
    view.pointMode = true;
    SignalLog log(&view);

    // The right button held with the left one is not noted either.
    sendPress(&view, QPoint(10, 10), Qt::LeftButton, Qt::LeftButton | Qt::RightButton);
    sendMove(&view, QPoint(20, 20), Qt::LeftButton | Qt::RightButton);
    sendRelease(&view, QPoint(20, 20), Qt::RightButton, Qt::LeftButton);
    sendRelease(&view, QPoint(20, 20));
    sendMove(&view, QPoint(30, 30), Qt::NoButton);
    QCOMPARE(log.take(), QStringList());

    setPicture(view, QPixmap());
    sendPress(&view, QPoint(10, 10));
    sendRelease(&view, QPoint(10, 10));
    QCOMPARE(log.take(), QStringList());
}

void TestViews::releaseWithoutPixmapKeepsTheDrag()
{
    SourceView view;
    setUp(view, QSize(300, 200), QSize(300, 200));
    view.setMouseTracking(true);
    SignalLog log(&view);

    sendPress(&view, QPoint(10, 10));
    setPicture(view, QPixmap());
    sendRelease(&view, QPoint(20, 20));
    QCOMPARE(log.take(), QStringList { "mouseleftdown(10,10)" });

    setPicture(view, plainPixmap(300, 200));
    sendMove(&view, QPoint(30, 30), Qt::NoButton);
    view.pointMode = true;
    sendRelease(&view, QPoint(30, 30));
    QCOMPARE(log.take(),
        (QStringList { "size_changing(10,10,10,10,30,30,30,30)", "mouseleftup(30,30)" }));
}

void TestViews::fittedPaint_data()
{
    QTest::addColumn<bool>("preview");
    QTest::newRow("source view") << false;
    QTest::newRow("preview label") << true;
}

void TestViews::fittedPaint()
{
    QFETCH(bool, preview);
    QWidget holder;
    QLabel *label = preview ? static_cast<QLabel *>(new PreviewView(&holder))
                            : static_cast<QLabel *>(new SourceView(&holder));
    label->setFrameShape(QFrame::Box);
    label->setGeometry(0, 0, 640, 480);
    label->setScaledContents(true);

    // Blue left half, red right half: a fitted 640 x 320 copy splits at column 320.
    QImage image(2048, 1024, QImage::Format_ARGB32);
    image.fill(Qt::blue);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 1024; x < image.width(); ++x)
            image.setPixel(x, y, qRgb(255, 0, 0));
    setPicture(*label, QPixmap::fromImage(image));

    const QImage shot = label->grab().toImage().convertToFormat(QImage::Format_RGB32);
    QCOMPARE(shot.size(), QSize(640, 480));
    const QRgb blue = qRgb(0, 0, 255);
    const QRgb red = qRgb(255, 0, 0);
    // No frame is drawn: the corners carry the image.
    QCOMPARE(shot.pixel(0, 0), blue);
    QCOMPARE(shot.pixel(0, 318), blue);
    QCOMPARE(shot.pixel(310, 160), blue);
    QCOMPARE(shot.pixel(330, 160), red);
    QCOMPARE(shot.pixel(639, 0), red);
    QCOMPARE(shot.pixel(639, 318), red);
    const QRgb background = label->palette().color(QPalette::Window).rgb();
    QCOMPARE(shot.pixel(0, 322), background);
    QCOMPARE(shot.pixel(320, 400), background);
    QCOMPARE(shot.pixel(639, 479), background);
}

// The picture reaches the label's edges, so a new one must repaint up to them.
void TestViews::previewRepaintsAllOfANewResult()
{
    PreviewWindow preview;
    preview.resize(400, 300);
    preview.setImage(filledImage(200, 100, Qt::blue));
    preview.show();
    QVERIFY(QTest::qWaitForWindowExposed(&preview));
    PreviewView *label = preview.imageLabel();
    QRegion painted;
    struct Filter : QObject
    {
        QRegion *painted;
        bool eventFilter(QObject *, QEvent *event) override
        {
            if (event->type() == QEvent::Paint)
                *painted += static_cast<QPaintEvent *>(event)->region();
            return false;
        }
    } filter;
    filter.painted = &painted;
    label->installEventFilter(&filter);
    preview.setImage(filledImage(200, 100, Qt::red));
    QTRY_VERIFY(!painted.isEmpty());
    QVERIFY(painted.contains(QPoint(0, 0)));
    QVERIFY(painted.contains(QPoint(0, label->height() / 4)));
}

void TestViews::overlayOverThePicture_data()
{
    QTest::addColumn<QString>("projection");
    QTest::addColumn<QList<int>>("rows");
    QTest::newRow("miller") << QStringLiteral("miller") << QList<int> { 250, 387, 499, 611, 748 };
    QTest::newRow("mercator") << QStringLiteral("mercator")
                              << QList<int> { 396, 456, 499, 542, 602 };
}

// The worked example (2000 x 1000, margins 10, 10, 20, 20, the whole globe).
void TestViews::overlayOverThePicture()
{
    QFETCH(QString, projection);
    QFETCH(QList<int>, rows);
    ParamSet set;
    set.marginLeft = set.marginRight = 10;
    set.marginBottom = set.marginTop = 20;
    set.projection = projection;
    const QImage source = filledImage(2000, 1000);
    ProjectionConverter converter;
    const OverlayLines lines = overlayLines(set.toTable(), true, source.size(), converter);
    SourceView view;
    view.setImage(source);
    view.setOverlay(lines, overlayPen(1, Qt::red));

    // At natural size the view paints what is drawn onto the image itself.
    view.resize(source.size());
    QCOMPARE(view.grab().toImage().convertToFormat(QImage::Format_RGB32),
        renderOverlay(source, set.toTable(), overlayPen(1, Qt::red), true, converter)
            .convertToFormat(QImage::Format_RGB32));

    // Fitted at a quarter, every line stands on the screen column or row that
    // shows its image pixel.
    view.resize(500, 250);
    view.setScaledContents(true);
    const QImage shot = view.grab().toImage().convertToFormat(QImage::Format_ARGB32);
    const QRect frame(QPoint(10 / 4, 20 / 4), QPoint(1989 / 4, 979 / 4));
    for (const QPoint &corner :
        { frame.topLeft(), frame.topRight(), frame.bottomLeft(), frame.bottomRight() })
        QVERIFY(isRed(shot.pixel(corner)));
    auto quarter = [](QList<int> v) {
        for (int &x : v)
            x /= 4;
        return v;
    };
    QCOMPARE(lineColumns(shot, frame),
        quarter({ 174, 339, 504, 669, 834, 999, 1164, 1329, 1494, 1659, 1824 }));
    QCOMPARE(lineRows(shot, frame), quarter(rows));

    // The pen is as wide on screen as set, whatever the zoom.
    view.setOverlay(lines, overlayPen(3, Qt::red));
    const QImage wide = view.grab().toImage().convertToFormat(QImage::Format_ARGB32);
    QCOMPARE(redInRow(wide, 140, 0, 8), 3);
}

QTEST_MAIN(TestViews)
#include "tst_views.moc"
