// The preview's globe: the picture against orthographic formulas written out
// here, the view's maths, and the window's globe driven by keys, wheel and
// mouse, with its mode kept in the settings file.
#include "globe/globerender.h"
#include "globe/globeview.h"
#include "preview/previewglobe.h"
#include "preview/previewwindow.h"
#include "testsupport.h"

#include <QAction>
#include <QStackedWidget>
#include <QWheelEvent>
#include <QtTest>

#include <cmath>

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kRad = kPi / 180;

// Snyder's inverse orthographic for a picture coordinate (pixel centres at
// n + 0.5); false off the disc.
bool inverseOrtho(
    double lon0, double lat0, double zoom, QSize size, QPointF at, double *lon, double *lat)
{
    const double radius = std::min(size.width(), size.height()) * zoom / 2;
    const double x = (at.x() - size.width() / 2.0) / radius;
    const double y = (size.height() / 2.0 - at.y()) / radius;
    const double rho = std::hypot(x, y);
    if (rho > 1)
        return false;
    const double c = std::asin(rho);
    const double phi0 = lat0 * kRad;
    *lat = (rho == 0 ? phi0
                     : std::asin(
                         std::cos(c) * std::sin(phi0) + y * std::sin(c) * std::cos(phi0) / rho))
        / kRad;
    *lon = lon0
        + std::atan2(x * std::sin(c),
              rho * std::cos(c) * std::cos(phi0) - y * std::sin(c) * std::sin(phi0))
            / kRad;
    return true;
}

// The forward orthographic formulas: where (lon, lat) is seen in the picture.
QPointF forwardOrtho(double lon0, double lat0, double zoom, QSize size, double lon, double lat)
{
    const double radius = std::min(size.width(), size.height()) * zoom / 2;
    const double d = (lon - lon0) * kRad;
    const double phi = lat * kRad;
    const double phi0 = lat0 * kRad;
    const double x = std::cos(phi) * std::sin(d);
    const double y = std::cos(phi0) * std::sin(phi) - std::sin(phi0) * std::cos(phi) * std::cos(d);
    return { size.width() / 2.0 + radius * x, size.height() / 2.0 - radius * y };
}

// The image at (lon, lat), bilinear between texel centres, wrapping in longitude.
QRgb textureAt(const QImage &t, double lon, double lat)
{
    double u = (lon + 180) / 360 * t.width() - 0.5;
    const double v = std::clamp((90 - lat) / 180 * t.height() - 0.5, 0.0, t.height() - 1.0);
    u = std::fmod(u, t.width());
    if (u < 0)
        u += t.width();
    const int x0 = int(u);
    const int y0 = int(v);
    const int x1 = (x0 + 1) % t.width();
    const int y1 = std::min(y0 + 1, t.height() - 1);
    const double fx = u - x0;
    const double fy = v - y0;
    double channel[3];
    for (int k = 0; k < 3; ++k) {
        const auto c = [&](int x, int y) { return (t.pixel(x, y) >> (16 - 8 * k)) & 0xff; };
        const double top = c(x0, y0) * (1 - fx) + c(x1, y0) * fx;
        const double bottom = c(x0, y1) * (1 - fx) + c(x1, y1) * fx;
        channel[k] = top * (1 - fy) + bottom * fy;
    }
    return qRgb(
        int(std::lround(channel[0])), int(std::lround(channel[1])), int(std::lround(channel[2])));
}

// The pixel a picture coordinate falls in.
QPoint pixelAt(QPointF at)
{
    return { int(std::floor(at.x())), int(std::floor(at.y())) };
}

int channelDistance(QRgb a, QRgb b)
{
    return std::max({ std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
        std::abs(qBlue(a) - qBlue(b)), std::abs(qAlpha(a) - qAlpha(b)) });
}

QImage randomTexture(int w, int h, quint32 seed)
{
    QRandomGenerator random(seed);
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.setPixel(x, y, 0xff000000u | (random.generate() & 0xffffffu));
    return image;
}

// Colour by column, from a function of the column's longitude.
QImage columnTexture(int w, int h, const std::function<QRgb(double lon)> &colour)
{
    QImage image(w, h, QImage::Format_RGB32);
    for (int x = 0; x < w; ++x) {
        const QRgb c = colour(-180 + (x + 0.5) * 360 / w);
        for (int y = 0; y < h; ++y)
            image.setPixel(x, y, c);
    }
    return image;
}

QImage renderOpaque(const QImage &texture, double lon, double lat, double zoom, QSize size)
{
    return renderGlobe(texture, lon, lat, zoom, size).convertToFormat(QImage::Format_ARGB32);
}

} // namespace

class TestGlobe : public QObject
{
    Q_OBJECT

private slots:
    void matchesTheOrthographicFormulas_data();
    void matchesTheOrthographicFormulas();
    void centrePixelShowsTheFacingPoint();
    void ninetyDegreesAwayIsOnTheLimb();
    void fullTurnGivesTheSameImage();
    void noSeamFacingTheDateLine();
    void zoomKeepsTheCentre();
    void outsideTheDiscIsTransparent();
    void graticuleFollowsTheMeridians();
    void pixelToLonLatInvertsTheProjection();
    void dragMovesTheSurfaceWithThePointer();
    void wheelAndKeysStayInRange();

    void windowDrivesTheGlobe();
    void previewModeIsSavedAndRestored();
    void previewModeReading_data();
    void previewModeReading();
    void savedViewIsWhatIsShown();
};

void TestGlobe::matchesTheOrthographicFormulas_data()
{
    QTest::addColumn<double>("lon");
    QTest::addColumn<double>("lat");
    QTest::addColumn<double>("zoom");
    QTest::addColumn<QSize>("size");
    QTest::newRow("equator, wide") << 30.0 << 0.0 << 1.0 << QSize(161, 121);
    QTest::newRow("north, tall") << -100.0 << 55.0 << 1.5 << QSize(120, 170);
    QTest::newRow("south pole") << 10.0 << -90.0 << 1.0 << QSize(140, 140);
    QTest::newRow("date line, close") << 179.0 << -20.0 << 3.0 << QSize(150, 100);
}

// Every pixel well inside the disc against the closed-form inverse and a
// bilinear lookup written here; random texels make any misplaced sample show.
void TestGlobe::matchesTheOrthographicFormulas()
{
    QFETCH(double, lon);
    QFETCH(double, lat);
    QFETCH(double, zoom);
    QFETCH(QSize, size);
    const QImage texture = randomTexture(512, 256, 7);
    const QImage globe = renderOpaque(texture, lon, lat, zoom, size);
    QCOMPARE(globe.size(), size);
    const double radius = std::min(size.width(), size.height()) * zoom / 2;
    int compared = 0;
    int worst = 0;
    for (int j = 0; j < size.height(); ++j) {
        for (int i = 0; i < size.width(); ++i) {
            const QPointF at(i + 0.5, j + 0.5);
            const QPointF centre(size.width() / 2.0, size.height() / 2.0);
            if (std::hypot(at.x() - centre.x(), at.y() - centre.y()) > radius - 2)
                continue;
            double pLon = 0, pLat = 0;
            QVERIFY(inverseOrtho(lon, lat, zoom, size, at, &pLon, &pLat));
            worst = std::max(
                worst, channelDistance(globe.pixel(i, j), textureAt(texture, pLon, pLat)));
            ++compared;
        }
    }
    QVERIFY(compared > 5000);
    QVERIFY2(worst <= 3, qPrintable(QString::number(worst)));
}

void TestGlobe::centrePixelShowsTheFacingPoint()
{
    // Texel centres: the facing point lands on one texel exactly.
    const QImage texture = randomTexture(36, 18, 3);
    for (const QPoint texel : { QPoint(0, 9), QPoint(20, 2), QPoint(35, 17), QPoint(7, 12) }) {
        const double lon = -180 + (texel.x() + 0.5) * 10;
        const double lat = 90 - (texel.y() + 0.5) * 10;
        const QImage globe = renderOpaque(texture, lon, lat, 1, QSize(101, 101));
        QVERIFY2(channelDistance(globe.pixel(50, 50), texture.pixel(texel)) <= 1,
            qPrintable(QStringLiteral("%1 %2").arg(lon).arg(lat)));
    }
}

void TestGlobe::ninetyDegreesAwayIsOnTheLimb()
{
    const QRgb red = qRgb(255, 0, 0);
    const QRgb green = qRgb(0, 255, 0);
    const QRgb blue = qRgb(0, 0, 255);
    // Bands 80 to 100 degrees east and west of the centre at 20 east.
    const QImage texture = columnTexture(720, 360, [&](double lon) {
        return std::abs(lon - 110) < 10 ? red : std::abs(lon + 70) < 10 ? green : blue;
    });
    const QImage globe = renderOpaque(texture, 20, 0, 1, QSize(201, 201));
    // The radius is 100.5 pixels and row 100 the equator: the outermost pixels
    // lie 84 degrees out, the next but two 75.
    QCOMPARE(globe.pixel(200, 100), red);
    QCOMPARE(globe.pixel(0, 100), green);
    QCOMPARE(globe.pixel(197, 100), blue);
    QCOMPARE(globe.pixel(3, 100), blue);
    // The pole, 90 degrees north, is the top of the disc.
    const QImage poles = renderGlobe(randomTexture(64, 32, 9), 20, 0, 1, QSize(201, 201));
    QCOMPARE(qAlpha(poles.pixel(100, 0)), 255);
    QVERIFY(qAlpha(poles.pixel(90, 0)) < 255);
}

void TestGlobe::fullTurnGivesTheSameImage()
{
    const QImage texture = randomTexture(256, 128, 11);
    const QSize size(90, 70);
    const QImage once = renderOpaque(texture, -37.5, 21, 1.7, size);
    for (const double turned : { -37.5 + 360, -37.5 - 720 }) {
        const QImage again = renderOpaque(texture, turned, 21, 1.7, size);
        int worst = 0;
        for (int j = 0; j < size.height(); ++j)
            for (int i = 0; i < size.width(); ++i)
                worst = std::max(worst, channelDistance(once.pixel(i, j), again.pixel(i, j)));
        QVERIFY2(worst <= 1, qPrintable(QString::number(worst)));
    }
}

void TestGlobe::noSeamFacingTheDateLine()
{
    // Equal first and last columns; every step between columns is 2 levels.
    const QImage texture = columnTexture(
        256, 128, [](double lon) { return qRgb(int(255 - std::abs(lon) / 180 * 254), 40, 90); });
    QCOMPARE(texture.pixel(0, 5), texture.pixel(255, 5));
    const QImage globe = renderOpaque(texture, 180, 0, 8, QSize(101, 101));
    // At zoom 8 a pixel is a tenth of a texel across: neighbours differ by a level or so.
    for (const int row : { 10, 50, 90 }) {
        for (int i = 40; i < 60; ++i) {
            QCOMPARE(qAlpha(globe.pixel(i, row)), 255);
            QVERIFY2(channelDistance(globe.pixel(i, row), globe.pixel(i + 1, row)) <= 1,
                qPrintable(QStringLiteral("row %1 column %2").arg(row).arg(i)));
        }
    }
    // The centre lies half-way between the last column and the first.
    const QImage sides = columnTexture(16, 8, [](double lon) {
        return lon < -160 ? qRgb(255, 0, 0) : lon > 160 ? qRgb(0, 0, 255) : qRgb(0, 255, 0);
    });
    const QRgb centre = renderOpaque(sides, 180, 0, 4, QSize(101, 101)).pixel(50, 50);
    QVERIFY(std::abs(qRed(centre) - 128) <= 2 && std::abs(qBlue(centre) - 128) <= 2);
    QCOMPARE(qGreen(centre), 0);
}

void TestGlobe::zoomKeepsTheCentre()
{
    const QImage texture = randomTexture(128, 64, 5);
    const QSize size(81, 81);
    const QImage near = renderOpaque(texture, 63, -12, 1, size);
    for (const double zoom : { 2.0, 5.5, 8.0 }) {
        const QImage far = renderOpaque(texture, 63, -12, zoom, size);
        QVERIFY(channelDistance(near.pixel(40, 40), far.pixel(40, 40)) <= 1);
    }
    // Zoom beyond the range is held at 8: the same picture.
    QCOMPARE(renderOpaque(texture, 63, -12, 20, size), renderOpaque(texture, 63, -12, 8, size));
}

void TestGlobe::outsideTheDiscIsTransparent()
{
    const QImage globe = renderGlobe(randomTexture(64, 32, 1), 0, 0, 1, QSize(120, 81));
    QVERIFY(globe.hasAlphaChannel());
    // The disc is 81 pixels across, centred on (60, 40.5): its limb runs
    // through the middle of pixels 19 and 100 of row 40.
    for (const QPoint p : { QPoint(0, 0), QPoint(119, 80), QPoint(18, 40), QPoint(101, 40) })
        QCOMPARE(qAlpha(globe.pixel(p)), 0);
    QCOMPARE(qAlpha(globe.pixel(20, 40)), 255);
    QCOMPARE(qAlpha(globe.pixel(60, 1)), 255);
    // Antialiased: a pixel half inside is half covered.
    for (const int column : { 19, 100 }) {
        const int edge = qAlpha(globe.pixel(column, 40));
        QVERIFY2(std::abs(edge - 128) < 24, qPrintable(QString::number(edge)));
    }
}

void TestGlobe::graticuleFollowsTheMeridians()
{
    const QImage texture = columnTexture(64, 32, [](double) { return qRgb(0, 0, 80); });
    const QSize size(201, 201);
    GlobeOptions lines;
    lines.graticule = true;
    const QImage plain = renderOpaque(texture, 0, 0, 1, size);
    const QImage drawn
        = renderGlobe(texture, 0, 0, 1, size, lines).convertToFormat(QImage::Format_ARGB32);
    // Meridian 30 east crosses latitude 15 at x = r cos 15 sin 30; between the lines nothing.
    const QPointF onLine = forwardOrtho(0, 0, 1, size, 30, 15);
    const QPointF between = forwardOrtho(0, 0, 1, size, 15, 15);
    QVERIFY(qRed(drawn.pixel(pixelAt(onLine))) > 60);
    QCOMPARE(drawn.pixel(pixelAt(between)), plain.pixel(pixelAt(between)));
    // The equator runs through the centre row.
    QVERIFY(qRed(drawn.pixel(pixelAt(forwardOrtho(0, 0, 1, size, 45, 0)))) > 60);
}

void TestGlobe::pixelToLonLatInvertsTheProjection()
{
    QRandomGenerator random(17);
    for (int k = 0; k < 500; ++k) {
        const GlobeView view { random.bounded(360.0) - 180, random.bounded(180.0) - 90,
            1 + random.bounded(7.0) };
        const QSize size(50 + random.bounded(400), 50 + random.bounded(400));
        const QPoint pixel(random.bounded(size.width()), random.bounded(size.height()));
        const auto seen = lonLatAtPixel(view, size, pixel);
        double lon = 0, lat = 0;
        const bool onDisc = inverseOrtho(
            view.lon, view.lat, view.zoom, size, QPointF(pixel) + QPointF(0.5, 0.5), &lon, &lat);
        QCOMPARE(bool(seen), onDisc);
        if (!seen)
            continue;
        // Back through the forward formulas onto the pixel's centre.
        const QPointF back
            = forwardOrtho(view.lon, view.lat, view.zoom, size, seen->x(), seen->y());
        QVERIFY2(std::abs(back.x() - pixel.x() - 0.5) < 1e-6
                && std::abs(back.y() - pixel.y() - 0.5) < 1e-6,
            qPrintable(QStringLiteral("%1 %2").arg(back.x()).arg(back.y())));
        QVERIFY(seen->x() >= -180 && seen->x() < 180);
        QVERIFY(std::abs(seen->y() - lat) < 1e-9);
    }
}

void TestGlobe::dragMovesTheSurfaceWithThePointer()
{
    const QSize size(300, 200);
    for (const GlobeView view :
        { GlobeView { 10, 0, 1 }, GlobeView { -150, 40, 3 }, GlobeView { 80, -70, 1.5 } }) {
        for (const QPointF delta : { QPointF(6, 0), QPointF(0, -5), QPointF(-4, 3) }) {
            // What lay under the pointer before the drag lies there after it.
            const QPointF centre(150, 100);
            double lon = 0, lat = 0;
            QVERIFY(inverseOrtho(view.lon, view.lat, view.zoom, size, centre - delta, &lon, &lat));
            const GlobeView after = draggedView(view, delta, size);
            const QPointF now = forwardOrtho(after.lon, after.lat, after.zoom, size, lon, lat);
            QVERIFY2((now - centre).manhattanLength() < 0.1 * delta.manhattanLength(),
                qPrintable(QStringLiteral("%1 %2").arg(now.x()).arg(now.y())));
        }
    }
    // The poles hold the latitude.
    QCOMPARE(draggedView({ 0, 80, 1 }, QPointF(0, 500), size).lat, 90.0);
}

void TestGlobe::wheelAndKeysStayInRange()
{
    GlobeView view;
    view = wheelZoomedView(view, 120);
    QVERIFY(view.zoom > 1);
    QCOMPARE(wheelZoomedView(view, -120).zoom, 1.0);
    for (int k = 0; k < 40; ++k)
        view = wheelZoomedView(view, 120);
    QCOMPARE(view.zoom, 8.0);
    QCOMPARE(wheelZoomedView({ 0, 0, 1 }, -120).zoom, 1.0);
    // A step at 8x turns less than one at 1x, and left undoes right across the date line.
    const GlobeView east = keyTurnedView({ 179, 0, 1 }, 1, 0);
    QVERIFY(east.lon < 0);
    QVERIFY(std::abs(keyTurnedView(east, -1, 0).lon - 179) < 1e-9);
    QVERIFY(keyTurnedView({ 0, 0, 8 }, 0, 1).lat < keyTurnedView({ 0, 0, 1 }, 0, 1).lat);
    QCOMPARE(keyTurnedView({ 0, -89, 1 }, 0, -1).lat, -90.0);
}

void TestGlobe::windowDrivesTheGlobe()
{
    PreviewWindow window;
    window.resize(500, 400);
    window.setImage(randomTexture(360, 180, 2));
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto *stack = child<QStackedWidget>(&window, "stackedViews");
    PreviewGlobe *globe = window.globe();
    QVERIFY(stack->currentWidget() != globe->parentWidget());

    child<QAction>(&window, "actionGlobeView")->trigger();
    QVERIFY(window.globeShown());
    QCOMPARE(stack->currentWidget(), globe->parentWidget());

    QTest::keyClick(globe, Qt::Key_Right);
    QTest::keyClick(globe, Qt::Key_Up);
    QVERIFY(globe->view().lon > 0 && globe->view().lat > 0);
    QWheelEvent wheel(QPointF(10, 10), QPointF(globe->mapToGlobal(QPoint(10, 10))), QPoint(),
        QPoint(0, 240), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(globe, &wheel);
    QVERIFY(globe->view().zoom > 1);
    QTest::keyClick(globe, Qt::Key_Home);
    QCOMPARE(globe->view().lon, 0.0);
    QCOMPARE(globe->view().lat, 0.0);
    QVERIFY(globe->view().zoom > 1);

    // A double click brings the clicked point to the centre.
    const GlobeView before = globe->view();
    const QPoint clicked(globe->width() / 2 + 40, globe->height() / 2 - 25);
    double lon = 0, lat = 0;
    QVERIFY(inverseOrtho(before.lon, before.lat, before.zoom, globe->size(),
        QPointF(clicked) + QPointF(0.5, 0.5), &lon, &lat));
    QTest::mouseDClick(globe, Qt::LeftButton, Qt::NoModifier, clicked);
    QVERIFY(std::abs(globe->view().lon - lon) < 1e-9 && std::abs(globe->view().lat - lat) < 1e-9);

    // A drag to the left turns the globe east.
    const double lonBefore = globe->view().lon;
    sendPress(globe, QPoint(200, 150));
    sendMove(globe, QPoint(170, 150));
    sendRelease(globe, QPoint(170, 150));
    QVERIFY(globe->view().lon > lonBefore);

    auto *graticule = child<QAction>(&window, "actionGraticule");
    QVERIFY(graticule->isEnabled());
    graticule->trigger();
    QVERIFY(globe->graticule());

    child<QAction>(&window, "actionFlatView")->trigger();
    QVERIFY(!window.globeShown());
    QVERIFY(!graticule->isEnabled());
    QCOMPARE(stack->currentWidget(), child<QWidget>(&window, "pageFlat"));
}

void TestGlobe::previewModeIsSavedAndRestored()
{
    WindowHarness h;
    h.window.loadSettings();
    QVERIFY(!h.window.previewWindow()->globeShown());
    child<QAction>(h.window.previewWindow(), "actionGlobeView")->trigger();
    QVERIFY(h.window.saveSettings());
    QCOMPARE(iniValue(h.window.paths().settingsFile, QStringLiteral("GUI/PreviewMode")).toString(),
        QStringLiteral("globe"));

    MainWindow again;
    again.cancelDeferredStart();
    again.setPaths(h.window.paths());
    again.loadSettings();
    QVERIFY(again.previewWindow()->globeShown());
    QVERIFY(child<QAction>(again.previewWindow(), "actionGlobeView")->isChecked());
}

void TestGlobe::previewModeReading_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("globe");
    QTest::newRow("no key") << QString() << false;
    QTest::newRow("globe") << QStringLiteral("PreviewMode=globe") << true;
    QTest::newRow("capitals") << QStringLiteral("PreviewMode=Globe") << true;
    QTest::newRow("flat") << QStringLiteral("PreviewMode=flat") << false;
    QTest::newRow("unknown") << QStringLiteral("PreviewMode=sphere") << false;
    QTest::newRow("number") << QStringLiteral("PreviewMode=1") << false;
}

void TestGlobe::previewModeReading()
{
    QFETCH(QString, line);
    QFETCH(bool, globe);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("plano-miller.ini"));
    QVERIFY(writeFile(path, "[GUI]\nAutoSize=true\n" + line.toUtf8() + "\n"));
    AppSettings settings;
    settings.previewGlobe = !globe;
    settings.load(path, dir.path());
    QCOMPARE(settings.previewGlobe, globe);
    QVERIFY(settings.loadProblem.isEmpty());
}

void TestGlobe::savedViewIsWhatIsShown()
{
    QTemporaryDir dir;
    PreviewWindow window;
    window.resize(300, 260);
    window.setImage(randomTexture(180, 90, 4));
    window.setGlobeShown(true);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QTest::keyClick(window.globe(), Qt::Key_Left);

    const QString path = dir.filePath(QStringLiteral("view.png"));
    QString error;
    QVERIFY2(window.saveGlobeView(path, &error), qPrintable(error));
    const QImage saved(path);
    QCOMPARE(saved.size(), window.globe()->size());
    const QImage shown = window.globe()->grab().toImage().convertToFormat(QImage::Format_ARGB32);
    const QImage frame = window.globe()->frame().convertToFormat(QImage::Format_ARGB32);
    QCOMPARE(saved.convertToFormat(QImage::Format_ARGB32), frame);
    // Where the disc is opaque the widget shows those very pixels.
    const QPoint middle(saved.width() / 2, saved.height() / 2);
    QCOMPARE(shown.pixel(middle), frame.pixel(middle));

    // A folder that does not exist: refused with a reason, and nothing left behind.
    const QString missing = dir.filePath(QStringLiteral("no-such-folder/view.png"));
    error.clear();
    QVERIFY(!window.saveGlobeView(missing, &error));
    QVERIFY(!error.isEmpty());
    QVERIFY(!QFile::exists(missing));
    // Over an existing file a failed write leaves it whole.
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList { QStringLiteral("view.png") });
}

QTEST_MAIN(TestGlobe)
#include "tst_globe.moc"
