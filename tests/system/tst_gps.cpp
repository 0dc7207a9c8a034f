// The GPS path end to end: a generated drive played by gpsfake into a real
// gpsd, the daemon binary reading it, the stand-in data service storing what
// the daemon sends, and the test as another process on the bus. Expected
// track points come from the drive's ground truth and the tracking rules,
// applied here on the daemon's own clock (its log) where a rule is about time.

#include "../support/GpsFixture.h"
#include "records/CSetupGeneralNonWM.h"

#include <QDataStream>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

namespace
{
// Tracking drives play one epoch per 1.15 s: fixes then never arrive a whole
// number of seconds after a stored point, so an interval of 5 or 10 s is met
// 0.35 s or more away from the boundary, clear of the clocks' jitter.
constexpr double kTrackingEpochSec = 1.15;
// The time check compares with the system clock: one epoch per second.
constexpr double kRealTimeEpochSec = 1.0;
// Decisions this close to an interval boundary (daemon's clock) go either way.
constexpr qint64 kBoundaryMs = 250;
// Truth and gpsd agree to a few millimetres; stored points must be this close.
constexpr double kSamePlaceM = 0.05;
// After the drive has played, the daemon may still be reading gpsd's backlog.
constexpr int kDrainMs = 20000;

const QStringList kDelivery = {QStringLiteral("--route"),    QStringLiteral("delivery"),
                               QStringLiteral("--seed"),     QStringLiteral("1"),
                               QStringLiteral("--duration"), QStringLiteral("220")};

// Logbook subtypes of the GPS events.
constexpr qint32 kGpsEnabled = 11001;
constexpr qint32 kGpsDisabled = 11002;
constexpr qint32 kGpsValidData = 11003;
constexpr qint32 kGpsNoData = 11004;

const QByteArray kRecordHeader = QByteArray::fromHex("00000100"
                                                     "00000020") +
                                 QByteArray(32, '\0');
// FTP trigger written when the store holds none yet: all nine flags marked,
// StartGpsFileTransfer true, the texts marked empty, the two times unmarked.
const QByteArray kFirstTrigger = kRecordHeader + QByteArray::fromHex("0101"
                                                                     "0100010001000100010001000100"
                                                                     "0100"
                                                                     "0100000000"
                                                                     "0100000000"
                                                                     "0000253d8c0000000000"
                                                                     "0000253d8c0000000000"
                                                                     "0100000000");
// Every later one: the stored record merged back, only the request marked.
const QByteArray kLaterTrigger = kRecordHeader + QByteArray::fromHex("0101"
                                                                     "0000000000000000000000000000"
                                                                     "0000"
                                                                     "0000000000"
                                                                     "0000000000"
                                                                     "0000253d8c0000000000"
                                                                     "0000253d8c0000000000"
                                                                     "0000000000");

// Offsets in the 73-byte GPS point: version, date-time (9), lat, lon, alt,
// status, time offset, satellites, hdop, speed, track.
constexpr int kPointDateTime = 4;
constexpr int kPointLat = 13;
constexpr int kPointStatus = 37;
constexpr int kPointSatellites = 45;
constexpr int kPointSpeed = 57;

// The tracking distance as the fleet's logbooks measure it.
double trackingDistanceM(double lat1, double lon1, double lat2, double lon2)
{
    const double k = 0.017453292519943295;
    const double earthRadiusKm = 6378.137;
    const double sLat = std::sin((lat2 - lat1) * k * 0.5);
    const double sLon = std::sin((lon2 - lon1) * k * 0.5);
    const double a = sLat * sLat + std::cos(lat1 * k) * std::cos(lat2 * k) * sLon * sLon;
    const double c = std::atan2(std::sqrt(a), std::sqrt(1.0 - a));
    return (c + c) * earthRadiusKm * 1000.0;
}

QByteArray be32(quint32 value)
{
    QByteArray out;
    QDataStream(&out, QIODevice::WriteOnly) << value;
    return out;
}

// A serialised date-time of an instant as the daemon's local clock shows it:
// Julian day, ms of the day, and 0 (standard time) or 1 (summer time).
QByteArray localDateTimeBytes(qint64 ms, const QTimeZone &zone)
{
    const QDateTime at = QDateTime::fromMSecsSinceEpoch(ms, zone);
    return be32(quint32(at.date().toJulianDay())) + be32(quint32(at.time().msecsSinceStartOfDay())) +
           QByteArray(1, zone.isDaylightTime(at) ? '\1' : '\0');
}

qint64 logTime(const QList<GpsFixture::Line> &log, const QString &text, int from = 0)
{
    for (int i = from; i < log.size(); ++i)
        if (log.at(i).message.contains(text))
            return log.at(i).atMs;
    return -1;
}

int countLines(const QList<GpsFixture::Line> &log, const QString &text, qint64 afterMs)
{
    int n = 0;
    for (const GpsFixture::Line &l : log)
        n += l.atMs > afterMs && l.message.contains(text) ? 1 : 0;
    return n;
}

int countBetween(const QList<GpsFixture::Fix> &fixes, qint64 fromMs, qint64 toMs)
{
    int n = 0;
    for (const GpsFixture::Fix &f : fixes)
        n += f.atMs > fromMs && f.atMs < toMs ? 1 : 0;
    return n;
}

QString describe(const GpsFixture::Fix &f)
{
    return QStringLiteral("fix %1 at %2%3")
        .arg(QDateTime::fromMSecsSinceEpoch(f.gpsMs, Qt::UTC).toString(Qt::ISODate))
        .arg(QDateTime::fromMSecsSinceEpoch(f.atMs, Qt::UTC).toString(QStringLiteral("HH:mm:ss.zzz")))
        .arg(f.stored ? QStringLiteral(" stored") : QString());
}

// Every fix handed on belongs to the drive, in order; hardly one is missing.
void checkFixesFollowTheDrive(const QList<GpsFixture::Fix> &fixes, const TestDrive &drive, int played)
{
    QVERIFY2(fixes.size() >= played * 9 / 10, qPrintable(QString::number(fixes.size())));
    qint64 previous = 0;
    for (const GpsFixture::Fix &f : fixes) {
        QVERIFY2(drive.indexAt(f.gpsMs) >= 0, qPrintable(describe(f)));
        QVERIFY2(f.gpsMs >= previous, qPrintable(describe(f)));
        previous = f.gpsMs;
    }
}

// Mode 3: the first fix seeds the anchor; a fix is stored when it lies at
// least distanceM from the last stored point (or the seed).
void checkDistanceRule(const QList<GpsFixture::Fix> &fixes, const TestDrive &drive, int distanceM)
{
    const TestDrive::Epoch *anchor = &drive.epochs().at(drive.indexAt(fixes.first().gpsMs));
    for (const GpsFixture::Fix &f : fixes) {
        const TestDrive::Epoch &e = drive.epochs().at(drive.indexAt(f.gpsMs));
        const double metres = trackingDistanceM(e.latitude, e.longitude, anchor->latitude, anchor->longitude);
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
int checkTimedRule(const QList<GpsFixture::Fix> &fixes, const TestDrive &drive, int intervalSec, int levelKmh)
{
    const qint64 intervalMs = intervalSec * 1000;
    qint64 clock = fixes.first().atMs - intervalMs;
    bool above = false;
    int clear = 0;
    for (int i = 0; i < fixes.size(); ++i) {
        const GpsFixture::Fix &f = fixes.at(i);
        const double kmh = drive.epochs().at(drive.indexAt(f.gpsMs)).kmh;
        const qint64 elapsed = f.atMs - clock;
        const bool due = elapsed >= intervalMs;
        const bool expected = levelKmh < 0 ? due : due && (kmh >= levelKmh || above);
        const bool timeClear = i > 0 && std::llabs(elapsed - intervalMs) > kBoundaryMs;
        const bool speedClear = levelKmh < 0 || std::fabs(kmh - levelKmh) > 0.01;
        if (timeClear && speedClear) {
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
void checkStoredPoints(const GpsFixture &f, const QList<GpsFixture::Fix> &fixes, const TestDrive &drive,
                       qint64 gpsMsUnconnected = -1)
{
    QList<GpsFixture::Fix> stored;
    for (const GpsFixture::Fix &fix : fixes)
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
        QVERIFY2(points < stored.size(), "more track points than stored fixes");
        const GpsFixture::Fix &fix = stored.at(points);
        QVERIFY(i + 2 < calls.size());
        QCOMPARE(calls.at(i).process, pid);
        QCOMPARE(calls.at(i + 1).member, QStringLiteral("getRuntimeTriggerFtpTransfer"));
        QCOMPARE(calls.at(i + 2).member, QStringLiteral("setRuntimeTriggerFtpTransfer"));
        QCOMPARE(calls.at(i + 2).process, pid);
        QCOMPARE(calls.at(i + 2).bytes.toHex(), (points == 0 ? kFirstTrigger : kLaterTrigger).toHex());

        CRecordStatus status;
        const CLogTracking entry(calls.at(i).bytes, &status);
        QVERIFY(status.ok());
        QCOMPARE(entry.iType, 1);
        QCOMPARE(entry.iSubType, 11000);
        const CGpsPoint &p = entry.oGpsPoint;
        QCOMPARE(p.dateTime.toMSecsSinceEpoch(), fix.gpsMs);
        const TestDrive::Epoch &e = drive.epochs().at(drive.indexAt(fix.gpsMs));
        QVERIFY2(TestDrive::metresBetween(p.latitude, p.longitude, e.latitude, e.longitude) < kSamePlaceM,
                 qPrintable(describe(fix)));
        QVERIFY(std::fabs(p.altitude - e.altitude) < 0.001);
        QVERIFY2(std::fabs(p.speed - e.kmh) < 0.01, qPrintable(QString::number(p.speed)));
        QCOMPARE(p.status, fix.gpsMs == gpsMsUnconnected ? 0 : 1);
        QVERIFY(p.satellites > 0);
        ++points;
    }
    QCOMPARE(points, int(stored.size()));
    QCOMPARE(triggers, points);
}

// Replaces /etc/localtime (private to the sandbox) for one case.
class LocalTimeZone
{
public:
    explicit LocalTimeZone(const QString &zone) : m_previous(QFile::symLinkTarget(QLatin1String(kPath)))
    {
        QFile::remove(QLatin1String(kPath));
        QFile::link(QStringLiteral("/usr/share/zoneinfo/") + zone, QLatin1String(kPath));
    }
    ~LocalTimeZone()
    {
        QFile::remove(QLatin1String(kPath));
        if (!m_previous.isEmpty())
            QFile::link(m_previous, QLatin1String(kPath));
    }

private:
    static constexpr const char *kPath = "/etc/localtime";
    QString m_previous;
};
} // namespace

class tst_Gps : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        // gpsd's port, /etc and the GPIO file must be the test's own.
        if (qEnvironmentVariable("VORLAN_SANDBOX") != QLatin1String("1"))
            QSKIP("runs only inside scripts/sandbox-run");
        if (!TestGpsd::isInstalled())
            QSKIP("gpsfake or gpsd is not installed");
    }

    void init() { QFile::remove(QLatin1String(TestDaemon::kGpioFile)); }

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
        // The yard and the junction stop.
        QTest::newRow("by time, every 10 s") << 2 << 10 << 1000 << 10 << 62 << 107 << 4;
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
        GpsFixture f;
        QVERIFY2(f.startSystem({{QStringLiteral("setSetupGpsTracking"),
                                 GpsFixture::trackingSetup(status, interval, distance, level)}}),
                 qPrintable(f.error));
        QVERIFY2(f.play(drive, kTrackingEpochSec), qPrintable(f.error));
        const int driveMs = int(drive.epochs().size() * kTrackingEpochSec * 1000);
        QVERIFY(f.waitForFix(drive.epochs().last().utcMs, driveMs + kDrainMs));

        // expected: the stored points are exactly those the rule picks from the fixes handed on
        const QList<GpsFixture::Fix> fixes = f.fixes();
        checkFixesFollowTheDrive(fixes, drive, int(drive.epochs().size()));
        if (QTest::currentTestFailed())
            return;
        if (status == 3) {
            checkDistanceRule(fixes, drive, distance);
        } else {
            const int clear = checkTimedRule(fixes, drive, interval, status == 4 ? level : -1);
            qInfo("%d of %d decisions clear of the interval boundary", clear, int(fixes.size()));
            QVERIFY2(clear >= fixes.size() * 3 / 4, qPrintable(QString::number(clear)));
        }
        if (QTest::currentTestFailed())
            return;
        checkStoredPoints(f, fixes, drive);
        if (QTest::currentTestFailed())
            return;
        QVERIFY2(f.trackPoints().size() >= minPoints, qPrintable(QString::number(f.trackPoints().size())));
        QVERIFY(f.daemon.isRunning());
        qInfo("%d epochs played, %d fixes handed on, %d track points", int(drive.epochs().size()),
              int(fixes.size()), int(f.trackPoints().size()));
    }

    void receiverLostAndBack()
    {
        // situation: tracking every 10 s; the receiver pauses, loses its fix for
        // 17 s, has it back; then gpsd dies and comes back a few seconds later
        constexpr int kFirst = 95;
        constexpr int kNoFixFrom = 107; // round seconds
        constexpr int kNoFixFor = 17;
        TestDrive drive;
        QVERIFY2(
            drive.generate(kDelivery + QStringList{QStringLiteral("--nofix"),
                                                   QStringLiteral("%1:%2").arg(kNoFixFrom).arg(kNoFixFor)},
                           kFirst, 165),
            qPrintable(drive.error()));
        const auto epochMs = [&](int roundSecond) { return drive.epochs().at(roundSecond - kFirst).utcMs; };
        GpsFixture f;
        QVERIFY2(f.startSystem(
                     {{QStringLiteral("setSetupGpsTracking"), GpsFixture::trackingSetup(2, 10, 1000, 10)}}),
                 qPrintable(f.error));
        QVERIFY2(f.play(drive, kTrackingEpochSec, 0, 150 - kFirst), qPrintable(f.error));

        // the receiver goes quiet for 4.5 s while gpsd stays up
        QVERIFY(f.waitForFix(epochMs(101), 20000));
        QVERIFY(f.gpsd.pauseFeed());
        const qint64 pausedAt = QDateTime::currentMSecsSinceEpoch();
        QTest::qWait(4500);
        QVERIFY(f.gpsd.resumeFeed());

        // after the fix is back for a while, gpsd is killed
        QVERIFY(f.waitForFix(epochMs(kNoFixFrom + kNoFixFor + 9), 40000));
        const int opensBefore = f.daemon.countLog(QStringLiteral("open gpsd communication"));
        QVERIFY(f.gpsd.killGpsd());
        QVERIFY(f.daemon.waitForLog(QStringLiteral("open gpsd communication"), 4000, opensBefore + 4));
        QVERIFY2(f.play(drive, kTrackingEpochSec, 153 - kFirst, 165 - kFirst), qPrintable(f.error));
        QVERIFY(f.waitForFix(epochMs(164), 30000));
        QVERIFY(f.daemon.isRunning());
        // gpsd stays up until the fixture ends, so nothing below comes from the end of the test

        const QList<GpsFixture::Line> log = f.log();
        const QList<GpsFixture::Fix> fixes = f.fixes();
        const QList<GpsFixture::Published> published = f.published();

        // expected, quiet receiver: empty polls counted at the 1 s pace, nothing declared lost
        QStringList retries;
        qint64 previousRetry = -1;
        for (const GpsFixture::Line &l : log) {
            if (l.atMs < pausedAt || l.atMs > pausedAt + 4500 ||
                !l.message.contains(QLatin1String("Line:  621 :")))
                continue;
            retries << l.message;
            if (previousRetry > 0)
                QVERIFY2(l.atMs - previousRetry >= 1000 && l.atMs - previousRetry <= 1300,
                         qPrintable(QString::number(l.atMs - previousRetry)));
            previousRetry = l.atMs;
        }
        QVERIFY2(retries.size() >= 3, qPrintable(retries.join(QLatin1Char('\n'))));
        for (int i = 0; i < retries.size(); ++i)
            QCOMPARE(retries.at(i),
                     QStringLiteral("W File: cgpsprog Line:  621 :  iRetryCount  %1 ").arg(i + 1));

        // expected, no fix: after 10 s without a position, one warning, a zeroed
        // point published (status 0, hdop and track kept), one GPS_NoData
        const QString noView =
            QStringLiteral("W File: cgpsprog Line:  709 :  Send / store last valid GPS data after "
                           "timeout for valid GPS data (No view to sat's). Only PACKET_SET was set ");
        QCOMPARE(f.daemon.countLog(noView), 1);
        const qint64 noViewAt = logTime(log, noView);
        qint64 lastFixBefore = 0;
        for (const GpsFixture::Fix &fix : fixes)
            if (fix.gpsMs < epochMs(kNoFixFrom))
                lastFixBefore = fix.atMs;
        QVERIFY2(noViewAt - lastFixBefore > 10000 && noViewAt - lastFixBefore < 12600,
                 qPrintable(QString::number(noViewAt - lastFixBefore)));
        const auto firstPublishedAfter = [&](qint64 atMs) {
            for (const GpsFixture::Published &p : published)
                if (p.atMs >= atMs)
                    return p;
            return GpsFixture::Published();
        };
        const GpsFixture::Published fallback = firstPublishedAfter(noViewAt);
        QCOMPARE(fallback.bytes.size(), CGpsPoint::kStreamSize);
        QCOMPARE(fallback.bytes.mid(kPointLat, 24).toHex(), QByteArray(24, '\0').toHex()); // lat, lon, alt
        QCOMPARE(fallback.bytes.mid(kPointStatus, 4).toHex(), QByteArray("00000000"));
        QCOMPARE(fallback.bytes.mid(kPointSatellites, 4).toHex(), QByteArray("00000000"));
        QCOMPARE(fallback.bytes.mid(kPointSpeed, 8).toHex(), QByteArray(8, '\0').toHex());
        QVERIFY(fallback.point.hdop > 0.0);
        QVERIFY(std::fabs(fallback.point.track - drive.epochs().at(kNoFixFrom - 1 - kFirst).course) < 0.001);
        // back: fixes flow again without a new GPS_ValidData; the connection state
        // returns to 1 only after the first of them has been published
        int afterNoFix = 0;
        for (const GpsFixture::Published &p : published)
            if (p.atMs > fallback.atMs && p.atMs < logTime(log, QStringLiteral("Read error")))
                QCOMPARE(p.point.status, afterNoFix++ == 0 ? 0 : 1);
        QVERIFY(afterNoFix >= 5);

        // expected, gpsd killed: one read error, GPS_NoData, a point of zeros
        const QString readError = QStringLiteral("W File: cgpsprog Line:  659 :  Read error  -1 ");
        QCOMPARE(f.daemon.countLog(readError), 1);
        const qint64 readErrorAt = logTime(log, readError);
        const GpsFixture::Published empty = firstPublishedAfter(readErrorAt);
        QCOMPARE(empty.bytes.mid(0, kPointDateTime).toHex(), QByteArray("00000100"));
        QCOMPARE(empty.bytes.mid(kPointLat).toHex(), QByteArray(60, '\0').toHex());
        // reopened every 500 ms (Qt's coarse timers: within 5 %), the first time
        // after the 1 s of a failed poll
        QList<qint64> opens;
        for (const GpsFixture::Line &l : log)
            if (l.atMs > readErrorAt &&
                l.message.startsWith(QLatin1String("W File: cgpsprog Line:  338 :  error  -1   "
                                                   "open gpsd communication:  ")))
                opens << l.atMs;
        QVERIFY(opens.size() >= 4);
        QVERIFY2(opens.first() - readErrorAt >= 950 && opens.first() - readErrorAt <= 1400,
                 qPrintable(QString::number(opens.first() - readErrorAt)));
        for (int i = 1; i < opens.size(); ++i)
            QVERIFY2(opens.at(i) - opens.at(i - 1) >= 450 && opens.at(i) - opens.at(i - 1) <= 650,
                     qPrintable(QString::number(opens.at(i) - opens.at(i - 1))));
        // back: connected, GPS_ValidData, and tracking goes on
        QCOMPARE(f.daemon.countLog(QStringLiteral("D File: cgpsprog Line:  739 :  GPS is connected ")), 2);
        QCOMPARE(f.gpsEvents(), (QList<qint32>{kGpsValidData, kGpsNoData, kGpsNoData, kGpsValidData}));
        int storedAfter = 0;
        for (const GpsFixture::Fix &fix : fixes)
            storedAfter += fix.stored && fix.atMs > opens.last() ? 1 : 0;
        QVERIFY(storedAfter >= 1);

        // expected, all along: tracking by time held through pause, loss and reconnect
        checkTimedRule(fixes, drive, 10, -1);
        if (QTest::currentTestFailed())
            return;
        // The first fix after the loss is more than 10 s after the last point:
        // stored, with the connection state it had then.
        const GpsFixture::Fix *back = nullptr;
        for (const GpsFixture::Fix &fix : fixes)
            if (!back && fix.gpsMs > epochMs(kNoFixFrom))
                back = &fix;
        QVERIFY(back && back->stored);
        checkStoredPoints(f, fixes, drive, back->gpsMs);
    }

    void timeCheckAndZone()
    {
        // situation: the daemon's zone is Europe/Berlin (no TZ variable), the
        // general setup names America/New_York, time sync is on. The receiver
        // runs some 8.5 s ahead of the system clock, then jumps 3 s further;
        // later another process switches time sync off.
        const QTimeZone berlin("Europe/Berlin");
        const QTimeZone newYork("America/New_York");
        QVERIFY(berlin.isValid() && newYork.isValid());
        LocalTimeZone localTime(QStringLiteral("Europe/Berlin"));
        GpsFixture f;
        f.daemonZone = berlin;
        f.daemonEnvironment.remove(QStringLiteral("TZ"));
        CSetupGeneralNonWM general;
        general.setTimeZone(QStringLiteral("America/New_York"));
        general.setDaylightSaving(true);
        QVERIFY2(f.startSystem(
                     {{QStringLiteral("setSetupGeneralNonWM"), general.serialize()},
                      {QStringLiteral("setSetupGps"), GpsFixture::gpsSetup(1, true)},
                      {QStringLiteral("setSetupGpsTracking"), GpsFixture::trackingSetup(0, 10, 1000, 10)}}),
                 qPrintable(f.error));

        // gpsfake and gpsd start and the daemon connects before the first fix:
        // about 2 s. Without VTG an epoch is 8 gpsd messages, which the daemon
        // reads in 0.9 s, so it stays close behind a real-time replay.
        constexpr qint64 kLeadMs = 1500;
        constexpr qint64 kAheadMs = 8500;
        const qint64 startSec = (QDateTime::currentMSecsSinceEpoch() + kLeadMs + kAheadMs + 999) / 1000;
        const auto startArg = [](qint64 sec) {
            return QStringList{QStringLiteral("--sentences"), QStringLiteral("RMC,GGA,GSA,GSV"),
                               QStringLiteral("--start"),
                               QDateTime::fromSecsSinceEpoch(sec, Qt::UTC).toString(Qt::ISODate)};
        };
        TestDrive ahead;
        TestDrive further;
        QVERIFY2(ahead.generate(kDelivery + startArg(startSec), 0, 12), qPrintable(ahead.error()));
        QVERIFY2(further.generate(kDelivery + startArg(startSec + 3), 12, 32), qPrintable(further.error()));
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("jump.nmea"));
        QVERIFY(ahead.write(file) && further.write(file, 0, -1, true));
        // The receiver's first epoch is a whole second: start the replay so that it is kAheadMs ahead.
        QTest::qWait(int(startSec * 1000 - kLeadMs - kAheadMs - QDateTime::currentMSecsSinceEpoch()));
        QVERIFY2(f.playFile(file, ahead.cycleFor(kRealTimeEpochSec)), qPrintable(f.error));
        QVERIFY(f.waitForFix(further.epochs().at(5).utcMs, 30000));
        QVERIFY(f.storeSetup(QStringLiteral("setSetupGps"), GpsFixture::gpsSetup(0, true)));
        QVERIFY(f.daemon.waitForLog(QStringLiteral("Line:  1462 : Gps is enabled => Start Gps timer"), 3000));
        QVERIFY(f.waitForFix(further.epochs().last().utcMs, 30000));

        const QList<GpsFixture::Line> log = f.log();
        const QList<GpsFixture::Fix> fixes = f.fixes();
        const qint64 switchedOffAt = logTime(log, QStringLiteral("Line:  1462 : Gps is enabled"));
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
        int quietAhead = 0;
        int raised = 0;
        int quietOff = 0;
        QSet<QByteArray> explained;
        for (const GpsFixture::Fix &fix : fixes) {
            const qint64 aheadMs = fix.gpsMs - fix.atMs;
            const QByteArray payload = localDateTimeBytes(fix.gpsMs, berlin);
            explained.insert(payload);
            if (std::llabs(aheadMs - 10000) < 150 || std::llabs(fix.atMs - switchedOffAt) < 300)
                continue; // too close to call
            const bool on = fix.atMs < switchedOffAt;
            QVERIFY2(requested.contains(payload) == (on && aheadMs > 10000),
                     qPrintable(describe(fix) + QStringLiteral(", %1 ms ahead").arg(aheadMs)));
            quietAhead += on && aheadMs < 10000 ? 1 : 0;
            raised += on && aheadMs > 10000 ? 1 : 0;
            quietOff += !on && aheadMs > 10000 ? 1 : 0;
        }
        for (const QByteArray &payload : qAsConst(requested))
            QVERIFY2(explained.contains(payload), payload.toHex().constData());
        QStringList aheads;
        for (const GpsFixture::Fix &fix : fixes)
            aheads << QString::number(fix.gpsMs - fix.atMs);
        qInfo("receiver ahead of the daemon's clock (ms): %s", qPrintable(aheads.join(QLatin1Char(' '))));
        QVERIFY2(quietAhead >= 3 && raised >= 3 && quietOff >= 3,
                 qPrintable(QStringLiteral("%1 %2 %3").arg(quietAhead).arg(raised).arg(quietOff)));
        const QRegularExpression warning(QStringLiteral("^W File: cgpsprog Line:  451 :  Difference between "
                                                        "gps time and local time is  (\\d+)  sec\\.  $"));
        int warnings = 0;
        for (const GpsFixture::Line &l : log) {
            const QRegularExpressionMatch m = warning.match(l.message);
            if (!l.message.contains(QLatin1String("Line:  451 :")))
                continue;
            QVERIFY2(m.hasMatch() && m.captured(1).toInt() >= 11 && m.captured(1).toInt() <= 15,
                     qPrintable(l.message));
            ++warnings;
        }
        QCOMPARE(warnings, int(syncs.size()));

        // expected: published points carry the local time of the fix and the
        // offset of the New York wall clock read as local time; the daemon's
        // own zone is intact after every conversion
        int checked = 0;
        for (const GpsFixture::Published &p : f.published()) {
            for (const GpsFixture::Fix &fix : fixes) {
                if (p.bytes.mid(kPointDateTime, 9) != localDateTimeBytes(fix.gpsMs, berlin))
                    continue;
                const QDateTime at = QDateTime::fromMSecsSinceEpoch(fix.gpsMs, Qt::UTC);
                const qint64 zoneShiftMs =
                    qint64(newYork.offsetFromUtc(at) - berlin.offsetFromUtc(at)) * 1000;
                const double expectedSec = double(fix.gpsMs - fix.atMs + zoneShiftMs) / 1000.0;
                QVERIFY2(std::fabs(p.point.timeOffset - expectedSec) <= 1.5,
                         qPrintable(QStringLiteral("%1 vs %2").arg(p.point.timeOffset).arg(expectedSec)));
                ++checked;
                break;
            }
        }
        QVERIFY2(checked >= 10, qPrintable(QString::number(checked)));
        // every fix's time, logged as a local date-time, is the receiver's
        // time in the daemon's own zone again after each conversion
        for (const GpsFixture::Fix &fix : fixes)
            QVERIFY2(ahead.indexAt(fix.gpsMs) >= 0 || further.indexAt(fix.gpsMs) >= 0,
                     qPrintable(describe(fix)));
    }

    void switchedOffAndOnByAnotherProcess()
    {
        // situation: while the truck drives, another process switches GPS off for 6 s
        TestDrive drive;
        QVERIFY2(drive.generate(kDelivery, 100, 136), qPrintable(drive.error()));
        GpsFixture f;
        QVERIFY2(f.startSystem(
                     {{QStringLiteral("setSetupGpsTracking"), GpsFixture::trackingSetup(0, 10, 1000, 10)}}),
                 qPrintable(f.error));
        QVERIFY2(f.play(drive, kTrackingEpochSec), qPrintable(f.error));
        QVERIFY(f.waitForFix(drive.epochs().at(8).utcMs, 20000));
        QVERIFY(f.storeSetup(QStringLiteral("setSetupGps"), GpsFixture::gpsSetup(0, false)));
        QVERIFY(
            f.daemon.waitForLog(QStringLiteral("W File: cgpsprog Line:  1467 :  Gps is disabled "), 3000));
        QCOMPARE(TestDaemon::readFile(QLatin1String(TestDaemon::kGpioFile)), QStringLiteral("0"));
        QTest::qWait(6000);
        QVERIFY(f.storeSetup(QStringLiteral("setSetupGps"), GpsFixture::gpsSetup(0, true)));
        QVERIFY(f.daemon.waitForLog(
            QStringLiteral("D File: cgpsprog Line:  1462 : Gps is enabled => Start Gps timer "), 3000));
        QCOMPARE(TestDaemon::readFile(QLatin1String(TestDaemon::kGpioFile)), QStringLiteral("1"));
        QVERIFY(f.waitForFix(drive.epochs().last().utcMs, 40000 + kDrainMs));

        const QList<GpsFixture::Line> log = f.log();
        const QList<GpsFixture::Fix> fixes = f.fixes();
        const qint64 offAt = logTime(log, QStringLiteral("Line:  1467 :  Gps is disabled"));
        const qint64 onAt = logTime(log, QStringLiteral("Line:  1462 : Gps is enabled"));
        QCOMPARE(f.daemon.countLog(QStringLiteral("W File: cgpsprog Line:  406 :  set gpio27 = 0 ")), 1);
        QCOMPARE(f.daemon.countLog(QStringLiteral("W File: cgpsprog Line:  401 :  set gpio27 = 1 ")), 2);
        QCOMPARE(f.gpsEvents(), (QList<qint32>{kGpsValidData, kGpsDisabled, kGpsEnabled}));

        // expected: nothing handed on or published while off
        QCOMPARE(countBetween(fixes, offAt, onAt), 0);
        for (const GpsFixture::Published &p : f.published())
            QVERIFY2(p.atMs < offAt + 300 || p.atMs > onAt, qPrintable(QString::number(p.atMs - offAt)));
        // expected: polling resumes on the open connection: the next epoch follows at once
        const GpsFixture::Fix *before = nullptr;
        const GpsFixture::Fix *after = nullptr;
        for (const GpsFixture::Fix &fix : fixes) {
            if (fix.atMs < offAt)
                before = &fix;
            else if (!after && fix.atMs > onAt)
                after = &fix;
        }
        QVERIFY(before && after);
        QVERIFY2(after->atMs - onAt < 1500, qPrintable(QString::number(after->atMs - onAt)));
        QCOMPARE(after->gpsMs, before->gpsMs + 1000);
        QCOMPARE(f.daemon.countLog(QStringLiteral("GPS is connected")), 1);
        QCOMPARE(countLines(log, QStringLiteral("open gpsd communication"),
                            logTime(log, QStringLiteral("GPS is connected"))),
                 0);
        checkFixesFollowTheDrive(fixes, drive, int(drive.epochs().size()));
    }
};

// QtTest's watchdog ends a run after five minutes in all; the drives take longer.
int main(int argc, char *argv[])
{
    if (!qEnvironmentVariableIsSet("QTEST_FUNCTION_TIMEOUT"))
        qputenv("QTEST_FUNCTION_TIMEOUT", "720000");
    QCoreApplication app(argc, argv);
    tst_Gps test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_gps.moc"
