#include "app/CGpsdClient.h"
#include <QtTest>
#include <cmath>

namespace
{
using R = SGpsReport;

// Lines as gpsd 3.22 wrote them while replaying the receiver captures.
const char kTpvFix[] =
    R"({"class":"TPV","device":"/dev/pts/1","mode":3,"time":"2026-11-22T09:53:11.801Z",)"
    R"("ept":0.005,"lat":-27.210698333,"lon":153.052023333,"altHAE":46.3000,"altMSL":4.1000,)"
    R"("alt":4.1000,"track":307.4100,"magvar":10.9,"speed":1.111,"geoidSep":42.200})";
const char kTpvNoTime[] =
    R"({"class":"TPV","device":"/dev/pts/1","mode":3,"lat":-27.210781667,)"
    R"("lon":153.052130000,"altHAE":45.2000,"altMSL":3.0000,"alt":3.0000,"geoidSep":42.200})";
const char kTpvNoFix[] = R"({"class":"TPV","device":"/dev/pts/1","mode":1})";
const char kSky[] = R"({"class":"SKY","device":"/dev/pts/1","hdop":7.50,"nSat":3,"uSat":2,"satellites":[)"
                    R"({"PRN":5,"el":45.0,"az":347.0,"ss":45.0,"used":true},{"PRN":7,"el":45.0,"az":212.0,)"
                    R"("ss":30.0,"used":true},{"PRN":2,"el":15.0,"az":123.0,"ss":0.0,"used":false}]})";
const char kDevices[] =
    R"({"class":"DEVICES","devices":[{"class":"DEVICE","path":"/dev/pts/1","driver":"SiRF",)"
    R"("subtype":"GSW3.2.4","native":1,"bps":4800},{"class":"DEVICE","path":"/dev/ttyS1"}]})";
const char kDevice[] =
    R"({"class":"DEVICE","path":"/dev/pts/1","driver":"NMEA0183","subtype":"SW 1.0","bps":4800})";
const char kVersion[] =
    R"({"class":"VERSION","release":"3.22","rev":"3.22","proto_major":3,"proto_minor":14})";

// An NMEA sentence with its checksum.
QByteArray nmea(const QByteArray &body)
{
    char sum = 0;
    for (const char c : body)
        sum ^= c;
    return '$' + body + '*' + QByteArray::number(quint8(sum), 16).toUpper().rightJustified(2, '0');
}

QByteArray tpvAt(int second)
{
    return QByteArray(R"({"class":"TPV","mode":3,"time":"2026-11-22T09:53:)") +
           QByteArray::number(second).rightJustified(2, '0') +
           R"(.000Z","lat":48.1,"lon":11.5,"altMSL":500.0})";
}
const QByteArray kGga = nmea("GNGGA,095311.00,4806.000,N,01130.000,E,1,09,1.23,500.0,M,47.0,M,,");
} // namespace

class tst_GpsdClient : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void unpackMask_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<quint64>("mask"); // 0: refused
        const quint64 tpv = R::PACKET_SET | R::STATUS_SET;
        const quint64 fix = tpv | R::LATLON_SET | R::ALTITUDE_SET;
        QTest::newRow("TPV 3D fix") << QByteArray(kTpvFix)
                                    << (fix | R::TIME_SET | R::SPEED_SET | R::OTHER_SET);
        QTest::newRow("TPV without time, speed") << QByteArray(kTpvNoTime) << fix;
        QTest::newRow("TPV without fix") << QByteArray(kTpvNoFix) << tpv;
        QTest::newRow("TPV, altHAE only")
            << QByteArray("{\"class\":\"TPV\",\"mode\":3,\"altHAE\":5.0}") << tpv;
        QTest::newRow("SKY") << QByteArray(kSky) << (R::PACKET_SET | R::DOP_SET | R::OTHER_SET);
        QTest::newRow("SKY without hdop")
            << QByteArray("{\"class\":\"SKY\",\"uSat\":4}") << (R::PACKET_SET | R::OTHER_SET);
        QTest::newRow("DEVICES") << QByteArray(kDevices) << (R::PACKET_SET | R::DEVICELIST_SET);
        QTest::newRow("DEVICE") << QByteArray(kDevice) << (R::PACKET_SET | R::DEVICE_SET);
        QTest::newRow("VERSION") << QByteArray(kVersion) << (R::PACKET_SET | R::OTHER_SET);
        QTest::newRow("unknown class") << QByteArray("{\"class\":\"FOO\"}") << R::PACKET_SET;
        QTest::newRow("line end") << (QByteArray(kTpvNoFix) + "\r\n") << tpv;
        QTest::newRow("empty") << QByteArray() << quint64(0);
        QTest::newRow("NMEA") << QByteArray("$GPGGA,,,,,,0,,,,M,,M,,*66") << quint64(0);
        QTest::newRow("truncated") << QByteArray(kTpvFix).left(60) << quint64(0);
        QTest::newRow("embedded NUL") << QByteArray("{\"class\":\"TPV\"}\0{", 17) << quint64(0);
        QTest::newRow("wrong type") << QByteArray("{\"class\":\"TPV\",\"mode\":\"3\"}") << quint64(0);
        // libgps's own parse loop never ends on these two
        QTest::newRow("class in a nested array") << QByteArray("{\"x\":[{\"class\":\"TPV\"}]}") << quint64(0);
        QTest::newRow("unknown array in a device")
            << QByteArray("{\"class\":\"DEVICES\",\"devices\":[{\"class\":\"DEVICE\",\"zz\":[1]}]}")
            << quint64(0);
        QTest::newRow("oversized") << ("{\"class\":\"ERROR\",\"message\":\"" + QByteArray(9000, 'x') + "\"}")
                                   << quint64(0);
    }
    void unpackMask()
    {
        QFETCH(QByteArray, line);
        QFETCH(quint64, mask);
        SGpsReport report;
        report.set = R::OTHER_SET;
        QCOMPARE(CGpsdClient::unpack(line, report), mask != 0);
        QCOMPARE(report.set, mask);
    }
    void unpackValues()
    {
        // Degrees, m/s, metres above sea level, time with its fraction.
        SGpsReport r;
        QVERIFY(CGpsdClient::unpack(kTpvFix, r));
        QCOMPARE(
            QList<double>({r.fixTime, r.latitude, r.longitude, r.altitude, r.separation, r.speed, r.track}),
            QList<double>({1795341191.801, -27.210698333, 153.052023333, 4.1, 42.2, 1.111, 307.41}));
        QCOMPARE(QVariantList({r.mode, r.satellitesUsed, std::isnan(r.hdop)}), QVariantList({3, 0, true}));
        // Without altMSL: above the ellipsoid minus the geoid separation. (The lines decode: unpackMask.)
        CGpsdClient::unpack("{\"class\":\"TPV\",\"mode\":3,\"altHAE\":500.0,\"geoidSep\":47.5}", r);
        QCOMPARE(r.altitude, 452.5);
        CGpsdClient::unpack(kSky, r);
        QCOMPARE(QVariantList({r.satellitesUsed, r.hdop}), QVariantList({2, 7.5}));
        CGpsdClient::unpack(kDevices, r);
        QCOMPARE(QVariantList({r.deviceCount, r.devicePath, r.deviceDriver, r.deviceSubtype}),
                 QVariantList({2, "/dev/pts/1", "SiRF", "GSW3.2.4"}));
        QVERIFY(CGpsdClient::unpack(kDevice, r));
        QCOMPARE(r.driver + r.subtype, QStringLiteral("NMEA0183SW 1.0"));
    }
    void ggaValues_data()
    {
        QTest::addColumn<QByteArray>("sentence");
        QTest::addColumn<int>("satellites"); // -1: nothing taken
        QTest::addColumn<double>("hdop");
        QTest::newRow("GN") << kGga << 9 << 1.23;
        QTest::newRow("GP, line end") << nmea("GPGGA,1,2,N,3,E,2,04,2.5,1,M,1,M,,") + "\r\n" << 4 << 2.5;
        QTest::newRow("0 satellites") << nmea("GPGGA,1,2,N,3,E,1,00,9.9,1,M,1,M,,") << 0 << 9.9;
        QTest::newRow("24 satellites") << nmea("GNGGA,1,2,N,3,E,1,24,0.6,1,M,1,M,,") << 24 << 0.6;
        QTest::newRow("quality 0") << nmea("GPGGA,1,2,N,3,E,0,08,1.0,1,M,1,M,,") << -1 << 0.0;
        QTest::newRow("empty HDOP") << nmea("GPGGA,1,2,N,3,E,1,08,,1,M,1,M,,") << -1 << 0.0;
        QTest::newRow("empty satellites") << nmea("GPGGA,1,2,N,3,E,1,,1.0,1,M,1,M,,") << -1 << 0.0;
        QTest::newRow("HDOP 0, nothing after it") << nmea("GPGGA,1,2,N,3,E,1,05,0.0") << 5 << 0.0;
        QTest::newRow("negative HDOP") << nmea("GPGGA,1,2,N,3,E,1,08,-1.0,1,M,1,M,,") << -1 << 0.0;
        QTest::newRow("cut short") << nmea("GPGGA,1,2,N,3,E,1,08") << -1 << 0.0;
        QTest::newRow("checksum wrong") << QByteArray(kGga).replace("1.23", "1.24") << -1 << 0.0;
        QTest::newRow("no checksum") << kGga.left(kGga.size() - 3) << -1 << 0.0;
        QTest::newRow("other sentence") << nmea("GPGSA,A,3,01,02,03,,,,,,,,,,1.8,1.0,1.5") << -1 << 0.0;
        QTest::newRow("JSON") << QByteArray(kTpvFix) << -1 << 0.0;
    }
    void ggaValues()
    {
        QFETCH(QByteArray, sentence);
        int satellites = -1;
        double hdop = 0.0;
        CGpsdClient::ggaValues(sentence, satellites, hdop);
        QTEST(satellites, "satellites");
        QTEST(hdop, "hdop");
    }
    // Satellites and HDOP reach a fix from GGA only while gpsd has sent no
    // sky report for more than 5 s of fix time (from the first TPV while none
    // came): a sky report ends the fallback at once, its absence resumes it.
    void ggaStandsInForSky()
    {
        const QList<QByteArray> lines = {tpvAt(0), kGga, tpvAt(5), kGga,      tpvAt(6), kGga,
                                         tpvAt(7), kSky, kGga,     tpvAt(13), kGga};
        const QVector<SGpsReport> reports = CGpsdClient::unpackLines(lines);
        QString got;
        for (const SGpsReport &r : reports) {
            QVERIFY(r.set & R::PACKET_SET);
            got += (r.set & R::DOP_SET) ? QStringLiteral("D%1/%2 ").arg(r.satellitesUsed).arg(r.hdop)
                                        : QStringLiteral("%1 ").arg(r.satellitesUsed);
        }
        QCOMPARE(got, QStringLiteral("0 0 0 0 0 D9/1.23 9 D2/7.5 2 2 D9/1.23 "));
        QCOMPARE(reports[0].set & R::DOP_SET, quint64(0));
    }
};

QTEST_GUILESS_MAIN(tst_GpsdClient)
#include "tst_gpsdclient.moc"
