// The fix evaluation: report sequences in; publications, logbook events, track
// points, sync requests, dropped connections and the unusual log lines out.

#include "app/CFixEvaluation.h"
#include "logbook/ELogSubType.h"
#include <QtTest>
#include <cmath>

namespace
{
constexpr qint64 kStartMs = Q_INT64_C(1772431200000); // 2026-03-02 06:00:00 UTC
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kRolloverSecs = 7168.0 * 86400.0;

QStringList g_trace;

// The routine lines of every report and fix stay out of the trace.
void collectLogLine(QtMsgType, const QMessageLogContext &, const QString &text)
{
    static const QRegularExpression line(QStringLiteral("^File: cgpsprog Line: +(\\d+)"));
    const QString number = line.match(text).captured(1);
    static const QStringList routine = {"753", "800", "815", "823", "835", "896", "915", "921"};
    if (!number.isEmpty() && !routine.contains(number))
        g_trace << QLatin1Char('L') + number;
}

class CTraceSink : public CFixEvaluation::Sink
{
public:
    void publish(const QByteArray &record, const CGpsPoint &point) override
    {
        // What crosses the bus: the record carries the point (NaN as 0.0) and
        // marks only the fields the daemon sets.
        CRuntimeGps sent;
        QVERIFY(sent.parse(record).ok());
        CGpsPoint zeroed;
        zeroed = point;
        QCOMPARE(sent.gpsPoint(), zeroed);
        // The five change marks behind version and reserved block: text 1,
        // value 1, value 2, text 2, point.
        QCOMPARE(record.size(), 134);
        const char marks[] = {record[40], record[45], record[50], record[55], record[60]};
        QCOMPARE(QByteArray(marks, 5), QByteArray("\1\1\0\0\1", 5));
        g_trace << QStringLiteral("P%1/%2/%3/%4/%5")
                       .arg(point.status)
                       .arg(point.satellites)
                       .arg(point.hdop)
                       .arg(point.latitude)
                       .arg(point.speed);
        lastPublished = point;
    }
    void logEvent(int subType) override { g_trace << QStringLiteral("E%1").arg(subType); }
    void requestTimeSync(const CDateTime &gpsTime) override
    {
        g_trace << QStringLiteral("Y");
        syncTime = gpsTime;
    }
    void storeTrackPoint(const CGpsPoint &point) override
    {
        g_trace << QStringLiteral("T%1/%2/%3").arg(point.status).arg(point.satellites).arg(point.hdop);
    }
    void dropConnection() override { g_trace << QStringLiteral("D"); }

    CGpsPoint lastPublished;
    CDateTime syncTime;
};

// One step of a row: report kinds as letters (p packet, s status, t time,
// l position, a altitude, v speed, d satellites, e device lines; R a time
// 1024 weeks back, F a time 20 s ahead, B 11 s behind), or the words "lost",
// "readerror", "+N" (the clock moves on N seconds).
SGpsReport report(const QString &kinds, qint64 nowMs, double hdop, int satellites)
{
    static const QHash<QChar, quint64> bits = {
        {'p', SGpsReport::PACKET_SET},
        {'s', SGpsReport::STATUS_SET},
        {'t', SGpsReport::TIME_SET},
        {'R', SGpsReport::TIME_SET},
        {'F', SGpsReport::TIME_SET},
        {'B', SGpsReport::TIME_SET},
        {'l', SGpsReport::LATLON_SET},
        {'a', SGpsReport::ALTITUDE_SET},
        {'v', SGpsReport::SPEED_SET},
        {'e', SGpsReport::DEVICE_SET | SGpsReport::DEVICELIST_SET | SGpsReport::DEVICEID_SET}};
    SGpsReport r;
    for (const QChar kind : kinds)
        r.set |= bits.value(kind);
    r.fixTime = nowMs / 1000.0 + (kinds.contains('R') ? -kRolloverSecs : 0) +
                (kinds.contains('F') ? 20.0 : 0) - (kinds.contains('B') ? 11.0 : 0);
    r.mode = 3;
    r.latitude = 48.1;
    r.longitude = 11.5;
    r.altitude = 520.0;
    r.speed = kinds.contains('v') && satellites == 4 ? 0.0 : 10.0;
    r.track = satellites == 4 ? kNaN : 90.0; // four satellites: a truck standing, no course
    if (kinds.contains('d')) {
        r.satellitesUsed = satellites;
        r.hdop = hdop;
    }
    r.deviceCount = 1;
    return r;
}
} // namespace

class tst_FixEvaluation : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        // Rollover and zone arithmetic in the board's usual zone.
        qputenv("TZ", "UTC");
        tzset();
    }
    void init() { g_trace.clear(); }

    void sequences_data()
    {
        QTest::addColumn<QString>("steps");
        QTest::addColumn<double>("hdop");
        QTest::addColumn<int>("satellites");
        QTest::addColumn<bool>("timeSync");
        QTest::addColumn<QString>("trace");
        const auto row = [](const char *name, const char *steps, const char *trace, double hdop = 1.4,
                            int satellites = 8, bool timeSync = false) {
            QTest::newRow(name) << QString::fromLatin1(steps) << hdop << satellites << timeSync
                                << QString::fromLatin1(trace);
        };
        // Time mode, 10 s: the first fix is a track point.
        row("one report, then the same 1 s later", "pstlavd +1 ptlavd", "E11003 L739 P1/8/1/48.1/36 T1/8/1");
        row("collected over two reports", "pslav ptd", "E11003 L739 P1/8/1/48.1/36 T1/8/1");
        row("no satellites: no fix", "ptlav pslav", "E11003 L739");
        row("a status report connects once", "ps ps +5 ps", "E11003 L739");
        row("missing HDOP (three satellites)", "pstlavd +1 pstlavd",
            "E11003 L739 L903 P1/3/1000/48.1/36 T1/3/1000 L903", kNaN, 3);
        row("more than 40 satellites", "pstlavd", "E11003 L739 P1/0/1/48.1/36 T1/0/1", 1.4, 41);
        row("40 satellites", "pstlavd", "E11003 L739 P1/40/1/48.1/36 T1/40/1", 1.4, 40);
        row("one satellite", "pstlavd", "E11003 L739 P1/1/1/48.1/36 T1/1/1", 1.4, 1);
        row("time-out counts from the last position", "+20 pstlavd +10 p",
            "E11003 L739 P1/8/1/48.1/36 T1/8/1");
        row("standing, no course: every fix counts as changed", "pstlavd +1 ptlavd +1 ptlavd",
            "E11003 L739 P1/4/1/48.1/0 T1/4/1 P1/4/1/48.1/0 P1/4/1/48.1/0", 1.4, 4);
        row("positions stop: fallback once", "pstlavd +11 p p +5 p",
            "E11003 L739 P1/8/1/48.1/36 T1/8/1 L709 E11004 P0/0/1.4/0/0");
        row("positions stop within 10 s: nothing", "pstlavd +10 p", "E11003 L739 P1/8/1/48.1/36 T1/8/1");
        row("no packet mark", "pstlavd +11 s +1 s",
            "E11003 L739 P1/8/1/48.1/36 T1/8/1 D L739 L686 P1/8/1.4/48.1/36 D L739");
        row("receiver lost twice", "pstlavd lost lost",
            "E11003 L739 P1/8/1/48.1/36 T1/8/1 E11004 P0/0/0/0/0 L640 D L640 D");
        row("lost after the fallback", "pstlavd +11 p lost",
            "E11003 L739 P1/8/1/48.1/36 T1/8/1 L709 E11004 P0/0/1.4/0/0 P0/0/0/0/0 L637 L640 D");
        row("read error twice", "pstlavd readerror readerror",
            "E11003 L739 P1/8/1/48.1/36 T1/8/1 E11004 P0/0/0/0/0");
        row("back after the loss", "pstlavd readerror ps",
            "E11003 L739 P1/8/1/48.1/36 T1/8/1 E11004 P0/0/0/0/0 E11003 L739");
        row("rollover", "pRlavd", "L748 P0/8/1/48.1/36 T0/8/1");
        row("device lines", "pe", "L765 L772 L773 L774 L775 L786");
        row("sync: ahead, equal, behind", "pFlavd +1 ptlavd +1 pBlavd",
            "L451 Y P0/8/1/48.1/36 T0/8/1 P1/8/1/48.1/36 L451 Y P1/8/1/48.1/36", 1.4, 8, true);
        row("sync off", "pFlavd", "P0/8/1/48.1/36 T0/8/1");
        row("rollover corrected before the time check", "pRlavd", "L748 P0/8/1/48.1/36 T0/8/1", 1.4, 8, true);
    }
    void sequences()
    {
        QFETCH(QString, steps);
        QFETCH(double, hdop);
        QFETCH(int, satellites);
        QFETCH(bool, timeSync);
        qint64 nowMs = kStartMs;
        CTraceSink sink;
        CFixEvaluation evaluation(sink);
        evaluation.setClock([&nowMs] { return nowMs; });
        evaluation.setTimeSync(timeSync);
        evaluation.setTrackingValues({CTracking::kByTime, 10, 0, 0});
        const QtMessageHandler previous = qInstallMessageHandler(collectLogLine);
        for (const QString &step : steps.split(' ')) {
            if (step.startsWith('+'))
                nowMs += step.mid(1).toLongLong() * 1000;
            else if (step == QLatin1String("lost"))
                evaluation.receiverLost(90);
            else if (step == QLatin1String("readerror"))
                evaluation.readFailed();
            else
                QCOMPARE(evaluation.evaluate(report(step, nowMs, hdop, satellites)), 1);
        }
        qInstallMessageHandler(previous);
        QTEST(g_trace.join(' '), "trace");
        if ((steps.contains('R') || steps.contains('F')) && !steps.contains('B')) {
            const qint64 expected = kStartMs / 1000 + (steps.contains('F') ? 20 : 0);
            QCOMPARE(qint64(evaluation.gpsTime()), expected);
            QCOMPARE(sink.lastPublished.dateTime.toMSecsSinceEpoch() / 1000, expected);
        }
        if (g_trace.contains(QStringLiteral("Y")))
            QCOMPARE(sink.syncTime.toMSecsSinceEpoch(), sink.lastPublished.dateTime.toMSecsSinceEpoch());
    }

    // A complete fix clears the collected mask; one without HDOP leaves fix mode 1.
    void stateAfterAFix()
    {
        const qint64 nowMs = kStartMs;
        CTraceSink sink;
        CFixEvaluation evaluation(sink);
        evaluation.setClock([nowMs] { return nowMs; });
        evaluation.evaluate(report(QStringLiteral("pslav"), nowMs, 1.0, 5));
        evaluation.evaluate(report(QStringLiteral("ptd"), nowMs, kNaN, 3));
        QCOMPARE(evaluation.fixMask(), quint64(0));
        QCOMPARE(evaluation.fixMode(), 1);
    }
};

QTEST_GUILESS_MAIN(tst_FixEvaluation)
#include "tst_fixevaluation.moc"
