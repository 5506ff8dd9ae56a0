// The main window as the user meets it: its widgets and menus, the view
// switches, parameter editing with the live overlay, the conversion checked
// against an independent land/sea truth, and fitting the frame with the mouse.
#include "mainwindow/mainwindow.h"
#include "mainwindow/parampanel.h"
#include "mainwindow/sourceview.h"
#include "preview/previewview.h"
#include "preview/previewwindow.h"
#include "testsupport.h"

#include <QAction>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSpinBox>
#include <QStatusBar>
#include <QToolBar>
#include <QtTest>

Q_DECLARE_METATYPE(ParamSet)

namespace {

constexpr int kMaxWidgetSize = 16777215;

// The shared harness with the view as this file looks at it, and the source
// view's signals as the label sends them during a drag.
struct Harness : WindowHarness
{
    QImage shown() const { return naturalPicture(window.sourceView()); }
    QPixmap previewPixmap() const
    {
        return window.previewWindow()->imageLabel()->pixmap(Qt::ReturnByValue);
    }

    void press(int x, int y)
    {
        m_startX = x;
        m_startY = y;
        emit window.sourceView()->mouseleftdown(x, y);
    }
    void dragTo(int x, int y)
    {
        const QRect r = QRect(QPoint(m_startX, m_startY), QPoint(x, y)).normalized();
        emit window.sourceView()->size_changing(
            m_startX, m_startY, r.left(), r.top(), r.right(), r.bottom(), x, y);
    }
    void release(int x, int y) { emit window.sourceView()->mouseleftup(x, y); }

private:
    int m_startX = 0;
    int m_startY = 0;
};

const QRgb kLand = qRgb(205, 185, 127);
const QRgb kSea = qRgb(164, 203, 230);

bool isLand(QRgb p)
{
    auto dist = [p](QRgb c) {
        const int r = qRed(p) - qRed(c), g = qGreen(p) - qGreen(c), b = qBlue(p) - qBlue(c);
        return r * r + g * g + b * b;
    };
    return dist(kLand) < dist(kSea);
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void fieldsReportEachEditOnceAndAWholeSetNever();
    void tabWalksTheStepsInOrder();
    void stepsFitWithNothingClipped();
    void autoSizeSwitchSetsViewLimits();
    void previewMenuBuildsPreviewAndMarkFollowsWindow();
    void previewButtonToggles();
    void autoPreviewRemapsOnlyWhilePreviewShown();
    void previewEndsWithTheLastOfABurst();
    void resetRestoresDefaultFrame_data();
    void resetRestoresDefaultFrame();
    void resetWithoutImageHidesFrame();

    void pushedValuesAreBoundedAndRounded();
    void unknownProjectionLeavesSelectorEmptyKeepsTheNameAndDrawsFrameOnly();
    void overlayOfWorkedExample_data();
    void overlayOfWorkedExample();
    void conversionAgainstTruth_data();
    void conversionAgainstTruth();

    void cornerGrabWithMouseEvents();
    void grabBandKeepsSixScreenPixelsWhenFitted();
    void pressBesideFrameHidesItOnRelease();
    void newFrameFromDraggedRectangle();
    void dragCommitsOnRelease_data();
    void dragCommitsOnRelease();
    void marginsBoundedByTheImage_data();
    void marginsBoundedByTheImage();
    void paramProblemInStatusLine();
};

// At the program's own font every step shows whole, and steps 1) to 4) fit a
// 1366 x 768 screen at its 1.5 scale without scrolling.
// An edit redraws once; a set taken whole (loaded, detected, reset) is one
// redraw by its taker, not one per field.
void TestMainWindow::fieldsReportEachEditOnceAndAWholeSetNever()
{
    Harness h;
    auto *panel = h.window.findChild<ParamPanel *>();
    QVERIFY(panel);
    QSignalSpy changes(panel, &ParamPanel::paramsChanged);
    h.child<QSpinBox>("spinBoxMarginTop")->setValue(12);
    QCOMPARE(changes.size(), 1);
    QCOMPARE(h.window.params().marginTop, 12);
    changes.clear();
    h.child<QComboBox>("cbFormatMapProj")->setCurrentIndex(1);
    QCOMPARE(h.window.params().projection, QStringLiteral("mercator"));
    QCOMPARE(changes.size(), 1);
    changes.clear();
    h.window.applyParamSet(makeParams(5, 6, 7, 8));
    h.action("actionParam_Reset")->trigger();
    QCOMPARE(changes.size(), 0);
    QCOMPARE(h.window.params(), ParamSet());
}

// Tab walks the fields in the order the steps read, the panel's fields
// among the window's own.
void TestMainWindow::tabWalksTheStepsInOrder()
{
    Harness h;
    QStringList order;
    QWidget *w = h.child<QWidget>("btnReset");
    while (order.size() < 12) {
        w = w->nextInFocusChain();
        // A spin box's own line edit is its inside, not a stop of its own.
        if ((w->focusPolicy() & Qt::TabFocus) && !w->objectName().startsWith(QLatin1String("qt_")))
            order << w->objectName();
    }
    QCOMPARE(order,
        QStringList(
            { "spinBoxMarginLeft", "spinBoxMarginRight", "spinBoxMarginBottom", "spinBoxMarginTop",
                "spinBoxFrameLine", "cbFormatMapProj", "doubleSpinBoxLonMin", "doubleSpinBoxLonMax",
                "doubleSpinBoxLatMin", "doubleSpinBoxLatMax", "btnPreview", "btnConvert" }));
}

void TestMainWindow::stepsFitWithNothingClipped()
{
    const QFont original = QApplication::font();
    QFont font = original;
    font.setPointSizeF(96.0 / QApplication::primaryScreen()->logicalDotsPerInch() * 6.75);
    QApplication::setFont(font);
    {
        Harness h;
        h.window.show();
        auto *panel = h.child<QWidget>("scrollAreaWidgetContents_L");
        QTRY_VERIFY(h.child<QScrollArea>("scrollArea_L")->viewport()->height() >= panel->height());
        // Nothing to scroll, so no scroll bar.
        QTRY_VERIFY(!h.child<QScrollArea>("scrollArea_L")->verticalScrollBar()->isVisible());
        QVERIFY(h.window.width() * 1.5 <= 1366 && h.window.height() * 1.5 + 40 <= 768);
        for (QWidget *w : panel->findChildren<QWidget *>()) {
            const QString name = w->objectName();
            int needed = 0;
            if (auto *button = qobject_cast<QPushButton *>(w))
                needed = button->fontMetrics().horizontalAdvance(button->text()) + 8;
            else if (qobject_cast<QLabel *>(w) || qobject_cast<QAbstractSpinBox *>(w))
                needed = w->sizeHint().width();
            else
                continue;
            QVERIFY2(needed <= w->width(), qPrintable(name));
            QVERIFY2(w->minimumSizeHint().height() <= w->height(), qPrintable(name));
            QVERIFY2(w->parentWidget()->rect().contains(w->geometry()), qPrintable(name));
        }
    }
    QApplication::setFont(original);
}

void TestMainWindow::autoSizeSwitchSetsViewLimits()
{
    Harness h;
    QAction *autoSize = h.action("actionAuto_Size");
    auto *contents = h.child<QWidget>("scrollAreaWidgetContents_R");
    auto *area = h.child<QScrollArea>("scrollArea_R");

    // Switched off before any image: the view is fixed at 0 x 0.
    autoSize->setChecked(true);
    autoSize->trigger();
    QVERIFY(!autoSize->isChecked());
    QCOMPARE(contents->minimumSize(), QSize(0, 0));
    QCOMPARE(contents->maximumSize(), QSize(0, 0));
    QVERIFY(!area->widgetResizable());
    QVERIFY(!h.window.sourceView()->hasScaledContents());

    autoSize->trigger();
    QVERIFY(autoSize->isChecked());
    QCOMPARE(contents->minimumSize(), QSize(0, 0));
    QCOMPARE(contents->maximumSize(), QSize(kMaxWidgetSize, kMaxWidgetSize));
    QVERIFY(area->widgetResizable());
    QVERIFY(h.window.sourceView()->hasScaledContents());

    // Fixed round the image, with room for the margins and the file-name line.
    QVERIFY(h.openWhite(300, 200));
    autoSize->trigger();
    QCOMPARE(contents->minimumSize(), contents->maximumSize());
    QVERIFY(contents->minimumWidth() > 300 && contents->minimumHeight() > 200);
}

void TestMainWindow::previewMenuBuildsPreviewAndMarkFollowsWindow()
{
    Harness h;
    PreviewWindow *preview = h.window.previewWindow();
    QAction *menuEntry = h.action("actionPreview_Window");
    QSignalSpy hidden(preview, &PreviewWindow::hidden);
    QVERIFY(h.openWhite(200, 100));

    // With the main window hidden the preview is shown but not built.
    menuEntry->trigger();
    QVERIFY(preview->isVisible());
    QVERIFY(menuEntry->isChecked());
    QVERIFY(h.previewPixmap().isNull());
    menuEntry->trigger();
    QVERIFY(!preview->isVisible());
    QVERIFY(!menuEntry->isChecked());

    h.window.show();
    menuEntry->trigger();
    QVERIFY(preview->isVisible());
    QVERIFY(menuEntry->isChecked());
    QCOMPARE(h.previewPixmap().size(), QSize(2048, 1024));

    // The window's own close only hides it and takes the mark away.
    hidden.clear();
    QVERIFY(preview->close());
    QVERIFY(!preview->isVisible());
    QCOMPARE(hidden.count(), 1);
    QVERIFY(!menuEntry->isChecked());

    // Choosing the entry again shows it and rebuilds the preview.
    h.window.settings().outputSizeX = 1024;
    menuEntry->trigger();
    QVERIFY(preview->isVisible());
    QVERIFY(menuEntry->isChecked());
    QCOMPARE(h.previewPixmap().size(), QSize(1024, 1024));
}

void TestMainWindow::previewButtonToggles()
{
    Harness h;
    PreviewWindow *preview = h.window.previewWindow();
    QAction *menuEntry = h.action("actionPreview_Window");
    auto *button = h.child<QPushButton>("btnPreview");
    h.window.show();
    QVERIFY(h.openWhite(200, 100));

    button->click();
    QVERIFY(preview->isVisible());
    QVERIFY(menuEntry->isChecked());
    QVERIFY(!h.previewPixmap().isNull());
    const QImage built = h.previewPixmap().toImage();
    // A white map over the whole globe leaves no pixel uncovered.
    QCOMPARE(built.pixel(0, 0), qRgba(255, 255, 255, 255));
    QCOMPARE(built.pixel(built.width() - 1, built.height() - 1), qRgba(255, 255, 255, 255));

    button->click();
    QVERIFY(!preview->isVisible());
    QVERIFY(!menuEntry->isChecked());
}

void TestMainWindow::autoPreviewRemapsOnlyWhilePreviewShown()
{
    Harness h;
    PreviewWindow *preview = h.window.previewWindow();
    QAction *autoPreview = h.action("actionAuto_Preview");
    h.window.show();
    QVERIFY(h.openWhite(200, 100));

    // Preview hidden: switching on and editing build nothing.
    autoPreview->trigger();
    QVERIFY(autoPreview->isChecked());
    QVERIFY(h.window.settings().autoPreview);
    h.child<QSpinBox>("spinBoxMarginLeft")->setValue(5);
    QCOMPARE(h.window.params().marginLeft, 5);
    QVERIFY(h.previewPixmap().isNull());

    // Shown without a build, then switching on builds at once.
    autoPreview->trigger();
    QVERIFY(!h.window.settings().autoPreview);
    preview->show();
    QVERIFY(h.previewPixmap().isNull());
    h.child<QSpinBox>("spinBoxMarginLeft")->setValue(6);
    QVERIFY(h.previewPixmap().isNull());
    autoPreview->trigger();
    QVERIFY(!h.previewPixmap().isNull());

    // Every committed edit rebuilds it once the queued events are handled, a
    // committed drag included.
    qint64 key = h.previewPixmap().cacheKey();
    h.child<QDoubleSpinBox>("doubleSpinBoxLatMax")->setValue(60);
    QTRY_VERIFY(h.previewPixmap().cacheKey() != key);
    key = h.previewPixmap().cacheKey();
    h.press(6, 50);
    h.dragTo(16, 50);
    QVERIFY(!h.window.previewPending());
    h.release(16, 50);
    QCOMPARE(h.window.params().marginLeft, 16);
    QTRY_VERIFY(h.previewPixmap().cacheKey() != key);

    // Reset and an outside press leave the preview as it was.
    key = h.previewPixmap().cacheKey();
    h.child<QPushButton>("btnReset")->click();
    QCOMPARE(h.previewPixmap().cacheKey(), key);
    QVERIFY(!h.window.previewPending());
    h.child<QSpinBox>("spinBoxMarginLeft")->setValue(50);
    QTRY_VERIFY(!h.window.previewPending());
    key = h.previewPixmap().cacheKey();
    h.press(20, 50);
    h.release(20, 50);
    QVERIFY(!h.window.frameActive());
    QCOMPARE(h.previewPixmap().cacheKey(), key);

    // A new image shows its own result, or with auto preview off nothing.
    QVERIFY(h.open(writeImage(h.path(QStringLiteral("blue.png")), 120, 60, Qt::blue)));
    QTRY_VERIFY(!h.previewPixmap().isNull());
    const QImage result = h.previewPixmap().toImage();
    QCOMPARE(result.pixelColor(result.rect().center()), QColor(Qt::blue));
    autoPreview->trigger();
    QVERIFY(h.openWhite(120, 60));
    QVERIFY(h.previewPixmap().isNull());
}

// Changes queued while one is being handled: the preview must end with the
// last, however the refreshes interleave.
void TestMainWindow::previewEndsWithTheLastOfABurst()
{
    Harness h;
    h.window.show();
    const QImage source = randomImage(300, 150, 7, RandomAlpha::Opaque);
    QVERIFY(source.save(h.path(QStringLiteral("map.png"))));
    QVERIFY(h.open(h.path(QStringLiteral("map.png"))));
    h.window.settings().outputSizeX = 1024;
    h.window.settings().outputSizeY = 512;
    h.action("actionAuto_Preview")->trigger();
    h.child<QPushButton>("btnPreview")->click();

    auto *left = h.child<QSpinBox>("spinBoxMarginLeft");
    for (int margin : { 11, 12 })
        QMetaObject::invokeMethod(left, "setValue", Qt::QueuedConnection, Q_ARG(int, margin));
    left->setValue(10);

    ParamSet last;
    last.marginLeft = 12;
    const QImage expected
        = referenceOutput(h.path(QStringLiteral("map.png")), last, QSize(1024, 512));
    QTRY_COMPARE(h.window.params().marginLeft, 12);
    QTRY_COMPARE(h.previewPixmap().toImage().convertToFormat(QImage::Format_ARGB32), expected);
}

void TestMainWindow::resetRestoresDefaultFrame_data()
{
    QTest::addColumn<QString>("trigger");
    QTest::newRow("button") << QStringLiteral("btnReset");
    QTest::newRow("menu") << QStringLiteral("actionParam_Reset");
}

void TestMainWindow::resetRestoresDefaultFrame()
{
    QFETCH(QString, trigger);
    Harness h;
    h.window.settings().penSize = 1;
    QVERIFY(h.openWhite(400, 200));
    h.setMargins(30, 40, 20, 10);
    h.child<QComboBox>("cbFormatMapProj")->setCurrentIndex(1);
    h.child<QDoubleSpinBox>("doubleSpinBoxLonMin")->setValue(-100);
    h.child<QDoubleSpinBox>("doubleSpinBoxLatMax")->setValue(45);
    // Hide the frame first: the reset must bring it back.
    h.press(5, 5);
    h.release(5, 5);
    QVERIFY(!h.window.frameActive());

    if (trigger == QLatin1String("btnReset"))
        h.child<QPushButton>("btnReset")->click();
    else
        h.action("actionParam_Reset")->trigger();

    QCOMPARE(h.spinMargins(), QList<int>({ 0, 0, 0, 0 }));
    QCOMPARE(h.memberMargins(), QList<int>({ 0, 0, 0, 0 }));
    QCOMPARE(h.child<QComboBox>("cbFormatMapProj")->currentIndex(), 0);
    QCOMPARE(h.window.params().projection, QStringLiteral("miller"));
    QCOMPARE(h.child<QDoubleSpinBox>("doubleSpinBoxLonMin")->value(), -180.0);
    QCOMPARE(h.child<QDoubleSpinBox>("doubleSpinBoxLatMax")->value(), 90.0);
    QCOMPARE(h.window.params().lonMin, -180.0);
    QCOMPARE(h.window.params().latMax, 90.0);
    QVERIFY(h.window.frameActive());
    QVERIFY(h.window.sourceView()->pointMode);

    // The default frame runs round the whole image; grid lines from -180 and -90.
    const QImage shown = h.shown();
    QVERIFY(isRed(shown.pixel(0, 0)));
    QVERIFY(isRed(shown.pixel(399, 199)));
    QVERIFY(isRed(shown.pixel(399, 100)));
    QVERIFY(!lineColumns(shown, QRect(0, 0, 400, 200)).isEmpty());
}

void TestMainWindow::resetWithoutImageHidesFrame()
{
    Harness h;
    h.setMargins(3, 4, 5, 6);
    h.child<QPushButton>("btnReset")->click();
    QVERIFY(!h.window.frameActive());
    QVERIFY(!h.window.sourceView()->pointMode);
    QCOMPARE(h.spinMargins(), QList<int>({ 0, 0, 0, 0 }));
    QVERIFY(!h.window.sourceView()->hasImage());
}

void TestMainWindow::pushedValuesAreBoundedAndRounded()
{
    Harness h;
    ParamSet p;
    p.marginLeft = 1500;
    p.marginTop = 1024;
    p.lonMin = 12.34;
    p.latMax = 12.34;
    p.latMin = -95;
    h.window.applyParamSet(p);

    QCOMPARE(h.child<QSpinBox>("spinBoxMarginLeft")->value(), 1024);
    QCOMPARE(h.window.params().marginLeft, 1024);
    QCOMPARE(h.window.params().marginTop, 1024);
    QCOMPARE(h.child<QDoubleSpinBox>("doubleSpinBoxLonMin")->value(), 12.3);
    QCOMPARE(h.window.params().lonMin, 12.3);
    QCOMPARE(h.child<QDoubleSpinBox>("doubleSpinBoxLatMax")->value(), 12.3);
    QCOMPARE(h.window.params().latMax, 12.3);
    QCOMPARE(h.window.params().latMin, -90.0);
}

void TestMainWindow::unknownProjectionLeavesSelectorEmptyKeepsTheNameAndDrawsFrameOnly()
{
    Harness h;
    h.window.settings().penSize = 1;
    QVERIFY(h.openWhite(600, 300));
    ParamSet p = h.window.params();
    p.projection = QStringLiteral("lambert");
    p.marginLeft = 10;
    p.marginTop = 10;
    h.window.applyParamSet(p);
    QCOMPARE(h.child<QComboBox>("cbFormatMapProj")->currentIndex(), -1);
    QCOMPARE(h.window.params().projection, QStringLiteral("lambert"));

    h.window.redrawOverlay();
    const QImage shown = h.shown();
    const QRect frame(QPoint(10, 10), QPoint(599, 299));
    QVERIFY(isRed(shown.pixel(frame.topLeft())));
    QVERIFY(isRed(shown.pixel(frame.bottomRight())));
    QVERIFY(lineColumns(shown, frame).isEmpty());
    QVERIFY(lineRows(shown, frame).isEmpty());

    // Editing on with no projection chosen must not take the program down either.
    h.child<QSpinBox>("spinBoxMarginRight")->setValue(20);
    QVERIFY(isRed(h.shown().pixel(579, 150)));
}

void TestMainWindow::overlayOfWorkedExample_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QList<int>>("innerRows");
    // Row 979 of the -90 parallel lies on the frame's bottom row.
    QTest::newRow("miller") << 0 << QList<int> { 250, 387, 499, 611, 748 };
    QTest::newRow("mercator") << 1 << QList<int> { 396, 456, 499, 542, 602 };
}

void TestMainWindow::overlayOfWorkedExample()
{
    QFETCH(int, index);
    QFETCH(QList<int>, innerRows);
    Harness h;
    h.window.settings().penSize = 1;
    h.window.settings().penColor = QColor(255, 0, 0);
    QVERIFY(h.openWhite(2000, 1000));
    h.setMargins(10, 10, 20, 20);
    h.child<QComboBox>("cbFormatMapProj")->setCurrentIndex(index);

    const QImage shown = h.shown();
    QCOMPARE(shown.size(), QSize(2000, 1000));
    const QRect frame(QPoint(10, 20), QPoint(1989, 979));
    for (const QPoint &corner :
        { frame.topLeft(), frame.topRight(), frame.bottomLeft(), frame.bottomRight() })
        QVERIFY2(isRed(shown.pixel(corner)),
            qPrintable(QStringLiteral("%1,%2").arg(corner.x()).arg(corner.y())));
    // A one-pixel pen stays on the frame's own rows and columns.
    QVERIFY(!isRed(shown.pixel(9, 500)));
    QVERIFY(!isRed(shown.pixel(1990, 500)));
    QVERIFY(!isRed(shown.pixel(1000, 19)));
    QVERIFY(!isRed(shown.pixel(1000, 980)));
    QCOMPARE(redInRow(shown, 20, 10, 1989), 1980);
    QCOMPARE(redInColumn(shown, 1989, 20, 979), 960);

    QCOMPARE(lineColumns(shown, frame),
        (QList<int> { 174, 339, 504, 669, 834, 999, 1164, 1329, 1494, 1659, 1824 }));
    QCOMPARE(lineRows(shown, frame), innerRows);
}

void TestMainWindow::conversionAgainstTruth_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<bool>("fits");
    QTest::newRow("miller fits") << 0 << true;
    QTest::newRow("mercator does not") << 1 << false;
}

void TestMainWindow::conversionAgainstTruth()
{
    QFETCH(int, index);
    QFETCH(bool, fits);
    const QImage truth(QStringLiteral(PLANO_TEST_DATA "/truth_equirect_2048x1024.png"));
    QCOMPARE(truth.size(), QSize(2048, 1024));

    Harness h;
    QVERIFY(h.open(QStringLiteral(PLANO_TEST_DATA "/sample-miller_mask.png")));
    h.setMargins(55, 42, 47, 78);
    h.child<QComboBox>("cbFormatMapProj")->setCurrentIndex(index);
    h.child<QDoubleSpinBox>("doubleSpinBoxLonMin")->setValue(-180);
    h.child<QDoubleSpinBox>("doubleSpinBoxLonMax")->setValue(180);
    h.child<QDoubleSpinBox>("doubleSpinBoxLatMin")->setValue(-90);
    h.child<QDoubleSpinBox>("doubleSpinBoxLatMax")->setValue(90);
    h.window.settings().outputSizeX = 2048;
    h.window.settings().outputSizeY = 1024;

    const QImage out = h.window.makeOutputImage().convertToFormat(QImage::Format_ARGB32);
    QCOMPARE(out.size(), QSize(2048, 1024));
    qint64 covered = 0, agree = 0;
    for (int y = 0; y < out.height(); ++y) {
        for (int x = 0; x < out.width(); ++x) {
            const QRgb p = out.pixel(x, y);
            if (qAlpha(p) == 0)
                continue;
            ++covered;
            agree += isLand(p) == isLand(truth.pixel(x, y));
        }
    }
    const double share = covered ? double(agree) / double(covered) : 0.0;
    qInfo("agreement with the truth: %.4f of %lld covered pixels", share, covered);
    if (fits) {
        QCOMPARE(covered, qint64(2048) * 1024);
        QVERIFY2(share >= 0.98, qPrintable(QString::number(share)));
    } else {
        QVERIFY(covered > 0);
        QVERIFY2(share < 0.90, qPrintable(QString::number(share)));
    }
}

void TestMainWindow::cornerGrabWithMouseEvents()
{
    Harness h;
    QVERIFY(h.openWhite(1000, 500));
    QAction *autoSize = h.action("actionAuto_Size");
    autoSize->setChecked(true);
    autoSize->trigger(); // natural size: label pixels are image pixels
    h.setMargins(100, 120, 60, 50);
    SourceView *label = h.window.sourceView();
    QVERIFY(!label->hasScaledContents());

    sendPress(label, QPoint(100, 50));
    sendMove(label, QPoint(103, 52));
    sendMove(label, QPoint(105, 53));
    // While the button is held the frame follows, the values do not.
    QCOMPARE(h.spinMargins(), QList<int>({ 100, 120, 60, 50 }));
    QCOMPARE(h.memberMargins(), QList<int>({ 100, 120, 60, 50 }));
    QVERIFY(isRed(h.shown().pixel(105, 53)));
    QVERIFY(isRed(h.shown().pixel(105, 300)));
    QVERIFY(!isRed(h.shown().pixel(100, 300)));

    sendRelease(label, QPoint(105, 53));
    QCOMPARE(h.spinMargins(), QList<int>({ 105, 120, 60, 53 }));
    QCOMPARE(h.memberMargins(), QList<int>({ 105, 120, 60, 53 }));
    QVERIFY(h.window.frameActive());
}

// Fitted at an eighth, 12 image pixels are 1.5 screen pixels: the grab band is
// widened to 6 screen pixels, so a press 3 screen pixels off the edge takes it.
void TestMainWindow::grabBandKeepsSixScreenPixelsWhenFitted()
{
    Harness h;
    QVERIFY(h.openWhite(4000, 2000));
    SourceView *label = h.window.sourceView();
    label->setScaledContents(true);
    label->resize(500, 250);
    sendPress(label, QPoint(3, 125));
    sendMove(label, QPoint(13, 125));
    sendRelease(label, QPoint(13, 125));
    QCOMPARE(h.spinMargins(), QList<int>({ 80, 0, 0, 0 }));
}

void TestMainWindow::pressBesideFrameHidesItOnRelease()
{
    Harness h;
    QVERIFY(h.openWhite(1000, 500));
    h.setMargins(100, 100, 50, 50); // frame 100..899 x 50..449
    QVERIFY(redPixels(h.shown()) > 0);

    h.press(120, 70);
    h.dragTo(160, 90); // nothing grabbed: no tentative frame moves
    QCOMPARE(h.spinMargins(), QList<int>({ 100, 100, 50, 50 }));
    h.release(160, 90);
    QVERIFY(!h.window.frameActive());
    QVERIFY(!h.window.sourceView()->pointMode);
    QCOMPARE(redPixels(h.shown()), 0);
    QCOMPARE(h.memberMargins(), QList<int>({ 100, 100, 50, 50 }));

    // A click on a hidden frame changes nothing.
    h.press(500, 250);
    QVERIFY(!h.window.frameActive());
    QCOMPARE(redPixels(h.shown()), 0);
}

void TestMainWindow::newFrameFromDraggedRectangle()
{
    Harness h;
    h.window.settings().penSize = 1;
    QVERIFY(h.openWhite(1000, 500));
    h.setMargins(300, 300, 150, 150);
    h.press(10, 10);
    h.release(10, 10);
    QVERIFY(!h.window.frameActive());

    h.press(100, 50);
    h.dragTo(30, 400);
    QVERIFY(!h.window.frameActive());
    QVERIFY(h.window.sourceView()->pointMode);
    QVERIFY(isRed(h.shown().pixel(30, 50)));
    QCOMPARE(h.spinMargins(), QList<int>({ 300, 300, 150, 150 }));
    h.release(30, 400);

    QVERIFY(h.window.frameActive());
    QCOMPARE(h.spinMargins(), QList<int>({ 30, 899, 99, 50 }));
    QCOMPARE(h.memberMargins(), QList<int>({ 30, 899, 99, 50 }));
    QVERIFY(isRed(h.shown().pixel(100, 400)));
}

void TestMainWindow::dragCommitsOnRelease_data()
{
    QTest::addColumn<QSize>("image");
    QTest::addColumn<QList<int>>("before");
    QTest::addColumn<QPoint>("from");
    QTest::addColumn<QPoint>("to");
    QTest::addColumn<QList<int>>("after");

    QTest::newRow("frame move stops at the image edge")
        << QSize(1000, 500) << QList<int> { 20, 100, 50, 50 } << QPoint(500, 250)
        << QPoint(450, 250) << QList<int> { 0, 120, 50, 50 };
    QTest::newRow("edge drag past 1024, bounded by the image")
        << QSize(3000, 500) << QList<int> { 0, 0, 0, 0 } << QPoint(0, 250) << QPoint(3500, 250)
        << QList<int> { 2999, 0, 0, 0 };
}

void TestMainWindow::dragCommitsOnRelease()
{
    QFETCH(QSize, image);
    QFETCH(QList<int>, before);
    QFETCH(QPoint, from);
    QFETCH(QPoint, to);
    QFETCH(QList<int>, after);

    Harness h;
    QVERIFY(h.openWhite(image.width(), image.height()));
    h.setMargins(before[0], before[1], before[2], before[3]);
    h.press(from.x(), from.y());
    h.dragTo(to.x(), to.y());
    QCOMPARE(h.spinMargins(), before);
    h.release(to.x(), to.y());
    QCOMPARE(h.spinMargins(), after);
    QCOMPARE(h.memberMargins(), after);
}

void TestMainWindow::marginsBoundedByTheImage_data()
{
    QTest::addColumn<bool>("image");
    QTest::addColumn<QString>("route");
    QTest::addColumn<QList<int>>("wanted");
    QTest::addColumn<QList<int>>("margins");
    QTest::addColumn<QString>("notice");

    const QList<int> wide { 1300, 0, 1800, 0 };
    QTest::newRow("typed") << true << "typed" << wide << wide << QString();
    QTest::newRow("parameter file") << true << "file" << wide << wide << QString();
    QTest::newRow("settings, then the image") << true << "settings" << wide << wide << QString();
    QTest::newRow("larger than the image")
        << true << "file" << QList<int> { 5000, 0, 0, 2500 } << QList<int> { 2999, 0, 0, 1999 }
        << QStringLiteral("左余白 5000 \u2192 2999, 上余白 2500 \u2192 1999");
    QTest::newRow("no image") << false << "file" << wide << QList<int> { 1024, 0, 1024, 0 }
                              << QStringLiteral("左余白 1300 \u2192 1024, 下余白 1800 \u2192 1024");
}

// A scan far larger than a screen has margins far beyond 1024.
void TestMainWindow::marginsBoundedByTheImage()
{
    QFETCH(bool, image);
    QFETCH(QString, route);
    QFETCH(QList<int>, wanted);
    QFETCH(QList<int>, margins);
    QFETCH(QString, notice);

    Harness h;
    const QString path = writeImage(h.path(QStringLiteral("scan.png")), 3000, 2000);
    if (route == QLatin1String("settings")) {
        writeIni(h.window.paths().settingsFile,
            { { QStringLiteral("IO/LoadFilePath"), path },
                { QStringLiteral("Convert/MarginLeft"), wanted[0] },
                { QStringLiteral("Convert/MarginBottom"), wanted[2] } });
        h.window.loadSettings();
        h.window.openImage();
    } else if (image) {
        QVERIFY(h.open(path));
    }
    if (route == QLatin1String("typed")) {
        const QPair<const char *, int> typed[]
            = { { "spinBoxMarginLeft", wanted[0] }, { "spinBoxMarginBottom", wanted[2] } };
        for (const auto &entry : typed) {
            auto *spin = h.child<QSpinBox>(entry.first);
            spin->selectAll();
            QTest::keyClicks(spin, QString::number(entry.second));
        }
    } else if (route == QLatin1String("file")) {
        h.window.applyParamSet(makeParams(wanted[0], wanted[1], wanted[2], wanted[3]));
    }
    QCOMPARE(h.spinMargins(), margins);
    QCOMPARE(h.memberMargins(), margins);
    const QString message = h.window.statusBar()->currentMessage();
    if (notice.isEmpty())
        QCOMPARE(message, QString());
    else
        QVERIFY2(message.contains(notice), qPrintable(message));
}

void TestMainWindow::paramProblemInStatusLine()
{
    Harness h;
    QVERIFY(h.openWhite(200, 100));
    h.setMargins(150, 100, 0, 0);
    QVERIFY(h.window.statusBar()->currentMessage().startsWith(
        QStringLiteral("この座標変換情報では変換できる範囲がありません (")));
    h.setMargins(10, 10, 0, 0);
    QCOMPARE(h.window.statusBar()->currentMessage(), QString());
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
