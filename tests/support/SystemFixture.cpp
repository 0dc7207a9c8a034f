#include "SystemFixture.h"

#include "CStoreDatabase.h"

#include <QCoreApplication>
#include <QDBusInterface>
#include <QDBusReply>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QFile>
#include <QLocale>

#include <algorithm>

namespace
{
constexpr int kPollMs = 20;

// "... QDateTime("Mon Mar 2 06:00:01 2026") ": the receiver time of a fix.
qint64 loggedDateTime(const QString &message, const QTimeZone &zone)
{
    const int open = message.indexOf(QLatin1String("QDateTime(\""));
    const int close = message.indexOf(QLatin1String("\")"), open);
    QDateTime at = QLocale::c().toDateTime(message.mid(open + 11, close - open - 11),
                                           QStringLiteral("ddd MMM d HH:mm:ss yyyy"));
    if (open < 0 || close < 0 || !at.isValid())
        return -1;
    at.setTimeZone(zone);
    return at.toMSecsSinceEpoch();
}
} // namespace

SystemFixture::SystemFixture(TestBus::Listen listen, quint16 tcpPort) : bus(listen, tcpPort)
{
    QFile::remove(QLatin1String(TestDaemon::kGpioFile)); // a status line is the daemon's to write
}

const char *SystemFixture::unavailable()
{
    // gpsd's port, /etc and the GPIO file must be the test's own.
    if (qEnvironmentVariable("VORLAN_SANDBOX") != QLatin1String("1"))
        return "runs only inside scripts/sandbox-run";
    return TestGpsd::isInstalled() ? nullptr : "gpsfake or gpsd is not installed";
}

bool SystemFixture::startBus()
{
    if (!bus.start()) {
        error = bus.error();
        return false;
    }
    peer.reset(); // a new bus: the old connection's name must be free first
    peer.reset(new BusPeer(bus.unixAddress()));
    return peer->isConnected();
}

bool SystemFixture::startStore(const QStringList &extraArguments)
{
    store.reset(new TestStore(bus.unixAddress()));
    const QStringList where = storeDatabase.isEmpty() ? QStringList{QStringLiteral("--memory")}
                                                      : QStringList{QStringLiteral("--db"), storeDatabase};
    if (store->start(QStringList{QStringLiteral("--call-log"), callLogPath()} + where + extraArguments))
        return true;
    error = store->error();
    return false;
}

bool SystemFixture::startDaemon(const QString &settings, const QString &busAddress)
{
    TestDaemon::writeSettings(QStringLiteral("[DEBUG_MESSAGES]\nLog_Level=0\nLogfile_Size=50000000\n") +
                              settings);
    QFile::remove(QLatin1String(TestDaemon::kLogFile));
    auto env = daemonEnvironment;
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
               busAddress.isEmpty() ? bus.unixAddress() : busAddress);
    if (daemon.start(env))
        return true;
    error = QStringLiteral("daemon did not start");
    return false;
}

bool SystemFixture::requestStart(int timeoutMs)
{
    if (!daemon.waitForLog(QStringLiteral("Connected to"), timeoutMs))
        return false;
    // The daemon logs its connection before it subscribes to the start
    // signal, so a start sent at once can go unheard; a repeated one is
    // ignored once the daemon has started.
    QDeadlineTimer deadline(timeoutMs);
    do {
        peer->emitSignal(QStringLiteral("sigProcessStart"), {peer->pid(), int(daemon.pid())});
        if (daemon.waitForLog(QStringLiteral("signal 'SetSystemReady' received"), 1000))
            return true;
    } while (!deadline.hasExpired());
    return false;
}

bool SystemFixture::startSequence(int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    // The tracking configuration is the last step of the start sequence: a
    // stored record is fetched, a missing one is stored (or fails to be).
    const auto ended = [this] {
        return daemon.countLog(QStringLiteral("'setSetupGpsTracking' successfull'")) > 0 ||
               daemon.countLog(QStringLiteral("Line:  1231 :")) > 0 ||
               members().contains(QStringLiteral("getSetupGpsTracking"));
    };
    return requestStart(timeoutMs) && TestDaemon::poll(ended, int(deadline.remainingTime()), 25);
}

bool SystemFixture::startSystem(const QList<QPair<QString, QByteArray>> &setupRecords)
{
    if (!startBus() || !startStore())
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

bool SystemFixture::storeSetup(const QString &setMember, const QByteArray &record, int process)
{
    QDBusInterface setup(QStringLiteral("com.Brask.Vorlan"), QStringLiteral("/SetupData"),
                         QStringLiteral("com.Brask.Vorlan.Setup"), peer->bus());
    const QDBusReply<int> reply = setup.call(setMember, process ? process : peer->pid(), record);
    return reply.isValid() && reply.value() == 1;
}

bool SystemFixture::storeRaw(const QString &name, const QByteArray &bytes)
{
    if (storeDatabase.isEmpty())
        storeDatabase = m_dir.filePath(QStringLiteral("store.sqlite"));
    // The store's own database layer, without the store's checks of the bytes.
    CStoreDatabase db;
    return db.open(storeDatabase) && db.putRecord(name, 0, bytes);
}

QList<SystemFixture::Call> SystemFixture::calls() const
{
    QList<Call> out;
    QFile file(callLogPath());
    if (!file.open(QIODevice::ReadOnly))
        return out;
    const QList<QByteArray> lines = file.readAll().split('\n');
    for (const QByteArray &line : lines) {
        const QList<QByteArray> f = line.split(' ');
        if (f.size() < 6)
            continue;
        const qint64 atMs =
            QDateTime::fromString(QString::fromLatin1(f.at(1)), Qt::ISODateWithMs).toMSecsSinceEpoch();
        out.append({atMs, QString::fromLatin1(f.at(2)), QString::fromLatin1(f.at(3)),
                    QString::fromLatin1(f.at(4)),
                    f.at(5) == "-" ? QByteArray() : QByteArray::fromHex(f.at(5))});
    }
    return out;
}

QStringList SystemFixture::members() const
{
    QStringList out;
    for (const Call &c : calls())
        out << c.member;
    return out;
}

bool SystemFixture::answersNameRequest(int timeoutMs)
{
    const int before = peer->seen(QStringLiteral("sigSendName")).size();
    peer->emitSignal(QStringLiteral("sigGetName"), {peer->pid(), int(daemon.pid())});
    return peer->waitFor(QStringLiteral("sigSendName"), before + 1, timeoutMs);
}

bool SystemFixture::play(const TestDrive &drive, double epochSec, int from, int to)
{
    static int files = 0;
    const QString path = m_dir.filePath(QStringLiteral("drive%1.nmea").arg(++files));
    if (drive.write(path, from, to))
        return playFile(path, drive.cycleFor(epochSec));
    error = QStringLiteral("cannot write ") + path;
    return false;
}

bool SystemFixture::playRealTime(const TestDrive &drive, int seconds)
{
    int sentences = 0;
    for (const TestDrive::Epoch &e : drive.epochs())
        sentences += int(e.sentences.size());
    // play() spreads an epoch's time over the sentences of the first one
    return play(drive, double(seconds) / sentences * drive.sentencesPerEpoch());
}

bool SystemFixture::playFile(const QString &file, double cycleSec)
{
    if (gpsd.start(file, cycleSec))
        return true;
    error = gpsd.error();
    return false;
}

bool SystemFixture::waitUntil(const std::function<bool()> &done, int timeoutMs)
{
    // The event loop runs between the checks, so the peer records signals.
    return TestDaemon::poll(
        [&] {
            QCoreApplication::processEvents(QEventLoop::AllEvents, kPollMs);
            return done();
        },
        timeoutMs, kPollMs);
}

bool SystemFixture::waitForFix(qint64 gpsMs, int timeoutMs)
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

QList<SystemFixture::Line> SystemFixture::log() const
{
    QList<Line> out;
    for (const QString &l : TestDaemon::logLines())
        out.append({TestDaemon::timeOf(l), TestDaemon::messageOf(l)});
    return out;
}

QList<qint64> SystemFixture::timesOf(const QList<Line> &log, const QString &text, qint64 fromMs, qint64 toMs)
{
    QList<qint64> out;
    for (const Line &l : log)
        if (l.atMs >= fromMs && l.atMs <= toMs && l.message.contains(text))
            out << l.atMs;
    return out;
}

QList<SystemFixture::Fix> SystemFixture::fixes() const
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

QList<SystemFixture::Published> SystemFixture::published() const
{
    QList<Published> out;
    for (const auto &s : peer->seen(QStringLiteral("sigActualGpsData"))) {
        const QByteArray bytes = s.arguments.value(1).toByteArray();
        out.append({s.wallMs, bytes, CGpsPoint(bytes)});
    }
    return out;
}

SystemFixture::Published SystemFixture::publishedAfter(qint64 atMs) const
{
    for (const Published &p : published())
        if (p.atMs >= atMs)
            return p;
    return Published();
}

QList<CLogTracking> SystemFixture::trackPoints() const
{
    QList<CLogTracking> out;
    for (const Call &c : calls())
        if (c.member == QLatin1String("setLogbookDataTracking"))
            out.append(CLogTracking(c.bytes));
    return out;
}

QList<qint32> SystemFixture::gpsEvents() const
{
    QList<qint32> out;
    for (const Call &c : calls())
        if (c.member == QLatin1String("setLogbookGPS"))
            out << CLogBase::peekSubType(c.bytes);
    return out;
}

qint64 SystemFixture::longestBeatGapMs() const
{
    const auto beats = peer->seen(QStringLiteral("sigTrigger"));
    qint64 longest = -1;
    for (int i = 1; i < beats.size(); ++i)
        longest = std::max(longest, beats.at(i).atMs - beats.at(i - 1).atMs);
    return longest;
}
