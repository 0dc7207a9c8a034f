// The settings file the packages ship, read the way the daemon reads it.
// It must hold every key with the daemon's default, and nothing else: then
// the daemon finds nothing to write back, and the conffile stays as dpkg
// installed it.

#include <QSettings>
#include <QtTest>

namespace
{
// Each key with its default, typed as the daemon converts the value.
const QList<QPair<QString, QVariant>> kKeys{
    {"SETUP_GENERAL/Use_Session_Bus", 1},
    // Unquoted, the commas would make QSettings read a list, and the daemon an empty address.
    {"SETUP_GENERAL/TCP_Bus_Address", QString("tcp:host=127.0.0.1,port=7777")},
    {"SETUP_GENERAL/TCP_Bus_Name", QString("remote")},
    {"SETUP_GENERAL/Dbus_Connection_Retry", 5000},
    {"SETUP_GENERAL/Setup_Poll_Rate", 1000},
    {"DEBUG_MESSAGES/Display_Message", 0},
    {"DEBUG_MESSAGES/Display_Level", 1},
    {"DEBUG_MESSAGES/Log_Message", 1},
    {"DEBUG_MESSAGES/Log_Level", 1},
    {"DEBUG_MESSAGES/Logfile_Size", 1048576},
    {"DEBUG_MESSAGES/Logfile_Redundancy", 1},
    {"DEBUG_MESSAGES/Logfile_Name", QString("/var/log/Vorlan/gps.log")},
    {"DEBUG_MESSAGES/Use_SysLog", 0},
};
} // namespace

class tst_DefaultIni : public QObject
{
    Q_OBJECT
private slots:
    void keys_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QVariant>("value");
        for (const auto &key : kKeys)
            QTest::newRow(qPrintable(key.first)) << key.first << key.second;
    }
    void keys()
    {
        QFETCH(QString, key);
        QFETCH(QVariant, value);
        const QSettings ini(VORLAN_DEFAULT_INI, QSettings::IniFormat);
        QCOMPARE(ini.status(), QSettings::NoError);
        QVERIFY2(ini.contains(key), VORLAN_DEFAULT_INI);
        const QVariant stored = ini.value(key);
        if (value.userType() == QMetaType::Int) {
            bool ok = false;
            QCOMPARE(stored.toInt(&ok), value.toInt());
            QVERIFY(ok);
        } else {
            QCOMPARE(stored.userType(), int(QMetaType::QString));
            QCOMPARE(stored.toString(), value.toString());
        }
    }
    void nothingElse()
    {
        QStringList expected;
        for (const auto &key : kKeys)
            expected << key.first;
        QStringList keys = QSettings(VORLAN_DEFAULT_INI, QSettings::IniFormat).allKeys();
        keys.sort();
        expected.sort();
        QCOMPARE(keys, expected);
    }
};

QTEST_GUILESS_MAIN(tst_DefaultIni)
#include "tst_default_ini.moc"
