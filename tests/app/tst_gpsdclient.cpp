#include "app/CGpsdClient.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QtTest>

#include <arpa/inet.h>
#include <cmath>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace
{
using R = SGpsReport;

// Lines as gpsd 3.22 wrote them while replaying haicom-305N.log and telit-he910.log.
const char kTpvFix[] =
    R"({"class":"TPV","device":"/dev/pts/1","mode":3,"time":"2026-11-22T09:53:11.801Z","ept":0.005,)"
    R"("lat":-27.210698333,"lon":153.052023333,"altHAE":46.3000,"altMSL":4.1000,"alt":4.1000,"epx":113.344,)"
    R"("epy":21.847,"epv":207.000,"track":307.4100,"magtrack":318.3584,"magvar":10.9,"speed":1.111,)"
    R"("climb":1.100,"eps":226.69,"epc":414.00,"geoidSep":42.200,"eph":142.500,"sep":222.300})";
const char kTpvNoTime[] =
    R"({"class":"TPV","device":"/dev/pts/1","mode":3,"lat":-27.210781667,)"
    R"("lon":153.052130000,"altHAE":45.2000,"altMSL":3.0000,"alt":3.0000,"magvar":10.9,)"
    R"("geoidSep":42.200,"eph":400.900})";
const char kTpvNoFix[] = R"({"class":"TPV","device":"/dev/pts/1","mode":1})";
const char kSky[] = R"({"class":"SKY","device":"/dev/pts/1","xdop":7.56,"ydop":1.46,"vdop":9.00,"tdop":5.38,)"
                    R"("hdop":7.50,"gdop":13.06,"pdop":11.70,"nSat":3,"uSat":2,"satellites":[)"
                    R"({"PRN":5,"el":45.0,"az":347.0,"ss":45.0,"used":true,"gnssid":0,"svid":5},)"
                    R"({"PRN":7,"el":45.0,"az":212.0,"ss":30.0,"used":true,"gnssid":0,"svid":7},)"
                    R"({"PRN":2,"el":15.0,"az":123.0,"ss":0.0,"used":false,"gnssid":0,"svid":2}]})";
const char kDevices[] =
    R"({"class":"DEVICES","devices":[{"class":"DEVICE","path":"/dev/pts/1","driver":"SiRF",)"
    R"("subtype":"GSW3.2.4","activated":"2026-12-05T23:10:39.786Z","native":1,"bps":4800,)"
    R"("parity":"N","stopbits":1,"cycle":1.00},{"class":"DEVICE","path":"/dev/ttyS1"}]})";
const char kDevice[] = R"({"class":"DEVICE","path":"/dev/pts/1","driver":"NMEA0183","subtype":"SW 1.0",)"
                       R"("activated":"2026-12-05T23:11:18.000Z","native":0,"bps":4800,"parity":"N",)"
                       R"("stopbits":1,"cycle":1.00})";
const char kVersion[] =
    R"({"class":"VERSION","release":"3.22","rev":"3.22","proto_major":3,"proto_minor":14})";

quint16 unusedLoopbackPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    quint16 port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr *>(&addr), len) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr *>(&addr), &len) == 0)
        port = ntohs(addr.sin_port);
    ::close(fd);
    return port;
}
} // namespace

class tst_GpsdClient : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void unpackMask_data();
    void unpackMask();
    void unpackValues();
    void unpackRejects_data();
    void unpackRejects();
    void replayThroughGpsd();
};

void tst_GpsdClient::unpackMask_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<quint64>("mask");
    const quint64 tpv = R::PACKET_SET | R::STATUS_SET | R::OTHER_SET;
    QTest::newRow("TPV 3D fix") << QByteArray(kTpvFix)
                                << (tpv | R::TIME_SET | R::LATLON_SET | R::ALTITUDE_SET | R::SPEED_SET);
    QTest::newRow("TPV without time and speed")
        << QByteArray(kTpvNoTime) << (tpv | R::LATLON_SET | R::ALTITUDE_SET);
    const quint64 bareTpv = R::PACKET_SET | R::STATUS_SET;
    QTest::newRow("TPV without fix") << QByteArray(kTpvNoFix) << bareTpv;
    QTest::newRow("TPV with only altHAE")
        << QByteArray(R"({"class":"TPV","mode":3,"altHAE":5.0})") << bareTpv;
    QTest::newRow("SKY") << QByteArray(kSky) << (R::PACKET_SET | R::DOP_SET | R::OTHER_SET);
    QTest::newRow("SKY without hdop")
        << QByteArray(R"({"class":"SKY","uSat":4})") << (R::PACKET_SET | R::OTHER_SET);
    QTest::newRow("DEVICES") << QByteArray(kDevices) << (R::PACKET_SET | R::DEVICELIST_SET);
    QTest::newRow("DEVICE") << QByteArray(kDevice) << (R::PACKET_SET | R::DEVICE_SET);
    QTest::newRow("VERSION") << QByteArray(kVersion) << (R::PACKET_SET | R::OTHER_SET);
    QTest::newRow("line end kept") << (QByteArray(kTpvNoFix) + "\r\n") << bareTpv;
}

void tst_GpsdClient::unpackMask()
{
    QFETCH(QByteArray, line);
    QFETCH(quint64, mask);
    SGpsReport report;
    QVERIFY(CGpsdClient::unpack(line, report));
    QCOMPARE(report.set, mask);
}

void tst_GpsdClient::unpackValues()
{
    // expected: units as gpsd sends them (degrees, m/s, metres above sea level), time with its fraction
    SGpsReport r;
    QVERIFY(CGpsdClient::unpack(kTpvFix, r));
    QCOMPARE(r.mode, 3);
    QCOMPARE(r.fixTime, 1795341191.801);
    QCOMPARE(r.latitude, -27.210698333);
    QCOMPARE(r.longitude, 153.052023333);
    QCOMPARE(r.altitude, 4.1);
    QCOMPARE(r.separation, 42.2);
    QCOMPARE(r.speed, 1.111);
    QCOMPARE(r.track, 307.41);
    QCOMPARE(r.satellitesUsed, 0);
    QVERIFY(std::isnan(r.hdop));

    // situation: only the ellipsoid height and the separation are known
    QVERIFY(CGpsdClient::unpack(R"({"class":"TPV","mode":3,"altHAE":500.0,"geoidSep":47.5})", r));
    QCOMPARE(r.altitude, 452.5);
    QVERIFY(r.set & R::ALTITUDE_SET);

    QVERIFY(CGpsdClient::unpack(kSky, r));
    QCOMPARE(r.satellitesUsed, 2);
    QCOMPARE(r.hdop, 7.5);
    QVERIFY(std::isnan(r.latitude));

    QVERIFY(CGpsdClient::unpack(kDevices, r));
    QCOMPARE(r.deviceCount, 2);
    QCOMPARE(r.devicePath, QStringLiteral("/dev/pts/1"));
    QCOMPARE(r.deviceDriver, QStringLiteral("SiRF"));
    QCOMPARE(r.deviceSubtype, QStringLiteral("GSW3.2.4"));

    QVERIFY(CGpsdClient::unpack(kDevice, r));
    QCOMPARE(r.driver, QStringLiteral("NMEA0183"));
    QCOMPARE(r.subtype, QStringLiteral("SW 1.0"));
    QCOMPARE(r.deviceCount, 0);
}

void tst_GpsdClient::unpackRejects_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("NMEA") << QByteArray("$GPGGA,,,,,,0,,,,M,,M,,*66");
    QTest::newRow("truncated") << QByteArray(kTpvFix).left(60);
    QTest::newRow("array") << QByteArray("[1,2]");
    QTest::newRow("embedded NUL") << QByteArray("{\"class\":\"TPV\"}\0{", 17);
    QTest::newRow("oversized") << (QByteArray(R"({"class":"ERROR","message":")") + QByteArray(9000, 'x') +
                                   "\"}");
}

void tst_GpsdClient::unpackRejects()
{
    QFETCH(QByteArray, line);
    SGpsReport report;
    report.set = R::PACKET_SET;
    QVERIFY(!CGpsdClient::unpack(line, report));
    QCOMPARE(report.set, quint64(0));
}

void tst_GpsdClient::replayThroughGpsd()
{
    const QString capture = qEnvironmentVariable("VORLAN_CAPTURES") + QStringLiteral("/haicom-305N.log");
    if (!QFile::exists(capture))
        QSKIP("receiver captures not available");
    if (QStandardPaths::findExecutable(QStringLiteral("gpsfake")).isEmpty())
        QSKIP("gpsfake not installed");
    const QByteArray port = QByteArray::number(unusedLoopbackPort());

    // situation: nobody listens on the port yet
    CGpsdClient client;
    const int refused = client.open("localhost", port.constData());
    QVERIFY(refused != 0);
    QVERIFY(!client.isOpen());
    QVERIFY(!CGpsdClient::errorText(refused).isEmpty());
    SGpsReport report;
    QCOMPARE(client.read(report), -1);
    QVERIFY(!client.waiting(1000));

    QProcess fake;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("PATH"),
               env.value(QStringLiteral("PATH")) + QStringLiteral(":/usr/sbin:/sbin"));
    fake.setProcessEnvironment(env);
    fake.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    fake.start(QStringLiteral("gpsfake"),
               {QStringLiteral("-1"), QStringLiteral("-q"), QStringLiteral("-c"), QStringLiteral("0.05"),
                QStringLiteral("-P"), QString::fromLatin1(port), capture});
    QVERIFY(fake.waitForStarted());
    auto stopFake = qScopeGuard([&fake] {
        fake.terminate();
        if (!fake.waitForFinished(5000))
            fake.kill();
    });

    QElapsedTimer clock;
    clock.start();
    while (client.open("localhost", port.constData()) != 0 && clock.elapsed() < 10000)
        QTest::qWait(100);
    QVERIFY(client.isOpen());
    QVERIFY(client.stream() >= 0);

    // expected: every line carries the packet mark; NMEA lines carry nothing
    // else; a fix arrives with the sea-level altitude of the capture
    quint64 seen = 0;
    int nmeaOnly = 0;
    SGpsReport fix;
    while (clock.elapsed() < 30000 &&
           !(fix.set & R::ALTITUDE_SET && fix.set & R::TIME_SET && fix.satellitesUsed > 0)) {
        if (!client.waiting(100000))
            continue;
        QVERIFY(client.read(report) >= 0);
        if (report.set == 0)
            continue; // no complete line yet
        QVERIFY(report.set & R::PACKET_SET);
        nmeaOnly += report.set == R::PACKET_SET;
        seen |= report.set;
        if (report.set & R::LATLON_SET)
            fix = report;
    }
    QVERIFY(fix.set & R::TIME_SET);
    QVERIFY(nmeaOnly > 0);
    QVERIFY(seen & R::DEVICELIST_SET);
    QVERIFY(qAbs(fix.latitude + 27.2107) < 0.001);
    QVERIFY(qAbs(fix.longitude - 153.0520) < 0.001);
    QVERIFY(fix.altitude < 20.0);
    QCOMPARE(fix.separation, 42.2);
    QVERIFY(fix.hdop > 0.0); // kept from the last SKY report

    client.close();
    QVERIFY(!client.isOpen());
    QCOMPARE(client.read(report), -1);
}

QTEST_GUILESS_MAIN(tst_GpsdClient)
#include "tst_gpsdclient.moc"
