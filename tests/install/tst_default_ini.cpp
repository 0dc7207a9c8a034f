// The settings file the packages ship, read the way the daemon reads it.
// It must hold every key with the daemon's default, and nothing else: then
// the daemon finds nothing to write back, and the conffile stays as dpkg
// installed it.

#include <QSettings>
#include <QtTest>

class tst_DefaultIni : public QObject
{
    Q_OBJECT
private slots:
    void everyKeyWithItsDefault()
    {
        // Numbers as the daemon's toInt() reads them back unchanged; an address
        // unquoted would be read as a list (its commas), and by the daemon as empty.
        const QStringList expected{
            "DEBUG_MESSAGES/Display_Level=1",
            "DEBUG_MESSAGES/Display_Message=0",
            "DEBUG_MESSAGES/Log_Level=1",
            "DEBUG_MESSAGES/Log_Message=1",
            "DEBUG_MESSAGES/Logfile_Name=/var/log/Vorlan/gps.log",
            "DEBUG_MESSAGES/Logfile_Redundancy=1",
            "DEBUG_MESSAGES/Logfile_Size=1048576",
            "DEBUG_MESSAGES/Use_SysLog=0",
            "SETUP_GENERAL/Dbus_Connection_Retry=5000",
            "SETUP_GENERAL/Setup_Poll_Rate=1000",
            "SETUP_GENERAL/TCP_Bus_Address=tcp:host=127.0.0.1,port=7777",
            "SETUP_GENERAL/TCP_Bus_Name=remote",
            "SETUP_GENERAL/Use_Session_Bus=1",
        };
        const QSettings ini(VORLAN_DEFAULT_INI, QSettings::IniFormat);
        QCOMPARE(ini.status(), QSettings::NoError);
        QStringList found;
        for (const QString &key : ini.allKeys()) {
            const QVariant value = ini.value(key);
            found << key + '=' + (value.userType() == QMetaType::QString ? value.toString() : "(a list)");
        }
        found.sort();
        QCOMPARE(found, expected);
    }
};

QTEST_GUILESS_MAIN(tst_DefaultIni)
#include "tst_default_ini.moc"
