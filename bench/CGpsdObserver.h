#ifndef CGPSDOBSERVER_H
#define CGPSDOBSERVER_H

#include <QByteArray>
#include <QList>
#include <QMutex>
#include <QString>

#include <atomic>
#include <thread>

// A passive gpsd client on a plain socket that stamps each TPV report the
// moment it arrives (CLOCK_REALTIME). gpsd writes a report to all its
// clients in one pass, so these stamps mark the report leaving gpsd; the
// latencies of the daemon and of the baseline client are taken from them.
class CGpsdObserver
{
public:
    struct Report {
        qint64 atNs = 0;       // arrival, ns since 1970
        qint64 fixMs = -1;     // the report's "time", ms since 1970
        bool complete = false; // time, position, sea-level altitude and speed
        double latitude = 0.0;
        double longitude = 0.0;
        double altitude = 0.0; // above mean sea level
    };

    CGpsdObserver() = default;
    ~CGpsdObserver();
    CGpsdObserver(const CGpsdObserver &) = delete;
    CGpsdObserver &operator=(const CGpsdObserver &) = delete;

    // Connects to gpsd on the loopback port and starts watching (JSON only).
    bool start(quint16 port);
    void stop();

    QList<Report> reports() const;
    qint64 lines() const { return m_lines; }
    QString error() const { return m_error; }

    // Parses one TPV line; fixMs stays -1 for anything else.
    static Report parse(const QByteArray &line, qint64 atNs);
    static qint64 realtimeNs();

private:
    void run();

    int m_fd = -1;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<qint64> m_lines{0};
    mutable QMutex m_lock;
    QList<Report> m_reports;
    QString m_error;
};

#endif // CGPSDOBSERVER_H
