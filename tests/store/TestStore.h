#ifndef TESTSTORE_H
#define TESTSTORE_H

#include <QDBusConnection>
#include <QDBusMessage>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QVariantList>

// The real vorlan-store binary on a test's bus, started and stopped by the
// test. start() returns once the store has printed "ready." (it then owns
// its bus name) or has failed, within a bounded time.
class TestStore
{
public:
    static constexpr int kReadyTimeoutMs = 10000;

    // launcher: a command the store is started through, e.g. setpriv as another user.
    explicit TestStore(const QString &busAddress, const QStringList &launcher = {})
        : m_busAddress(busAddress), m_launcher(launcher)
    {
    }
    ~TestStore() { stop(); }

    bool start(const QStringList &arguments = {QStringLiteral("--memory")});
    // SIGTERM, then SIGKILL if it lingers.
    void stop();
    // SIGKILL: nothing is flushed or closed.
    void kill();
    bool isRunning() const { return m_process.state() == QProcess::Running; }
    QString error() const { return m_error; }
    // Everything the store wrote to standard error so far.
    QString log();

    static QString binary();

    // A call of one of the store's members: get/set members go to the object
    // of their record ("getSetupGps" to "/SetupData"), the others to "/StoreControl".
    static QDBusMessage message(const QString &member, const QVariantList &args = {});
    static QDBusMessage call(const QDBusConnection &conn, const QString &member,
                             const QVariantList &args = {}, int timeoutMs = kCallTimeoutMs);
    static constexpr int kCallTimeoutMs = 5000;

private:
    QString m_busAddress;
    QStringList m_launcher;
    QProcess m_process;
    QString m_error;
    QString m_log;
};

#endif // TESTSTORE_H
