#ifndef TESTGPSD_H
#define TESTGPSD_H

#include <QProcess>
#include <QTemporaryDir>
#include <sys/types.h>

// A real gpsd in front of the daemon, on gpsd's own port 2947 of the test's
// network namespace (the daemon always connects there), fed by gpsfake from a
// log file. gpsfake starts feeding when the first client asks gpsd to watch.
// Stopped by the destructor.
class TestGpsd
{
public:
    static constexpr quint16 kPort = 2947;

    TestGpsd() = default;
    ~TestGpsd() { stop(); }
    TestGpsd(const TestGpsd &) = delete;
    TestGpsd &operator=(const TestGpsd &) = delete;

    static bool isInstalled();
    // Whether something accepts TCP connections on 127.0.0.1:port now.
    static bool portAccepts(quint16 port);

    // gpsfake -1 -q -c cycleSec -P 2947 file; returns once gpsd accepts
    // connections (bounded), retrying when gpsfake gives up during start-up.
    bool start(const QString &file, double cycleSec);
    // Ends gpsfake and its gpsd; safe to call twice.
    void stop();
    // SIGKILL for gpsd alone, as when it crashes; gpsfake follows on its own.
    bool killGpsd();
    // SIGKILL for gpsfake alone: gpsd stays up, its receiver gone for good.
    bool killFeed();

    bool isRunning() const { return m_process.state() == QProcess::Running; }
    QString error() const { return m_error; }

private:
    bool startOnce(const QString &file, double cycleSec);
    void reapGpsd();

    QTemporaryDir m_dir; // gpsfake's control socket
    QProcess m_process;
    pid_t m_gpsd = -1;
    QString m_error;
};

#endif // TESTGPSD_H
