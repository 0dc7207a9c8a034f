#include "GpsFixture.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QLocale>
#include <QThread>

#include <algorithm>

namespace
{
constexpr int kPollMs = 20;

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

const char *GpsFixture::unavailable()
{
    // gpsd's port, /etc and the GPIO file must be the test's own.
    if (qEnvironmentVariable("VORLAN_SANDBOX") != QLatin1String("1"))
        return "runs only inside scripts/sandbox-run";
    return TestGpsd::isInstalled() ? nullptr : "gpsfake or gpsd is not installed";
}

bool GpsFixture::startSystem(const QList<QPair<QString, QByteArray>> &setupRecords)
{
    if (!TestGpsd::isInstalled())
        error = QStringLiteral("gpsfake or gpsd is not installed");
    if (!error.isEmpty() || !startBus() || !startStore())
        return false;
    for (const auto &record : setupRecords)
        if (!storeSetup(record.first, record.second))
            error = QStringLiteral("store refused ") + record.first;
    if (!error.isEmpty() || !startDaemon())
        return false;
    if (startSequence())
        return true;
    error = QStringLiteral("start sequence did not end");
    return false;
}

bool GpsFixture::play(const TestDrive &drive, double epochSec, int from, int to)
{
    static int files = 0;
    const QString path = m_files.filePath(QStringLiteral("drive%1.nmea").arg(++files));
    if (drive.write(path, from, to))
        return playFile(path, drive.cycleFor(epochSec));
    error = QStringLiteral("cannot write ") + path;
    return false;
}

bool GpsFixture::playFile(const QString &file, double cycleSec)
{
    if (gpsd.start(file, cycleSec))
        return true;
    error = gpsd.error();
    return false;
}

bool GpsFixture::waitUntil(const std::function<bool()> &done, int timeoutMs)
{
    for (QDeadlineTimer deadline(timeoutMs); !done(); QThread::msleep(kPollMs)) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, kPollMs);
    }
    return true;
}

bool GpsFixture::waitForFix(qint64 gpsMs, int timeoutMs)
{
    int checked = 0;
    // The log grows by a few kB per second; look at it every 0.5 s.
    return waitUntil(
        [&] {
            const QList<Fix> all = ++checked % 25 == 1 ? fixes() : QList<Fix>();
            return std::any_of(all.cbegin(), all.cend(), [&](const Fix &f) { return f.gpsMs >= gpsMs; });
        },
        timeoutMs);
}

QList<GpsFixture::Line> GpsFixture::log() const
{
    QList<Line> out;
    for (const QString &l : TestDaemon::logLines())
        out.append({TestDaemon::timeOf(l), TestDaemon::messageOf(l)});
    return out;
}

QList<qint64> GpsFixture::timesOf(const QList<Line> &log, const QString &text, qint64 fromMs, qint64 toMs)
{
    QList<qint64> out;
    for (const Line &l : log)
        if (l.atMs >= fromMs && l.atMs <= toMs && l.message.contains(text))
            out << l.atMs;
    return out;
}

QList<GpsFixture::Fix> GpsFixture::fixes() const
{
    QList<Fix> out;
    qint64 gpsMs = -1;
    for (const Line &l : log()) {
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
    for (const auto &s : peer->seen(QStringLiteral("sigActualGpsData"))) {
        const QByteArray bytes = s.arguments.value(1).toByteArray();
        out.append({s.wallMs, bytes, CGpsPoint(bytes)});
    }
    return out;
}

GpsFixture::Published GpsFixture::publishedAfter(qint64 atMs) const
{
    for (const Published &p : published())
        if (p.atMs >= atMs)
            return p;
    return Published();
}

QList<CLogTracking> GpsFixture::trackPoints() const
{
    QList<CLogTracking> out;
    for (const Call &c : calls())
        if (c.member == QLatin1String("setLogbookDataTracking"))
            out.append(CLogTracking(c.bytes));
    return out;
}

QList<qint32> GpsFixture::gpsEvents() const
{
    QList<qint32> out;
    for (const Call &c : calls())
        if (c.member == QLatin1String("setLogbookGPS"))
            out << CLogBase::peekSubType(c.bytes);
    return out;
}
