// The projection engine: the worked example of a 2000 x 1000 Miller map, the
// longitude box normalisation, the projected latitude against independent
// values, the bounds and small-target cases, the fast remap against the
// per-pixel reference, and the parameter set's table and INI forms.
#include "params/paramcheck.h"
#include "projection/convertparams.h"
#include "projection/projectionconverter.h"
#include "testsupport.h"

#include <QCoreApplication>
#include <QEvent>
#include <QImage>
#include <QLoggingCategory>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <limits>

namespace {

// Each pixel holds its own position, so a target pixel tells where it came from.
QImage coordinateImage(int w, int h)
{
    QImage img(w, h, QImage::Format_ARGB32);
    for (int y = 0; y < h; ++y) {
        auto *line = reinterpret_cast<QRgb *>(img.scanLine(y));
        for (int x = 0; x < w; ++x)
            line[x] = 0xFF000000u | (uint(x) << 12) | uint(y);
    }
    return img;
}

QPoint decode(QRgb p)
{
    return QPoint(int((p >> 12) & 0xFFFu), int(p & 0xFFFu));
}

QImage transparentTarget(int w, int h)
{
    QImage img(w, h, QImage::Format_ARGB32);
    img.fill(0);
    return img;
}

bool allTransparent(const QImage &img)
{
    for (int y = 0; y < img.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(img.constScanLine(y));
        for (int x = 0; x < img.width(); ++x) {
            if (line[x] != 0)
                return false;
        }
    }
    return true;
}

bool sameBits(const QImage &a, const QImage &b)
{
    if (a.size() != b.size() || a.format() != b.format())
        return false;
    for (int y = 0; y < a.height(); ++y) {
        if (std::memcmp(a.constScanLine(y), b.constScanLine(y), size_t(a.width()) * 4) != 0)
            return false;
    }
    return true;
}

// Through the converter's own setters, in the order a parameter set applies
// them; false when the projection is unknown.
bool setUp(ProjectionConverter &c, const ParamSet &p)
{
    c.setMargins(p.marginLeft, p.marginRight, p.marginBottom, p.marginTop);
    const bool known = c.setProjection(p.projection);
    c.setLonRange(p.lonMin, p.lonMax);
    c.setLatRange(p.latMin, p.latMax);
    return known;
}

// The worked example: 2000 x 1000 source, margins 10, 10, 20, 20, full box.
void setWorkedExample(ProjectionConverter &c, const QString &projection)
{
    QVERIFY(setUp(c, makeParams(10, 10, 20, 20, projection)));
    c.prepare(2000.0, 1000.0);
}

bool closeTo(double actual, double expected, double tolerance)
{
    return std::fabs(actual - expected) <= tolerance;
}

// Posted to itself on every delivery, so each event-loop yield of the remap
// delivers exactly one; the first delivery reconfigures the converter.
class YieldCounter : public QObject
{
public:
    explicit YieldCounter(ProjectionConverter *converter)
        : m_converter(converter)
    { }
    int count = 0;

protected:
    bool event(QEvent *e) override
    {
        if (e->type() != QEvent::User)
            return QObject::event(e);
        if (count == 0) {
            m_converter->setProjection(QStringLiteral("mercator"));
            m_converter->setMargins(0, 0, 0, 0);
            m_converter->setLonRange(20.0, -160.0);
            m_converter->setLatRange(-10.0, 10.0);
        }
        ++count;
        QCoreApplication::postEvent(this, new QEvent(QEvent::User));
        return true;
    }

private:
    ProjectionConverter *m_converter;
};

} // namespace

class TestProjection : public QObject
{
    Q_OBJECT

private slots:
    void init();

    // Worked example of a 2000 x 1000 source.
    void workedLinearMaps();
    void workedColumns_data();
    void workedColumns();
    void workedRows_data();
    void workedRows();
    void workedTargetPixels_data();
    void workedTargetPixels();
    void boxCrossingAntimeridian();

    void lonRangeNormalisation_data();
    void lonRangeNormalisation();

    void projectLatitudeAgainstProj_data();
    void projectLatitudeAgainstProj();
    void projectLatitudeSymmetry_data();
    void projectLatitudeSymmetry();
    void mercatorPolesClamped();

    // What the remap copies and what it leaves alone.
    void alphaIsCopied();
    void marginsAndOutsideStayTransparent();
    void oneColumnMapAreaFillsEveryColumn();
    void emptyMapAreaWritesNothing();
    void equalLatitudesWriteNothing();
    void rowJustAboveMapTruncatesToZero();
    void truncToInt_data();
    void truncToInt();
    void remapKeepsSettingsAcrossYields();

    void unknownProjectionIsRefused_data();
    void unknownProjectionIsRefused();
    void smallTargets_data();
    void smallTargets();

    void fastEqualsReference_data();
    void fastEqualsReference();
    // Interpolation.
    void rampsAreReproduced_data();
    void rampsAreReproduced();
    void constantStaysConstant_data();
    void constantStaysConstant();
    void seamTakesTheWrappedMean_data();
    void seamTakesTheWrappedMean();
    void threadsDoNotChangeTheResult_data();
    void threadsDoNotChangeTheResult();
    void integerBlendingFollowsFloat_data();
    void integerBlendingFollowsFloat();
    void fixedWeightsSumToOne();
    void kernelWeights_data();
    void kernelWeights();
    void targetsAtAnyAlignment();

    // The parameter set.
    void paramTableRoundTrip();
    void paramTableWithoutProjection();
    void paramApplyNormalises();
    void resetExportsDefaults();
    void convertGroupMissingKeysKeepValues();
    void convertGroupRoundTrip();
    void projectionListOrder();
    void marginsLeaveAColumnAndARow_data();
    void marginsLeaveAColumnAndARow();
};

void TestProjection::init()
{
    QLoggingCategory::setFilterRules(QStringLiteral("plano.debug=false"));
}

void TestProjection::workedLinearMaps()
{
    ProjectionConverter c;
    setWorkedExample(c, QStringLiteral("miller"));
    QCOMPARE(c.lonSpan(), 360.0);
    QVERIFY2(c.scaleX() == 5.497222222222222, qPrintable(QString::number(c.scaleX(), 'g', 17)));
    QVERIFY2(c.offsetX() == 999.4999999999999, qPrintable(QString::number(c.offsetX(), 'g', 17)));
    QVERIFY(closeTo(c.projectLatitude(90.0), 131.97581721296186, 1e-12));
    QVERIFY(closeTo(c.projectLatitude(45.0), 48.29142387148045, 1e-12));
    QVERIFY(closeTo(c.scaleY(), -3.633241378049269, 1e-13));
    QVERIFY(closeTo(c.offsetY(), 499.5, 1e-11));

    setWorkedExample(c, QStringLiteral("mercator"));
    QVERIFY(closeTo(c.projectLatitude(90.0), 349.67808026980464, 1e-10));
    QVERIFY(closeTo(c.scaleY(), -1.3712612458579827, 1e-13));
    QVERIFY(closeTo(c.offsetY(), 499.5, 1e-11));
}

void TestProjection::workedColumns_data()
{
    QTest::addColumn<double>("lon");
    QTest::addColumn<int>("column");
    QTest::newRow("lon -180 on the left margin") << -180.0 << 10;
    QTest::newRow("lon -90") << -90.0 << 504;
    QTest::newRow("lon 0") << 0.0 << 999;
    QTest::newRow("lon 90") << 90.0 << 1494;
    QTest::newRow("lon 180 lands on the last column, not one past it") << 180.0 << 1988;
    QTest::newRow("target column 1024") << 0.08793356130922803 << 999;
}

void TestProjection::workedColumns()
{
    QFETCH(double, lon);
    QFETCH(int, column);
    ProjectionConverter c;
    setWorkedExample(c, QStringLiteral("miller"));
    QCOMPARE(c.lonToColumn(lon), column);
    setWorkedExample(c, QStringLiteral("mercator"));
    QCOMPARE(c.lonToColumn(lon), column);
}

void TestProjection::workedRows_data()
{
    QTest::addColumn<QString>("projection");
    QTest::addColumn<double>("lat");
    QTest::addColumn<int>("row");
    const double lats[] = { 90.0, 60.0, 45.0, 30.0, 0.0, -45.0, -90.0 };
    const int miller[] = { 20, 250, 324, 387, 499, 674, 979 };
    const int mercator[] = { 20, 396, 430, 456, 499, 568, 979 };
    for (int k = 0; k < 7; ++k) {
        QTest::addRow("miller %g", lats[k]) << QStringLiteral("miller") << lats[k] << miller[k];
        QTest::addRow("mercator %g", lats[k])
            << QStringLiteral("mercator") << lats[k] << mercator[k];
    }
    QTest::newRow("miller target row 256") << QStringLiteral("miller") << 44.956011730205276 << 324;
}

void TestProjection::workedRows()
{
    QFETCH(QString, projection);
    QFETCH(double, lat);
    QFETCH(int, row);
    ProjectionConverter c;
    setWorkedExample(c, projection);
    QCOMPARE(c.latToRow(lat), row);
}

void TestProjection::workedTargetPixels_data()
{
    QTest::addColumn<QPoint>("target");
    QTest::addColumn<QPoint>("source");
    QTest::newRow("centre-ish") << QPoint(1024, 256) << QPoint(999, 324);
    QTest::newRow("top left") << QPoint(0, 0) << QPoint(10, 20);
    QTest::newRow("bottom right") << QPoint(2047, 1023) << QPoint(1988, 979);
}

void TestProjection::workedTargetPixels()
{
    QFETCH(QPoint, target);
    QFETCH(QPoint, source);
    ProjectionConverter c;
    setWorkedExample(c, QStringLiteral("miller"));
    const QImage src = coordinateImage(2000, 1000);
    QImage fast = transparentTarget(2048, 1024);
    c.remap(src, fast, false);
    QCOMPARE(decode(fast.pixel(target)), source);
    QCOMPARE(qAlpha(fast.pixel(target)), 255);

    QImage reference = transparentTarget(2048, 1024);
    c.remapReference(src, reference);
    QCOMPARE(decode(reference.pixel(target)), source);
}

void TestProjection::boxCrossingAntimeridian()
{
    ProjectionConverter c;
    QVERIFY(setUp(c, makeParams(0, 0, 0, 0, QStringLiteral("miller"), 20.0, -160.0)));
    QCOMPARE(c.lonSpan(), 180.0);
    c.prepare(2000.0, 1000.0);
    QCOMPARE(c.lonToColumn(-180.0), 1776);

    const QImage src = coordinateImage(2000, 1000);
    QImage target = transparentTarget(2048, 1024);
    c.remap(src, target, false);
    for (int row : { 0, 512, 1023 }) {
        QCOMPARE(decode(target.pixel(0, row)).x(), 1776);
        QCOMPARE(target.pixel(1100, row), QRgb(0));
    }
}

void TestProjection::lonRangeNormalisation_data()
{
    QTest::addColumn<double>("min");
    QTest::addColumn<double>("max");
    QTest::addColumn<double>("normMin");
    QTest::addColumn<double>("normMax");
    QTest::addColumn<double>("span");
    QTest::newRow("equal bounds are the full circle") << 0.0 << 0.0 << 0.0 << 0.0 << 360.0;
    QTest::newRow("-180 180") << -180.0 << 180.0 << -180.0 << 180.0 << 360.0;
    QTest::newRow("180 180") << 180.0 << 180.0 << -180.0 << 180.0 << 360.0;
    QTest::newRow("-180 -180") << -180.0 << -180.0 << -180.0 << 180.0 << 360.0;
    QTest::newRow("10 -10 crosses 180") << 10.0 << -10.0 << 10.0 << -10.0 << 340.0;
    QTest::newRow("190 -170") << 190.0 << -170.0 << -170.0 << -170.0 << 360.0;
    QTest::newRow("-540 540") << -540.0 << 540.0 << -180.0 << 180.0 << 360.0;
    QTest::newRow("20 -160") << 20.0 << -160.0 << 20.0 << -160.0 << 180.0;
    QTest::newRow("far away still ends") << 1e300 << -1e300 << -80.0 << 80.0 << 160.0;
}

void TestProjection::lonRangeNormalisation()
{
    QFETCH(double, min);
    QFETCH(double, max);
    QFETCH(double, normMin);
    QFETCH(double, normMax);
    QFETCH(double, span);
    ProjectionConverter c;
    c.setLonRange(min, max);
    if (std::fabs(min) < 1e6) {
        QCOMPARE(c.lonMin(), normMin);
        QCOMPARE(c.lonMax(), normMax);
        QCOMPARE(c.lonSpan(), span);
    } else {
        // Only that it returns with values inside the normalised intervals.
        QVERIFY(c.lonMin() >= -180.0 && c.lonMin() < 180.0);
        QVERIFY(c.lonMax() > -180.0 && c.lonMax() <= 180.0);
        QVERIFY(c.lonSpan() > 0.0 && c.lonSpan() <= 360.0);
    }
}

void TestProjection::projectLatitudeAgainstProj_data()
{
    // y of the sphere-based forward projections in degrees (radius 180/pi).
    QTest::addColumn<QString>("projection");
    QTest::addColumn<double>("lat");
    QTest::addColumn<double>("y");
    QTest::newRow("miller 30") << QStringLiteral("miller") << 30.0 << 30.917857350765;
    QTest::newRow("miller 45") << QStringLiteral("miller") << 45.0 << 48.291423871480;
    QTest::newRow("miller 60") << QStringLiteral("miller") << 60.0 << 68.573512950956;
    QTest::newRow("miller 80") << QStringLiteral("miller") << 80.0 << 104.987950756866;
    QTest::newRow("mercator 30") << QStringLiteral("mercator") << 30.0 << 31.472923730945;
    QTest::newRow("mercator 45") << QStringLiteral("mercator") << 45.0 << 50.498986710526;
    QTest::newRow("mercator 60") << QStringLiteral("mercator") << 60.0 << 75.456129290217;
    QTest::newRow("mercator 80") << QStringLiteral("mercator") << 80.0 << 139.586616733322;
    QTest::newRow("miller 0") << QStringLiteral("miller") << 0.0 << 0.0;
    QTest::newRow("mercator 0") << QStringLiteral("mercator") << 0.0 << 0.0;
}

void TestProjection::projectLatitudeAgainstProj()
{
    QFETCH(QString, projection);
    QFETCH(double, lat);
    QFETCH(double, y);
    ProjectionConverter c;
    QVERIFY(c.setProjection(projection));
    const double north = c.projectLatitude(lat);
    const double south = c.projectLatitude(-lat);
    QVERIFY2(closeTo(north, y, 1e-9), qPrintable(QString::number(north, 'g', 17)));
    QVERIFY2(closeTo(south, -y, 1e-9), qPrintable(QString::number(south, 'g', 17)));
}

void TestProjection::projectLatitudeSymmetry_data()
{
    QTest::addColumn<QString>("projection");
    QTest::newRow("miller") << QStringLiteral("miller");
    QTest::newRow("mercator") << QStringLiteral("mercator");
}

void TestProjection::projectLatitudeSymmetry()
{
    QFETCH(QString, projection);
    ProjectionConverter c;
    QVERIFY(c.setProjection(projection));
    for (double lat = 0.0; lat <= 90.0; lat += 0.7) {
        const double y = c.projectLatitude(lat);
        QVERIFY(closeTo(c.projectLatitude(-lat), -y, 1e-12 * std::max(1.0, std::fabs(y))));
        // Near the equator the projected value is the latitude itself.
        if (lat < 1.0)
            QVERIFY(closeTo(y, lat, 1e-3));
    }
}

void TestProjection::mercatorPolesClamped()
{
    ProjectionConverter c;
    setWorkedExample(c, QStringLiteral("mercator"));
    QVERIFY(std::isfinite(c.projectLatitude(90.0)));
    QCOMPARE(c.latToRow(89.9), c.latToRow(90.0));
    QCOMPARE(c.latToRow(-89.9), c.latToRow(-90.0));
    QCOMPARE(c.latToRow(90.0), 20);
    QCOMPARE(c.latToRow(-90.0), 979);

    const QImage src = coordinateImage(2000, 1000);
    QImage target = transparentTarget(2048, 1024);
    c.remap(src, target, false);
    QCOMPARE(decode(target.pixel(1024, 0)).y(), 20);
    QCOMPARE(decode(target.pixel(1024, 1023)).y(), 979);
}

void TestProjection::alphaIsCopied()
{
    QImage src(4, 3, QImage::Format_ARGB32);
    src.fill(QColor(10, 20, 30, 100));
    const QRgb translucent = qRgba(10, 20, 30, 100);
    QCOMPARE(src.pixel(0, 0), translucent);

    ProjectionConverter c;
    ParamSet().applyTo(c);
    QImage target = transparentTarget(9, 5);
    c.remap(src, target, false);
    for (int y = 0; y < target.height(); ++y) {
        for (int x = 0; x < target.width(); ++x)
            QCOMPARE(target.pixel(x, y), translucent);
    }
}

void TestProjection::marginsAndOutsideStayTransparent()
{
    ProjectionConverter c;
    QVERIFY(
        setUp(c, makeParams(10, 10, 20, 20, QStringLiteral("miller"), -90.0, 90.0, -45.0, 45.0)));
    const QImage src = coordinateImage(2000, 1000);
    QImage target = transparentTarget(512, 256);
    c.remap(src, target, false);

    // No target grid point lies within a source pixel of the box edges, so
    // being written and lying in the box must agree exactly.
    int covered = 0;
    for (int y = 0; y < target.height(); ++y) {
        for (int x = 0; x < target.width(); ++x) {
            const QRgb p = target.pixel(x, y);
            const double lat = 90.0 - y * (180.0 / 255.0);
            const double lon = x * (360.0 / 511.0) - 180.0;
            const bool inBox = lat >= -45.0 && lat <= 45.0 && lon >= -90.0 && lon <= 90.0;
            QVERIFY2((p != 0) == inBox, qPrintable(QStringLiteral("(%1, %2)").arg(x).arg(y)));
            if (p == 0)
                continue;
            ++covered;
            const QPoint s = decode(p);
            QVERIFY(s.x() >= 10 && s.x() <= 1989);
            QVERIFY(s.y() >= 20 && s.y() <= 979);
        }
    }
    QVERIFY(covered > 0);
}

void TestProjection::oneColumnMapAreaFillsEveryColumn()
{
    ProjectionConverter c;
    QVERIFY(setUp(c, makeParams(2, 2, 0, 0)));
    c.prepare(5.0, 4.0);
    QCOMPARE(c.scaleX(), 0.0);

    QImage target = transparentTarget(16, 8);
    c.remap(coordinateImage(5, 4), target, false);
    for (int y = 0; y < target.height(); ++y) {
        for (int x = 0; x < target.width(); ++x) {
            QVERIFY(target.pixel(x, y) != 0);
            QCOMPARE(decode(target.pixel(x, y)).x(), 2);
        }
    }
}

void TestProjection::emptyMapAreaWritesNothing()
{
    ProjectionConverter c;
    QVERIFY(setUp(c, makeParams(0, 0, 0, 0)));
    QImage target = transparentTarget(16, 8);
    c.setMargins(3, 2, 0, 0);
    c.remap(coordinateImage(5, 4), target, false);
    QVERIFY(allTransparent(target));
    c.setMargins(0, 0, 3, 2);
    c.remap(coordinateImage(5, 4), target, false);
    QVERIFY(allTransparent(target));
}

void TestProjection::equalLatitudesWriteNothing()
{
    for (double lat : { 30.0, 0.0 }) {
        ProjectionConverter c;
        QVERIFY(
            setUp(c, makeParams(0, 0, 0, 0, QStringLiteral("miller"), -180.0, 180.0, lat, lat)));
        c.prepare(200.0, 100.0);
        QCOMPARE(c.latToRow(lat), INT_MIN);
        QCOMPARE(c.latToRow(0.0), INT_MIN);
        QImage target = transparentTarget(64, 32);
        c.remap(coordinateImage(200, 100), target, false);
        QVERIFY(allTransparent(target));
    }
}

void TestProjection::rowJustAboveMapTruncatesToZero()
{
    // lat max 80.935 puts lat 81 at about row -0.71 of a 1000-row map.
    ProjectionConverter c;
    QVERIFY(
        setUp(c, makeParams(0, 0, 0, 0, QStringLiteral("miller"), -180.0, 180.0, -80.935, 80.935)));
    c.prepare(360.0, 1000.0);
    const double row = c.projectLatitude(81.0) * c.scaleY() + c.offsetY();
    QVERIFY2(row > -1.0 && row < -0.5, qPrintable(QString::number(row)));
    QCOMPARE(c.latToRow(81.0), 0);

    // Target row 9 of 181 rows stands for lat 81.
    QImage target = transparentTarget(361, 181);
    c.remap(coordinateImage(360, 1000), target, false);
    QVERIFY(target.pixel(180, 9) != 0);
    QCOMPARE(decode(target.pixel(180, 9)).y(), 0);
    QCOMPARE(target.pixel(180, 8), QRgb(0));

    // With a top margin the same position is in the margin.
    c.setMargins(0, 0, 0, 1);
    target.fill(0);
    c.remap(coordinateImage(360, 1000), target, false);
    QCOMPARE(target.pixel(180, 9), QRgb(0));
}

void TestProjection::truncToInt_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("expected");
    const double inf = std::numeric_limits<double>::infinity();
    QTest::newRow("-0.7 toward zero") << -0.7 << 0;
    QTest::newRow("0.7") << 0.7 << 0;
    QTest::newRow("-1.5") << -1.5 << -1;
    QTest::newRow("1988.9999999999998") << 1988.9999999999998 << 1988;
    QTest::newRow("largest int") << 2147483647.9 << INT_MAX;
    QTest::newRow("smallest int") << -2147483648.0 << INT_MIN;
    QTest::newRow("one past largest") << 2147483648.0 << INT_MIN;
    QTest::newRow("1e12") << 1e12 << INT_MIN;
    QTest::newRow("-1e12") << -1e12 << INT_MIN;
    QTest::newRow("NaN") << std::numeric_limits<double>::quiet_NaN() << INT_MIN;
    QTest::newRow("inf") << inf << INT_MIN;
    QTest::newRow("-inf") << -inf << INT_MIN;
}

void TestProjection::truncToInt()
{
    QFETCH(double, value);
    QFETCH(int, expected);
    QCOMPARE(ProjectionConverter::truncToInt(value), expected);
}

void TestProjection::remapKeepsSettingsAcrossYields()
{
    ProjectionConverter c;
    setWorkedExample(c, QStringLiteral("miller"));
    const QImage src = coordinateImage(200, 100);
    QImage expected = transparentTarget(64, 32);
    c.remapReference(src, expected);

    YieldCounter counter(&c);
    QCoreApplication::postEvent(&counter, new QEvent(QEvent::User));
    QImage target = transparentTarget(64, 32);
    c.remap(src, target, true);
    const int yields = counter.count;
    QVERIFY(yields >= 1);
    QVERIFY(sameBits(target, expected));
    // The change made during the first yield holds for the next use.
    QCOMPARE(c.projection(), QStringLiteral("mercator"));
    QCOMPARE(c.lonMin(), 20.0);

    // Without processEvents nothing else runs.
    c.remap(src, target, false);
    QCOMPARE(counter.count, yields);
    QCoreApplication::removePostedEvents(&counter);
}

void TestProjection::unknownProjectionIsRefused_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("empty") << QString();
    QTest::newRow("capital M") << QStringLiteral("Miller");
    QTest::newRow("other projection") << QStringLiteral("lambert");
}

void TestProjection::unknownProjectionIsRefused()
{
    QFETCH(QString, name);
    QLoggingCategory::setFilterRules(QStringLiteral("plano.debug=true"));
    ProjectionConverter c;
    c.setMargins(10, 10, 20, 20);
    QTest::ignoreMessage(
        QtDebugMsg, qPrintable(QStringLiteral("Invalid Map-Projection name: ") + name));
    QVERIFY(!c.setProjection(name));
    QLoggingCategory::setFilterRules(QStringLiteral("plano.debug=false"));
    QVERIFY(!c.isUsable());
    QCOMPARE(c.projection(), name);
    QCOMPARE(c.exportParams().value(QStringLiteral("map_proj")).toString(), name);
    c.setLonRange(-180.0, 180.0);
    c.setLatRange(-90.0, 90.0);
    c.prepare(2000.0, 1000.0);
    QCOMPARE(c.lonToColumn(0.0), INT_MIN);
    QCOMPARE(c.latToRow(0.0), INT_MIN);

    const QImage src = coordinateImage(200, 100);
    QImage target = transparentTarget(64, 32);
    c.remap(src, target, false);
    QVERIFY(allTransparent(target));
    c.remapReference(src, target);
    QVERIFY(allTransparent(target));

    QVERIFY(c.setProjection(QStringLiteral("mercator")));
    QVERIFY(c.isUsable());
    c.remap(src, target, false);
    QVERIFY(!allTransparent(target));
}

void TestProjection::smallTargets_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QPoint>("firstSource");
    // One row stands for lat 90, one column for lon -180: the map's top left.
    QTest::newRow("1x1") << QSize(1, 1) << QPoint(10, 20);
    QTest::newRow("1x7") << QSize(1, 7) << QPoint(10, 20);
    QTest::newRow("7x1") << QSize(7, 1) << QPoint(10, 20);
    QTest::newRow("0x0") << QSize(0, 0) << QPoint(-1, -1);
    QTest::newRow("0x5") << QSize(0, 5) << QPoint(-1, -1);
    QTest::newRow("5x0") << QSize(5, 0) << QPoint(-1, -1);
}

void TestProjection::smallTargets()
{
    QFETCH(QSize, size);
    QFETCH(QPoint, firstSource);
    ProjectionConverter c;
    QVERIFY(setUp(c, makeParams(10, 10, 20, 20)));
    const QImage src = coordinateImage(200, 100);
    QImage fast = transparentTarget(size.width(), size.height());
    QImage reference = transparentTarget(size.width(), size.height());
    c.remap(src, fast, false);
    c.remapReference(src, reference);
    QCOMPARE(fast.size(), size.isEmpty() ? QSize(0, 0) : size);
    QVERIFY(sameBits(fast, reference));
    if (firstSource.x() >= 0)
        QCOMPARE(decode(fast.pixel(0, 0)), firstSource);
    // The other direction keeps its regular grid.
    c.prepare(200.0, 100.0);
    if (size.height() == 1 && size.width() > 1)
        QCOMPARE(decode(fast.pixel(size.width() - 1, 0)).x(), c.lonToColumn(180.0));
    if (size.width() == 1 && size.height() > 1)
        QCOMPARE(decode(fast.pixel(0, size.height() - 1)).y(), c.latToRow(-90.0));
}

void TestProjection::fastEqualsReference_data()
{
    QTest::addColumn<int>("method");
    QTest::addColumn<int>("path");
    const char *const methods[] = { "nearest", "bilinear", "bicubic", "lanczos-3" };
    const char *const paths[] = { "sse2", "avx2", "widest" };
    for (int m = 0; m < 4; ++m) {
        for (int p = 0; p < 3; ++p)
            QTest::newRow(qPrintable(QStringLiteral("%1 %2").arg(methods[m], paths[p]))) << m << p;
    }
}

void TestProjection::fastEqualsReference()
{
    QFETCH(int, method);
    QFETCH(int, path);
    // The processor may offer less than asked for; every path must agree.
    ProjectionConverter::setWidestVectorPath(VectorPath(path));
    auto widest = qScopeGuard([] { ProjectionConverter::setWidestVectorPath(VectorPath::Avx512); });
    QRandomGenerator rng(20240611);
    const QString names[] = { QStringLiteral("miller"), QStringLiteral("mercator") };
    const QImage::Format formats[] = { QImage::Format_ARGB32, QImage::Format_RGB32,
        QImage::Format_ARGB32_Premultiplied, QImage::Format_RGB888 };
    auto angle = [&rng](double lo, double hi) {
        // Whole and half degrees hit the exact box edges; the rest anywhere.
        const double v = lo + rng.generateDouble() * (hi - lo);
        switch (rng.bounded(3)) {
        case 0:
            return std::round(v);
        case 1:
            return std::round(v * 2.0) / 2.0;
        default:
            return v;
        }
    };

    int written = 0;
    for (int n = 0; n < 600; ++n) {
        const int w = 1 + rng.bounded(40);
        const int h = 1 + rng.bounded(30);
        QImage argb(w, h, QImage::Format_ARGB32);
        for (int y = 0; y < h; ++y) {
            auto *line = reinterpret_cast<QRgb *>(argb.scanLine(y));
            for (int x = 0; x < w; ++x)
                line[x] = rng.generate();
        }
        const QImage src = argb.convertToFormat(formats[rng.bounded(4)]);

        // Margins from negative to crossed (left + right beyond the width).
        const int left = rng.bounded(-2, w + 1);
        const int right = rng.bounded(-2, w + 1);
        const int bottom = rng.bounded(-2, h + 1);
        const int top = rng.bounded(-2, h + 1);
        double lonMin = angle(-200.0, 200.0);
        double lonMax = angle(-200.0, 200.0);
        double latMin = angle(-95.0, 95.0);
        double latMax = angle(-95.0, 95.0);
        switch (rng.bounded(6)) {
        case 0: // the whole world, as most maps are
            lonMin = -180.0, lonMax = 180.0, latMin = -90.0, latMax = 90.0;
            break;
        case 1: // equal longitudes: the full circle from there
            lonMax = lonMin;
            break;
        case 2:
            latMax = latMin;
            break;
        default:
            break;
        }

        ProjectionConverter c;
        QVERIFY(setUp(c,
            makeParams(
                left, right, bottom, top, names[rng.bounded(2)], lonMin, lonMax, latMin, latMax)));
        c.setResampling(Resampling(method));
        c.setThreadCount(1 + rng.bounded(4));

        const int w2 = rng.bounded(4) == 0 ? rng.bounded(3) : 1 + rng.bounded(60);
        const int h2 = rng.bounded(4) == 0 ? rng.bounded(3) : 1 + rng.bounded(40);
        QImage fast(w2, h2, QImage::Format_ARGB32);
        fast.fill(rng.bounded(2) == 0 ? 0u : rng.generate());
        const QImage before = fast.copy();
        QImage reference = fast.copy();
        c.remap(src, fast, false);
        c.remapReference(src, reference);
        const QString what = QStringLiteral("case %1: %2x%3 margins %4 %5 %6 %7 %8 lon %9 %10 "
                                            "lat %11 %12 target %13x%14")
                                 .arg(n)
                                 .arg(w)
                                 .arg(h)
                                 .arg(left)
                                 .arg(right)
                                 .arg(bottom)
                                 .arg(top)
                                 .arg(c.projection())
                                 .arg(lonMin)
                                 .arg(lonMax)
                                 .arg(latMin)
                                 .arg(latMax)
                                 .arg(w2)
                                 .arg(h2);
        QVERIFY2(sameBits(fast, reference), qPrintable(what));
        if (!sameBits(fast, before))
            ++written;
    }
    // The random cases must not all be empty conversions.
    QVERIFY(written > 100);
}

namespace {

QImage filled(int w, int h, QRgb colour)
{
    QImage img(w, h, QImage::Format_ARGB32);
    img.fill(colour);
    return img;
}

void fillColumn(QImage &img, int x, QRgb colour)
{
    for (int y = 0; y < img.height(); ++y)
        reinterpret_cast<QRgb *>(img.scanLine(y))[x] = colour;
}

} // namespace

void TestProjection::rampsAreReproduced_data()
{
    QTest::addColumn<int>("method");
    QTest::addColumn<QString>("projection");
    QTest::newRow("bilinear miller") << int(Resampling::Bilinear) << QStringLiteral("miller");
    QTest::newRow("bicubic miller") << int(Resampling::Bicubic) << QStringLiteral("miller");
    QTest::newRow("bicubic mercator") << int(Resampling::Bicubic) << QStringLiteral("mercator");
}

// Red rises by one per source column and green per source row, both valued at
// the pixel centres u + 0.5: magnified, the output holds the sample position.
void TestProjection::rampsAreReproduced()
{
    QFETCH(int, method);
    QFETCH(QString, projection);
    QImage src(200, 120, QImage::Format_RGB32);
    for (int y = 0; y < src.height(); ++y) {
        for (int x = 0; x < src.width(); ++x)
            src.setPixel(x, y, qRgb(x, y, 7));
    }
    ProjectionConverter c;
    QVERIFY(setUp(c, makeParams(0, 0, 0, 0, projection, -90.0, 90.0, -60.0, 60.0)));
    c.setResampling(Resampling(method));
    QImage target = transparentTarget(1024, 1024);
    c.remap(src, target, false);

    c.prepare(src.width(), src.height());
    int checked = 0;
    for (int i = 0; i < target.height(); i += 7) {
        const double y = c.projectLatitude(90.0 - i * 180.0 / 1023.0) * c.scaleY() + c.offsetY();
        for (int j = 0; j < target.width(); j += 5) {
            const double x = (j * 360.0 / 1023.0 - 180.0) * c.scaleX() + c.offsetX();
            // Two pixels from every edge the clamp does not reach the kernel.
            if (!(x > 2.5 && x < src.width() - 2.5 && y > 2.5 && y < src.height() - 2.5))
                continue;
            const QRgb p = target.pixel(j, i);
            // Opaque maps are blended in integers, within 1/100 of a level.
            QVERIFY2(std::fabs(qRed(p) - (x - 0.5)) <= 0.51
                    && std::fabs(qGreen(p) - (y - 0.5)) <= 0.51 && qBlue(p) == 7
                    && qAlpha(p) == 255,
                qPrintable(QStringLiteral("(%1, %2) from (%3, %4)").arg(j).arg(i).arg(x).arg(y)));
            ++checked;
        }
    }
    QVERIFY(checked > 5000);
}

void TestProjection::constantStaysConstant_data()
{
    QTest::addColumn<int>("method");
    QTest::addColumn<int>("targetWidth");
    QTest::addColumn<bool>("holes");
    QTest::addColumn<int>("alpha");
    for (int m = 1; m <= 3; ++m) {
        const QByteArray name = m == 1 ? "bilinear" : m == 2 ? "bicubic" : "lanczos-3";
        QTest::newRow(name + " magnified") << m << 4096 << false << 160;
        QTest::newRow(name + " reduced, averaged") << m << 1024 << false << 160;
        QTest::newRow(name + " transparent holes") << m << 1024 << true << 160;
        // Opaque: blended in integers, whose weights must sum to exactly one.
        QTest::newRow(name + " opaque, magnified") << m << 4096 << false << 255;
        QTest::newRow(name + " opaque, reduced far") << m << 8 << false << 255;
    }
}

// White margins around a constant map area: no margin pixel, and no colour of
// a transparent hole, may reach the output.
void TestProjection::constantStaysConstant()
{
    QFETCH(int, method);
    QFETCH(int, targetWidth);
    QFETCH(bool, holes);
    QFETCH(int, alpha);
    const QRgb colour = qRgba(200, 90, 30, alpha);
    QImage src = filled(2000, 1100, 0xFFFFFFFFu);
    const int left = 17, right = 23, bottom = 31, top = 29;
    for (int y = top; y < src.height() - bottom; ++y) {
        for (int x = left; x < src.width() - right; ++x) {
            const bool hole = holes && (x * 7 + y * 3) % 11 < 4;
            src.setPixel(x, y, hole ? 0u : colour);
        }
    }
    ProjectionConverter c;
    QVERIFY(setUp(c, makeParams(left, right, bottom, top)));
    c.setResampling(Resampling(method));
    QImage target = transparentTarget(targetWidth, targetWidth / 2);
    c.remap(src, target, false);
    int covered = 0;
    for (int i = 0; i < target.height(); ++i) {
        for (int j = 0; j < target.width(); ++j) {
            const QRgb p = target.pixel(j, i);
            if (qAlpha(p) == 0)
                continue;
            ++covered;
            if (holes)
                QVERIFY2(
                    (p & 0xFFFFFFu) == (colour & 0xFFFFFFu), qPrintable(QString::number(p, 16)));
            else
                QVERIFY2(p == colour, qPrintable(QString::number(p, 16)));
        }
    }
    // Lanczos lobes may leave a pixel amid holes without alpha; without
    // holes every pixel is covered.
    QVERIFY(holes || covered == target.width() * target.height());
}

void TestProjection::seamTakesTheWrappedMean_data()
{
    QTest::addColumn<int>("method");
    QTest::newRow("bilinear") << int(Resampling::Bilinear);
    QTest::newRow("bicubic") << int(Resampling::Bicubic);
    QTest::newRow("lanczos-3") << int(Resampling::Lanczos3);
}

// A whole-world map whose first column is black and whose column before the
// last is bright: lon -180 and 180 both lie half-way between the two, so both
// edges of the output get their mean, whatever the margins hold.
void TestProjection::seamTakesTheWrappedMean()
{
    QFETCH(int, method);
    const int left = 12, right = 9;
    QImage src = filled(400, 200, 0xFFFFFFFFu);
    for (int x = left; x < src.width() - right; ++x)
        fillColumn(src, x, qRgb(100, 100, 100));
    fillColumn(src, left, qRgb(0, 0, 0));
    fillColumn(src, src.width() - right - 2, qRgb(200, 200, 200));
    ProjectionConverter c;
    QVERIFY(setUp(c, makeParams(left, right, 0, 0)));
    c.setResampling(Resampling(method));
    QImage target = transparentTarget(2048, 1024);
    c.remap(src, target, false);
    for (int i = 0; i < target.height(); i += 16) {
        QCOMPARE(target.pixel(0, i), qRgb(100, 100, 100));
        QCOMPARE(target.pixel(target.width() - 1, i), qRgb(100, 100, 100));
    }
}

void TestProjection::threadsDoNotChangeTheResult_data()
{
    QTest::addColumn<int>("method");
    QTest::addColumn<bool>("opaque");
    const char *const methods[] = { "nearest", "bilinear", "bicubic", "lanczos-3" };
    for (int m = 0; m < 4; ++m) {
        QTest::newRow(methods[m]) << m << false;
        QTest::newRow(qPrintable(QStringLiteral("%1 opaque").arg(methods[m]))) << m << true;
    }
}

void TestProjection::threadsDoNotChangeTheResult()
{
    QFETCH(int, method);
    QFETCH(bool, opaque);
    QRandomGenerator rng(77);
    QImage src(700, 380, QImage::Format_ARGB32);
    for (int y = 0; y < src.height(); ++y) {
        for (int x = 0; x < src.width(); ++x)
            src.setPixel(x, y, rng.generate() | (opaque ? 0xFF000000u : 0u));
    }
    ProjectionConverter c;
    QVERIFY(setUp(c, makeParams(5, 6, 7, 8, QStringLiteral("mercator"))));
    c.setResampling(Resampling(method));
    const QSize sizes[] = { QSize(1500, 700), QSize(300, 170) };
    for (const QSize &size : sizes) {
        QImage one = transparentTarget(size.width(), size.height());
        c.setThreadCount(1);
        c.remap(src, one, false);
        for (int threads : { 2, 3, 8 }) {
            QImage many = transparentTarget(size.width(), size.height());
            c.setThreadCount(threads);
            c.remap(src, many, false);
            QVERIFY(sameBits(one, many));
        }
    }
}

void TestProjection::integerBlendingFollowsFloat_data()
{
    QTest::addColumn<int>("method");
    // Random pixels, or black and white squares: the kernels' lobes
    // overshoot most there, the integer sums reach their largest.
    QTest::addColumn<bool>("squares");
    const char *const methods[] = { "bilinear", "bicubic", "lanczos-3" };
    for (int m = 1; m <= 3; ++m) {
        QTest::newRow(methods[m - 1]) << m << false;
        QTest::newRow(qPrintable(QStringLiteral("%1 squares").arg(methods[m - 1]))) << m << true;
    }
}

// An opaque map is blended in integers, one with any transparency in float:
// the two agree within a level. Equal pixels give equal bits whatever format
// they come in, and reductions far beyond the vector paths' tap counts still
// equal the reference.
void TestProjection::integerBlendingFollowsFloat()
{
    QFETCH(int, method);
    QFETCH(bool, squares);
    QRandomGenerator rng(4242);
    QImage rgb(300, 400, QImage::Format_RGB32);
    for (int y = 0; y < rgb.height(); ++y) {
        for (int x = 0; x < rgb.width(); ++x) {
            const bool white = ((x / 2) + (y / 2)) % 2 == 0;
            rgb.setPixel(
                x, y, squares ? (white ? 0xFFFFFFFFu : 0xFF000000u) : rng.generate() | 0xFF000000u);
        }
    }
    ProjectionConverter c;
    QVERIFY(setUp(c, makeParams(4, 3, 5, 6)));
    c.setResampling(Resampling(method));

    QImage fromRgb = transparentTarget(900, 450);
    c.remap(rgb, fromRgb, false);
    QImage argb = rgb.convertToFormat(QImage::Format_ARGB32);
    QImage fromArgb = transparentTarget(900, 450);
    c.remap(argb, fromArgb, false);
    QVERIFY(sameBits(fromRgb, fromArgb));

    // One pixel of the map area's bottom right corner not quite opaque.
    argb.setPixel(argb.width() - 4, argb.height() - 6, 0xFE808080u);
    QImage inFloat = transparentTarget(900, 450);
    c.remap(argb, inFloat, false);
    int differing = 0;
    for (int i = 0; i < 400; ++i) {
        for (int j = 0; j < inFloat.width(); ++j) {
            const QRgb a = fromRgb.pixel(j, i);
            const QRgb b = inFloat.pixel(j, i);
            const int most = std::max({ std::abs(qRed(a) - qRed(b)),
                std::abs(qGreen(a) - qGreen(b)), std::abs(qBlue(a) - qBlue(b)) });
            QVERIFY2(most <= 1 && qAlpha(a) == 255 && qAlpha(b) == 255,
                qPrintable(QStringLiteral("(%1, %2)").arg(j).arg(i)));
            differing += most;
        }
    }
    QVERIFY(differing < 900 * 400 / 50);

    for (const QSize size : { QSize(5, 2), QSize(2, 700) }) {
        QImage fast = transparentTarget(size.width(), size.height());
        QImage reference = fast.copy();
        c.remap(rgb, fast, false);
        c.remapReference(rgb, reference);
        QVERIFY(sameBits(fast, reference));
    }
}

// Whatever the footprint, the fixed weights of a sample sum to exactly one
// and each stays within a rounding of its float weight, the one that takes
// up the rounding's sum within the count of taps.
void TestProjection::fixedWeightsSumToOne()
{
    QRandomGenerator rng(99);
    const AxisRange ranges[] = { { 0, 39, 0 }, { 3, 700, 698 } };
    for (int n = 0; n < 3000; ++n) {
        AxisTaps taps;
        const Resampling method = Resampling(1 + rng.bounded(3));
        const double footprint = std::pow(10.0, rng.generateDouble() * 5.0 - 2.0);
        const AxisRange &range = ranges[n % 2];
        appendTaps(taps, method, rng.generateDouble() * range.hi, footprint, range);
        int sum = 0;
        int off = 0;
        for (int t = 0; t < taps.count(0); ++t) {
            sum += taps.fixedWeight[size_t(t)];
            const double exact = double(taps.weight[size_t(t)]) * (1 << kWeightBits);
            off = std::max(
                off, int(std::ceil(std::fabs(taps.fixedWeight[size_t(t)] - exact) - 0.5)));
        }
        QCOMPARE(sum, 1 << kWeightBits);
        QVERIFY2(off <= taps.count(0) / 2 + 1, qPrintable(QString::number(footprint)));
    }
}

void TestProjection::kernelWeights_data()
{
    QTest::addColumn<int>("method");
    QTest::addColumn<double>("offset"); // of the sample from the centre of pixel 10
    // The kernel at the distances of pixels 7 … 13 from the sample, worked out
    // by hand; the taps are these over their sum.
    QTest::addColumn<QList<double>>("raw");

    const int nearest = int(Resampling::Nearest);
    const int bilinear = int(Resampling::Bilinear);
    const int bicubic = int(Resampling::Bicubic);
    const int lanczos = int(Resampling::Lanczos3);
    const QList<double> centred { 0, 0, 0, 1, 0, 0, 0 };
    QTest::newRow("nearest, on a centre") << nearest << 0.0 << centred;
    QTest::newRow("nearest, a quarter off") << nearest << 0.25 << centred;
    QTest::newRow("nearest, three quarters off")
        << nearest << 0.75 << QList<double> { 0, 0, 0, 0, 1, 0, 0 };
    QTest::newRow("bilinear, on a centre") << bilinear << 0.0 << centred;
    QTest::newRow("bilinear, a quarter off")
        << bilinear << 0.25 << QList<double> { 0, 0, 0, 0.75, 0.25, 0, 0 };
    QTest::newRow("bilinear, halfway")
        << bilinear << 0.5 << QList<double> { 0, 0, 0, 0.5, 0.5, 0, 0 };
    // Catmull-Rom (a = -0.5): w(0.5) = 9/16, w(1.5) = -1/16.
    QTest::newRow("bicubic, on a centre") << bicubic << 0.0 << centred;
    QTest::newRow("bicubic, halfway")
        << bicubic << 0.5 << QList<double> { 0, 0, -0.0625, 0.5625, 0.5625, -0.0625, 0 };
    // sinc(x) sinc(x / 3), sinc(x) = sin(pi x) / (pi x): 0.607927 at 0.5,
    // -0.135095 at 1.5, 0.024317 at 2.5; the sum is not one.
    QTest::newRow("Lanczos-3, on a centre") << lanczos << 0.0 << centred;
    QTest::newRow("Lanczos-3, halfway")
        << lanczos << 0.5
        << QList<double> { 0, 0.024317, -0.135095, 0.607927, 0.607927, -0.135095, 0.024317 };
}

// One sample of a 1:1 axis, against values that share nothing with the kernels.
void TestProjection::kernelWeights()
{
    QFETCH(int, method);
    QFETCH(double, offset);
    QFETCH(QList<double>, raw);

    AxisTaps taps;
    appendTaps(taps, Resampling(method), 10.5 + offset, 1.0, AxisRange { 0, 40, 0 });
    QVector<double> weights(41, 0.0);
    for (int t = taps.first[0]; t < taps.first[1]; ++t)
        weights[taps.index[size_t(t)]] += double(taps.weight[size_t(t)]);
    double sum = 0.0;
    for (double w : raw)
        sum += w;
    for (int k = 0; k <= 40; ++k) {
        const double expected = k >= 7 && k <= 13 ? raw[k - 7] / sum : 0.0;
        QVERIFY2(std::fabs(weights[k] - expected) < 1e-5,
            qPrintable(
                QStringLiteral("pixel %1: %2, not %3").arg(k).arg(weights[k]).arg(expected)));
    }
}

// Target rows that start anywhere in memory: the vector paths store whole
// cache lines only once they reach one.
void TestProjection::targetsAtAnyAlignment()
{
    QRandomGenerator rng(5);
    QImage src(120, 80, QImage::Format_ARGB32);
    for (int y = 0; y < src.height(); ++y) {
        for (int x = 0; x < src.width(); ++x)
            src.setPixel(x, y, rng.generate() | (x < 100 ? 0xFF000000u : 0u));
    }
    ProjectionConverter c;
    QVERIFY(setUp(c, makeParams(2, 21, 2, 2)));
    const int w = 75, h = 160, bytesPerLine = 4 * w + 4;
    std::vector<uchar> buffer(size_t(bytesPerLine) * h + 128, 0);
    for (Resampling method : { Resampling::Bicubic, Resampling::Lanczos3 }) {
        c.setResampling(method);
        for (int margin : { 2, 21 }) { // with the translucent columns, or without
            c.setMargins(2, margin, 2, 2);
            QImage reference = transparentTarget(w, h);
            c.remapReference(src, reference);
            for (int offset = 0; offset < 64; offset += 4) {
                std::fill(buffer.begin(), buffer.end(), uchar(0));
                QImage target(buffer.data() + offset, w, h, bytesPerLine, QImage::Format_ARGB32);
                c.remap(src, target, false);
                QVERIFY2(sameBits(target, reference), qPrintable(QString::number(offset)));
            }
        }
    }
}

void TestProjection::paramTableRoundTrip()
{
    const ParamSet p
        = makeParams(12, 34, 56, 78, QStringLiteral("mercator"), -170.5, 160.25, -80.1, 75.3);
    const ConvertParams t = p.toTable();
    QCOMPARE(t.size(), 10);
    QCOMPARE(t.value(QStringLiteral("margin_left")).type(), QVariant::Int);
    QCOMPARE(t.value(QStringLiteral("margin_top")).toInt(), 78);
    QCOMPARE(t.value(QStringLiteral("map_proj")).type(), QVariant::String);
    QCOMPARE(t.value(QStringLiteral("lon_min")).type(), QVariant::Double);
    QCOMPARE(t.value(QStringLiteral("lat_max")).toDouble(), 75.3);
    QCOMPARE(ParamSet::fromTable(t), p);
    QVERIFY(ParamSet::fromTable(t) != ParamSet());
}

void TestProjection::paramTableWithoutProjection()
{
    ConvertParams t = ParamSet().toTable();
    t.remove(QStringLiteral("map_proj"));
    t.remove(QStringLiteral("lat_min"));
    const ParamSet p = ParamSet::fromTable(t);
    QCOMPARE(p.projection, QString());
    QCOMPARE(p.latMin, 0.0);
    QCOMPARE(p.latMax, 90.0);
    ProjectionConverter c;
    QVERIFY(!p.applyTo(c));
    QVERIFY(!c.isUsable());
    QVERIFY(ParamSet().applyTo(c));
    QVERIFY(c.isUsable());
}

void TestProjection::paramApplyNormalises()
{
    const ParamSet p
        = makeParams(1, 2, 3, 4, QStringLiteral("mercator"), 190.0, 540.0, 60.0, -30.0);
    ProjectionConverter c;
    QVERIFY(p.applyTo(c));
    QCOMPARE(c.projectionFactor(), 1.0);
    const ParamSet back = ParamSet::fromTable(c.exportParams());
    QCOMPARE(back.marginLeft, 1);
    QCOMPARE(back.marginRight, 2);
    QCOMPARE(back.marginBottom, 3);
    QCOMPARE(back.marginTop, 4);
    QCOMPARE(back.projection, QStringLiteral("mercator"));
    QCOMPARE(back.lonMin, -170.0);
    QCOMPARE(back.lonMax, 180.0);
    QCOMPARE(c.lonSpan(), 350.0);
    // The latitude box is taken as it is, upside down included.
    QCOMPARE(back.latMin, 60.0);
    QCOMPARE(back.latMax, -30.0);
}

void TestProjection::resetExportsDefaults()
{
    ProjectionConverter c;
    setUp(c, makeParams(5, 6, 7, 8, QStringLiteral("bogus"), 10.0, 20.0, -5.0, 5.0));
    c.reset();
    QVERIFY(c.isUsable());
    const ConvertParams t = c.exportParams();
    QCOMPARE(t.size(), 10);
    QCOMPARE(ParamSet::fromTable(t), ParamSet());
}

void TestProjection::convertGroupMissingKeysKeepValues()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("partial.ini"));
    QVERIFY(writeFile(path,
        "[Convert]\nMarginLeft=7\nMapProjection=mercator\nLongitudeMaximum=12.5\n"
        "LatitudeMinimum=abc\n[Other]\nMarginTop=99\n"));
    ParamSet p;
    p.marginTop = 33;
    p.lonMin = -100.0;
    QSettings settings(path, QSettings::IniFormat);
    settings.setIniCodec("UTF-8");
    p.readConvertGroup(settings);
    QCOMPARE(p.marginLeft, 7);
    QCOMPARE(p.marginRight, 0);
    QCOMPARE(p.marginTop, 33);
    QCOMPARE(p.projection, QStringLiteral("mercator"));
    QCOMPARE(p.lonMin, -100.0);
    QCOMPARE(p.lonMax, 12.5);
    QCOMPARE(p.latMin, -90.0); // a value that is no number keeps the current one
    QCOMPARE(p.latMax, 90.0);
    QCOMPARE(settings.group(), QString());
}

void TestProjection::convertGroupRoundTrip()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("params.ini"));
    const ParamSet p
        = makeParams(1024, 3, 0, 17, QStringLiteral("mercator"), 12.3, -167.7, -85.1, 84.9);
    {
        QSettings settings(path, QSettings::IniFormat);
        settings.setIniCodec("UTF-8");
        p.writeConvertGroup(settings);
        QCOMPARE(settings.group(), QString());
    }
    {
        QSettings raw(path, QSettings::IniFormat);
        QCOMPARE(raw.childGroups(), QStringList { QStringLiteral("Convert") });
        raw.beginGroup(QStringLiteral("Convert"));
        QStringList keys = raw.childKeys();
        keys.sort();
        QStringList expected { "FrameLine", "LatitudeMaximum", "LatitudeMinimum",
            "LongitudeMaximum", "LongitudeMinimum", "MapProjection", "MarginBottom", "MarginLeft",
            "MarginRight", "MarginTop" };
        QCOMPARE(keys, expected);
        QCOMPARE(raw.value(QStringLiteral("LongitudeMinimum")).toString(), QStringLiteral("12.3"));
    }
    ParamSet back;
    QSettings settings(path, QSettings::IniFormat);
    settings.setIniCodec("UTF-8");
    back.readConvertGroup(settings);
    QCOMPARE(back, p);
}

// The window's list keeps Miller and Mercator first, where stored choices
// and the combo box's indices have always had them; every name converts.
void TestProjection::projectionListOrder()
{
    QCOMPARE(projectionList().mid(0, 2),
        (QStringList { QStringLiteral("miller"), QStringLiteral("mercator") }));
    ProjectionConverter converter;
    for (const QString &name : projectionList())
        QVERIFY2(converter.setProjection(name), qPrintable(name));
    QVERIFY(!converter.setProjection(QStringLiteral("lambert")));
}

void TestProjection::marginsLeaveAColumnAndARow_data()
{
    QTest::addColumn<QList<int>>("margins"); // left, right, bottom, top of a 100 x 50 image
    QTest::addColumn<QString>("refusal"); // empty: accepted

    QTest::newRow("one column left") << QList<int> { 60, 39, 0, 0 } << QString();
    QTest::newRow("no column left")
        << QList<int> { 60, 40, 0, 0 }
        << QStringLiteral("MarginLeft + MarginRight (60 + 40) leave no column of the 100-pixel "
                          "wide image");
    QTest::newRow("one row left") << QList<int> { 0, 0, 20, 29 } << QString();
    QTest::newRow("no row left")
        << QList<int> { 0, 0, 20, 30 }
        << QStringLiteral("MarginTop + MarginBottom (30 + 20) leave no row of the 50-pixel high "
                          "image");
    QTest::newRow("margins whose sum overflows")
        << QList<int> { INT_MAX, INT_MAX, 0, 0 }
        << QStringLiteral("MarginLeft + MarginRight (2147483647 + 2147483647) leave no column of "
                          "the 100-pixel wide image");
}

// A blank output must be refused, not counted as converted.
void TestProjection::marginsLeaveAColumnAndARow()
{
    QFETCH(QList<int>, margins);
    QFETCH(QString, refusal);
    const ParamSet p = makeParams(margins[0], margins[1], margins[2], margins[3]);
    QCOMPARE(paramProblem(p, QSize(100, 50)), refusal);
    // Without the image's size only the box is checked.
    QCOMPARE(paramProblem(p), QString());
}

QTEST_GUILESS_MAIN(TestProjection)
#include "tst_projection.moc"
