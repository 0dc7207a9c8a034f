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

    // One row per rule: who may own the name ("own"), call a member ("call", how: "unique name" to the
    // store's unique name, "no interface"), hear a signal ("hear", how: who sends it) or send the
    // system's signals ("send", how: the path, "addressed" for the data service, else broadcast).
    void policy_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("user");
        QTest::addColumn<QStringList>("members");
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("allowed");
        const auto row = [](const char *kind, const QString &user, const QStringList &members, bool allowed,
                            const QString &how = QString()) {
            QTest::addRow("%s %s %s %s", kind, qPrintable(user), qPrintable(members.value(0)),
                          qPrintable(how))
                << kind << user << members << how << allowed;
        };
        for (const QString &user : kUsers + QStringList{"root"})
            row("own", user, {}, user == "vorlan");
        row("call", "vorlan-gps", {"getSetupGps"}, true);
        row("call", "vorlan-gps", {"setRuntimeGps"}, true);
        row("call", "vorlan-gps", {"setLogbookDataTracking"}, true);
        row("call", "vorlan-op", {"setSetupGps"}, true);
        row("call", "root", {"faults"}, true);
        row("call", "stranger", {"getSetupGps"}, false);
        row("call", "stranger", {"setSetupGpsTracking"}, false);
        row("call", "stranger", {"setRuntimeTriggerFtpTransfer"}, false);
        row("call", "stranger", {"setLogbookGPS"}, false);
        row("call", "stranger", {"setSetupGps"}, false, "unique name");
        row("call", "vorlan-gps", {"reset"}, false);
        row("call", "vorlan-op", {"quit"}, false);
        row("call", "vorlan", {"reset"}, false);
        row("call", "vorlan-op", {"reset"}, false, "no interface");
        row("call", "vorlan-op", {"reset"}, false, "unique name");
        // The daemon's heartbeat reaches anybody; the store's signals reach the daemon.
        row("hear", "stranger", {"sigTrigger"}, true, "vorlan-gps");
        row("hear", "vorlan-gps", {"sigSetupGps"}, true, "the store");
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
        row("send", "vorlan-gps", {"sigTrigger"}, true, "/"); // the heartbeat thread's
        row("send", "vorlan-gps", daemons, true, "/Signals");
        row("send", "vorlan-gps", others, false, "/Signals");
        row("send", "vorlan-gps", others, false, "/Signals addressed");
        row("send", "vorlan-op", every, true, "/Signals"); // vorlanctl start, name
        row("send", "root", every, true, "/Signals");
        row("send", "stranger", every, false, "/Signals");
        row("send", "stranger", every, false, "/Signals addressed");
    }
    void policy()
    {
        QFETCH(QString, kind);
        QFETCH(QString, user);
        QFETCH(QStringList, members);
        QFETCH(QString, how);
        QFETCH(bool, allowed);
        QDBusConnection conn(user);
        if (kind == "own") {
            const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply =
                conn.interface()->registerService(kService, QDBusConnectionInterface::DontQueueService,
                                                  QDBusConnectionInterface::DontAllowReplacement);
            // The store holds the name: its own account is merely told so.
            QCOMPARE(reply.error().name(), allowed ? QString() : kDenied);
        } else if (kind == "call") {
            const QString member = members.first();
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
            const QDBusMessage reply = conn.call(message, QDBus::Block, TestStore::kCallTimeoutMs);
            QCOMPARE(reply.errorName(), allowed ? QString() : kDenied);
            // What the bus refuses never reaches the store (control calls are not logged).
            QCOMPARE(callsReceived() - before, allowed && message.path() != "/StoreControl" ? 1 : 0);
        } else if (kind == "hear") {
            m_signals.clear();
            const QDBusMessage sent = TestStore::message("set" + members.first().mid(3));
            QVERIFY(conn.connect(QString(), how == "the store" ? sent.path() : "/Signals",
                                 how == "the store" ? sent.interface() : kSignals, members.first(), this,
                                 SLOT(onSignal(QDBusMessage))));
            if (how == "the store")
                QCOMPARE(TestStore::call(QDBusConnection("vorlan-op"), sent.member(),
                                         {kPid, CSetupGps().serialize()})
                             .arguments()
                             .value(0)
                             .toInt(),
                         CReplyCode::REPLY_SUCCESS);
            else
                QVERIFY(QDBusConnection(how).send(
                    QDBusMessage::createSignal("/Signals", kSignals, members.first()) << kPid));
            QTRY_COMPARE_WITH_TIMEOUT(m_signals.size(), 1, TestStore::kCallTimeoutMs);
            QCOMPARE(m_signals.first().member(), members.first());
        } else {
            const QString path = how.section(' ', 0, 0);
            const bool addressed = how.endsWith("addressed");
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
            m_heard.clear();
            for (const QString &member : members)
                QVERIFY(conn.send(addressed
                                      ? QDBusMessage::createTargetedSignal(kService, path, kSignals, member)
                                      : QDBusMessage::createSignal(path, kSignals, member)));
            // One sender's messages arrive in order: after the probe, the bus has
            // delivered or dropped every signal before it.
            QVERIFY(conn.send(QDBusMessage::createSignal(path, "com.Brask.Vorlan.Probe", "sigProbe")));
            QTRY_VERIFY_WITH_TIMEOUT(m_heard.contains("sigProbe"), TestStore::kCallTimeoutMs);
            QCOMPARE(m_heard, (allowed ? members : QStringList()) << "sigProbe");
        }
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
