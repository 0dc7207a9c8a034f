#ifndef FAKEGPSD_H
#define FAKEGPSD_H

#include "TestGpsd.h"

#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <functional>

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

#endif // FAKEGPSD_H
