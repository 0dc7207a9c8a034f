#ifndef TESTGPSD_H
#define TESTGPSD_H

#include <QPointer>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <functional>
#include <sys/types.h>

// gpsd in front of the daemon, real or played, on gpsd's own port 2947 of the
// test's network namespace (the daemon always connects there).

// A real gpsd fed by gpsfake from a log file. gpsfake starts feeding when the
// first client asks gpsd to watch. Stopped by the destructor.
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

// gpsd as the test plays it: greets each client with a VERSION line and then
// sends it whatever the test gives, reports or garbage. Runs on the test's
// event loop.
class FakeGpsd : public QObject
{
public:
    FakeGpsd();
    bool listen() { return m_server.listen(QHostAddress::LocalHost, TestGpsd::kPort); }
    // Drops every client and stops listening.
    void close();
    // Sends to every client connected now.
    void send(const QByteArray &bytes);
    // Sends next(n), n = 0, 1, ..., every periodMs until stop().
    void play(const std::function<QByteArray(int)> &next, int periodMs);
    // Plays fixes one receiver second apart from the current second on, moving
    // north (fix() at 48.1 + n * 0.0001); returns the time of the first.
    qint64 playFixes(int periodMs);
    void stop() { m_timer.stop(); }
    int connections() const { return m_connections; }

    // TPV and SKY lines of one complete 3D fix taken at utcMs.
    static QByteArray fix(qint64 utcMs, double latitude);

private:
    QTcpServer m_server;
    QList<QPointer<QTcpSocket>> m_clients;
    QTimer m_timer;
    std::function<QByteArray(int)> m_next;
    int m_played = 0;
    int m_connections = 0;
};

#endif // TESTGPSD_H
