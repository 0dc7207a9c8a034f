// The GPS path end to end: drives played by gpsfake into a real gpsd, the
// daemon binary reading it, the stand-in data service storing what the daemon
// sends, and the test as another process on the bus. Generated drives play
// either time-scaled, where expected track points come from the drive's ground
// truth and the tracking rules applied on the daemon's own clock (its log), or
// in real time on the board's clock, as receivers sold today send: a
// multi-constellation one at 10 Hz (about 140 lines a second from gpsd), one
// set to RMC and GGA only (no sky report for gpsd) and one that uses three
// satellites and sends no HDOP. gpsd or the receiver failing: tst_faults.

#include "../support/SystemFixture.h"
#include "CNmeaWriter.h"
#include "logbook/CTracking.h"
#include "records/CSetupGeneralNonWM.h"

#include <QDataStream>
#include <QRegularExpression>
#include <QtTest>

#include <algorithm>
#include <cmath>

namespace
{
// Tracking drives play one epoch per 1.15 s: fixes then never arrive a whole
// number of seconds after a stored point, so an interval of 5 or 10 s is met
// 0.35 s or more away from the boundary, clear of the clocks' jitter.
constexpr double kTrackingEpochSec = 1.15;
// Decisions this close to an interval boundary (daemon's clock) go either way.
constexpr qint64 kBoundaryMs = 250;
// Truth and gpsd agree to a few millimetres; stored points must be this close.
constexpr double kSamePlaceM = 0.05;
// After the drive has played, the daemon may still be reading gpsd's backlog.
constexpr int kDrainMs = 20000;
// From making a real-time drive to gpsfake playing its first epoch.
constexpr int kLeadMs = 2000;
const QStringList kDelivery = {QStringLiteral("--route"),    QStringLiteral("delivery"),
                               QStringLiteral("--seed"),     QStringLiteral("1"),
                               QStringLiteral("--duration"), QStringLiteral("220")};
enum Sky { FromSky, FromGga, NoHdop };

// FTP trigger written when the store holds none yet: all nine flags marked,
// StartGpsFileTransfer true, the texts marked empty, the two times unmarked.
const QByteArray kFirstTrigger =
    header() + hex("0101 0100010001000100010001000100 0100 0100000000 0100000000 "
                   "0000253d8c0000000000 0000253d8c0000000000 0100000000");
// Every later one: the stored record merged back, only the request marked.
const QByteArray kLaterTrigger =
    header() + hex("0101 0000000000000000000000000000 0000 0000000000 0000000000 "
                   "0000253d8c0000000000 0000253d8c0000000000 0000000000");

// A serialised date-time of an instant as the daemon's local clock (the
// test's zone, set to the daemon's) shows it.
QByteArray localDateTimeBytes(qint64 ms)
{
    QByteArray out;
    QDataStream stream(&out, QIODevice::WriteOnly);
    stream << CDateTime::fromMSecsSinceEpoch(ms);
    return out;
}

QString describe(const SystemFixture::Fix &f)
{
    return QStringLiteral("fix %1 at %2, stored %3").arg(f.gpsMs).arg(f.atMs).arg(f.stored);
}

// Every fix handed on belongs to the drive, in order; hardly one is missing.
void checkFixesFollowTheDrive(const QList<SystemFixture::Fix> &fixes, const TestDrive &drive)
{
    QVERIFY2(fixes.size() >= drive.epochs().size() * 9 / 10, qPrintable(QString::number(fixes.size())));
    qint64 previous = 0;
    for (const SystemFixture::Fix &f : fixes) {
        QVERIFY2(drive.indexAt(f.gpsMs) >= 0 && f.gpsMs >= previous, qPrintable(describe(f)));
        previous = f.gpsMs;
    }
}

// Mode 3: the first fix seeds the anchor; a fix is stored when it lies at
// least distanceM from the last stored point (or the seed).
void checkDistanceRule(const QList<SystemFixture::Fix> &fixes, const TestDrive &drive, int distanceM)
{
    const TestDrive::Epoch *anchor = &drive.epochs().at(drive.indexAt(fixes.first().gpsMs));
    for (const SystemFixture::Fix &f : fixes) {
        const TestDrive::Epoch &e = drive.epochs().at(drive.indexAt(f.gpsMs));
        const double metres =
            CTracking::distanceMetres(e.latitude, e.longitude, anchor->latitude, anchor->longitude);
        if (std::fabs(metres - distanceM) > 0.01)
            QVERIFY2(f.stored == (metres >= distanceM),
                     qPrintable(describe(f) + QStringLiteral(", %1 m from the last point").arg(metres)));
        if (f.stored)
            anchor = &e;
    }
}

// Modes 2 and 4 on the daemon's clock: a fix is due an interval after the
// last stored one (the first fix at once, give or take a millisecond); in
// mode 4 a due fix is stored at or above the level, or once more after it.
// Returns how many decisions were clear of the boundary.
int checkTimedRule(const QList<SystemFixture::Fix> &fixes, const TestDrive &drive, int intervalSec,
                   int levelKmh)
{
    const qint64 intervalMs = intervalSec * 1000;
    qint64 clock = fixes.first().atMs - intervalMs;
    bool above = false;
    int clear = 0;
    for (int i = 0; i < fixes.size(); ++i) {
        const SystemFixture::Fix &f = fixes.at(i);
        const double kmh = drive.epochs().at(drive.indexAt(f.gpsMs)).speedKmh;
        const qint64 elapsed = f.atMs - clock;
        const bool due = elapsed >= intervalMs;
        const bool expected = levelKmh < 0 ? due : due && (kmh >= levelKmh || above);
        if (i > 0 && std::llabs(elapsed - intervalMs) > kBoundaryMs &&
            (levelKmh < 0 || std::fabs(kmh - levelKmh) > 0.01)) {
            ++clear;
            if (f.stored != expected) {
                QTest::qFail(
                    qPrintable(describe(f) +
                               QStringLiteral(", %1 ms after the last point, %2 km/h").arg(elapsed).arg(kmh)),
                    __FILE__, __LINE__);
                return clear;
            }
        }
        if (f.stored) {
            clock = f.atMs;
            above = kmh >= levelKmh;
        }
    }
    return clear;
}

// The store got exactly the stored fixes as track points, in order, each
// followed by its transfer request. The points carry the connection state,
// 1, except for a fix handed on while it was still 0 (gpsMsUnconnected).
void checkStoredPoints(const SystemFixture &f, const QList<SystemFixture::Fix> &fixes, const TestDrive &drive,
                       qint64 gpsMsUnconnected = -1)
{
    QList<SystemFixture::Fix> stored;
    for (const SystemFixture::Fix &fix : fixes)
        if (fix.stored)
            stored << fix;
    const QList<SystemFixture::Call> calls = f.calls();
    const QString pid = QString::number(f.daemon.pid());
    int points = 0;
    int triggers = 0;
    for (int i = 0; i < calls.size(); ++i) {
        triggers += calls.at(i).member == QLatin1String("setRuntimeTriggerFtpTransfer") ? 1 : 0;
        if (calls.at(i).member != QLatin1String("setLogbookDataTracking"))
            continue;
        QVERIFY2(points < stored.size() && i + 2 < calls.size(), "more track points than stored fixes");
        const SystemFixture::Fix &fix = stored.at(points);
        QCOMPARE(calls.at(i).process, pid);
        QCOMPARE(calls.at(i + 1).member, QStringLiteral("getRuntimeTriggerFtpTransfer"));
        QCOMPARE(calls.at(i + 2).member, QStringLiteral("setRuntimeTriggerFtpTransfer"));
        QCOMPARE(calls.at(i + 2).process, pid);
        QCOMPARE(calls.at(i + 2).bytes.toHex(), (points == 0 ? kFirstTrigger : kLaterTrigger).toHex());

        CRecordStatus status;
        const CLogTracking entry(calls.at(i).bytes, &status);
        QVERIFY(status.ok());
        QCOMPARE(QList<int>({entry.iType, entry.iSubType}), QList<int>({1, GPS_Data}));
        const CGpsPoint &p = entry.oGpsPoint;
        QCOMPARE(p.dateTime.toMSecsSinceEpoch(), fix.gpsMs);
        const TestDrive::Epoch &e = drive.epochs().at(drive.indexAt(fix.gpsMs));
        QVERIFY2(CTracking::distanceMetres(p.latitude, p.longitude, e.latitude, e.longitude) < kSamePlaceM,
                 qPrintable(describe(fix)));
        QVERIFY(std::fabs(p.altitude - e.altitude) < 0.001);
        QVERIFY2(std::fabs(p.speed - e.speedKmh) < 0.01, qPrintable(QString::number(p.speed)));
        QCOMPARE(p.status, fix.gpsMs == gpsMsUnconnected ? 0 : 1);
        QVERIFY(p.satellites > 0);
        ++points;
    }
    QCOMPARE(points, int(stored.size()));
    QCOMPARE(triggers, points);
}

// A sentence as a receiver sends it that uses only three satellites: GGA
// with three and no HDOP, GSA with the first three and no dilutions.
QByteArray threeSatellites(const QByteArray &sentence)
{
    const int star = sentence.indexOf('*');
    QList<QByteArray> f = sentence.mid(1, star - 1).split(',');
    if (f[0].endsWith("GGA") && f.size() > 8) {
        f[7] = "03";
        f[8].clear();
    } else if (f[0].endsWith("GSA") && f.size() > 17) {
        for (int i = 6; i <= 17; ++i)
            f[i].clear();
    } else {
        return sentence;
    }
    return CNmeaWriter::frame(f.join(',')).trimmed();
}

// `seconds` of the delivery round from `skip` s on, starting on the board's
// clock when it is played in real time right away.
bool generateRealTime(TestDrive &drive, const QStringList &options, int skip, int seconds, int rate = 1)
{
    const qint64 startMs = (QDateTime::currentMSecsSinceEpoch() + kLeadMs) / 1000 * 1000;
    return drive.generate(
        options + QStringList{"--rate", QString::number(rate), "--skip", QString::number(skip), "--duration",
                              QString::number(skip + seconds), "--start",
                              QDateTime::fromMSecsSinceEpoch(startMs, Qt::UTC).toString(Qt::ISODate)},
        0, seconds * rate);
}

// Starts the system with this tracking setup and plays the drive time-scaled
// until the daemon has handed on a fix of the epoch lastGpsMs (default: the last).
bool playTracking(SystemFixture &f, const TestDrive &drive, const QByteArray &tracking, qint64 lastGpsMs = 0)
{
    const int driveMs = int(drive.epochs().size() * kTrackingEpochSec * 1000);
    return f.startSystem({{QStringLiteral("setSetupGpsTracking"), tracking}}) &&
           f.play(drive, kTrackingEpochSec) &&
           f.waitForFix(lastGpsMs ? lastGpsMs : drive.epochs().last().utcMs, driveMs + kDrainMs);
}

// Index of the epoch of the drive in that second at that place, from `from` on; -1 if none.
int epochOf(const TestDrive &drive, const CGpsPoint &p, int from)
{
    const qint64 second = p.dateTime.toMSecsSinceEpoch() / 1000 * 1000;
    for (int i = std::max(0, from); i < drive.epochs().size(); ++i) {
        const TestDrive::Epoch &e = drive.epochs().at(i);
        if (e.utcMs / 1000 * 1000 == second &&
            CTracking::distanceMetres(p.latitude, p.longitude, e.latitude, e.longitude) <= kSamePlaceM)
            return i;
    }
    return -1;
}
} // namespace

class tst_Gps : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        if (const char *why = SystemFixture::unavailable())
            QSKIP(why);
    }

    void trackPointsFollowTheRule_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("interval");
        QTest::addColumn<int>("distance");
        QTest::addColumn<int>("level");
        QTest::addColumn<int>("first"); // epochs of the delivery round
        QTest::addColumn<int>("last");
        QTest::addColumn<int>("minPoints");
        // Out of the yard, a stop at a junction, into town up to 48 km/h.
        QTest::newRow("by distance, 40 m") << 3 << 10 << 40 << 10 << 75 << 135 << 8;
        // Town: 29 km/h, up to 48, down to 14 at a crossing, up again.
        QTest::newRow("by speed level, 30 km/h every 5 s") << 4 << 5 << 1000 << 30 << 140 << 192 << 6;
    }

    void trackPointsFollowTheRule()
    {
        QFETCH(int, status);
        QFETCH(int, interval);
        QFETCH(int, distance);
        QFETCH(int, level);
        QFETCH(int, first);
        QFETCH(int, last);
        QFETCH(int, minPoints);
        // situation: the tracking setup stored by another process, then the drive plays
        TestDrive drive;
        QVERIFY2(drive.generate(kDelivery, first, last), qPrintable(drive.error()));
        SystemFixture f;
        QVERIFY2(playTracking(f, drive, trackingSetup(status, interval, distance, level)),
                 qPrintable(f.error));

        // expected: the stored points are exactly those the rule picks from the fixes handed on
        const QList<SystemFixture::Fix> fixes = f.fixes();
        checkFixesFollowTheDrive(fixes, drive);
        if (QTest::currentTestFailed())
            return;
        if (status == 3) {
            checkDistanceRule(fixes, drive, distance);
        } else {
            const int clear = checkTimedRule(fixes, drive, interval, status == 4 ? level : -1);
            QVERIFY2(clear >= fixes.size() * 3 / 4, qPrintable(QString::number(clear)));
        }
        if (QTest::currentTestFailed())
            return;
        checkStoredPoints(f, fixes, drive);
        QVERIFY2(f.trackPoints().size() >= minPoints, qPrintable(QString::number(f.trackPoints().size())));
    }

    void noFixAndBack()
    {
        // situation: tracking every 10 s; the receiver loses its fix for 17 s, then has it back
        constexpr int kFirst = 95;
        constexpr int kNoFixFrom = 107; // round seconds
        constexpr int kNoFixFor = 17;
        TestDrive drive;
        QVERIFY2(
            drive.generate(kDelivery + QStringList{QStringLiteral("--nofix"),
                                                   QStringLiteral("%1:%2").arg(kNoFixFrom).arg(kNoFixFor)},
                           kFirst, 138),
            qPrintable(drive.error()));
        const auto epochMs = [&](int roundSecond) { return drive.epochs().at(roundSecond - kFirst).utcMs; };
        SystemFixture f;
        QVERIFY2(playTracking(f, drive, trackingSetup(2, 10, 1000, 10), epochMs(136)), qPrintable(f.error));
        const QList<SystemFixture::Line> log = f.log();
        const QList<SystemFixture::Fix> fixes = f.fixes();

        // expected: after 10 s without a position, one warning, a zeroed point
        // published (status 0, hdop and track kept), one GPS_NoData
        const QString noView =
            QStringLiteral("W File: cgpsprog Line:  709 :  Send / store last valid GPS data after "
                           "timeout for valid GPS data (No view to sat's). Only PACKET_SET was set ");
        QCOMPARE(SystemFixture::timesOf(log, noView).size(), 1);
        const qint64 noViewAt = SystemFixture::timesOf(log, noView).first();
        qint64 lastFixBefore = 0;
        for (const SystemFixture::Fix &fix : fixes)
            lastFixBefore = fix.gpsMs < epochMs(kNoFixFrom) ? fix.atMs : lastFixBefore;
        QVERIFY2(noViewAt - lastFixBefore > 10000 && noViewAt - lastFixBefore < 12600,
                 qPrintable(QString::number(noViewAt - lastFixBefore)));
        const SystemFixture::Published fallback = f.publishedAfter(noViewAt);
        QCOMPARE(fallback.bytes.size(), CGpsPoint::kStreamSize);
        QCOMPARE(fallback.bytes.mid(kPointLat, 24).toHex(), QByteArray(24, '\0').toHex()); // lat, lon, alt
        QCOMPARE(fallback.bytes.mid(kPointStatus, 4).toHex(), QByteArray("00000000"));
        QCOMPARE(fallback.bytes.mid(kPointSatellites, 4).toHex(), QByteArray("00000000"));
        QCOMPARE(fallback.bytes.mid(kPointSpeed, 8).toHex(), QByteArray(8, '\0').toHex());
        QVERIFY(fallback.point.hdop > 0.0);
        QVERIFY(std::fabs(fallback.point.track - drive.epochs().at(kNoFixFrom - 1 - kFirst).courseDeg) <
                0.001);
        QCOMPARE(f.gpsEvents(), (QList<qint32>{GPS_ValidData, GPS_NoData}));
        // back: fixes flow again without a new GPS_ValidData; the connection state
        // returns to 1 only after the first of them has been published
        int afterNoFix = 0;
        for (const SystemFixture::Published &p : f.published())
            if (p.atMs > fallback.atMs)
                QCOMPARE(p.point.status, afterNoFix++ == 0 ? 0 : 1);
        QVERIFY(afterNoFix >= 5);
        // all along, tracking by time; the first fix after the loss is more than
        // 10 s after the last point: stored, with the connection state it had then
        checkTimedRule(fixes, drive, 10, -1);
        if (QTest::currentTestFailed())
            return;
        const auto back = std::find_if(fixes.cbegin(), fixes.cend(), [&](const SystemFixture::Fix &fix) {
            return fix.gpsMs > epochMs(kNoFixFrom);
        });
        QVERIFY(back != fixes.cend() && back->stored);
        checkStoredPoints(f, fixes, drive, back->gpsMs);
    }

    void timeCheckAndZone()
    {
        // situation: the daemon's zone is Europe/Berlin (no TZ variable), the general setup
        // names America/New_York, time sync is on. The receiver (played here, one fix a
        // second) runs 5 s ahead of the system clock, then 15 s; then another process
        // switches time sync off.
        const QTimeZone berlin("Europe/Berlin");
        // /etc/localtime is private to the sandbox
        const QString previousZone = QFile::symLinkTarget(QStringLiteral("/etc/localtime"));
        QFile::remove(QStringLiteral("/etc/localtime"));
        QFile::link(QStringLiteral("/usr/share/zoneinfo/Europe/Berlin"), QStringLiteral("/etc/localtime"));
        const QByteArray testZone = qgetenv("TZ");
        setZone("Europe/Berlin"); // the daemon's, for localDateTimeBytes()
        const auto restoreZone = qScopeGuard([&] {
            QFile::remove(QStringLiteral("/etc/localtime"));
            QFile::link(previousZone, QStringLiteral("/etc/localtime"));
            testZone.isNull() ? qunsetenv("TZ") : qputenv("TZ", testZone);
            tzset();
        });
        FakeGpsd receiver;
        QVERIFY(receiver.listen());
        SystemFixture f;
        f.daemonZone = berlin;
        f.daemonEnvironment.remove(QStringLiteral("TZ"));
        CSetupGeneralNonWM general;
        general.setTimeZone(QStringLiteral("America/New_York"));
        QVERIFY2(f.startSystem({{QStringLiteral("setSetupGeneralNonWM"), general.serialize()},
                                {QStringLiteral("setSetupGps"), gpsSetup(1, true)},
                                {QStringLiteral("setSetupGpsTracking"), trackingSetup(0, 10, 1000, 10)}}),
                 qPrintable(f.error));
        const qint64 t0 = QDateTime::currentMSecsSinceEpoch() / 1000 * 1000;
        qint64 aheadMs = 5000;
        receiver.play([&](int n) { return FakeGpsd::fix(t0 + n * 1000 + aheadMs, 48.1 + n * 0.0001); }, 1000);
        QVERIFY(f.waitUntil([&] { return f.fixes().size() >= 5; }, 15000));
        aheadMs = 15000;
        QVERIFY(f.waitUntil([&] { return f.fixes().size() >= 10; }, 15000));
        QVERIFY(f.storeSetup(QStringLiteral("setSetupGps"), gpsSetup(0, true)));
        QVERIFY(f.waitUntil([&] { return f.fixes().size() >= 15; }, 15000));

        const QList<SystemFixture::Fix> fixes = f.fixes();
        const qint64 offAt =
            SystemFixture::timesOf(f.log(), QStringLiteral("Line:  1462 : Gps is enabled")).value(0);
        const auto syncs = f.peer->seen(QStringLiteral("sigSyncTime"));
        QSet<QByteArray> requested;
        for (const auto &s : syncs) {
            QCOMPARE(s.arguments.value(0).toInt(), int(f.daemon.pid()));
            QCOMPARE(s.arguments.value(1).toInt(), 3);
            requested.insert(s.arguments.value(2).toByteArray());
        }
        QCOMPARE(int(requested.size()), int(syncs.size()));

        // expected: a request exactly for the fixes more than 10 s ahead while sync is on,
        // carrying the fix's time as the daemon's local clock shows it
        int raised = 0;
        int quiet = 0;
        int quietOff = 0;
        QSet<QByteArray> explained;
        for (const SystemFixture::Fix &fix : fixes) {
            const qint64 ahead = fix.gpsMs - fix.atMs;
            // the time logged in local time is the receiver's: the daemon's own zone is intact
            QVERIFY2(ahead > 0 && ahead < 16000, qPrintable(describe(fix)));
            const QByteArray payload = localDateTimeBytes(fix.gpsMs);
            explained.insert(payload);
            if (std::llabs(fix.atMs - offAt) < 300)
                continue; // too close to call
            QVERIFY2(requested.contains(payload) == (ahead > 10000 && fix.atMs < offAt),
                     qPrintable(describe(fix)));
            (ahead < 10000 ? quiet : fix.atMs < offAt ? raised : quietOff) += 1;
        }
        for (const QByteArray &payload : qAsConst(requested))
            QVERIFY2(explained.contains(payload), payload.toHex().constData());
        QVERIFY2(quiet >= 3 && raised >= 3 && quietOff >= 3,
                 qPrintable(QStringLiteral("%1 %2 %3").arg(quiet).arg(raised).arg(quietOff)));
        const QRegularExpression warning(QStringLiteral("^W File: cgpsprog Line:  451 :  Difference between "
                                                        "gps time and local time is  (\\d+)  sec\\.  $"));
        const QStringList warnings = TestDaemon::logMessages().filter(QStringLiteral("Line:  451 :"));
        for (const QString &w : warnings) {
            const QRegularExpressionMatch m = warning.match(w);
            QVERIFY2(m.hasMatch() && m.captured(1).toInt() >= 11 && m.captured(1).toInt() <= 15,
                     qPrintable(w));
        }
        QCOMPARE(warnings.size(), int(syncs.size()));
    }

    void everyEpochInTime_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<int>("rate");
        QTest::addColumn<int>("seconds");
        QTest::addColumn<int>("sky"); // where satellites and HDOP come from
        QTest::newRow("multi-constellation, 10 Hz")
            << QStringList{"--profile", "multi"} << 10 << 60 << int(FromSky);
        // no sky report: satellites and HDOP come from GGA
        QTest::newRow("RMC and GGA only, 1 Hz")
            << QStringList{"--profile", "minimal"} << 1 << 40 << int(FromGga);
        // 3D fixes and a sky report with three satellites, no HDOP
        QTest::newRow("three satellites, no HDOP")
            << QStringList{"--sentences", "RMC,GGA,GSA,GSV"} << 1 << 20 << int(NoHdop);
    }

    void everyEpochInTime()
    {
        QFETCH(QStringList, options);
        QFETCH(int, rate);
        QFETCH(int, seconds);
        QFETCH(int, sky);
        // situation: time check on, a track point every 5 s; out of the yard into town
        SystemFixture f;
        QVERIFY2(f.startSystem({{QStringLiteral("setSetupGps"), gpsSetup(1, true)},
                                {QStringLiteral("setSetupGpsTracking"), trackingSetup(2, 5, 1000, 10)}}),
                 qPrintable(f.error));
        TestDrive drive;
        QVERIFY2(generateRealTime(drive, options, 60, seconds, rate), qPrintable(drive.error()));
        if (sky == NoHdop)
            drive.edit(threeSatellites);
        QVERIFY2(f.playRealTime(drive, seconds), qPrintable(f.error));
        // The event loop alone while the drive plays, so the beats are stamped when they come.
        SystemFixture::waitUntil([] { return false; }, seconds * 1000 + kDrainMs);

        // expected: fixes handed on in order; from the first on every epoch in which the
        // truck moved was published, each point a later epoch than the one before or
        // the same one changed
        const QList<SystemFixture::Fix> fixes = f.fixes();
        QVERIFY2(!fixes.isEmpty(), "no fix handed on");
        QVERIFY(std::is_sorted(fixes.cbegin(), fixes.cend(),
                               [](const auto &a, const auto &b) { return a.gpsMs < b.gpsMs; }));
        // gpsd may report an epoch twice while it learns the receiver's cycle:
        // the second report, if it changed the record, is published again.
        int index = -1;
        QByteArray previous;
        QSet<int> publishedEpochs;
        for (const SystemFixture::Published &p : f.published()) {
            const int at = epochOf(drive, p.point, std::max(index, 0));
            QVERIFY2(at >= 0 && (at > index || (at == index && p.bytes != previous)),
                     qPrintable(QStringLiteral("a point published out of order after epoch %1").arg(index)));
            index = at;
            previous = p.bytes;
            publishedEpochs.insert(at);
            if (sky == NoHdop)
                QCOMPARE(QString::number(p.point.hdop) + '/' + QString::number(p.point.satellites),
                         QString("1000/3"));
        }
        QVERIFY2(!publishedEpochs.isEmpty(), "nothing published");
        for (int i = *std::min_element(publishedEpochs.cbegin(), publishedEpochs.cend()) + 1;
             i < drive.epochs().size(); ++i) {
            const TestDrive::Epoch &e = drive.epochs().at(i), &before = drive.epochs().at(i - 1);
            if (CTracking::distanceMetres(e.latitude, e.longitude, before.latitude, before.longitude) >
                kSamePlaceM)
                QVERIFY2(publishedEpochs.contains(i),
                         qPrintable(QStringLiteral("epoch %1 not published").arg(i)));
        }

        // the heartbeat kept its beat, and the receiver's clock never counted as wrong
        QVERIFY(f.peer->seen(QStringLiteral("sigTrigger")).size() >= seconds);
        QVERIFY2(f.longestBeatGapMs() < 2000, qPrintable(QString::number(f.longestBeatGapMs())));
        QCOMPARE(int(f.peer->seen(QStringLiteral("sigSyncTime")).size()), 0);

        // the track points carry the satellites and the rounded HDOP the receiver
        // sent; without HDOP, 1000 and three satellites, each fix logged as line 903
        // and none rounded (line 896)
        const QList<CLogTracking> points = f.trackPoints();
        QVERIFY2(points.size() >= seconds / 5 - 2, qPrintable(QString::number(points.size())));
        for (const CLogTracking &t : points) {
            const int at = epochOf(drive, t.oGpsPoint, 0);
            QVERIFY(at >= 0);
            if (sky == FromGga) {
                QCOMPARE(t.oGpsPoint.satellites, drive.epochs().at(at).satellites);
                QCOMPARE(t.oGpsPoint.hdop, std::round(drive.epochs().at(at).hdop));
            } else if (sky == NoHdop) {
                QCOMPARE(QString::number(t.oGpsPoint.hdop) + '/' + QString::number(t.oGpsPoint.satellites),
                         QString("1000/3"));
            }
        }
        if (sky == NoHdop) {
            const QList<SystemFixture::Line> log = f.log();
            QCOMPARE(
                SystemFixture::timesOf(log, QStringLiteral("Line:  903 :  isfinite(gpsdata.dop.hdop) == 0 "))
                    .size(),
                fixes.size());
            QVERIFY(SystemFixture::timesOf(log, QStringLiteral("Line:  896 ")).isEmpty());
        }
    }
};

QTEST_GUILESS_MAIN(tst_Gps)
#include "tst_gps.moc"
