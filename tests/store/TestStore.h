#ifndef TESTSTORE_H
#define TESTSTORE_H

#include <QProcess>
#include <QString>
#include <QStringList>

// The real vorlan-store binary on a test's bus, started and stopped by the
// test. start() returns once the store has printed "ready." (it then owns
// its bus name) or has failed, within a bounded time.
class TestStore
{
public:
    static constexpr int kReadyTimeoutMs = 10000;

    explicit TestStore(const QString &busAddress) : m_busAddress(busAddress) {}
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

private:
    QString m_busAddress;
    QProcess m_process;
    QString m_error;
    QString m_log;
};

#endif // TESTSTORE_H
