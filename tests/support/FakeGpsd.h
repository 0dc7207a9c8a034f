#ifndef FAKEGPSD_H
#define FAKEGPSD_H

#include <QList>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <functional>

// gpsd as the test plays it, on gpsd's port: greets each client with a
// VERSION line and then sends it whatever the test gives, reports or
// garbage. Runs on the test's event loop.
class FakeGpsd : public QObject
{
public:
    static constexpr quint16 kPort = 2947;

    FakeGpsd();
    bool listen() { return m_server.listen(QHostAddress::LocalHost, kPort); }
    // Drops every client and stops listening.
    void close();
    // Sends to every client connected now.
    void send(const QByteArray &bytes);
    // Sends next(n), n = 0, 1, ..., every periodMs until stop().
    void play(const std::function<QByteArray(int)> &next, int periodMs);
    void stop() { m_timer.stop(); }
    int connections() const { return m_connections; }

    // TPV and SKY lines of one complete 3D fix taken at utcMs.
    static QByteArray fix(qint64 utcMs, double latitude, double longitude = 11.5);
    // For play(): fixes one receiver second apart from firstMs on, moving north.
    static std::function<QByteArray(int)> fixesFrom(qint64 firstMs)
    {
        return [firstMs](int n) { return fix(firstMs + n * 1000, 48.1 + n * 0.0001); };
    }

private:
    QTcpServer m_server;
    QList<QPointer<QTcpSocket>> m_clients;
    QTimer m_timer;
    std::function<QByteArray(int)> m_next;
    int m_played = 0;
    int m_connections = 0;
};

#endif // FAKEGPSD_H
