#include "GpsFixture.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QLocale>
#include <QThread>

namespace
{
constexpr int kPollMs = 20;

// Version 256 and the reserved block (a 32-byte array) of every record.
QByteArray recordHeader()
{
    return QByteArray::fromHex("00000100"
                               "00000020") +
           QByteArray(32, '\0');
}

QByteArray be32(qint32 value)
{
    QByteArray out(4, '\0');
    for (int i = 0; i < 4; ++i)
        out[i] = char(quint32(value) >> (24 - 8 * i));
    return out;
}

// "... QDateTime("Mon Mar 2 06:00:01 2026") ": the receiver time of a fix.
qint64 loggedDateTime(const QString &message, const QTimeZone &zone)
{
    const int open = message.indexOf(QLatin1String("QDateTime(\""));
    const int close = message.indexOf(QLatin1String("\")"), open);
    if (open < 0 || close < 0)
        return -1;
    const QString text = message.mid(open + 11, close - open - 11);
    QDateTime at = QLocale::c().toDateTime(text, QStringLiteral("ddd MMM d HH:mm:ss yyyy"));
    if (!at.isValid())
        return -1;
    at.setTimeZone(zone);
    return at.toMSecsSinceEpoch();
}
} // namespace

QByteArray GpsFixture::gpsSetup(qint32 timeSync, bool enabled)
{
    return recordHeader() + be32(timeSync) + QByteArray(1, enabled ? '\1' : '\0');
}

QByteArray GpsFixture::trackingSetup(qint32 status, qint32 intervalSec, qint32 distanceM,
                                     qint32 speedLevelKmh)
{
    const qint32 extra = 0;
    return recordHeader() + be32(status) + be32(extra) + be32(intervalSec) + be32(distanceM) +
           be32(speedLevelKmh);
}

bool GpsFixture::startSystem(const QList<QPair<QString, QByteArray>> &setupRecords)
{
    if (!TestGpsd::isInstalled()) {
        error = QStringLiteral("gpsfake or gpsd is not installed");
        return false;
    }
    if (!startBus() || !startStore())
        return false;
    for (const auto &record : setupRecords) {
        if (!storeSetup(record.first, record.second)) {
            error = QStringLiteral("store refused ") + record.first;
            return false;
        }
    }
    if (!startDaemon())
        return false;
    if (!startSequence()) {
        error = QStringLiteral("start sequence did not end");
        return false;
    }
    return true;
}

bool GpsFixture::play(const TestDrive &drive, double epochSec, int from, int to)
{
    static int files = 0;
    const QString path = m_files.filePath(QStringLiteral("drive%1.nmea").arg(++files));
    if (!drive.write(path, from, to)) {
        error = QStringLiteral("cannot write ") + path;
        return false;
    }
    return playFile(path, drive.cycleFor(epochSec));
}

bool GpsFixture::playFile(const QString &file, double cycleSec)
{
    if (!gpsd.start(file, cycleSec)) {
        error = gpsd.error();
        return false;
    }
    return true;
}

bool GpsFixture::waitUntil(const std::function<bool()> &done, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, kPollMs);
        QThread::msleep(kPollMs);
    }
    return true;
}

bool GpsFixture::waitForFix(qint64 gpsMs, int timeoutMs)
{
    int checked = 0;
    return waitUntil(
        [&] {
            // The log grows by a few kB per second; look at it every 0.5 s.
            if (++checked % 25 != 1)
                return false;
            const QList<Fix> all = fixes();
            for (const Fix &f : all)
                if (f.gpsMs >= gpsMs)
                    return true;
            return false;
        },
        timeoutMs);
}

QList<GpsFixture::Line> GpsFixture::log() const
{
    QList<Line> out;
    const QStringList lines = TestDaemon::logLines();
    for (const QString &l : lines)
        out.append({TestDaemon::timeOf(l), TestDaemon::messageOf(l)});
    return out;
}

QList<GpsFixture::Fix> GpsFixture::fixes() const
{
    QList<Fix> out;
    qint64 gpsMs = -1;
    const QList<Line> lines = log();
    for (const Line &l : lines) {
        if (l.message.contains(QLatin1String("Line:  753 :")) ||
            l.message.contains(QLatin1String("Line:  748 :")))
            gpsMs = loggedDateTime(l.message, daemonZone);
        else if (l.message.contains(QLatin1String("Line:  921 :  SaveGPSData eTrackingStatus")))
            out.append({l.atMs, gpsMs, false});
        else if (l.message.contains(QLatin1String("Line:  1102 :  Send GPS data to Logbook")) &&
                 !out.isEmpty())
            out.last().stored = true;
    }
    return out;
}

QList<GpsFixture::Published> GpsFixture::published() const
{
    QList<Published> out;
    const auto seen = peer->seen(QStringLiteral("sigActualGpsData"));
    for (const auto &s : seen) {
        const QByteArray bytes = s.arguments.value(1).toByteArray();
        out.append({s.wallMs, bytes, CGpsPoint(bytes)});
    }
    return out;
}

QList<CLogTracking> GpsFixture::trackPoints() const
{
    QList<CLogTracking> out;
    const QList<Call> all = calls();
    for (const Call &c : all)
        if (c.member == QLatin1String("setLogbookDataTracking"))
            out.append(CLogTracking(c.bytes));
    return out;
}

QList<qint32> GpsFixture::gpsEvents() const
{
    QList<qint32> out;
    const QList<Call> all = calls();
    for (const Call &c : all)
        if (c.member == QLatin1String("setLogbookGPS"))
            out << CLogBase::peekSubType(c.bytes);
    return out;
}
