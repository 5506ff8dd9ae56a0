// The world-map projections PROJ computes, against their published closed
// forms written out here, and the converter's own Miller and Mercator against
// PROJ's.
#include "projection/forwardprojection.h"
#include "projection/projectionconverter.h"

#include <QtTest>

#include <cmath>
#include <functional>

namespace {

using Closed = std::function<void(double lambda, double phi, double *x, double *y)>;

// Newton's method for f(t) = 0 from t0.
double solve(
    const std::function<double(double)> &f, const std::function<double(double)> &df, double t0)
{
    double t = t0;
    for (int i = 0; i < 60; ++i) {
        const double d = df(t);
        if (std::fabs(d) < 1e-15)
            break;
        t -= f(t) / d;
    }
    return t;
}

// Snyder's Robinson table, every 5° of latitude: length of the parallel and
// its distance from the equator, interpolated linearly between the nodes used.
const double kRobinsonX[] = { 1.0000, 0.9986, 0.9954, 0.9900, 0.9822, 0.9730, 0.9600, 0.9427,
    0.9216, 0.8962, 0.8679, 0.8350, 0.7986, 0.7597, 0.7186, 0.6732, 0.6213, 0.5722, 0.5322 };
const double kRobinsonY[] = { 0.0000, 0.0620, 0.1240, 0.1860, 0.2480, 0.3100, 0.3720, 0.4340,
    0.4958, 0.5571, 0.6176, 0.6769, 0.7346, 0.7903, 0.8435, 0.8936, 0.9394, 0.9761, 1.0000 };

} // namespace

Q_DECLARE_METATYPE(Closed)

class TestForwardProjection : public QObject
{
    Q_OBJECT

private slots:
    void closedForms_data();
    void closedForms();
    void converterAgreesWithProj_data();
    void converterAgreesWithProj();
    void centralMeridian();
    void unknownAndUndefined();
};

void TestForwardProjection::closedForms_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<double>("tolerance");
    QTest::addColumn<Closed>("closed");
    const double pi = M_PI;
    QTest::newRow("equirectangular")
        << "equirectangular" << 1e-12 << Closed([](double l, double p, double *x, double *y) {
               *x = l;
               *y = p;
           });
    QTest::newRow("miller") << "miller" << 1e-12
                            << Closed([pi](double l, double p, double *x, double *y) {
                                   *x = l;
                                   *y = 1.25 * std::log(std::tan(pi / 4 + 0.4 * p));
                               });
    QTest::newRow("mercator") << "mercator" << 1e-12
                              << Closed([pi](double l, double p, double *x, double *y) {
                                     *x = l;
                                     *y = std::log(std::tan(pi / 4 + p / 2));
                                 });
    for (const auto &[name, standard] :
        { std::pair<const char *, double>("gall-peters", 45.0), { "behrmann", 30.0 } }) {
        const double c = std::cos(standard * pi / 180);
        QTest::newRow(name) << name << 1e-12
                            << Closed([c](double l, double p, double *x, double *y) {
                                   *x = l * c;
                                   *y = std::sin(p) / c;
                               });
    }
    QTest::newRow("gall-stereographic")
        << "gall-stereographic" << 1e-12 << Closed([](double l, double p, double *x, double *y) {
               *x = l / std::sqrt(2.0);
               *y = (1 + std::sqrt(2.0) / 2) * std::tan(p / 2);
           });
    QTest::newRow("kavrayskiy7") << "kavrayskiy7" << 1e-12
                                 << Closed([pi](double l, double p, double *x, double *y) {
                                        *x = 3 * l / (2 * pi) * std::sqrt(pi * pi / 3 - p * p);
                                        *y = p;
                                    });
    QTest::newRow("mollweide") << "mollweide" << 1e-9
                               << Closed([pi](double l, double p, double *x, double *y) {
                                      const double t = solve(
                                          [&](double a) {
                                              return 2 * a + std::sin(2 * a) - pi * std::sin(p);
                                          },
                                          [](double a) { return 2 + 2 * std::cos(2 * a); }, p / 2);
                                      *x = 2 * std::sqrt(2.0) / pi * l * std::cos(t);
                                      *y = std::sqrt(2.0) * std::sin(t);
                                  });
    // Newton creeps towards the poles, where the root is a double one.
    QTest::newRow("eckert4") << "eckert4" << 1e-7
                             << Closed([pi](double l, double p, double *x, double *y) {
                                    const double t = solve(
                                        [&](double a) {
                                            return a + std::sin(a) * std::cos(a) + 2 * std::sin(a)
                                                - (2 + pi / 2) * std::sin(p);
                                        },
                                        [](double a) {
                                            return 1 + std::cos(2 * a) + 2 * std::cos(a);
                                        },
                                        p / 2);
                                    *x = 2 / std::sqrt(pi * (4 + pi)) * l * (1 + std::cos(t));
                                    *y = 2 * std::sqrt(pi / (4 + pi)) * std::sin(t);
                                });
    QTest::newRow("winkel-tripel")
        << "winkel-tripel" << 1e-9 << Closed([pi](double l, double p, double *x, double *y) {
               const double alpha = std::acos(std::cos(p) * std::cos(l / 2));
               const double sinc = alpha == 0 ? 1 : std::sin(alpha) / alpha;
               *x = 0.5 * (l * 2 / pi + 2 * std::cos(p) * std::sin(l / 2) / sinc);
               *y = 0.5 * (p + std::sin(p) / sinc);
           });
    QTest::newRow("equal-earth")
        << "equal-earth" << 1e-9 << Closed([](double l, double p, double *x, double *y) {
               const double a1 = 1.340264, a2 = -0.081106, a3 = 0.000893, a4 = 0.003796;
               const double t = std::asin(std::sqrt(3.0) / 2 * std::sin(p));
               const double t2 = t * t, t6 = t2 * t2 * t2;
               *x = 2 * std::sqrt(3.0) * l * std::cos(t)
                   / (3 * (9 * a4 * t6 * t2 + 7 * a3 * t6 + 3 * a2 * t2 + a1));
               *y = t * (a1 + a2 * t2 + t6 * (a3 + a4 * t2));
           });
    QTest::newRow("natural-earth")
        << "natural-earth" << 1e-9 << Closed([](double l, double p, double *x, double *y) {
               const double p2 = p * p, p4 = p2 * p2;
               *x = l
                   * (0.870700 - 0.131979 * p2 - 0.013791 * p4 + 0.003971 * p4 * p4 * p2
                       - 0.001529 * p4 * p4 * p4);
               *y = p
                   * (1.007226 + 0.015085 * p2 - 0.044475 * p4 * p2 + 0.028874 * p4 * p4
                       - 0.005916 * p4 * p4 * p2);
           });
    // At the table's own nodes no interpolation is needed; PROJ's table is
    // Snyder's to within a few units of the fourth decimal.
    QTest::newRow("robinson") << "robinson" << 2e-3
                              << Closed([](double l, double p, double *x, double *y) {
                                     const int node
                                         = int(std::lround(std::fabs(p) * 180 / M_PI / 5));
                                     *x = 0.8487 * kRobinsonX[node] * l;
                                     *y = std::copysign(1.3523 * kRobinsonY[node], p);
                                 });
}

// Points over the whole globe, the ±180° meridians and the poles included
// (Mercator's poles left out: they lie at infinity).
void TestForwardProjection::closedForms()
{
    QFETCH(QString, name);
    QFETCH(double, tolerance);
    QFETCH(Closed, closed);
    ForwardProjection projection(name);
    QVERIFY(projection.isValid());
    const int poles = name == QLatin1String("mercator") ? 85 : 90;
    for (int lat = -poles; lat <= poles; lat += 5) {
        for (int lon : { -180, -135, -60, -5, 0, 30, 90, 150, 180 }) {
            double x = 0, y = 0, ex = 0, ey = 0;
            QVERIFY(projection.forward(lon, lat, &x, &y));
            closed(lon * M_PI / 180, lat * M_PI / 180, &ex, &ey);
            QVERIFY2(std::fabs(x - ex) <= tolerance && std::fabs(y - ey) <= tolerance,
                qPrintable(QStringLiteral("%1 at %2, %3: %4, %5 against %6, %7")
                               .arg(name)
                               .arg(lon)
                               .arg(lat)
                               .arg(x, 0, 'g', 12)
                               .arg(y, 0, 'g', 12)
                               .arg(ex, 0, 'g', 12)
                               .arg(ey, 0, 'g', 12)));
        }
    }
}

void TestForwardProjection::converterAgreesWithProj_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("miller") << QStringLiteral("miller");
    QTest::newRow("mercator") << QStringLiteral("mercator");
}

// The converter keeps its own formulas (stored files rely on them bit for
// bit); they must agree with PROJ's everywhere.
void TestForwardProjection::converterAgreesWithProj()
{
    QFETCH(QString, name);
    ProjectionConverter converter;
    QVERIFY(converter.setProjection(name));
    ForwardProjection projection(name);
    for (double lat = -85; lat <= 85; lat += 0.5) {
        double x = 0, y = 0;
        QVERIFY(projection.forward(0, lat, &x, &y));
        QVERIFY2(std::fabs(converter.projectLatitude(lat) - y * 180 / M_PI) <= 1e-9,
            qPrintable(QString::number(lat)));
    }
}

void TestForwardProjection::centralMeridian()
{
    // A Pacific-centred map, lon -30 to 330: 150°E in the middle, 30°W at both edges.
    ForwardProjection projection(QStringLiteral("robinson"), 150);
    double x = 1, y = 1, west = 0, east = 0;
    QVERIFY(projection.forward(150, 0, &x, &y));
    QCOMPARE(x + 1, 1.0);
    QVERIFY(projection.forward(-29.999, 10, &west, &y));
    QVERIFY(projection.forward(-30.001, 10, &east, &y));
    QVERIFY2(east > 2.6 && west < -2.6, qPrintable(QStringLiteral("%1 %2").arg(east).arg(west)));
}

void TestForwardProjection::unknownAndUndefined()
{
    ForwardProjection unknown(QStringLiteral("stereo"));
    double x = 0, y = 0;
    QVERIFY(!unknown.isValid());
    QVERIFY(!unknown.forward(0, 0, &x, &y));
    ForwardProjection mercator(QStringLiteral("mercator"));
    QVERIFY(!mercator.forward(0, 91, &x, &y));
    QVERIFY(!mercator.forward(qQNaN(), 0, &x, &y));
    QCOMPARE(ForwardProjection::names().size(), 13);
}

QTEST_GUILESS_MAIN(TestForwardProjection)
#include "tst_forwardprojection.moc"
