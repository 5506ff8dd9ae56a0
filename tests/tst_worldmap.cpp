// World maps in projections beyond Miller and Mercator, drawn by GMT (or from
// GMT's land through PROJ's own inverse, where GMT has no such projection) on
// a magenta page (tests/data/world, with the script that made them), converted
// to the globe layout: land and sea where GMT draws them in that layout,
// nothing of the page, and the two ends of the ±180° seam alike.
#include "projection/projectionconverter.h"
#include "projection/worldmap.h"

#include <QtTest>

#include <cmath>

namespace {

const QRgb kLand = qRgb(205, 185, 127);
const QRgb kSea = qRgb(164, 203, 230);

int distance(QRgb a, QRgb b)
{
    return std::max({ std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
        std::abs(qBlue(a) - qBlue(b)) });
}

bool isLand(QRgb p)
{
    return distance(p, kLand) < distance(p, kSea);
}

// A box over the map area whose corners are (left, top) and (right, bottom).
WorldBox makeBox(const QString &projection, QRect area, double lonMin = -180.0,
    double lonSpan = 360.0, double latMin = -90.0, double latMax = 90.0)
{
    WorldBox box;
    box.projection = projection;
    box.lonMin = lonMin;
    box.lonSpan = lonSpan;
    box.latMin = latMin;
    box.latMax = latMax;
    box.left = area.left();
    box.top = area.top();
    box.right = area.right();
    box.bottom = area.bottom();
    return box;
}

} // namespace

class TestWorldMap : public QObject
{
    Q_OBJECT

private slots:
    void wholeWorldMaps_data();
    void wholeWorldMaps();
    void outsideTheBoxStaysTransparent();
    void converterTakesTheProjection();
    void positionsOnTheBoundingRectangle();
    void interpolatedRowsStayClose_data();
    void interpolatedRowsStayClose();
    void fastNearestEqualsPixelByPixel();
};

void TestWorldMap::wholeWorldMaps_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("projection");
    QTest::addColumn<double>("lonMin");
    QTest::addColumn<int>("method");
    for (const int method : { int(Resampling::Nearest), int(Resampling::Bicubic) }) {
        const char *m = method == 0 ? "nearest" : "bicubic";
        for (const char *name :
            { "robinson", "mollweide", "winkel-tripel", "eckert4", "equirectangular", "equal-earth",
                "natural-earth", "kavrayskiy7", "gall-stereographic", "gall-peters", "behrmann" })
            QTest::addRow("%s, %s", name, m)
                << QString::fromLatin1(name) << name << -180.0 << method;
        QTest::addRow("robinson centred on 150°E, %s", m)
            << QStringLiteral("robinson-pacific") << "robinson" << -30.0 << method;
    }
}

void TestWorldMap::wholeWorldMaps()
{
    QFETCH(QString, file);
    QFETCH(QString, projection);
    QFETCH(double, lonMin);
    QFETCH(int, method);
    const QImage source(QStringLiteral(PLANO_TEST_DATA "/world/") + file + QStringLiteral(".png"));
    // The same coastlines drawn by GMT in the globe layout, a cell every half degree.
    const QImage truth(QStringLiteral(PLANO_TEST_DATA "/world/truth-720x360.png"));
    QVERIFY(!source.isNull() && truth.size() == QSize(720, 360));
    const WorldMap map(makeBox(projection, source.rect().adjusted(20, 20, -20, -20), lonMin));
    QVERIFY(map.isValid());
    QImage target(720, 361, QImage::Format_ARGB32);
    target.fill(Qt::transparent);
    map.remap(source, target, Resampling(method), 2);

    int agree = 0;
    int compared = 0;
    int page = 0;
    int empty = 0;
    int seam = 0;
    for (int i = 0; i < target.height(); ++i) {
        const QRgb *line = reinterpret_cast<const QRgb *>(target.constScanLine(i));
        for (int j = 0; j < target.width(); ++j) {
            const QRgb p = line[j];
            if (qAlpha(p) < 255) {
                ++empty;
                continue;
            }
            page += distance(p, qRgb(255, 0, 255)) <= 60 ? 1 : 0;
            // The truth's half-degree cell that holds the pixel's centre.
            const double lon = j * 360.0 / (target.width() - 1) - 180.0;
            const double lat = 90.0 - i * 180.0 / (target.height() - 1);
            const int cx = std::min(719, int((lon + 180.0) * 2.0));
            const int cy = std::min(359, int((90.0 - lat) * 2.0));
            // Cells on a coastline are land and sea at once at this size.
            const bool land = isLand(truth.pixel(cx, cy));
            bool coast = false;
            for (const QPoint d : { QPoint(-1, 0), QPoint(1, 0), QPoint(0, -1), QPoint(0, 1) }) {
                const QPoint n(qBound(0, cx + d.x(), 719), qBound(0, cy + d.y(), 359));
                coast = coast || isLand(truth.pixel(n)) != land;
            }
            if (coast)
                continue;
            ++compared;
            agree += isLand(p) == land ? 1 : 0;
        }
        seam += distance(line[0], line[target.width() - 1]) <= 24 ? 1 : 0;
    }
    const int all = target.width() * target.height();
    QCOMPARE(empty, 0);
    QCOMPARE(page, 0);
    QVERIFY2(agree >= compared * 0.98 && compared >= all * 0.9,
        qPrintable(QStringLiteral("%1 of %2").arg(agree).arg(compared)));
    QVERIFY2(seam >= target.height() * 0.95, qPrintable(QString::number(seam)));
}

// A regional box writes only its own longitudes and latitudes.
void TestWorldMap::outsideTheBoxStaysTransparent()
{
    QImage source(400, 300, QImage::Format_RGB32);
    source.fill(qRgb(10, 200, 30));
    const WorldMap map(
        makeBox(QStringLiteral("robinson"), QRect(QPoint(10, 10), QPoint(389, 289)), 0, 90, 0, 60));
    QImage target(361, 181, QImage::Format_ARGB32);
    target.fill(Qt::transparent);
    map.remap(source, target, Resampling::Bilinear, 1);
    for (int i = 0; i < 181; i += 5) {
        for (int j = 0; j < 361; j += 5) {
            const double lon = j - 180.0;
            const double lat = 90.0 - i;
            const bool inBox = lon >= 0 && lon <= 90 && lat >= 0 && lat <= 60;
            QCOMPARE(qAlpha(target.pixel(j, i)) == 255, inBox);
        }
    }
}

// The converter the window, the batch and the command line use hands such a
// name to the world map with its margins and box.
void TestWorldMap::converterTakesTheProjection()
{
    const QImage source(QStringLiteral(PLANO_TEST_DATA "/world/robinson-pacific.png"));
    ProjectionConverter converter;
    QVERIFY(converter.setProjection(QStringLiteral("robinson")));
    converter.setMargins(20, 20, 20, 20);
    converter.setLonRange(-30, -30);
    converter.setLatRange(-90, 90);
    converter.setResampling(Resampling::Bilinear);
    QImage viaConverter(360, 181, QImage::Format_ARGB32);
    viaConverter.fill(Qt::transparent);
    converter.remap(source, viaConverter, false);

    const WorldBox box
        = makeBox(QStringLiteral("robinson"), source.rect().adjusted(20, 20, -20, -20), -30);
    QImage direct(360, 181, QImage::Format_ARGB32);
    direct.fill(Qt::transparent);
    WorldMap(box).remap(source, direct, Resampling::Bilinear, 1);
    QCOMPARE(viaConverter, direct);
}

// The map area is the outline's bounding rectangle: for a whole-world
// Mollweide map the ellipse 4√2 wide and 2√2 high, written out here, with the
// map centred on the box's middle.
void TestWorldMap::positionsOnTheBoundingRectangle()
{
    // Centred on 200°, i.e. 160°W.
    const WorldBox box = makeBox(
        QStringLiteral("mollweide"), QRect(QPoint(40, 30), QPoint(40 + 1600, 30 + 800)), 20);
    const WorldMap map(box);
    QVERIFY(map.isValid());
    for (int lat = -90; lat <= 90; lat += 15) {
        double t = lat * M_PI / 180 / 2;
        for (int k = 0; k < 60; ++k) {
            const double f = 2 * t + std::sin(2 * t) - M_PI * std::sin(lat * M_PI / 180);
            t -= f / std::max(1e-12, 2 + 2 * std::cos(2 * t));
        }
        for (int lon = 25; lon < 380; lon += 30) {
            const double lambda = (lon - 200) * M_PI / 180;
            const double x = 2 * std::sqrt(2.0) / M_PI * lambda * std::cos(t);
            const double y = std::sqrt(2.0) * std::sin(t);
            const double u = box.left + (x + 2 * std::sqrt(2.0)) / (4 * std::sqrt(2.0)) * 1600;
            const double v = box.top + (std::sqrt(2.0) - y) / (2 * std::sqrt(2.0)) * 800;
            double gu = 0;
            double gv = 0;
            QVERIFY(map.position(lon, lat, &gu, &gv));
            QVERIFY2(std::fabs(gu - u) <= 0.05 && std::fabs(gv - v) <= 0.05,
                qPrintable(QStringLiteral("%1, %2: %3, %4 against %5, %6")
                               .arg(lon)
                               .arg(lat)
                               .arg(gu)
                               .arg(gv)
                               .arg(u)
                               .arg(v)));
        }
    }
    double u = 0;
    double v = 0;
    QVERIFY(!map.position(0, 91, &u, &v));
}

void TestWorldMap::interpolatedRowsStayClose_data()
{
    QTest::addColumn<QList<double>>("box"); // lonMin, lonSpan, latMin, latMax
    QTest::addColumn<QSize>("source"); // the map area's width and height
    QTest::addColumn<QSize>("target");
    const QList<double> world { -180, 360, -90, 90 };
    QTest::newRow("whole world, 8190 wide source")
        << world << QSize(8190, 4990) << QSize(2048, 1024);
    QTest::newRow("whole world, 12000 wide into 8192")
        << world << QSize(12000, 7300) << QSize(8192, 4096);
    QTest::newRow("whole world from 150°E, small target")
        << QList<double> { 150, 360, -90, 90 } << QSize(3000, 1900) << QSize(1024, 512);
    QTest::newRow("squashed: rows finer than columns")
        << world << QSize(2000, 6000) << QSize(2048, 1024);
    QTest::newRow("regional, crossing 180°")
        << QList<double> { 120, 100, -40, 70 } << QSize(8190, 4990) << QSize(4096, 2048);
}

// Winkel tripel's positions come from knots less than a degree apart; every
// pixel between stays within 0.05 px of its own forward projection, and lies
// inside the box exactly where that does, whichever vector path interpolates.
void TestWorldMap::interpolatedRowsStayClose()
{
    QFETCH(QList<double>, box);
    QFETCH(QSize, source);
    QFETCH(QSize, target);
    const WorldMap map(makeBox(QStringLiteral("winkel-tripel"),
        QRect(QPoint(10, 10), QPoint(10 + source.width(), 10 + source.height())), box[0], box[1],
        box[2], box[3]));
    QVERIFY(map.isValid());
    const int w = target.width();
    std::vector<double> us(target.width());
    std::vector<double> vs(us.size());
    std::vector<unsigned char> ok(us.size());
    double worst = 0.0;
    const auto positions = map.target(target.width(), target.height());
    // Rows on and between the knots, every column, on every vector path.
    for (int i = 0; i < target.height(); i += (i % 5 == 4 ? 13 : 1)) {
        const VectorPath path = VectorPath(i % 3);
        ProjectionConverter::setWidestVectorPath(path);
        positions->row(i, us.data(), vs.data(), ok.data());
        ProjectionConverter::setWidestVectorPath(VectorPath::Avx512);
        const double lat = 90.0 - i * 180.0 / (target.height() - 1);
        for (int j = 0; j < w; ++j) {
            double u = 0;
            double v = 0;
            const bool exact = map.position(j * 360.0 / (w - 1) - 180.0, lat, &u, &v);
            QCOMPARE(bool(ok[size_t(j)]), exact);
            if (exact)
                worst = std::max(
                    { worst, std::fabs(u - us[size_t(j)]), std::fabs(v - vs[size_t(j)]) });
        }
    }
    QVERIFY2(worst <= 0.05, qPrintable(QString::number(worst)));
}

// The fast nearest (source columns a row at a time on every vector path,
// interior cells of Winkel tripel's knots) writes exactly what the pixel by
// pixel remap writes, edges, wraps and poles included.
void TestWorldMap::fastNearestEqualsPixelByPixel()
{
    QImage source(900, 520, QImage::Format_RGB32);
    for (int y = 0; y < source.height(); ++y)
        for (int x = 0; x < source.width(); ++x)
            source.setPixel(x, y, qRgb(x % 251, y % 241, (x * 7 + y * 3) % 256));
    const struct
    {
        const char *projection;
        double lonMin;
        double lonSpan;
        double latMin;
        double latMax;
    } boxes[] = { { "robinson", -180, 360, -90, 90 }, { "mollweide", 150, 360, -90, 90 },
        { "winkel-tripel", -180, 360, -90, 90 }, { "winkel-tripel", 120, 100, -40, 70 },
        { "equirectangular", -30, 200, -60, 80 }, { "eckert4", 100, 120, -90, 10 } };
    for (const auto &b : boxes) {
        const WorldMap map(makeBox(QString::fromLatin1(b.projection),
            QRect(QPoint(13, 11), QPoint(880, 505)), b.lonMin, b.lonSpan, b.latMin, b.latMax));
        QImage reference(1031, 517, QImage::Format_ARGB32);
        reference.fill(Qt::transparent);
        map.remapReference(source, reference, Resampling::Nearest, 1);
        for (const VectorPath path : { VectorPath::Avx512, VectorPath::Avx2, VectorPath::Sse2 }) {
            ProjectionConverter::setWidestVectorPath(path);
            QImage fast(reference.size(), QImage::Format_ARGB32);
            fast.fill(Qt::transparent);
            map.remap(source, fast, Resampling::Nearest, 2);
            QVERIFY2(fast == reference, b.projection);
        }
        ProjectionConverter::setWidestVectorPath(VectorPath::Avx512);
    }
}

QTEST_GUILESS_MAIN(TestWorldMap)
#include "tst_worldmap.moc"
