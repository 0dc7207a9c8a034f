#ifndef SYSTEMFIXTURE_H
#define SYSTEMFIXTURE_H

#include "BusPeer.h"
#include "TestBus.h"
#include "TestDaemon.h"
#include "TestStore.h"

#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <memory>

// The whole system on one private bus: dbus-daemon, the stand-in data
// service, the daemon binary and a peer process played by the test.
class SystemFixture
{
public:
    struct Call {
        qint64 atMs; // when the store took the call, ms since 1970 UTC
        QString member;
        QString process;
        QString reply;
        QByteArray bytes;
    };

    explicit SystemFixture(TestBus::Listen listen = TestBus::UnixOnly);

    // settings: text of /etc/Vorlan/gps.ini (debug lines are always logged).
    bool startBus();
    bool startStore(const QStringList &extraArguments = {});
    bool startDaemon(const QString &settings = QString(), const QString &busAddress = QString());
    // Sends sigProcessStart to the daemon until it reports the start request.
    bool requestStart(int timeoutMs = 10000);
    // Sends sigProcessStart to the daemon and waits until its start sequence has ended.
    bool startSequence(int timeoutMs = 10000);
    // Stores a record with a set member of the data service's Setup
    // interface as the peer process (or the given one) would; true on reply code 1.
    bool storeSetup(const QString &setMember, const QByteArray &record, int process = 0);
    // Puts bytes under a record name ("SetupGps", ...) straight into the
    // store's database file, unchecked, before the store starts on it.
    bool storeRaw(const QString &name, const QByteArray &bytes);
    // The daemon's event loop answers a name request (sigGetName) in time.
    bool answersNameRequest(int timeoutMs = 2000);

    QList<Call> calls() const;
    QStringList members() const;
    QString callLogPath() const { return m_dir.filePath(QStringLiteral("calls.log")); }
    // The store keeps its data in this file when it is set, else in memory.
    QString storeDatabase;

    TestBus bus;
    std::unique_ptr<TestStore> store;
    TestDaemon daemon;
    std::unique_ptr<BusPeer> peer;
    QString error;
    // The daemon's environment for startDaemon(); the bus address is added there.
    QProcessEnvironment daemonEnvironment = QProcessEnvironment::systemEnvironment();

private:
    QTemporaryDir m_dir;
};

#endif // SYSTEMFIXTURE_H
