#ifndef BUSPEER_H
#define BUSPEER_H

#include <QDBusConnection>
#include <QDBusMessage>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QVariantList>
#include <unistd.h>

// Another process of the truck system, as the tests play it: sends the
// system's broadcast signals from its own "/Signals" and records every
// signal of com.Brask.Vorlan.Signals and of the data service it sees.
class BusPeer : public QObject
{
    Q_OBJECT

public:
    struct Seen {
        qint64 atMs;   // since the peer was made
        qint64 wallMs; // ms since 1970 UTC
        QString member;
        QString path;
        QVariantList arguments;
    };

    explicit BusPeer(const QString &address, const QString &name = QStringLiteral("peer"));
    ~BusPeer() override;

    bool isConnected() const { return m_bus.isConnected(); }
    QDBusConnection &bus() { return m_bus; }
    int pid() const { return int(::getpid()); }

    void emitSignal(const QString &member, const QVariantList &arguments);
    QList<Seen> seen(const QString &member) const;
    // Waits (bounded, running the event loop) until member was seen count times.
    bool waitFor(const QString &member, int count, int timeoutMs);
    void clear() { m_seen.clear(); }

private Q_SLOTS:
    void onMessage(const QDBusMessage &message);

private:
    QString m_name;
    QDBusConnection m_bus;
    QElapsedTimer m_clock;
    QList<Seen> m_seen;
};

#endif // BUSPEER_H
