// The cross-track metric of vorlanctl fidelity on tracks laid out in metres.

#include "ctl/CTrackFidelity.h"
#include <QtTest>
#include <cmath>
Q_DECLARE_METATYPE(QVector<QPointF>)

namespace
{
constexpr double kLat0 = 48.1; // where the tracks lie
constexpr double kMetresPerDeg = 6378137.0 * 0.017453292519943295;
constexpr double kStepM = 0.1; // true positions along the route

QVector<CTrackFidelity::Position> positions(const QVector<QPointF> &eastNorth)
{
    QVector<CTrackFidelity::Position> out;
    for (const QPointF &m : eastNorth)
        out.append({kLat0 + m.y() / kMetresPerDeg,
                    11.5 + m.x() / (kMetresPerDeg * std::cos(kLat0 * 0.017453292519943295))});
    return out;
}
} // namespace

class TstTrackFidelity : public QObject
{
    Q_OBJECT
private slots:
    void crossTrack_data()
    {
        QTest::addColumn<QVector<QPointF>>("truth");
        QTest::addColumn<QVector<QPointF>>("stored");
        QTest::addColumn<double>("maxM");
        QTest::addColumn<double>("p95M");
        // Points on a straight road between its ends lie on the track.
        QTest::newRow("straight") << QVector<QPointF>{{0, 0}, {0, 500}} << QVector<QPointF>{{0, 0}, {0, 500}}
                                  << 0.0 << 0.0;
        // The stored track cuts the corner: the corner is 100/sqrt(2) m off, and
        // the distance grows evenly along both legs.
        QTest::newRow("right angle") << QVector<QPointF>{{0, 0}, {0, 100}, {100, 100}}
                                     << QVector<QPointF>{{0, 0}, {100, 100}} << 70.71 << 0.95 * 70.71;
        // Points on both legs of a U-turn, the turn itself not stored: the tip
        // is 100 m off, and the nearer leg must not count for it.
        QTest::newRow("U-turn") << QVector<QPointF>{{0, 0}, {0, 200}, {40, 200}, {40, 0}}
                                << QVector<QPointF>{{0, 0}, {0, 100}, {40, 100}, {40, 0}} << 100.0 << 100.0;
        // One stored point: the distance to it; 95 % of the 70 m route end
        // 36.5 m along the second leg.
        QTest::newRow("one point") << QVector<QPointF>{{0, 0}, {0, 30}, {40, 30}} << QVector<QPointF>{{0, 0}}
                                   << 50.0 << std::hypot(36.5, 30.0);
        QTest::newRow("no point") << QVector<QPointF>{{0, 0}, {0, 30}} << QVector<QPointF>{} << qQNaN()
                                  << qQNaN();
    }
    void crossTrack()
    {
        QFETCH(QVector<QPointF>, truth);
        QFETCH(QVector<QPointF>, stored);
        QFETCH(double, maxM);
        QFETCH(double, p95M);
        const CTrackFidelity::Summary summary =
            CTrackFidelity::measure(CTrackFidelity::alongRoute(positions(truth), kStepM), positions(stored));
        if (std::isnan(maxM)) {
            QVERIFY(std::isnan(summary.maxMetres) && std::isnan(summary.p95Metres));
            return;
        }
        QVERIFY2(std::fabs(summary.maxMetres - maxM) < 0.05 && std::fabs(summary.p95Metres - p95M) < 0.2,
                 qPrintable(QStringLiteral("max %1 p95 %2").arg(summary.maxMetres).arg(summary.p95Metres)));
    }
};

QTEST_APPLESS_MAIN(TstTrackFidelity)
#include "tst_trackfidelity.moc"
