// vorlan-store on a private bus: records, logbook and its cap, refusals.

#include "TestStore.h"
#include "tests/support/TestBus.h"

#include "logbook/CLogGps.h"
#include "logbook/CLogTracking.h"
#include "records/CReplyCode.h"
#include "records/CRuntimeGps.h"
#include "records/CRuntimeTriggerFtpTransfer.h"
#include "records/CSetupGps.h"
#include "records/CSetupGpsTracking.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QtTest>

#include <climits>

namespace
{
constexpr int kSignalWaitMs = 3000;
constexpr int kPid = 4242;
constexpr int kLogbookCap = 3; // --max-logbook-entries of the suite's store

QDBusMessage call(const QDBusConnection &conn, const QString &member, const QVariantList &args = {},
                  int timeout = TestStore::kCallTimeoutMs)
{
    return TestStore::call(conn, member, args, timeout);
}
int set(const QDBusConnection &conn, const QString &name, int process, const QByteArray &bytes)
{
    const QDBusMessage reply = call(conn, "set" + name, {process, bytes});
    return reply.type() == QDBusMessage::ReplyMessage ? reply.arguments().value(0).toInt() : INT_MIN;
}
QByteArray get(const QDBusConnection &conn, const QString &name)
{
    const QDBusMessage reply = call(conn, "get" + name);
    return reply.type() == QDBusMessage::ReplyMessage ? reply.arguments().value(0).toByteArray() : "error";
}
QStringList lines(const QDBusConnection &conn, const QString &member, const QVariantList &args = {})
{
    return call(conn, member, args).arguments().value(0).toStringList();
}

QByteArray gpsEntry(int subtype)
{
    CLogGps entry;
    entry.iSubType = subtype;
    return entry.serialize();
}
QByteArray trackingEntry(double latitude)
{
    CLogTracking entry;
    entry.iSubType = 11000;
    entry.oGpsPoint.latitude = latitude;
    return entry.serialize();
}
} // namespace

class tst_Store : public QObject
{
    Q_OBJECT
public slots:
    void onSignal(const QDBusMessage &message) { m_signals << message; }

private:
    QDBusConnection m_conn{"none"};
    TestBus m_bus;
    TestStore *m_store = nullptr;
    QList<QDBusMessage> m_signals;

private slots:
    void initTestCase()
    {
        QVERIFY2(m_bus.start(), qPrintable(m_bus.error()));
        m_conn = QDBusConnection::connectToBus(m_bus.unixAddress(), "test");
        QVERIFY(m_conn.isConnected());
        m_store = new TestStore(m_bus.unixAddress());
        QVERIFY2(m_store->start({"--memory", "--max-logbook-entries", QString::number(kLogbookCap)}),
                 qPrintable(m_store->error()));
        for (const char *iface :
             {"com.Brask.Vorlan.Setup", "com.Brask.Vorlan.Runtime", "com.Brask.Vorlan.Logbook"})
            QVERIFY(
                m_conn.connect(QString(), QString(), iface, QString(), this, SLOT(onSignal(QDBusMessage))));
    }
    void cleanup()
    {
        QCOMPARE(call(m_conn, "reset").type(), QDBusMessage::ReplyMessage);
        // Signals sent before the reset's reply are queued by now: drop them.
        QCoreApplication::processEvents();
        m_signals.clear();
    }
    void cleanupTestCase()
    {
        delete m_store;
        QDBusConnection::disconnectFromBus("test");
    }

    void roundTripAndSignal_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes");
        CSetupGps gps;
        gps.bGpsEnabled = false;
        CSetupGpsTracking tracking;
        tracking.eTrackingStatus = CSetupGpsTracking::ByDistance;
        CRuntimeGps runtime;
        runtime.setLatitude(48.5);
        CRuntimeTriggerFtpTransfer trigger;
        trigger.setStartGpsFileTransfer(true);
        QTest::newRow("gps setup") << "SetupGps" << gps.serialize();
        QTest::newRow("tracking setup") << "SetupGpsTracking" << tracking.serialize();
        QTest::newRow("runtime gps") << "RuntimeGps" << runtime.serialize();
        QTest::newRow("ftp trigger") << "RuntimeTriggerFtpTransfer" << trigger.serialize();
    }
    void roundTripAndSignal()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QVERIFY(get(m_conn, name).isEmpty());
        QCOMPARE(set(m_conn, name, kPid, bytes), CReplyCode::REPLY_SUCCESS);
        QCOMPARE(get(m_conn, name), bytes);
        QTRY_COMPARE_WITH_TIMEOUT(m_signals.size(), 1, kSignalWaitMs);
        QCOMPARE(m_signals.first().member(), "sig" + name);
        QCOMPARE(m_signals.first().path(), TestStore::message("set" + name).path());
        QCOMPARE(m_signals.first().arguments(), QVariantList{kPid});

        const QStringList log = lines(m_conn, "callLog");
        const QString hex = QString::fromLatin1(bytes.toHex());
        QCOMPARE(log.size(), 3);
        QCOMPARE(log.at(1).section(' ', 2), QString("set%1 %2 1 %3").arg(name).arg(kPid).arg(hex));
        QCOMPARE(log.at(2).section(' ', 2), QString("get%1 - ay %2").arg(name, hex));
    }

    void refusesWhatDoesNotDecode_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("code");
        CSetupGps huge;
        huge.reserved = QByteArray(70 * 1024, '\0'); // decodes, but is over the size cap
        const int invalid = CReplyCode::VALIDATION_ERROR;
        QTest::newRow("garbage") << "SetupGps" << QByteArray("\x01\x02\x03", 3) << invalid;
        QTest::newRow("oversized") << "SetupGps" << huge.serialize() << invalid;
        QTest::newRow("gps entry cut") << "LogbookGPS" << gpsEntry(11001).left(30) << invalid;
        QTest::newRow("tracking as gps")
            << "LogbookGPS" << trackingEntry(1.0) << int(CReplyCode::WRONG_TYPE_FOR_THIS_SET);
    }
    void refusesWhatDoesNotDecode()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(int, code);
        QCOMPARE(set(m_conn, name, kPid, bytes), code);
        QVERIFY(get(m_conn, name).isEmpty() || name.startsWith("Logbook"));
        QVERIFY((lines(m_conn, "listLogbook", {"gps", 0}) + lines(m_conn, "listLogbook", {"tracking", 0}))
                    .isEmpty());
        QVERIFY(m_signals.isEmpty());
    }

    void runtimeRecordsMergeMarkedFields()
    {
        CRuntimeTriggerFtpTransfer first;
        first.setStartGpsFileTransfer(true);
        CRuntimeTriggerFtpTransfer second;
        second.setTriggerText1("gps.csv");
        QCOMPARE(set(m_conn, "RuntimeTriggerFtpTransfer", 1, first.serialize()), CReplyCode::REPLY_SUCCESS);
        QCOMPARE(set(m_conn, "RuntimeTriggerFtpTransfer", 2, second.serialize()), CReplyCode::REPLY_SUCCESS);
        CRuntimeTriggerFtpTransfer stored;
        QVERIFY(stored.parse(get(m_conn, "RuntimeTriggerFtpTransfer")).ok());
        QVERIFY(stored.StartGpsFileTransfer());
        QCOMPARE(stored.TriggerText1(), "gps.csv");
    }

    // Each table keeps the newest kLogbookCap entries; row ids keep counting.
    void logbookKeepsTheNewest_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("table");
        QTest::newRow("gps events") << QString("LogbookGPS") << QString("gps");
        QTest::newRow("track points") << QString("LogbookDataTracking") << QString("tracking");
    }
    void logbookKeepsTheNewest()
    {
        QFETCH(QString, name);
        QFETCH(QString, table);
        constexpr int kEntries = kLogbookCap + 2;
        QStringList sent; // "PROCESS TYPE SUBTYPE HEX"
        for (int row = 1; row <= kEntries; ++row) {
            const QByteArray entry = table == "gps" ? gpsEntry(11003) : trackingEntry(row);
            const int stored =
                row <= kLogbookCap ? CReplyCode::REPLY_SUCCESS : CReplyCode::SUCCESS_AFTER_DELETE_ONE_ROW;
            QCOMPARE(set(m_conn, name, kPid + row, entry), stored);
            const QString kind = table == "gps" ? "6 11003" : "1 11000";
            sent << QString("%1 %2 %3").arg(kPid + row).arg(kind, QString::fromLatin1(entry.toHex()));
        }
        QTRY_COMPARE_WITH_TIMEOUT(m_signals.size(), kEntries, kSignalWaitMs);
        for (int row = 1; row <= kEntries; ++row) {
            QCOMPARE(m_signals.at(row - 1).member(), "sig" + name);
            QCOMPARE(m_signals.at(row - 1).arguments(), (QVariantList{kPid + row, qulonglong(row)}));
        }
        const QStringList kept = lines(m_conn, "listLogbook", {table, 0});
        QCOMPARE(kept.size(), kLogbookCap);
        for (int i = 0; i < kLogbookCap; ++i) {
            const int row = kEntries - kLogbookCap + 1 + i;
            QCOMPARE(kept.at(i).section(' ', 0, 0), QString::number(row));
            QCOMPARE(kept.at(i).section(' ', 2), sent.at(row - 1));
        }
        QCOMPARE(lines(m_conn, "listLogbook", {table, 1}), kept.mid(kLogbookCap - 1));
        QVERIFY(lines(m_conn, "listLogbook", {table == "gps" ? "tracking" : "gps", 0}).isEmpty());
        QCOMPARE(call(m_conn, "listLogbook", {"main", 0}).type(), QDBusMessage::ErrorMessage);
    }
};

QTEST_GUILESS_MAIN(tst_Store)
#include "tst_store.moc"
