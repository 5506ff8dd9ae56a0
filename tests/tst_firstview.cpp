// Opening a big JPEG: the reduced picture shows at once over the full image's
// geometry, the whole image replaces it when decoded, and a newer open is
// never overwritten by an older decode finishing late.
#include "mainwindow/mainwindow.h"
#include "mainwindow/sourceview.h"
#include "testsupport.h"

#include <QImageReader>
#include <QLabel>
#include <QThreadPool>
#include <QtTest>

class TestFirstView : public QObject
{
    Q_OBJECT

private slots:
    void bigJpegShowsReducedThenWhole();
    void newerOpenWins();
};

namespace {

// 16.3 megapixels: over the threshold for a first view.
constexpr int kBigW = 4800;
constexpr int kBigH = 3400;

void settle()
{
    QThreadPool::globalInstance()->waitForDone();
    QTest::qWait(50);
}

} // namespace

void TestFirstView::bigJpegShowsReducedThenWhole()
{
    WindowHarness h;
    const QString big = writeImage(h.path("big.jpg"), kBigW, kBigH, QColor(200, 40, 40), "jpg");
    QVERIFY(!big.isEmpty());
    h.window.resize(900, 600);
    h.window.show();
    h.window.setLoadPath(big);
    h.window.openImage();
    SourceView *view = h.window.sourceView();

    // Shown before the decode is in, in the full image's geometry.
    QVERIFY(h.window.imageLoading());
    QVERIFY(h.window.sourceImage().isNull());
    QVERIFY(view->showsStandIn());
    QCOMPARE(view->imageSize(), QSize(kBigW, kBigH));
    QVERIFY(!view->hasImage());
    const QImage shown = view->grab().toImage();
    const QRgb centre = shown.pixel(shown.width() / 4, shown.height() / 4);
    QVERIFY2(qRed(centre) > 150 && qGreen(centre) < 90, qPrintable(QString::number(centre, 16)));
    // The frame and grid over the stand-in, placed on the full image.
    QVERIFY(h.window.frameActive());
    QVERIFY(view->overlay().shown && !view->overlay().grid.isEmpty());
    QCOMPARE(view->overlay().frame.right(), kBigW - 1 - h.spinMargins().at(1) - 1);
    QCOMPARE(h.child<QLabel>("labelLoadedFilename")->text(),
        QStringLiteral("変換元の画像ファイル: big.jpg"));

    QTRY_VERIFY_WITH_TIMEOUT(!h.window.sourceImage().isNull(), 30000);
    QVERIFY(!h.window.imageLoading());
    QVERIFY(!view->showsStandIn());
    QVERIFY(view->image() == h.window.sourceImage());
    QVERIFY(h.window.frameActive());
    QImageReader reader(big);
    QVERIFY(h.window.sourceImage() == reader.read());
}

void TestFirstView::newerOpenWins()
{
    WindowHarness h;
    const QString big = writeImage(h.path("big.jpg"), kBigW, kBigH, Qt::red, "jpg");
    const QString bigger
        = writeImage(h.path("bigger.jpg"), kBigW + 200, kBigH + 100, Qt::green, "jpg");
    const QString small = writeImage(h.path("small.png"), 300, 200, Qt::blue);

    // A small image opened while a big one decodes stays.
    QVERIFY(!h.open(big));
    QVERIFY(h.open(small));
    settle();
    QCOMPARE(h.window.sourceImage().size(), QSize(300, 200));
    QCOMPARE(h.window.sourceView()->image().size(), QSize(300, 200));
    QVERIFY(!h.window.imageLoading());
    QCOMPARE(h.child<QLabel>("labelLoadedFilename")->text(),
        QStringLiteral("変換元の画像ファイル: small.png"));

    // Of two big ones, the second.
    QVERIFY(!h.open(big));
    QVERIFY(!h.open(bigger));
    QTRY_VERIFY_WITH_TIMEOUT(!h.window.sourceImage().isNull(), 30000);
    settle();
    QCOMPARE(h.window.sourceImage().size(), QSize(kBigW + 200, kBigH + 100));
    QCOMPARE(h.window.sourceView()->imageSize(), QSize(kBigW + 200, kBigH + 100));
    QCOMPARE(h.window.loadPath(), bigger);
}

QTEST_MAIN(TestFirstView)
#include "tst_firstview.moc"
