#include "CGpsdObserver.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace
{
constexpr int kPollMs = 100; // how soon stop() is noticed
constexpr int kReadBytes = 65536;
const char kWatch[] = "?WATCH={\"enable\":true,\"json\":true};\n";
} // namespace

CGpsdObserver::~CGpsdObserver()
{
    stop();
}

qint64 CGpsdObserver::realtimeNs()
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return qint64(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

bool CGpsdObserver::start(quint16 port)
{
    stop();
    m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (m_fd < 0 || ::connect(m_fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
        ::send(m_fd, kWatch, sizeof kWatch - 1, MSG_NOSIGNAL) != qint64(sizeof kWatch - 1)) {
        m_error =
            QStringLiteral("observer cannot watch gpsd: ") + QString::fromLocal8Bit(std::strerror(errno));
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
        return false;
    }
    m_stop = false;
    m_thread = std::thread([this] { run(); });
    return true;
}

void CGpsdObserver::stop()
{
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

QList<CGpsdObserver::Report> CGpsdObserver::reports() const
{
    QMutexLocker locker(&m_lock);
    return m_reports;
}

void CGpsdObserver::run()
{
    QByteArray pending;
    QByteArray buffer(kReadBytes, '\0');
    while (!m_stop) {
        pollfd p{m_fd, POLLIN, 0};
        if (::poll(&p, 1, kPollMs) <= 0)
            continue;
        const ssize_t got = ::recv(m_fd, buffer.data(), size_t(buffer.size()), 0);
        const qint64 atNs = realtimeNs();
        if (got <= 0)
            break; // gpsd went away
        pending.append(buffer.constData(), int(got));
        int start = 0;
        for (int end = pending.indexOf('\n'); end >= 0; end = pending.indexOf('\n', start)) {
            const QByteArray line = pending.mid(start, end - start);
            start = end + 1;
            ++m_lines;
            if (!line.startsWith("{\"class\":\"TPV\""))
                continue;
            const Report report = parse(line, atNs);
            if (report.fixMs >= 0) {
                QMutexLocker locker(&m_lock);
                m_reports.append(report);
            }
        }
        pending.remove(0, start);
    }
}

CGpsdObserver::Report CGpsdObserver::parse(const QByteArray &line, qint64 atNs)
{
    Report out;
    out.atNs = atNs;
    const QJsonObject tpv = QJsonDocument::fromJson(line).object();
    if (tpv.value(QLatin1String("class")).toString() != QLatin1String("TPV") ||
        !tpv.contains(QLatin1String("time")))
        return out;
    const QDateTime at =
        QDateTime::fromString(tpv.value(QLatin1String("time")).toString(), Qt::ISODateWithMs);
    if (!at.isValid())
        return out;
    out.fixMs = at.toMSecsSinceEpoch();
    out.latitude = tpv.value(QLatin1String("lat")).toDouble();
    out.longitude = tpv.value(QLatin1String("lon")).toDouble();
    // gpsd 3.22 writes the sea-level altitude as "altMSL" (and the old "alt").
    const bool altitude = tpv.contains(QLatin1String("altMSL")) || tpv.contains(QLatin1String("alt"));
    out.altitude =
        tpv.value(QLatin1String(tpv.contains(QLatin1String("altMSL")) ? "altMSL" : "alt")).toDouble();
    out.complete = tpv.value(QLatin1String("mode")).toInt() >= 2 && tpv.contains(QLatin1String("lat")) &&
                   tpv.contains(QLatin1String("lon")) && altitude && tpv.contains(QLatin1String("speed"));
    return out;
}
