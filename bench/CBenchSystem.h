#ifndef CBENCHSYSTEM_H
#define CBENCHSYSTEM_H

#include "../tests/support/SystemFixture.h"

#include <QProcess>
#include <QStringList>

class CRotatedLog;

// The system of SystemFixture for measurements: the daemon may run under a
// wrapper (valgrind) and with any settings file, so its start is judged by
// the data service's calls and never by its log lines, which the settings
// may leave out or rotate away.
class CBenchSystem : public SystemFixture
{
public:
    static constexpr int kStartTimeoutMs = 30000;

    CBenchSystem() = default;
    ~CBenchSystem();

    // True inside scripts/sandbox-run, where the daemon's fixed paths are private.
    static bool inSandbox();
    static QString sbinTool(const QString &name);

    // Bus, data service and the given setup records.
    bool startServices(const QList<QPair<QString, QByteArray>> &setupRecords = {});
    // Writes settings (the whole gps.ini), removes old logs and starts the
    // daemon, directly or as the last argument of wrapper (e.g. valgrind ...).
    bool launchDaemon(const QString &settings, const QStringList &wrapper = {},
                      int timeoutMs = kStartTimeoutMs);
    int daemonPid() const { return m_pid; }
    // Sends sigProcessStart until the daemon has asked for its tracking
    // setup, the last step of its start; log, when given, is polled meanwhile.
    bool runStartSequence(int timeoutMs = kStartTimeoutMs, CRotatedLog *log = nullptr);
    // SIGTERM and the exit; status: the exit code, or 128 + signal.
    bool stopDaemon(int timeoutMs, int *status);

    // Until something accepts connections on the loopback port; bounded.
    static bool waitForPort(quint16 port, int timeoutMs);
    // Runs the event loop for ms.
    static void runFor(int ms);

private:
    QProcess m_wrapped; // the wrapper process of a wrapped start
    int m_pid = -1;
    bool m_reaped = false;
    bool m_wrappedStart = false;
};

#endif // CBENCHSYSTEM_H
