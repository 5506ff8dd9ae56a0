// Finding the map area by itself: real rendered maps with known margins, maps
// drawn here in the styles a detector must see through, images with nothing
// map-like, and the three ways in: /detect, a batch run and the window.
#include "batch/batchrun.h"
#include "detection/mapdetect.h"
#include "projection/projectionconverter.h"
#include "projection/worldmap.h"
#include "testsupport.h"

#include <QCheckBox>
#include <QPainter>
#include <QProcess>
#include <QRandomGenerator>
#include <QStatusBar>
#include <QtTest>

#include <algorithm>
#include <cmath>

namespace {

// Projected y of a latitude in degrees, per radian of longitude, from the
// projections' own formulas: Miller 1.25 ln tan(pi/4 + 0.4 lat), Mercator
// ln tan(pi/4 + lat/2), plate carree lat, Gall stereographic
// (1 + sqrt 2) tan(lat/2), and the equal-area cylinder sin(lat) / cos^2(p)
// with standard parallels p = 45 (Gall-Peters) and 30 (Behrmann).
double projectedY(const QString &projection, double latDegrees)
{
    const double lat = latDegrees * M_PI / 180.0;
    if (projection == QLatin1String("miller"))
        return 1.25 * std::log(std::tan(M_PI / 4 + 0.4 * lat));
    if (projection == QLatin1String("equirectangular"))
        return lat;
    if (projection == QLatin1String("gall-stereographic"))
        return (1 + std::sqrt(2.0)) * std::tan(lat / 2);
    if (projection == QLatin1String("gall-peters"))
        return 2 * std::sin(lat);
    if (projection == QLatin1String("behrmann"))
        return 4.0 / 3.0 * std::sin(lat);
    return std::log(std::tan(M_PI / 4 + lat / 2));
}

double latitudeOf(const QString &projection, double y)
{
    double lat = 2 * std::atan(std::exp(y)) - M_PI / 2;
    if (projection == QLatin1String("miller"))
        lat = (std::atan(std::exp(y / 1.25)) - M_PI / 4) / 0.4;
    else if (projection == QLatin1String("equirectangular"))
        lat = y;
    else if (projection == QLatin1String("gall-stereographic"))
        lat = 2 * std::atan(y / (1 + std::sqrt(2.0)));
    else if (projection == QLatin1String("gall-peters"))
        lat = std::asin(std::clamp(y / 2, -1.0, 1.0));
    else if (projection == QLatin1String("behrmann"))
        lat = std::asin(std::clamp(y * 0.75, -1.0, 1.0));
    return lat * 180.0 / M_PI;
}

// Rows of a whole-world map area `width` columns wide.
int worldRows(int width, const QString &projection, double latLimit)
{
    return int(std::lround((width - 1) * projectedY(projection, latLimit) / M_PI)) + 1;
}

struct Style
{
    QColor page = Qt::white;
    int frame = 0; // width, straddling the area's edge; an odd one's extra pixel inside
    bool checkered = false; // a band of black and page blocks outside the frame
    bool extras = false; // title, legend box, colour bar
    bool smooth = false; // an antialiased 3-pixel frame: half pixels on either side
    // What the area shows, and its graticule: every `grid` degrees (0: none),
    // page-coloured unless gridColour is given.
    QString projection = QStringLiteral("miller");
    double latMin = -90;
    double latMax = 90;
    double lonMin = -180;
    double lonSpan = 360;
    int grid = 30;
    bool meridians = true; // false: the parallels alone
    QColor gridColour;
    QColor card; // a card with a drop shadow under the map, when valid
    QColor sea = QColor(120, 170, 215);
    int texture = 0; // the page's colour noise, ± levels a channel
};

// The world's land, a quarter degree a cell, row 0 at 90°N, column 0 at 180°W.
const QImage &worldLand()
{
    static const QImage land
        = QImage(QStringLiteral(PLANO_SOURCE_DIR "/detection/landmask/world-land.png"))
              .convertToFormat(QImage::Format_Grayscale8);
    return land;
}

// The map area is `area`; everything inside it is the world's sea and land in
// the style's projection and box, with its graticule; everything outside
// page, frame or decoration.
QImage drawMap(QSize size, QRect area, const Style &style)
{
    QImage img(size, QImage::Format_ARGB32);
    img.fill(style.page);
    QPainter p(&img);
    const int half = style.frame / 2;
    const QRect line = area.adjusted(-half, -half, half, half);
    if (style.card.isValid()) {
        const QRect card = line.adjusted(-24, -24, 24, 24);
        p.fillRect(card.translated(9, 9), style.page.darker(160));
        p.fillRect(card, style.card);
    }
    if (style.checkered) {
        const QRect band = line.adjusted(-7, -7, 7, 7);
        p.fillRect(band, Qt::black);
        const QRect cells = band.adjusted(1, 1, -1, -1);
        for (int x = cells.left(); x <= cells.right(); x += 24) {
            p.fillRect(x, cells.top(), 12, 6, style.page);
            p.fillRect(x, cells.bottom() - 5, 12, 6, style.page);
        }
        for (int y = cells.top(); y <= cells.bottom(); y += 24) {
            p.fillRect(cells.left(), y, 6, 12, style.page);
            p.fillRect(cells.right() - 5, y, 6, 12, style.page);
        }
    }
    p.end();
    QRandomGenerator noise(7);
    for (int y = 0; style.texture > 0 && y < size.height(); ++y) {
        QRgb *out = reinterpret_cast<QRgb *>(img.scanLine(y));
        for (int x = 0; x < size.width(); ++x) {
            auto jitter = [&](int c) {
                return qBound(
                    0, c + int(noise.bounded(2 * style.texture + 1)) - style.texture, 255);
            };
            out[x] = qRgb(jitter(qRed(out[x])), jitter(qGreen(out[x])), jitter(qBlue(out[x])));
        }
    }
    // Pixel centres: the first row at latMax, the last at latMin; the first
    // column at lonMin, the last lonSpan further east.
    const double yMax = projectedY(style.projection, style.latMax);
    const double yMin = projectedY(style.projection, style.latMin);
    const QImage &land = worldLand();
    for (int y = area.top(); y <= area.bottom(); ++y) {
        const double lat = latitudeOf(style.projection,
            yMax - (yMax - yMin) * (y - area.top()) / std::max(1, area.height() - 1));
        const int row = qBound(0, int((90.0 - lat) * 4.0), 719);
        QRgb *out = reinterpret_cast<QRgb *>(img.scanLine(y));
        for (int x = area.left(); x <= area.right(); ++x) {
            const double lon
                = style.lonMin + style.lonSpan * (x - area.left()) / std::max(1, area.width() - 1);
            const int column = int(std::fmod(std::fmod(lon + 180.0, 360.0) + 360.0, 360.0) * 4.0);
            out[x] = land.pixel(std::min(column, 1439), row) & 0x80 ? qRgb(235, 215, 140)
                                                                    : style.sea.rgb();
        }
    }
    p.begin(&img);
    const QColor grid = style.gridColour.isValid() ? style.gridColour : style.page;
    for (int lat = -90 + 90 % std::max(1, style.grid); style.grid > 0 && lat < 90;
         lat += style.grid) {
        if (lat > style.latMin && lat < style.latMax)
            p.fillRect(area.x(),
                area.y()
                    + int(std::lround((yMax - projectedY(style.projection, lat)) / (yMax - yMin)
                        * (area.height() - 1))),
                area.width(), 1, grid);
    }
    for (int lon = -180; style.grid > 0 && style.meridians && lon < 180; lon += style.grid) {
        for (int turn : { 0, 360 }) {
            const double east = lon + turn - style.lonMin;
            if (east > 0 && east < style.lonSpan)
                p.fillRect(area.x() + int(std::lround(east / style.lonSpan * (area.width() - 1))),
                    area.y(), 1, area.height(), grid);
        }
    }
    for (int k = 0; k < style.frame; ++k) {
        p.setPen(Qt::black);
        p.setBrush(Qt::NoBrush);
        p.drawRect(line.adjusted(k, k, -k - 1, -k - 1));
    }
    if (style.smooth) {
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(Qt::black, 3));
        p.setBrush(Qt::NoBrush);
        p.drawRect(QRectF(area));
    }
    if (style.extras) {
        p.setPen(Qt::black);
        p.drawText(QRect(0, 0, size.width(), area.top() - 10), Qt::AlignCenter,
            QStringLiteral("World map"));
        p.drawRect(area.x() + 60, area.bottom() + 20, area.width() - 120, 24);
        p.fillRect(area.x() + 70, area.bottom() + 26, 12, 12, QColor(230, 205, 155));
        QLinearGradient bar(0, area.top(), 0, area.bottom());
        bar.setColorAt(0, Qt::red);
        bar.setColorAt(1, Qt::blue);
        p.fillRect(area.right() + 20, area.top(), 14, area.height(), bar);
    }
    return img;
}

QList<int> margins(const ParamSet &p)
{
    return { p.marginLeft, p.marginRight, p.marginBottom, p.marginTop };
}

// A map with margins 40/30/36/30 (whole-world Miller, 400 wide) and its file.
QString writeMillerMap(const QString &path, const Style &style = Style())
{
    const int h = worldRows(400, QStringLiteral("miller"), 90);
    const QImage img = drawMap(QSize(470, h + 66), QRect(40, 30, 400, h), style);
    return img.save(path) ? path : QString();
}

} // namespace

class TestMapDetect : public QObject
{
    Q_OBJECT

private slots:
    void renderedMaps_data();
    void renderedMaps();
    void unseenPages_data();
    void unseenPages();
    void drawnMaps_data();
    void drawnMaps();
    void wholeWorldMercatorAtEveryCut_data();
    void wholeWorldMercatorAtEveryCut();
    void curvedOutlines_data();
    void curvedOutlines();
    void boxesRead_data();
    void boxesRead();
    void nothingMapLike_data();
    void nothingMapLike();
    void batchDetectsEachFile();
    void commandLineRoundTrip();
    void windowTakesTheProposal();

private:
    ScratchDir m_tmp;
};

void TestMapDetect::renderedMaps_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QList<int>>("expected"); // left, right, bottom, top
    QTest::addColumn<QString>("projection");
    QTest::addColumn<QList<double>>("latitudes");
    const QString data = QStringLiteral(PLANO_TEST_DATA "/detect/");
    const QList<double> world { -90, 90 };
    QTest::newRow("plain frame, annotations")
        << data + "plain-frame.png" << QList<int> { 49, 31, 41, 57 } << "miller" << world;
    QTest::newRow("no frame, tinted page, JPEG")
        << data + "noframe-tinted.jpg" << QList<int> { 33, 29, 31, 40 } << "miller" << world;
    QTest::newRow("Mercator -65..78 with legend, read from its graticule")
        << data + "mercator-legend.png" << QList<int> { 44, 40, 130, 52 } << "mercator"
        << QList<double> { -65, 78 };
    QTest::newRow("sample, checkered frame")
        << QStringLiteral(PLANO_SOURCE_DIR "/sample_images/sample-miller.jpg")
        << QList<int> { 55, 42, 47, 78 } << "miller" << world;
}

void TestMapDetect::renderedMaps()
{
    QFETCH(QString, file);
    QFETCH(QList<int>, expected);
    QFETCH(QString, projection);
    QFETCH(QList<double>, latitudes);
    const MapDetection found = detectMapArea(QImage(file), ParamSet());
    QVERIFY2(found.found, qPrintable(found.reason));
    const QList<int> got = margins(found.params);
    for (int i = 0; i < 4; ++i)
        QVERIFY2(std::abs(got[i] - expected[i]) <= 1, qPrintable(found.summary(0, 0)));
    QCOMPARE(found.params.projection, projection);
    QCOMPARE(QList<double>({ found.params.latMin, found.params.latMax }), latitudes);
}

// Pages rendered apart from the detector (tests/data/detect/pages, with the
// script that made them): margins within a pixel and every value said to be
// read within a degree of the truth, or, for a map whose sea is the page
// colour and that has no frame, a refusal with a reason.
void TestMapDetect::unseenPages_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QStringList>("truth");
    const QString dir = QStringLiteral(PLANO_TEST_DATA "/detect/pages/");
    QFile csv(dir + QStringLiteral("truth.csv"));
    QVERIFY(csv.open(QIODevice::ReadOnly | QIODevice::Text));
    const QStringList lines = QString::fromUtf8(csv.readAll()).split(QLatin1Char('\n'));
    for (const QString &line : lines.mid(1)) {
        const QStringList cells = line.split(QLatin1Char(','));
        if (cells.size() >= 15)
            QTest::newRow(qPrintable(cells[0])) << dir + cells[0] << cells;
    }
}

void TestMapDetect::unseenPages()
{
    QFETCH(QString, file);
    QFETCH(QStringList, truth);
    // Columns: file, width, height, left, right, bottom, top, projection,
    // lonMin, lonMax, latMin, latMax, parallels, meridians, frame.
    const ParamSet fallback = makeParams(0, 0, 0, 0, QStringLiteral("miller"), 10, 20, 30, 40);
    const MapDetection found = detectMapArea(QImage(file), fallback);
    if (!found.found) {
        // Only the map with neither frame nor sea of its own may be refused.
        QVERIFY(!found.reason.isEmpty());
        QCOMPARE(truth[0], QStringLiteral("miller-seapage-noframe.png"));
        return;
    }
    const QString summary = found.summary(0, 0);
    const QList<int> got = margins(found.params);
    for (int i = 0; i < 4; ++i)
        QVERIFY2(std::abs(got[i] - truth[3 + i].toInt()) <= 1, qPrintable(summary));
    const ParamSet &p = found.params;
    if (found.read(MapDetection::Group::ProjectionAndLatitudes)) {
        QCOMPARE(p.projection, truth[7]);
        QVERIFY2(std::fabs(p.latMin - truth[10].toDouble()) <= 1.0
                && std::fabs(p.latMax - truth[11].toDouble()) <= 1.0,
            qPrintable(summary));
    }
    if (found.read(MapDetection::Group::Longitudes)) {
        auto span = [](double min, double max) {
            const double s = std::fmod(max - min + 720.0, 360.0);
            return s == 0.0 ? 360.0 : s;
        };
        const double west = truth[8].toDouble();
        const double east = west + span(west, truth[9].toDouble());
        QVERIFY2(std::fabs(std::remainder(p.lonMin - west, 360.0)) <= 1.0
                && std::fabs(std::remainder(p.lonMin + span(p.lonMin, p.lonMax) - east, 360.0))
                    <= 1.0,
            qPrintable(summary));
    }
    // A drawn graticule is read, not kept.
    if (truth[12] == QLatin1String("1"))
        QVERIFY2(found.read(MapDetection::Group::ProjectionAndLatitudes), qPrintable(summary));
}

void TestMapDetect::drawnMaps_data()
{
    QTest::addColumn<QImage>("image");
    QTest::addColumn<QList<int>>("expected");
    QTest::addColumn<QString>("projection"); // empty: the fallback's stays
    QTest::addColumn<QList<double>>("latitudes");

    const int miller = worldRows(400, QStringLiteral("miller"), 90);
    const int mercator80 = worldRows(400, QStringLiteral("mercator"), 80);
    Style frame;
    frame.frame = 2;
    QTest::newRow("frame line only")
        << drawMap(QSize(470, miller + 66), QRect(40, 30, 400, miller), frame)
        << QList<int> { 40, 30, 36, 30 } << "miller" << QList<double> { -90, 90 };
    Style hairline;
    hairline.frame = 1;
    QTest::newRow("hairline frame")
        << drawMap(QSize(460, miller + 60), QRect(30, 30, 400, miller), hairline)
        << QList<int> { 30, 30, 30, 30 } << "miller" << QList<double> { -90, 90 };
    Style smooth;
    smooth.smooth = true;
    QTest::newRow("antialiased frame")
        << drawMap(QSize(460, miller + 60), QRect(30, 30, 400, miller), smooth)
        << QList<int> { 30, 30, 30, 30 } << "miller" << QList<double> { -90, 90 };
    Style transparent = frame;
    transparent.page = Qt::transparent;
    QTest::newRow("transparent page")
        << drawMap(QSize(470, miller + 66), QRect(40, 30, 400, miller), transparent)
        << QList<int> { 40, 30, 36, 30 } << "miller" << QList<double> { -90, 90 };
    // Mercator -50..72 at 799/360 pixels a degree, dark parallels every 30°.
    auto mercatorRows = [](int width, double south, double north) {
        return int(std::lround((projectedY(QStringLiteral("mercator"), north)
                                   - projectedY(QStringLiteral("mercator"), south))
                   * (width - 1) / (2 * M_PI)))
            + 1;
    };
    Style grid = frame;
    grid.projection = QStringLiteral("mercator");
    grid.latMin = -50;
    grid.latMax = 72;
    grid.gridColour = QColor(90, 90, 90);
    QTest::newRow("graticule read, Mercator -50..72")
        << drawMap(QSize(860, mercatorRows(800, -50, 72) + 60),
               QRect(30, 30, 800, mercatorRows(800, -50, 72)), grid)
        << QList<int> { 30, 30, 30, 30 } << "mercator" << QList<double> { -50, 72 };
    Style plain;
    QTest::newRow("no frame") << drawMap(QSize(450, miller + 50), QRect(20, 25, 400, miller), plain)
                              << QList<int> { 20, 30, 25, 25 } << "miller"
                              << QList<double> { -90, 90 };
    Style tinted;
    tinted.page = QColor(245, 238, 218);
    tinted.extras = true;
    tinted.projection = QStringLiteral("mercator");
    tinted.latMin = -80;
    tinted.latMax = 80;
    QTest::newRow("tinted page, title, legend, colour bar, Mercator 80")
        << drawMap(QSize(500, mercator80 + 120), QRect(30, 40, 400, mercator80), tinted)
        << QList<int> { 30, 70, 80, 40 } << "mercator" << QList<double> { -80, 80 };
    QTest::newRow("touching the left edge")
        << drawMap(QSize(440, miller + 60), QRect(0, 30, 400, miller), plain)
        << QList<int> { 0, 40, 30, 30 } << "miller" << QList<double> { -90, 90 };
    Style checkered;
    checkered.frame = 2;
    checkered.checkered = true;
    QTest::newRow("checkered band")
        << drawMap(QSize(480, miller + 80), QRect(40, 40, 400, miller), checkered)
        << QList<int> { 40, 40, 40, 40 } << "miller" << QList<double> { -90, 90 };
    // The card's outer edge is a straight edge on the page too: the map is
    // the innermost rectangle, with or without its own frame line.
    Style card = frame;
    card.page = QColor(190, 190, 190);
    card.card = Qt::white;
    QTest::newRow("white card with a shadow on a grey page")
        << drawMap(QSize(540, miller + 130), QRect(60, 50, 400, miller), card)
        << QList<int> { 60, 80, 80, 50 } << "miller" << QList<double> { -90, 90 };
    card.frame = 0;
    card.card = QColor(250, 246, 230);
    card.page = QColor(60, 60, 70);
    QTest::newRow("cream card on a dark page, no frame line")
        << drawMap(QSize(540, miller + 130), QRect(60, 50, 400, miller), card)
        << QList<int> { 60, 80, 80, 50 } << "miller" << QList<double> { -90, 90 };
    // Colour noise on the page spreads it over many colours.
    Style textured = frame;
    textured.page = QColor(236, 230, 214);
    textured.texture = 20;
    QTest::newRow("textured page")
        << drawMap(QSize(470, miller + 66), QRect(40, 30, 400, miller), textured)
        << QList<int> { 40, 30, 36, 30 } << "miller" << QList<double> { -90, 90 };
    Style thick;
    thick.frame = 4;
    thick.extras = true;
    QTest::newRow("thick frame, regional shape")
        << drawMap(QSize(520, 320), QRect(40, 50, 420, 190), thick) << QList<int> { 40, 60, 80, 50 }
        << QString() << QList<double>();
}

void TestMapDetect::drawnMaps()
{
    QFETCH(QImage, image);
    QFETCH(QList<int>, expected);
    QFETCH(QString, projection);
    QFETCH(QList<double>, latitudes);
    const ParamSet fallback
        = makeParams(1, 2, 3, 4, QStringLiteral("mercator"), -180, 180, -20, 60);
    const MapDetection found = detectMapArea(image, fallback);
    QVERIFY2(found.found, qPrintable(found.reason));
    QCOMPARE(margins(found.params), expected);
    const ParamSet &p = found.params;
    QCOMPARE(QList<double>({ p.lonMin, p.lonMax }), QList<double>({ -180, 180 }));
    QCOMPARE(p.projection, projection.isEmpty() ? fallback.projection : projection);
    QCOMPARE(QList<double>({ p.latMin, p.latMax }),
        latitudes.isEmpty() ? QList<double>({ fallback.latMin, fallback.latMax }) : latitudes);
    // A value is said to be read only when it came from the image.
    QCOMPARE(found.read(MapDetection::Group::ProjectionAndLatitudes), !projection.isEmpty());
}

void TestMapDetect::wholeWorldMercatorAtEveryCut_data()
{
    QTest::addColumn<int>("cut");
    for (int cut = 5; cut <= 85; cut += 5)
        QTest::addRow("cut at %d degrees", cut) << cut;
}

// Every cut the shape can name, the last one included; the fallback is Miller
// with another box, so nothing passes by staying as it was.
void TestMapDetect::wholeWorldMercatorAtEveryCut()
{
    QFETCH(int, cut);
    const int h = worldRows(800, QStringLiteral("mercator"), cut);
    Style frame;
    frame.frame = 2;
    frame.projection = QStringLiteral("mercator");
    frame.latMin = -cut;
    frame.latMax = cut;
    const QImage image = drawMap(QSize(860, h + 60), QRect(30, 30, 800, h), frame);
    const MapDetection found = detectMapArea(image, makeParams(0, 0, 0, 0));
    QVERIFY2(found.found, qPrintable(found.reason));
    QVERIFY2(found.wholeWorld, qPrintable(found.summary(image.width(), image.height())));
    QCOMPARE(margins(found.params), (QList<int> { 30, 30, 30, 30 }));
    QCOMPARE(found.params.projection, QStringLiteral("mercator"));
    QCOMPARE(QList<double>({ found.params.latMin, found.params.latMax }),
        QList<double>({ double(-cut), double(cut) }));
}

void TestMapDetect::curvedOutlines_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("projection");
    QTest::addColumn<double>("lonMin");
    for (const char *name : { "robinson", "mollweide", "winkel-tripel", "eckert4" })
        QTest::newRow(name) << QString::fromLatin1(name) << QString::fromLatin1(name) << -180.0;
    QTest::newRow("robinson centred on 150°E") << "robinson-pacific"
                                               << "robinson" << -30.0;
}

// Whole-world maps drawn by GMT on a magenta page, 20 px in: the outline's
// bounding rectangle, its projection and, from the land, where it starts.
void TestMapDetect::curvedOutlines()
{
    QFETCH(QString, file);
    QFETCH(QString, projection);
    QFETCH(double, lonMin);
    const QImage image(QStringLiteral(PLANO_TEST_DATA "/world/") + file + QStringLiteral(".png"));
    const ParamSet fallback = makeParams(0, 0, 0, 0, QStringLiteral("miller"), 10, 20, 30, 40);
    const MapDetection found = detectMapArea(image, fallback);
    QVERIFY2(found.found, qPrintable(found.reason));
    QCOMPARE(margins(found.params), (QList<int> { 20, 20, 20, 20 }));
    QCOMPARE(found.params.projection, projection);
    QCOMPARE(
        (QList<double> { found.params.latMin, found.params.latMax }), (QList<double> { -90, 90 }));
    QVERIFY(found.read(MapDetection::Group::Longitudes));
    QCOMPARE((QList<double> { found.params.lonMin, found.params.lonMax }),
        (QList<double> { lonMin, lonMin == -180 ? 180 : lonMin }));
}

void TestMapDetect::boxesRead_data()
{
    QTest::addColumn<QImage>("image");
    // Projection, then latitudes and longitudes; empty: the fallback's kept.
    QTest::addColumn<QString>("projection");
    QTest::addColumn<QList<double>>("box"); // latMin, latMax, lonMin, lonMax
    QTest::addColumn<bool>("longitudesRead");

    auto styled = [](const QString &projection, QList<double> box, int grid) {
        Style style;
        style.frame = 1;
        style.projection = projection;
        style.latMin = box[0];
        style.latMax = box[1];
        style.lonMin = box[2];
        style.lonSpan = std::remainder(box[3] - box[2], 360.0);
        if (style.lonSpan <= 0)
            style.lonSpan += 360;
        style.grid = grid;
        style.gridColour = QColor(70, 70, 70);
        return style;
    };
    auto map = [](const Style &style, int width) {
        const int h = int(std::lround((projectedY(style.projection, style.latMax)
                                          - projectedY(style.projection, style.latMin))
                          * (width - 1) / (style.lonSpan * M_PI / 180)))
            + 1;
        return drawMap(QSize(width + 60, h + 60), QRect(30, 30, width, h), style);
    };
    const QString miller = QStringLiteral("miller");
    const QString mercator = QStringLiteral("mercator");
    const QList<double> pacific { -90, 90, -30, -30 };
    QTest::newRow("Pacific-centred world, meridians and the land")
        << map(styled(miller, pacific, 30), 720) << miller << pacific << true;
    const QList<double> fromAsia { -90, 90, 100, 100 };
    QTest::newRow("world from 100°E, no graticule: the shape and the land")
        << map(styled(miller, fromAsia, 0), 720) << miller << fromAsia << true;
    const QList<double> across { -50, 70, 60, -160 };
    QTest::newRow("Miller 60°E…160°W, parallels every 20°")
        << map(styled(miller, across, 20), 700) << miller << across << true;
    // Three parallels only (70°, 50°, 30°N): the meridians pin the scale.
    const QList<double> america { 10, 75, -170, -20 };
    QTest::newRow("Miller 170°W…20°W, three parallels")
        << map(styled(miller, america, 20), 750) << miller << america << true;
    const QList<double> atlantic { -60, 75, -30, 60 };
    QTest::newRow("Mercator 30°W…60°E, parallels every 15°")
        << map(styled(mercator, atlantic, 15), 600) << mercator << atlantic << true;
    const QString plate = QStringLiteral("equirectangular");
    const QString gall = QStringLiteral("gall-stereographic");
    const QString peters = QStringLiteral("gall-peters");
    const QString behrmann = QStringLiteral("behrmann");
    const QList<double> world { -90, 90, -180, 180 };
    // Evenly spaced parallels fit every step and many boxes: the land
    // decides which.
    QTest::newRow("plate carrée world, every 30°")
        << map(styled(plate, world, 30), 720) << plate << world << true;
    const QList<double> europe { 30, 70, -20, 50 };
    QTest::newRow("plate carrée 20°W…50°E, 30…70°N, every 10°")
        << map(styled(plate, europe, 10), 700) << plate << europe << true;
    QTest::newRow("Gall stereographic world, every 30°")
        << map(styled(gall, world, 30), 720) << gall << world << true;
    QTest::newRow("Gall stereographic 60°E…160°W, every 20°")
        << map(styled(gall, across, 20), 700) << gall << across << true;
    QTest::newRow("Gall-Peters world, every 30°")
        << map(styled(peters, world, 30), 720) << peters << world << true;
    const QList<double> africa { -40, 40, -20, 60 };
    QTest::newRow("Gall-Peters 20°W…60°E, 40°S…40°N, every 10°")
        << map(styled(peters, africa, 10), 600) << peters << africa << true;
    QTest::newRow("Behrmann world, every 15°")
        << map(styled(behrmann, world, 15), 720) << behrmann << world << true;
    const QList<double> southAmerica { -60, 30, -100, -20 };
    QTest::newRow("Behrmann 100°W…20°W, 60°S…30°N, every 15°")
        << map(styled(behrmann, southAmerica, 15), 500) << behrmann << southAmerica << true;
    // Gall-Peters and Behrmann rows differ only in scale: without meridians
    // to pin it the parallels fit both, and only the land tells the boxes
    // apart.
    Style parallelsOnly = styled(peters, world, 30);
    parallelsOnly.meridians = false;
    QTest::newRow("Gall-Peters world, parallels only")
        << map(parallelsOnly, 720) << peters << world << true;
    // Near the equator every cylinder's rows are evenly spaced.
    QTest::newRow("plate carrée 15°S…15°N, every 5°: nothing named")
        << map(styled(plate, { -15, 15, 90, 150 }, 5), 600) << QString() << QList<double>()
        << false;
    // Shaped like a whole-world Mercator map to ±85°: never named one.
    QTest::newRow("regional map in a whole-world shape, no graticule")
        << map(styled(miller, across, 0), 400) << QString() << QList<double>() << false;
}

// The box is read from the graticule and the land, or kept as given.
void TestMapDetect::boxesRead()
{
    QFETCH(QImage, image);
    QFETCH(QString, projection);
    QFETCH(QList<double>, box);
    QFETCH(bool, longitudesRead);
    const ParamSet fallback = makeParams(0, 0, 0, 0, QStringLiteral("mercator"), 10, 20, -20, 60);
    const MapDetection found = detectMapArea(image, fallback);
    QVERIFY2(found.found, qPrintable(found.reason));
    const QString summary = found.summary(image.width(), image.height());
    QCOMPARE(margins(found.params), (QList<int> { 30, 30, 30, 30 }));
    const ParamSet &p = found.params;
    QVERIFY2(p.projection == (projection.isEmpty() ? fallback.projection : projection),
        qPrintable(summary));
    const QList<double> expected = box.isEmpty()
        ? QList<double> { fallback.latMin, fallback.latMax, fallback.lonMin, fallback.lonMax }
        : box;
    QVERIFY2((QList<double> { p.latMin, p.latMax }) == expected.mid(0, 2), qPrintable(summary));
    QCOMPARE(found.read(MapDetection::Group::Longitudes), longitudesRead);
    // The box converts as drawn: the engine puts the middle latitude on the
    // row the drawing gave it.
    ProjectionConverter converter;
    converter.setProjection(p.projection);
    converter.setMargins(p.marginLeft, p.marginRight, p.marginBottom, p.marginTop);
    converter.setLonRange(p.lonMin, p.lonMax);
    converter.setLatRange(p.latMin, p.latMax);
    if (!box.isEmpty() && converter.isWorldProjection()) {
        const WorldMap engine(converter.worldBox(image.width(), image.height()));
        const double middle = (box[0] + box[1]) / 2;
        const double yMax = projectedY(projection, box[1]);
        const double drawn = 30
            + (yMax - projectedY(projection, middle)) / (yMax - projectedY(projection, box[0]))
                * (image.height() - 61);
        double u = 0;
        double v = 0;
        QVERIFY(engine.position(p.lonMin + 1, middle, &u, &v));
        QVERIFY2(std::fabs(v - drawn) < 0.05, qPrintable(QString::number(v - drawn)));
    }
    if (longitudesRead) {
        QVERIFY2(std::fabs(std::remainder(p.lonMin - expected[2], 360.0)) <= 1.0
                && std::fabs(std::remainder(p.lonMax - expected[3], 360.0)) <= 1.0,
            qPrintable(summary));
    } else {
        QCOMPARE((QList<double> { p.lonMin, p.lonMax }), expected.mid(2));
    }
}

void TestMapDetect::nothingMapLike_data()
{
    QTest::addColumn<QImage>("image");
    QImage text = filledImage(400, 300);
    {
        QPainter p(&text);
        p.drawText(text.rect(), Qt::AlignCenter, QStringLiteral("No map here, only words"));
    }
    QImage box = filledImage(400, 300);
    QPainter(&box).fillRect(50, 50, 300, 200, QColor(150, 192, 222));
    QTest::newRow("flat colour") << filledImage(400, 300, QColor(136, 170, 51));
    QTest::newRow("text on a page") << text;
    QTest::newRow("one flat box") << box;
    QTest::newRow("noise") << randomImage(300, 200, 5, RandomAlpha::Opaque);
    // The land alone would give a box that is not the map's.
    Style paleSea;
    paleSea.sea = Qt::white;
    paleSea.grid = 0;
    const int h = worldRows(600, QStringLiteral("miller"), 90);
    QTest::newRow("sea in the page colour, no frame line")
        << drawMap(QSize(680, h + 80), QRect(40, 40, 600, h), paleSea);
}

void TestMapDetect::nothingMapLike()
{
    QFETCH(QImage, image);
    const MapDetection found = detectMapArea(image, ParamSet());
    QVERIFY2(!found.found, qPrintable(found.summary(image.width(), image.height())));
    QVERIFY(!found.reason.isEmpty());
}

// Each file with its own margins; one without a map fails with the reason.
void TestMapDetect::batchDetectsEachFile()
{
    const QString in = m_tmp.newFolder(QStringLiteral("in"));
    const QString out = m_tmp.newFolder(QStringLiteral("out"));
    const int h = worldRows(400, QStringLiteral("miller"), 90);
    const QString a = in + QStringLiteral("/a.png");
    const QString b = in + QStringLiteral("/b.png");
    QVERIFY(drawMap(QSize(470, h + 66), QRect(40, 30, 400, h), Style()).save(a));
    QVERIFY(drawMap(QSize(430, h + 20), QRect(10, 5, 400, h), Style()).save(b));
    const QString flat = writeImage(in + QStringLiteral("/c.png"), 200, 100);

    BatchOptions options;
    options.outputFolder = out;
    options.outputFormat = OutputFormat::Png;
    options.outputSizeX = 256;
    options.outputSizeY = 128;
    // Margins that fit none of the files: each file's own replace them.
    options.params = makeParams(300, 300, 0, 0, QStringLiteral("mercator"), 0, 90, 0, 45);
    options.autoDetect = true;
    QStringList inputs { a, b, flat };
    ProjectionConverter converter;
    BatchRunner runner;
    runner.processEvents = false;
    const BatchResult result = runner.run(inputs, options, converter);
    QCOMPARE(result.succeeded, 2);
    QCOMPARE(result.failedFiles, QStringList { flat });
    QVERIFY(result.failureReasons.value(0).startsWith(QLatin1String("no map area found: ")));
    const QSize size(256, 128);
    QCOMPARE(loadArgb(out + QStringLiteral("/a.png")),
        referenceOutput(a, makeParams(40, 30, 36, 30), size));
    QCOMPARE(loadArgb(out + QStringLiteral("/b.png")),
        referenceOutput(b, makeParams(10, 20, 15, 5), size));
}

// The printed file is what the parameter loader reads; no map means exit 1.
void TestMapDetect::commandLineRoundTrip()
{
    const QString dir = m_tmp.newFolder(QStringLiteral("cli"));
    Style thick;
    thick.frame = 4;
    const QString map = dir + QStringLiteral("/regional.png");
    QVERIFY(drawMap(QSize(520, 320), QRect(40, 50, 420, 190), thick).save(map));
    const QString flat = writeImage(dir + QStringLiteral("/flat.png"), 200, 100);
    const QString ini = dir + QStringLiteral("/settings.ini");
    writeIni(ini,
        { { "Convert/MapProjection", "mercator" }, { "Convert/LatitudeMinimum", -60 },
            { "Convert/LatitudeMaximum", 70 } });

    // No platform and no display: detection must not need one.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : { "QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY" })
        env.remove(QString::fromLatin1(name));
    for (const QString &form : { QStringLiteral("/detect"), QStringLiteral("--detect") }) {
        QProcess process;
        process.setProcessEnvironment(env);
        process.start(QStringLiteral(PLANO_EXE), { QStringLiteral("/ini=") + ini, form, map });
        QVERIFY(process.waitForFinished(60000));
        QCOMPARE(process.exitCode(), 0);
        const QString printed = dir + QStringLiteral("/printed.ini");
        const QByteArray text = process.readAllStandardOutput();
        QVERIFY(writeFile(printed, text));
        QVERIFY(!process.readAllStandardError().isEmpty());
        // Each group says how it was found, in comments the reader skips; the
        // 4-pixel frame straddles the edge, so 2 of its pixels lie inside.
        QVERIFY2(text.startsWith("; margins: read, ")
                && text.contains(
                    "\n; projection and latitudes: kept\n; longitudes: kept\n[Convert]\n"),
            text.constData());
        QSettings read(printed, QSettings::IniFormat);
        ParamSet got;
        got.readConvertGroup(read);
        ParamSet expected
            = makeParams(40, 60, 80, 50, QStringLiteral("mercator"), -180, 180, -60, 70);
        expected.frameLine = 2;
        QCOMPARE(got, expected);
    }

    QProcess process;
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(PLANO_EXE), { QStringLiteral("/detect"), flat });
    QVERIFY(process.waitForFinished(60000));
    QCOMPARE(process.exitCode(), 1);
    QVERIFY(process.readAllStandardOutput().isEmpty());
    QVERIFY(process.readAllStandardError().contains("no map area found"));

    // /batch takes BatchAutoDetect from the settings file.
    const QString out = makeFolder(dir, QStringLiteral("out"));
    writeIni(ini,
        { { "IO/BatchOutputFolder", out }, { "IO/BatchAutoDetect", true }, { "IO/OutputFormat", 1 },
            { "IO/OutputSizeX", 1024 }, { "IO/OutputSizeY", 512 } });
    QProcess batch;
    batch.setProcessEnvironment(env);
    batch.start(QStringLiteral(PLANO_EXE),
        { QStringLiteral("/batch"), QStringLiteral("/ini=") + ini, map, flat });
    QVERIFY(batch.waitForFinished(120000));
    QCOMPARE(batch.exitCode(), 1);
    QVERIFY(batch.readAllStandardError().contains("flat.png (no map area found"));
    // The detected frame line is left out of the conversion too.
    ParamSet detected = makeParams(40, 60, 80, 50, QStringLiteral("mercator"), -180, 180, -60, 70);
    detected.frameLine = 2;
    QCOMPARE(loadArgb(out + QStringLiteral("/regional.png")),
        referenceOutput(map, detected, QSize(1024, 512)));
}

// Button and menu item fill the widgets; a failure shows why and changes nothing.
void TestMapDetect::windowTakesTheProposal()
{
    WindowHarness h;
    Style framed;
    framed.frame = 4;
    QVERIFY(h.open(writeMillerMap(h.path(QStringLiteral("map.png")), framed)));
    h.setMargins(1, 2, 3, 4);
    h.child<QPushButton>("btnDetect")->click();
    QCOMPARE(h.spinMargins(), (QList<int> { 40, 30, 36, 30 }));
    QCOMPARE(h.memberMargins(), h.spinMargins());
    // The frame line's inner half, left out of the conversion from now on.
    QCOMPARE(h.child<QSpinBox>("spinBoxFrameLine")->value(), 2);
    QVERIFY(h.modal.boxes.isEmpty());
    QCOMPARE(h.window.statusBar()->currentMessage(),
        QStringLiteral("自動検出で読み取った値: 余白, 投影法と緯度, 経度 ／ 元のままの値: なし"));

    QVERIFY(h.open(writeImage(h.path(QStringLiteral("flat.png")), 300, 200)));
    h.setMargins(1, 2, 3, 4);
    h.action("actionDetect")->trigger();
    QCOMPARE(h.modal.boxes.size(), 1);
    QCOMPARE(h.modal.boxes[0].title, h.action("actionDetect")->text());
    QVERIFY(h.modal.boxes[0].text.contains(QLatin1String("(")));
    QCOMPARE(h.spinMargins(), (QList<int> { 1, 2, 3, 4 }));
}

QTEST_MAIN(TestMapDetect)
#include "tst_mapdetect.moc"
