#ifndef GPSFIXTURE_H
#define GPSFIXTURE_H

#include "RecordBytes.h"
#include "SystemFixture.h"
#include "TestDrive.h"
#include "TestGpsd.h"

#include "logbook/CLogTracking.h"
#include "records/CGpsPoint.h"

#include <QTimeZone>
#include <functional>
#include <limits>

// The system of SystemFixture with a real gpsd in front of the daemon, and
// readings of what the daemon did: the fixes it handed on (from its log),
// the points it published (signals seen by the peer) and what it stored.
class GpsFixture : public SystemFixture
{
public:
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

    // Why the GPS system tests cannot run here, or null when they can.
    static const char *unavailable();

    // Bus, store, the given Setup records (member, bytes) stored by the
    // peer, the daemon and its start sequence. error says what failed.
    bool startSystem(const QList<QPair<QString, QByteArray>> &setupRecords);
    // Plays epochs [from, to) of the drive through gpsd, one epoch per epochSec.
    bool play(const TestDrive &drive, double epochSec, int from = 0, int to = -1);
    bool playFile(const QString &file, double cycleSec);

    // Runs the event loop (so the peer records signals) until done() or the time-out.
    static bool waitUntil(const std::function<bool()> &done, int timeoutMs);
    // Until the daemon has handed on a fix of this receiver time.
    bool waitForFix(qint64 gpsMs, int timeoutMs);

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
    // Subtypes of the GPS logbook events the store received, in order.
    QList<qint32> gpsEvents() const;

    TestGpsd gpsd;
    // The daemon's local zone: the date-times it logs are local.
    QTimeZone daemonZone = QTimeZone::systemTimeZone();

private:
    QTemporaryDir m_files;
};

// main() of a system suite: QtTest's watchdog would end a case after five minutes.
#define VORLAN_SYSTEM_TEST_MAIN(TestClass, timeoutMs)                                                        \
    int main(int argc, char *argv[])                                                                         \
    {                                                                                                        \
        if (!qEnvironmentVariableIsSet("QTEST_FUNCTION_TIMEOUT"))                                            \
            qputenv("QTEST_FUNCTION_TIMEOUT", #timeoutMs);                                                   \
        QCoreApplication app(argc, argv);                                                                    \
        TestClass test;                                                                                      \
        QTEST_SET_MAIN_SOURCE_PATH                                                                           \
        return QTest::qExec(&test, argc, argv);                                                              \
    }

#endif // GPSFIXTURE_H
