// The settings file the packages ship, read the way the daemon reads it.
// It must hold every key with the daemon's default: then the daemon finds
// nothing to write back, and the conffile stays as dpkg installed it.

#include <QSettings>
#include <QtTest>

class tst_DefaultIni : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void keys_data();
    void keys();
    void nothingElse();

private:
    static QStringList expectedKeys();
};

void tst_DefaultIni::initTestCase()
{
    QVERIFY2(QFile::exists(QStringLiteral(VORLAN_DEFAULT_INI)), VORLAN_DEFAULT_INI);
}

void tst_DefaultIni::keys_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QVariant>("value"); // type as the daemon converts it

    const auto row = [](const char *key, const QVariant &value) {
        QTest::newRow(key) << QString::fromLatin1(key) << value;
    };
    row("SETUP_GENERAL/Use_Session_Bus", 1);
    // Unquoted, the commas would make QSettings read a list, and the daemon an empty address.
    row("SETUP_GENERAL/TCP_Bus_Address", QStringLiteral("tcp:host=127.0.0.1,port=7777"));
    row("SETUP_GENERAL/TCP_Bus_Name", QStringLiteral("remote"));
    row("SETUP_GENERAL/Dbus_Connection_Retry", 5000);
    row("SETUP_GENERAL/Setup_Poll_Rate", 1000);
    row("DEBUG_MESSAGES/Display_Message", 0);
    row("DEBUG_MESSAGES/Display_Level", 1);
    row("DEBUG_MESSAGES/Log_Message", 1);
    row("DEBUG_MESSAGES/Log_Level", 1);
    row("DEBUG_MESSAGES/Logfile_Size", 1048576);
    row("DEBUG_MESSAGES/Logfile_Redundancy", 1);
    row("DEBUG_MESSAGES/Logfile_Name", QStringLiteral("/var/log/Vorlan/gps.log"));
    row("DEBUG_MESSAGES/Use_SysLog", 0);
}

void tst_DefaultIni::keys()
{
    QFETCH(QString, key);
    QFETCH(QVariant, value);
    const QSettings ini(QStringLiteral(VORLAN_DEFAULT_INI), QSettings::IniFormat);
    QCOMPARE(ini.status(), QSettings::NoError);
    QVERIFY2(ini.contains(key), qPrintable(key));
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

void tst_DefaultIni::nothingElse()
{
    const QSettings ini(QStringLiteral(VORLAN_DEFAULT_INI), QSettings::IniFormat);
    QStringList keys = ini.allKeys();
    keys.sort();
    QStringList expected = expectedKeys();
    expected.sort();
    QCOMPARE(keys, expected);
}

QStringList tst_DefaultIni::expectedKeys()
{
    QStringList keys;
    keys << QStringLiteral("SETUP_GENERAL/Use_Session_Bus") << QStringLiteral("SETUP_GENERAL/TCP_Bus_Address")
         << QStringLiteral("SETUP_GENERAL/TCP_Bus_Name")
         << QStringLiteral("SETUP_GENERAL/Dbus_Connection_Retry")
         << QStringLiteral("SETUP_GENERAL/Setup_Poll_Rate")
         << QStringLiteral("DEBUG_MESSAGES/Display_Message") << QStringLiteral("DEBUG_MESSAGES/Display_Level")
         << QStringLiteral("DEBUG_MESSAGES/Log_Message") << QStringLiteral("DEBUG_MESSAGES/Log_Level")
         << QStringLiteral("DEBUG_MESSAGES/Logfile_Size")
         << QStringLiteral("DEBUG_MESSAGES/Logfile_Redundancy")
         << QStringLiteral("DEBUG_MESSAGES/Logfile_Name") << QStringLiteral("DEBUG_MESSAGES/Use_SysLog");
    return keys;
}

QTEST_GUILESS_MAIN(tst_DefaultIni)
#include "tst_default_ini.moc"
