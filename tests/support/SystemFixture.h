#ifndef SYSTEMFIXTURE_H
#define SYSTEMFIXTURE_H

#include "BusPeer.h"
#include "FakeGpsd.h"
#include "RecordBytes.h"
#include "TestBus.h"
#include "TestDaemon.h"
#include "TestDrive.h"
#include "TestGpsd.h"
#include "TestStore.h"

#include "logbook/CLogTracking.h"
#include "logbook/ELogSubType.h"
#include "records/CGpsPoint.h"

#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QTimeZone>
#include <functional>
#include <limits>
#include <memory>

// The whole system on one private bus: dbus-daemon, the stand-in data
// service, the daemon binary, a peer process played by the test and a real
// gpsd in front of the daemon; and readings of what the daemon did: the fixes
// it handed on (from its log), the points it published (signals seen by the
// peer) and what it stored.
class SystemFixture
{
public:
    struct Call {
        qint64 atMs; // when the store took the call, ms since 1970 UTC
        QString member;
        QString process;
        QString reply;
        QByteArray bytes;
    };
    // One complete fix the daemon handed on to the tracking decision.
    struct Fix {
        qint64 atMs = 0;  // daemon's clock when it decided
        qint64 gpsMs = 0; // receiver time of the fix (whole seconds)
        bool stored = false;
    };
    struct Published {
        qint64 atMs = 0; // when the peer saw the signal, ms since 1970 UTC
        QByteArray bytes;
        CGpsPoint point;
    };
    struct Line {
        qint64 atMs = 0;
        QString message; // "W File: cgpsprog Line: ..."
    };

    explicit SystemFixture(TestBus::Listen listen = TestBus::UnixOnly, quint16 tcpPort = 0);

    // Why the system tests with gpsd cannot run here, or null when they can.
    static const char *unavailable();

    bool startBus();
    bool startStore(const QStringList &extraArguments = {});
    // settings: text of /etc/Vorlan/gps.ini (debug lines are always logged).
    bool startDaemon(const QString &settings = QString(), const QString &busAddress = QString());
    // Sends sigProcessStart to the daemon until it reports the start request.
    bool requestStart(int timeoutMs = 10000);
    // Sends sigProcessStart to the daemon and waits until its start sequence has ended.
    bool startSequence(int timeoutMs = 10000);
    // Bus, store, the given Setup records (member, bytes) stored by the
    // peer, the daemon and its start sequence. error says what failed.
    bool startSystem(const QList<QPair<QString, QByteArray>> &setupRecords = {});
    // Stores a record with a set member of the data service's Setup
    // interface as the peer process (or the given one) would; true on reply code 1.
    bool storeSetup(const QString &setMember, const QByteArray &record, int process = 0);
    // Puts bytes under a record name ("SetupGps", ...) straight into the
    // store's database file, unchecked, before the store starts on it.
    bool storeRaw(const QString &name, const QByteArray &bytes);
    // The daemon's event loop answers a name request (sigGetName) in time.
    bool answersNameRequest(int timeoutMs = 2000);

    // Plays epochs [from, to) of the drive through gpsd, one epoch per epochSec.
    bool play(const TestDrive &drive, double epochSec, int from = 0, int to = -1);
    // Plays the whole drive in real time: its sentences spread evenly over its seconds.
    bool playRealTime(const TestDrive &drive, int seconds);
    bool playFile(const QString &file, double cycleSec);

    // Runs the event loop (so the peer records signals) until done() or the time-out.
    static bool waitUntil(const std::function<bool()> &done, int timeoutMs);
    // Until the daemon has handed on a fix of this receiver time.
    bool waitForFix(qint64 gpsMs, int timeoutMs);

    QList<Call> calls() const;
    QStringList members() const;
    QList<Line> log() const;
    // When lines holding the text (a whole message: that message) were logged in [fromMs, toMs].
    static QList<qint64> timesOf(const QList<Line> &log, const QString &text, qint64 fromMs = 0,
                                 qint64 toMs = std::numeric_limits<qint64>::max());
    QList<Fix> fixes() const;
    QList<Published> published() const;
    // The first point published at or after atMs; empty bytes when none.
    Published publishedAfter(qint64 atMs) const;
    // Track points the store received, in order.
    QList<CLogTracking> trackPoints() const;
    // Subtypes (ELogSubType) of the GPS logbook events the store received, in order.
    QList<qint32> gpsEvents() const;
    // The longest pause between two heartbeats the peer saw; -1 with fewer than two.
    qint64 longestBeatGapMs() const;

    QString callLogPath() const { return m_dir.filePath(QStringLiteral("calls.log")); }
    // The store keeps its data in this file when it is set, else in memory.
    QString storeDatabase;

    TestBus bus;
    std::unique_ptr<TestStore> store;
    TestDaemon daemon;
    std::unique_ptr<BusPeer> peer;
    TestGpsd gpsd;
    QString error;
    // The daemon's environment for startDaemon(); the bus address is added there.
    QProcessEnvironment daemonEnvironment = QProcessEnvironment::systemEnvironment();
    // The daemon's local zone: the date-times it logs are local.
    QTimeZone daemonZone = QTimeZone::systemTimeZone();

private:
    QTemporaryDir m_dir;
};

#endif // SYSTEMFIXTURE_H
