#include "TestGpsd.h"

#include "TestDaemon.h"

#include <QDateTime>
#include <QFile>
#include <QStandardPaths>

#include <csignal>
#include <sys/wait.h>

namespace
{
constexpr int kStartAttempts = 3;
constexpr int kListenTimeoutMs = 10000;
constexpr int kStopTimeoutMs = 3000;
constexpr int kPollMs = 50;

QString gpsdBinary()
{
    const QString inPath = QStandardPaths::findExecutable(QStringLiteral("gpsd"));
    return inPath.isEmpty()
               ? QStandardPaths::findExecutable(QStringLiteral("gpsd"), {QStringLiteral("/usr/sbin")})
               : inPath;
}

// A gpsd process with this number, not yet reaped.
bool isGpsd(pid_t pid)
{
    return pid > 0 && TestDaemon::procFile(pid, "comm").trimmed() == "gpsd";
}

bool isZombieOrGone(pid_t pid)
{
    const QByteArray state = TestDaemon::statFields(pid).value(0);
    return state.isEmpty() || state == "Z";
}
} // namespace

bool TestGpsd::isInstalled()
{
    return !QStandardPaths::findExecutable(QStringLiteral("gpsfake")).isEmpty() && !gpsdBinary().isEmpty();
}

bool TestGpsd::portAccepts(quint16 port)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    return socket.waitForConnected(kPollMs);
}

bool TestGpsd::start(const QString &file, double cycleSec)
{
    for (int attempt = 0; attempt < kStartAttempts; ++attempt) {
        if (startOnce(file, cycleSec))
            return true;
        stop();
    }
    return false;
}

bool TestGpsd::startOnce(const QString &file, double cycleSec)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TMPDIR"), m_dir.path());
    env.insert(QStringLiteral("PATH"),
               env.value(QStringLiteral("PATH")) + QStringLiteral(":/usr/sbin:/sbin"));
    m_process.setProcessEnvironment(env);
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.start(QStringLiteral("gpsfake"),
                    {QStringLiteral("-1"), QStringLiteral("-q"), QStringLiteral("-c"),
                     QString::number(cycleSec, 'f', 4), QStringLiteral("-P"), QString::number(kPort), file});
    if (!m_process.waitForStarted(kStopTimeoutMs)) {
        m_error = QStringLiteral("gpsfake did not start: ") + m_process.errorString();
        return false;
    }
    if (TestDaemon::poll([&] { return !isRunning() || portAccepts(kPort); }, kListenTimeoutMs, kPollMs) &&
        isRunning()) {
        m_gpsd = -1;
        for (pid_t child : TestDaemon::childrenOf(pid_t(m_process.processId())))
            m_gpsd = isGpsd(child) ? child : m_gpsd;
        return true;
    }
    m_error = QStringLiteral("gpsd did not come up: ") + QString::fromLocal8Bit(m_process.readAll());
    return false;
}

void TestGpsd::stop()
{
    if (isRunning()) {
        m_process.terminate(); // gpsfake ends its gpsd on SIGTERM, but may hang afterwards
        if (!m_process.waitForFinished(kStopTimeoutMs)) {
            m_process.kill();
            m_process.waitForFinished(kStopTimeoutMs);
        }
    }
    reapGpsd();
}

bool TestGpsd::killGpsd()
{
    if (!isGpsd(m_gpsd) || ::kill(m_gpsd, SIGKILL) != 0)
        return false;
    // gpsfake notices its dead daemon and gives up; it must not linger.
    if (!m_process.waitForFinished(kStopTimeoutMs))
        stop();
    reapGpsd();
    return true;
}

bool TestGpsd::killFeed()
{
    if (!isRunning())
        return false;
    m_process.kill();
    m_process.waitForFinished(kStopTimeoutMs);
    return isGpsd(m_gpsd);
}

void TestGpsd::reapGpsd()
{
    if (m_gpsd <= 0)
        return;
    // A gpsd that outlived gpsfake was handed to us (the fixture makes the
    // test a child subreaper) and would keep the port.
    if (isGpsd(m_gpsd) && !isZombieOrGone(m_gpsd))
        ::kill(m_gpsd, SIGKILL);
    TestDaemon::poll([&] { return isZombieOrGone(m_gpsd); }, kStopTimeoutMs, kPollMs / 5);
    ::waitpid(m_gpsd, nullptr, WNOHANG);
    m_gpsd = -1;
}

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
