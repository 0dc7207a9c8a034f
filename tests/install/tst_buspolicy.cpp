// The shipped bus policy on a private bus that refuses by default like the
// system bus, with the accounts the policy names: who may own
// com.Brask.Vorlan, who may call what and who may emit the system's signals.
// It adds those accounts, so it runs only where /etc is a private overlay
// (scripts/sandbox-run), else exits 77.

#include "TestStore.h"
#include "records/CReplyCode.h"
#include "records/CSetupGps.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdio>
#include <grp.h>
#include <pwd.h>
#include <unistd.h>

namespace
{
const QString kService = QStringLiteral("com.Brask.Vorlan");
const QString kDenied = QStringLiteral("org.freedesktop.DBus.Error.AccessDenied");
const QString kSignals = QStringLiteral("com.Brask.Vorlan.Signals");
constexpr int kExitSkipped = 77;
constexpr int kPid = 4242;
// The store's account, the daemon's, an operator (group vorlan), anybody else.
const QStringList kUsers{"vorlan", "vorlan-gps", "vorlan-op", "stranger"};

// What the system bus allows before it reads the services' policies.
const char *const kBusConfig =
    "<!DOCTYPE busconfig PUBLIC\n"
    " \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
    " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
    "<busconfig><type>system</type><listen>unix:path=%1</listen><auth>EXTERNAL</auth>\n"
    "  <policy context=\"default\">\n"
    "    <allow user=\"*\"/><deny own=\"*\"/><deny send_type=\"method_call\"/><allow send_type=\"signal\"/>\n"
    "    <allow send_requested_reply=\"true\" send_type=\"method_return\"/>\n"
    "    <allow send_requested_reply=\"true\" send_type=\"error\"/>\n"
    "    <allow receive_type=\"method_call\"/><allow receive_type=\"method_return\"/>\n"
    "    <allow receive_type=\"error\"/><allow receive_type=\"signal\"/>\n"
    "    <allow send_destination=\"org.freedesktop.DBus\" send_interface=\"org.freedesktop.DBus\"/>\n"
    "  </policy>\n"
    "  <include>%2</include>\n"
    "</busconfig>";

// Why the test cannot run here; empty when it can.
QString obstacle()
{
    if (geteuid() != 0)
        return QStringLiteral("needs root");
    QFile mounts(QStringLiteral("/proc/self/mountinfo"));
    if (!mounts.open(QIODevice::ReadOnly))
        return mounts.errorString();
    bool privateEtc = false;
    for (const QByteArray &line : mounts.readAll().split('\n'))
        privateEtc = privateEtc || (line.split(' ').value(4) == "/etc" && line.contains(" - overlay "));
    if (!privateEtc)
        return QStringLiteral("/etc is not a private overlay: run it through scripts/sandbox-run");
    for (const char *tool : {"setpriv", "useradd", "dbus-daemon"})
        if (QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty())
            return QStringLiteral("no %1 here").arg(QLatin1String(tool));
    return QString();
}
} // namespace

class tst_BusPolicy : public QObject
{
    Q_OBJECT
public slots:
    void onSignal(const QDBusMessage &message) { m_signals << message; }
    void onHeard(const QDBusMessage &message) { m_heard << message.member(); }

private:
    QTemporaryDir m_dir;
    QProcess m_bus;
    QString m_address;
    TestStore *m_store = nullptr;
    QList<QDBusMessage> m_signals;
    QStringList m_heard; // what the listener got, in order

    // The bus takes a connection's identity from the socket as it connects:
    // connect with the user's effective ids and groups, then be root again.
    bool connectAs(const QString &user)
    {
        const passwd *pw = getpwnam(qPrintable(user));
        if (!pw)
            return false;
        const uid_t uid = pw->pw_uid;
        const gid_t gid = pw->pw_gid;
        bool ok = initgroups(qPrintable(user), gid) == 0 && setegid(gid) == 0 && seteuid(uid) == 0 &&
                  QDBusConnection::connectToBus(m_address, user).isConnected();
        return seteuid(0) == 0 && setegid(0) == 0 && initgroups("root", 0) == 0 && ok;
    }
    int callsReceived()
    {
        return TestStore::call(QDBusConnection("root"), "callLog").arguments().value(0).toStringList().size();
    }

private slots:
    void initTestCase()
    {
        for (const QString &user : kUsers) {
            const QStringList group = user == "vorlan-op" ? QStringList{"-G", "vorlan"} : QStringList();
            if (!getpwnam(qPrintable(user)))
                QCOMPARE(QProcess::execute("useradd",
                                           QStringList{"--system", "--user-group", "-M"} + group << user),
                         0);
        }
        QFile config(m_dir.filePath("bus.conf"));
        QVERIFY(config.open(QIODevice::WriteOnly));
        config.write(QString::fromLatin1(kBusConfig)
                         .arg(m_dir.filePath("bus"), VORLAN_SOURCE_DIR "/packaging/com.Brask.Vorlan.conf")
                         .toUtf8());
        config.close();
        QVERIFY(QFile::setPermissions(m_dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                                        QFile::ExeGroup | QFile::ExeOther));
        m_bus.start("dbus-daemon", {"--config-file=" + config.fileName(), "--nofork", "--print-address=1"});
        QVERIFY(m_bus.waitForReadyRead(TestStore::kCallTimeoutMs));
        m_address = QString::fromUtf8(m_bus.readLine().trimmed());
        for (const QString &user : kUsers + QStringList{"root"})
            QVERIFY2(connectAs(user), qPrintable(user));

        // The name is free: only the policy can keep the stranger's store from it.
        TestStore intruder(m_address, {"setpriv", "--reuid=stranger", "--regid=stranger", "--init-groups"});
        QVERIFY(!intruder.start());
        QVERIFY2(intruder.error().contains("not allowed to own"), qPrintable(intruder.error()));
        m_store = new TestStore(m_address, {"setpriv", "--reuid=vorlan", "--regid=vorlan", "--init-groups"});
        QVERIFY2(m_store->start(), qPrintable(m_store->error()));

        // The listener of the system's signals, as the daemon or the data service.
        QDBusConnection listener("vorlan");
        for (const QString &interface : {kSignals, QStringLiteral("com.Brask.Vorlan.Probe")})
            QVERIFY(listener.connect(QString(), QString(), interface, QString(), this,
                                     SLOT(onHeard(QDBusMessage))));
    }
    void cleanupTestCase()
    {
        delete m_store;
        m_bus.terminate();
        m_bus.waitForFinished(TestStore::kCallTimeoutMs);
    }

    void owningTheName_data()
    {
        QTest::addColumn<QString>("user");
        QTest::addColumn<bool>("mayOwn");
        for (const QString &user : kUsers + QStringList{"root"})
            QTest::newRow(qPrintable(user)) << user << (user == "vorlan");
    }
    void owningTheName()
    {
        QFETCH(QString, user);
        QFETCH(bool, mayOwn);
        const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply =
            QDBusConnection(user).interface()->registerService(
                kService, QDBusConnectionInterface::DontQueueService,
                QDBusConnectionInterface::DontAllowReplacement);
        // The store holds the name: its own account is merely told so.
        QCOMPARE(reply.error().name(), mayOwn ? QString() : kDenied);
    }

    void calls_data()
    {
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("member");
        QTest::addColumn<QString>("how"); // "unique name": to the store's unique name; "no interface"
        QTest::addColumn<bool>("allowed");
        const auto row = [](const char *user, const char *member, bool allowed, const char *how = "") {
            QTest::addRow("%s %s%s%s", user, member, *how ? ", " : "", how)
                << user << member << how << allowed;
        };
        row("vorlan-gps", "getSetupGps", true);
        row("vorlan-gps", "setRuntimeGps", true);
        row("vorlan-gps", "setLogbookDataTracking", true);
        row("vorlan-op", "setSetupGps", true);
        row("root", "faults", true);
        row("stranger", "getSetupGps", false);
        row("stranger", "setSetupGpsTracking", false);
        row("stranger", "setRuntimeTriggerFtpTransfer", false);
        row("stranger", "setLogbookGPS", false);
        row("stranger", "setSetupGps", false, "unique name");
        row("vorlan-gps", "reset", false);
        row("vorlan-op", "quit", false);
        row("vorlan", "reset", false);
        row("vorlan-op", "reset", false, "no interface");
        row("vorlan-op", "reset", false, "unique name");
    }
    void calls()
    {
        QFETCH(QString, user);
        QFETCH(QString, member);
        QFETCH(QString, how);
        QFETCH(bool, allowed);
        const QVariantList args =
            member.startsWith("set") ? QVariantList{kPid, QByteArray("garbage")} : QVariantList();
        QDBusMessage message = TestStore::message(member, args);
        const QString unique = QDBusConnection("root").interface()->serviceOwner(kService);
        if (how == "unique name")
            message = QDBusMessage::createMethodCall(unique, message.path(), message.interface(), member);
        if (how == "no interface")
            message = QDBusMessage::createMethodCall(kService, message.path(), QString(), member);
        message.setArguments(args);
        const int before = callsReceived();
        const QDBusMessage reply =
            QDBusConnection(user).call(message, QDBus::Block, TestStore::kCallTimeoutMs);
        QCOMPARE(reply.errorName(), allowed ? QString() : kDenied);
        // What the bus refuses never reaches the store (control calls are not logged).
        QCOMPARE(callsReceived() - before, allowed && message.path() != "/StoreControl" ? 1 : 0);
    }

    void signalsPass()
    {
        // The daemon's heartbeat reaches anybody; the store's signals reach the daemon.
        QVERIFY(QDBusConnection("stranger")
                    .connect(QString(), "/Signals", "com.Brask.Vorlan.Signals", "sigTrigger", this,
                             SLOT(onSignal(QDBusMessage))));
        QVERIFY(QDBusConnection("vorlan-gps")
                    .connect(kService, "/SetupData", "com.Brask.Vorlan.Setup", "sigSetupGps", this,
                             SLOT(onSignal(QDBusMessage))));
        QVERIFY(QDBusConnection("vorlan-gps")
                    .send(QDBusMessage::createSignal("/Signals", "com.Brask.Vorlan.Signals", "sigTrigger")
                          << kPid));
        QTRY_COMPARE_WITH_TIMEOUT(m_signals.size(), 1, TestStore::kCallTimeoutMs);
        const QDBusMessage stored =
            TestStore::call(QDBusConnection("vorlan-op"), "setSetupGps", {kPid, CSetupGps().serialize()});
        QCOMPARE(stored.arguments().value(0).toInt(), CReplyCode::REPLY_SUCCESS);
        QTRY_COMPARE_WITH_TIMEOUT(m_signals.size(), 2, TestStore::kCallTimeoutMs);
        QCOMPARE(m_signals.at(0).member() + ' ' + m_signals.at(1).member(),
                 QString("sigTrigger sigSetupGps"));
    }

    void signalsOfTheSystem_data()
    {
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QStringList>("members");
        QTest::addColumn<bool>("addressed"); // to the data service, else broadcast
        QTest::addColumn<bool>("allowed");
        QFile xml(VORLAN_SOURCE_DIR "/dbus/com.Brask.Vorlan.Signals.xml");
        QVERIFY(xml.open(QIODevice::ReadOnly));
        QStringList every;
        auto names = QRegularExpression("<signal name=\"(\\w+)\"").globalMatch(xml.readAll());
        while (names.hasNext())
            every << names.next().captured(1);
        QVERIFY(every.size() > 100);
        const QStringList daemons{"sigTrigger", "sigSendName", "sigSyncTime", "sigActualGpsData"};
        QStringList others = every;
        for (const QString &member : daemons)
            QVERIFY(others.removeOne(member));
        const auto row = [](const char *name, const char *user, const char *path, const QStringList &members,
                            bool addressed, bool allowed) {
            QTest::newRow(name) << user << path << members << addressed << allowed;
        };
        row("vorlan-gps: the heartbeat thread's", "vorlan-gps", "/", {"sigTrigger"}, false, true);
        row("vorlan-gps: the daemon's four", "vorlan-gps", "/Signals", daemons, false, true);
        row("vorlan-gps: any other", "vorlan-gps", "/Signals", others, false, false);
        row("vorlan-gps: any other, to the data service", "vorlan-gps", "/Signals", others, true, false);
        row("vorlan-op: every one (vorlanctl start, name)", "vorlan-op", "/Signals", every, false, true);
        row("root: every one", "root", "/Signals", every, false, true);
        row("stranger: every one", "stranger", "/Signals", every, false, false);
        row("stranger: every one, to the data service", "stranger", "/Signals", every, true, false);
    }
    void signalsOfTheSystem()
    {
        QFETCH(QString, user);
        QFETCH(QString, path);
        QFETCH(QStringList, members);
        QFETCH(bool, addressed);
        QFETCH(bool, allowed);
        // Rules naming com.Brask.Vorlan as destination match all its owner
        // hears: the listener owns the name only for the rows addressed to it.
        QDBusConnectionInterface *bus = QDBusConnection("vorlan").interface();
        const bool owns = bus->serviceOwner(kService).value() == QDBusConnection("vorlan").baseService();
        if (addressed && !owns) {
            m_store->stop(); // signals need no store
            QCOMPARE(bus->registerService(kService).value(), QDBusConnectionInterface::ServiceRegistered);
        } else if (!addressed && owns) {
            QVERIFY(bus->unregisterService(kService));
        }
        const QString to = addressed ? kService : QString();
        QDBusConnection sender(user);
        m_heard.clear();
        for (const QString &member : members)
            QVERIFY(sender.send(to.isEmpty()
                                    ? QDBusMessage::createSignal(path, kSignals, member)
                                    : QDBusMessage::createTargetedSignal(to, path, kSignals, member)));
        // One sender's messages arrive in order: after the probe, the bus has
        // delivered or dropped every signal before it.
        QVERIFY(sender.send(QDBusMessage::createSignal(path, "com.Brask.Vorlan.Probe", "sigProbe")));
        QTRY_VERIFY_WITH_TIMEOUT(m_heard.contains("sigProbe"), TestStore::kCallTimeoutMs);
        QCOMPARE(m_heard, (allowed ? members : QStringList()) << "sigProbe");
    }
};

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QString why = obstacle();
    if (!why.isEmpty()) {
        std::fprintf(stderr, "tst_buspolicy skipped: %s\n", qPrintable(why));
        return kExitSkipped;
    }
    tst_BusPolicy test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_buspolicy.moc"
