#include "FakeGpsd.h"

#include <QDateTime>

FakeGpsd::FakeGpsd()
{
    connect(&m_server, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket *client = m_server.nextPendingConnection()) {
            ++m_connections;
            // The watch request is read and ignored: everything goes out anyway.
            connect(client, &QTcpSocket::readyRead, client, [client] { client->readAll(); });
            client->write(R"({"class":"VERSION","release":"3.22","rev":"3.22","proto_major":3,)"
                          R"("proto_minor":14})"
                          "\r\n");
            m_clients << client;
        }
    });
    m_timer.setTimerType(Qt::PreciseTimer); // a receiver keeps its pace
    connect(&m_timer, &QTimer::timeout, this, [this] { send(m_next(m_played++)); });
}

void FakeGpsd::close()
{
    stop();
    m_server.close();
    for (const QPointer<QTcpSocket> &client : qAsConst(m_clients))
        if (client)
            client->abort();
    qDeleteAll(m_clients);
    m_clients.clear();
}

void FakeGpsd::send(const QByteArray &bytes)
{
    for (const QPointer<QTcpSocket> &client : qAsConst(m_clients))
        if (client && client->state() == QAbstractSocket::ConnectedState)
            client->write(bytes);
}

void FakeGpsd::play(const std::function<QByteArray(int)> &next, int periodMs)
{
    m_next = next;
    m_played = 0;
    m_timer.start(periodMs);
}

qint64 FakeGpsd::playFixes(int periodMs)
{
    const qint64 firstMs = QDateTime::currentMSecsSinceEpoch() / 1000 * 1000;
    play([firstMs](int n) { return fix(firstMs + n * 1000, 48.1 + n * 0.0001); }, periodMs);
    return firstMs;
}

QByteArray FakeGpsd::fix(qint64 utcMs, double latitude)
{
    const QByteArray time =
        QDateTime::fromMSecsSinceEpoch(utcMs, Qt::UTC).toString(Qt::ISODateWithMs).toLatin1();
    return R"({"class":"TPV","device":"/dev/pts/1","mode":3,"time":")" + time + R"(","lat":)" +
           QByteArray::number(latitude, 'f', 9) +
           R"(,"lon":11.5,"altHAE":570.0,"altMSL":523.0,"alt":523.0,"track":90.0,"speed":8.0,"geoidSep":47.0})"
           "\r\n"
           R"({"class":"SKY","device":"/dev/pts/1","hdop":0.9,"satellites":[)"
           R"({"PRN":5,"el":45.0,"az":30.0,"ss":40.0,"used":true},{"PRN":7,"el":40.0,"az":120.0,"ss":38.0,"used":true},)"
           R"({"PRN":9,"el":35.0,"az":210.0,"ss":35.0,"used":true},{"PRN":11,"el":30.0,"az":300.0,"ss":33.0,"used":true}]})"
           "\r\n";
}
