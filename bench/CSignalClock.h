#ifndef CSIGNALCLOCK_H
#define CSIGNALCLOCK_H

#include <QByteArray>
#include <QList>
#include <QMutex>
#include <QString>
#include <QThread>

// Stamps every sigActualGpsData on the bus when it arrives (CLOCK_REALTIME).
// The receiver lives in a thread of its own whose event loop does nothing
// else, so the stamp is not delayed by whatever the caller's thread does.
class CSignalClock
{
public:
    struct Seen {
        qint64 atNs = 0;  // ns since 1970
        QByteArray bytes; // the GPS point
    };

    CSignalClock() = default;
    ~CSignalClock();
    CSignalClock(const CSignalClock &) = delete;
    CSignalClock &operator=(const CSignalClock &) = delete;

    bool start(const QString &busAddress);
    void stop();
    QList<Seen> seen() const;
    int count() const;

private:
    friend class CSignalClockReceiver;
    void record(const Seen &seen);

    QThread m_thread;
    QObject *m_receiver = nullptr;
    QString m_connectionName;
    mutable QMutex m_lock;
    QList<Seen> m_seen;
};

#endif // CSIGNALCLOCK_H
