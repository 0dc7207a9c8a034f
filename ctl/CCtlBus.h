#ifndef CCTLBUS_H
#define CCTLBUS_H

#include <QByteArray>
#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QVariantList>

#include <memory>

class ComBraskVorlanSetupInterface;
class ComBraskVorlanStoreControlInterface;

// vorlanctl's link to the bus: the connection, the proxies on the data
// service with a bounded timeout, and the system's broadcast signals it
// listens to and sends. No call here waits longer than its stated bound.
class CCtlBus : public QObject
{
    Q_OBJECT
public:
    static constexpr int kCallTimeoutMs = 3000;
    // The daemon beats every 1000 ms before start, every 800 ms after.
    static constexpr int kHeartbeatWaitMs = 2500;
    static constexpr int kNameWaitMs = 2000;
    static const char *const kService;
    static const char *const kSignalsInterface;

    CCtlBus();
    ~CCtlBus() override;

    // Empty address: the session bus.
    bool open(const QString &address, QString *error);
    QDBusConnection connection() const { return m_bus; }
    QString description() const;
    static int ownPid();

    // True when the data service owns its name on the bus.
    bool storePresent(QString *error);
    ComBraskVorlanSetupInterface &setup();
    ComBraskVorlanStoreControlInterface &control();

    // Process number of the first heartbeat within msecs, 0 when none came.
    int waitForHeartbeat(int msecs);
    // Asks process pid for its name; false when it did not answer within msecs.
    bool askName(int pid, int msecs, QByteArray *name);
    // Sends a signal of the system's interface from vorlanctl's own "/Signals"
    // and makes sure it has left the process.
    bool sendSignal(const QString &member, const QVariantList &args, QString *error);

private slots:
    void onTrigger(int iProcess);
    void onSendName(int iProcess, const QByteArray &name);

private:
    // Runs the event loop until done() or msecs passed.
    template <typename Done> bool waitUntil(int msecs, Done done);

    QDBusConnection m_bus;
    QString m_address;
    std::unique_ptr<ComBraskVorlanSetupInterface> m_setup;
    std::unique_ptr<ComBraskVorlanStoreControlInterface> m_control;
    int m_heartbeatPid = 0;
    int m_namePid = 0;
    QByteArray m_name;
    bool m_nameAnswered = false;
};

#endif // CCTLBUS_H
