#include "CDriveGenerator.h"
#include "CDriveOptions.h"

#include <QDateTime>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

namespace
{
const double EarthRadiusM = 6378137.0;
const double Rad = 0.017453292519943295;
const double KnotKmh = 1.852;
const qint64 DefaultStartMs =
    QDateTime::fromString(QStringLiteral("2026-03-02T06:00:00Z"), Qt::ISODate).toMSecsSinceEpoch();

struct TruthRow {
    qint64 ms = 0;
    double lat = 0, lon = 0, alt = 0, kmh = 0, course = 0, hdop = 0;
    int fix = 0, sats = 0;
    QByteArray line;
};

// One epoch's sentences, split into fields; GSV may come several times.
struct Epoch {
    QMap<QByteArray, QList<QByteArray>> s;
    QList<QList<QByteArray>> gsv;
};

double haversineM(double lat1, double lon1, double lat2, double lon2)
{
    const double a =
        std::pow(std::sin((lat2 - lat1) * Rad / 2), 2) +
        std::cos(lat1 * Rad) * std::cos(lat2 * Rad) * std::pow(std::sin((lon2 - lon1) * Rad / 2), 2);
    return 2 * std::atan2(std::sqrt(a), std::sqrt(1 - a)) * EarthRadiusM;
}

double bearingDeg(double lat1, double lon1, double lat2, double lon2)
{
    const double y = std::sin((lon2 - lon1) * Rad) * std::cos(lat2 * Rad);
    const double x = std::cos(lat1 * Rad) * std::sin(lat2 * Rad) -
                     std::sin(lat1 * Rad) * std::cos(lat2 * Rad) * std::cos((lon2 - lon1) * Rad);
    return std::fmod(std::atan2(y, x) / Rad + 360.0, 360.0);
}

double angleDiff(double a, double b)
{
    return std::fabs(std::remainder(a - b, 360.0));
}

bool generate(const QStringList &args, CDriveGenerator::Result *result, QString *error)
{
    CDriveOptions options;
    return options.parse(QStringList{QStringLiteral("drive")} + args, error) &&
           CDriveGenerator(options).generate(result, error);
}

QList<TruthRow> truthRows(const QByteArray &truth)
{
    QList<TruthRow> rows;
    for (const QByteArray &line : truth.split('\n')) {
        const QList<QByteArray> f = line.split('\t');
        if (line.startsWith('#') || f.size() != 10)
            continue;
        TruthRow r;
        r.ms = QDateTime::fromString(QString::fromLatin1(f[0]), Qt::ISODateWithMs).toMSecsSinceEpoch();
        r.lat = f[1].toDouble(), r.lon = f[2].toDouble(), r.alt = f[3].toDouble(), r.kmh = f[4].toDouble();
        r.course = f[5].toDouble(), r.fix = f[6].toInt(), r.sats = f[7].toInt(), r.hdop = f[8].toDouble();
        r.line = line;
        rows.append(r);
    }
    return rows;
}

QList<Epoch> epochs(const QByteArray &nmea)
{
    QList<Epoch> out;
    for (const QByteArray &line : nmea.split('\n')) {
        if (!line.startsWith('$'))
            continue;
        const QList<QByteArray> f = line.left(line.indexOf('*')).mid(1).split(',');
        const QByteArray type = f[0].mid(2);
        if (type == "RMC" || out.isEmpty())
            out.append(Epoch());
        if (type == "GSV")
            out.last().gsv.append(f);
        else
            out.last().s[type] = f;
    }
    return out;
}

double nmeaDegrees(const QByteArray &value, const QByteArray &hemisphere)
{
    const double v = value.toDouble();
    const double degrees = std::floor(v / 100.0) + (v - 100.0 * std::floor(v / 100.0)) / 60.0;
    return hemisphere == "S" || hemisphere == "W" ? -degrees : degrees;
}

// Runs of standing epochs (speed 0) as (first index, last index).
QList<QPair<int, int>> standingRuns(const QList<TruthRow> &rows)
{
    QList<QPair<int, int>> runs;
    for (int i = 0; i < rows.size(); ++i) {
        if (rows[i].kmh != 0.0)
            continue;
        if (!runs.isEmpty() && runs.last().second == i - 1)
            runs.last().second = i;
        else
            runs.append({i, i});
    }
    return runs;
}
} // namespace

class TestNmeaDrive : public QObject
{
    Q_OBJECT

private slots:
    void sentencesAreWellFormed_data();
    void sentencesAreWellFormed();
    void sameOptionsGiveSameBytes();
    void trajectoryDoesNotDependOnRateOrLength();
    void sentencesCarryTheTruth_data();
    void sentencesCarryTheTruth();
    void truthMovesAsItsSpeedAndCourseSay();
    void roundHasItsPhases_data();
    void roundHasItsPhases();
    void noFixAndSilenceWindows_data();
    void noFixAndSilenceWindows();
    void badOptionsAreRefused_data();
    void badOptionsAreRefused();
    void commandLineReportsFailures();
};

void TestNmeaDrive::sentencesAreWellFormed_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::newRow("1 Hz round") << QStringList();
    QTest::newRow("5 Hz no fix") << QStringList{"--rate", "5", "--duration", "90", "--nofix", "10:30"};
    QTest::newRow("10 Hz offset") << QStringList{"--rate",         "10",     "--duration", "60",
                                                 "--clock-offset", "-3600.5"};
    QTest::newRow("two sentences") << QStringList{"--sentences", "gga,RMC", "--duration",
                                                  "30",          "--route", "town"};
}

void TestNmeaDrive::sentencesAreWellFormed()
{
    QFETCH(QStringList, args);
    CDriveGenerator::Result result;
    QString error;
    QVERIFY2(generate(args, &result, &error), qPrintable(error));
    static const QRegularExpression frame(
        QStringLiteral("^\\$(GP(GGA|RMC|GSA|GSV|VTG),[^*$\\r\\n]*)\\*([0-9A-F]{2})$"));
    const QMap<QString, int> fieldCount{{"GGA", 15}, {"RMC", 13}, {"VTG", 10}, {"GSA", 18}};
    QVERIFY(result.nmea.endsWith("\r\n"));
    const QList<QByteArray> lines = result.nmea.chopped(1).split('\n');
    int sentences = 0;
    for (const QByteArray &raw : lines) {
        QVERIFY2(raw.endsWith('\r'), raw.constData());
        const QByteArray line = raw.left(raw.size() - 1);
        if (line.startsWith('#')) {
            QCOMPARE(sentences, 0); // comments only in the header
            for (const char *word : {"Serial:", "Transport:", "Delay-Cookie:", "Date:"})
                QVERIFY2(!line.contains(word), line.constData());
            continue;
        }
        const QRegularExpressionMatch m = frame.match(QString::fromLatin1(line));
        QVERIFY2(m.hasMatch(), line.constData());
        quint8 sum = 0;
        for (char c : m.captured(1).toLatin1())
            sum ^= quint8(c);
        QCOMPARE(m.captured(3).toUInt(nullptr, 16), uint(sum));
        const int fields = m.captured(1).count(QLatin1Char(',')) + 1;
        if (m.captured(2) == QLatin1String("GSV"))
            QVERIFY2(fields >= 4 && fields <= 20 && fields % 4 == 0, line.constData());
        else
            QCOMPARE(fields, fieldCount.value(m.captured(2)));
        ++sentences;
    }
    QCOMPARE(sentences, result.sentences);
    QVERIFY(result.epochs > 0);
}

void TestNmeaDrive::sameOptionsGiveSameBytes()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    auto run = [&dir](const QString &name, const QStringList &extra) {
        QProcess p;
        p.start(QStringLiteral(NMEA_DRIVE_EXE),
                QStringList{"--rate", "5", "--nofix", "100:20", "--silence", "400:9", "-o",
                            dir.filePath(name + ".nmea"), "--truth", dir.filePath(name + ".tsv")} +
                    extra);
        const bool ok =
            p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
        QFile nmea(dir.filePath(name + ".nmea")), truth(dir.filePath(name + ".tsv"));
        return ok && nmea.open(QIODevice::ReadOnly) && truth.open(QIODevice::ReadOnly)
                   ? nmea.readAll() + truth.readAll()
                   : QByteArray();
    };
    const QByteArray first = run("a", {});
    QVERIFY(first.size() > 1000000);
    QCOMPARE(run("b", {}), first);
    QVERIFY(run("c", {"--seed", "2"}) != first);
}

void TestNmeaDrive::trajectoryDoesNotDependOnRateOrLength()
{
    CDriveGenerator::Result oneHz, tenHz, shorter;
    QString error;
    QVERIFY2(generate({"--duration", "150"}, &oneHz, &error), qPrintable(error));
    QVERIFY2(generate({"--duration", "150", "--rate", "10"}, &tenHz, &error), qPrintable(error));
    QVERIFY2(generate({"--duration", "100"}, &shorter, &error), qPrintable(error));
    const QList<TruthRow> a = truthRows(oneHz.truth), b = truthRows(tenHz.truth),
                          c = truthRows(shorter.truth);
    QCOMPARE(a.size(), 150);
    QCOMPARE(b.size(), 1500);
    QCOMPARE(c.size(), 100);
    for (int i = 0; i < a.size(); ++i) {
        QCOMPARE(b[10 * i].line, a[i].line); // whole seconds: same truck, same sky
        if (i < c.size())
            QCOMPARE(c[i].line, a[i].line);
    }
    QVERIFY(a.last().kmh > 5.0); // the comparison covered driving, not only the depot

    // A skipped lead-in: the same truck from second 50 on, its first epoch at --start.
    CDriveGenerator::Result skipped;
    QVERIFY2(generate({"--duration", "150", "--skip", "50"}, &skipped, &error), qPrintable(error));
    const QList<TruthRow> d = truthRows(skipped.truth);
    QCOMPARE(d.size(), 100);
    QCOMPARE(d.first().ms, a.first().ms);
    for (int i = 0; i < d.size(); ++i) {
        QCOMPARE(d[i].lat, a[i + 50].lat);
        QCOMPARE(d[i].kmh, a[i + 50].kmh);
        QCOMPARE(d[i].ms - d.first().ms, a[i + 50].ms - a[50].ms);
    }
}

void TestNmeaDrive::sentencesCarryTheTruth_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::newRow("1 Hz round") << QStringList();
    QTest::newRow("10 Hz with gap") << QStringList{"--rate", "10", "--duration", "400", "--nofix", "200:10"};
}

void TestNmeaDrive::sentencesCarryTheTruth()
{
    QFETCH(QStringList, args);
    CDriveGenerator::Result result;
    QString error;
    QVERIFY2(generate(args, &result, &error), qPrintable(error));
    const QList<TruthRow> rows = truthRows(result.truth);
    const QList<Epoch> eps = epochs(result.nmea);
    QCOMPARE(eps.size(), rows.size());
    for (int i = 0; i < rows.size(); ++i) {
        const TruthRow &t = rows[i];
        const auto &rmc = eps[i].s["RMC"], &gga = eps[i].s["GGA"], &vtg = eps[i].s["VTG"],
                   &gsa = eps[i].s["GSA"];
        const QDateTime utc = QDateTime::fromMSecsSinceEpoch(t.ms).toUTC();
        QCOMPARE(rmc[1], utc.toString(QStringLiteral("hhmmss.zzz")).chopped(1).toLatin1());
        QCOMPARE(gga[1], rmc[1]);
        QCOMPARE(rmc[9], utc.toString(QStringLiteral("ddMMyy")).toLatin1());
        QCOMPARE(rmc[2], QByteArray(t.fix ? "A" : "V"));
        QCOMPARE(gga[6].toInt(), t.fix);
        QCOMPARE(gsa[2], QByteArray(t.fix ? "3" : "1"));
        QCOMPARE(gga[7].toInt(), t.sats);
        QCOMPARE(gsa.mid(3, 12).size() - gsa.mid(3, 12).count(QByteArray()), t.sats);
        QCOMPARE(gga[8].toDouble(), t.hdop);
        QCOMPARE(gsa[16].toDouble(), t.hdop);
        if (t.ms % 1000 == 0) {
            QVERIFY(!eps[i].gsv.isEmpty());
            int listed = 0;
            for (const auto &gsv : eps[i].gsv)
                listed += (gsv.size() - 4) / 4;
            QCOMPARE(listed, eps[i].gsv.first()[3].toInt());
            QVERIFY(listed >= t.sats);
        }
        if (!t.fix) {
            QVERIFY(gga[2].isEmpty() && rmc[3].isEmpty() && rmc[7].isEmpty() && vtg[7].isEmpty());
            continue;
        }
        QVERIFY(std::fabs(nmeaDegrees(gga[2], gga[3]) - t.lat) < 1e-9);
        QVERIFY(std::fabs(nmeaDegrees(gga[4], gga[5]) - t.lon) < 1e-9);
        QCOMPARE(rmc.mid(3, 4), gga.mid(2, 4));
        QVERIFY(std::fabs(rmc[7].toDouble() * KnotKmh - t.kmh) < 1e-6);
        QCOMPARE(vtg[5], rmc[7]);
        QVERIFY(std::fabs(vtg[7].toDouble() - t.kmh) <= 0.0005 + 1e-9);
        QCOMPARE(rmc[8].toDouble(), t.course);
        QCOMPARE(vtg[1], rmc[8]);
        QCOMPARE(gga[9].toDouble(), t.alt);
    }
}

void TestNmeaDrive::truthMovesAsItsSpeedAndCourseSay()
{
    CDriveGenerator::Result result;
    QString error;
    QVERIFY2(generate({}, &result, &error), qPrintable(error));
    const QList<TruthRow> rows = truthRows(result.truth);
    int turnsChecked = 0;
    for (int i = 1; i < rows.size(); ++i) {
        const TruthRow &a = rows[i - 1], &b = rows[i];
        QCOMPARE(b.ms - a.ms, qint64(1000));
        const double d = haversineM(a.lat, a.lon, b.lat, b.lon);
        QVERIFY2(std::fabs(d - (a.kmh + b.kmh) / 2 / 3.6) < 0.3, qPrintable(QString::number(i)));
        if (a.kmh == 0.0 && b.kmh == 0.0)
            QCOMPARE(d, 0.0);
        if (a.kmh > 10.0 && b.kmh > 10.0) {
            // The chord runs along the course on a straight, midway between
            // the courses on an arc, and between them where a turn begins;
            // positions carry 2 cm, which tilts a short chord a little.
            const double turn = angleDiff(a.course, b.course);
            const double mid = a.course + std::remainder(b.course - a.course, 360.0) / 2;
            const double slack = 0.05 + 0.03 / d / Rad;
            QVERIFY2(angleDiff(bearingDeg(a.lat, a.lon, b.lat, b.lon), mid) <= turn / 2 + slack,
                     qPrintable(QString::number(i)));
            turnsChecked += turn > 5.0;
        }
    }
    QVERIFY(turnsChecked > 5);
}

void TestNmeaDrive::roundHasItsPhases_data()
{
    QTest::addColumn<QString>("route");
    QTest::addColumn<int>("customers");
    QTest::addColumn<int>("highwayS");
    QTest::addColumn<double>("maxKmh");
    QTest::addColumn<int>("minMinutes");
    QTest::addColumn<int>("maxMinutes");
    QTest::newRow("delivery") << "delivery" << 3 << 120 << 90.0 << 20 << 40;
    QTest::newRow("town") << "town" << 1 << 0 << 60.0 << 5 << 20;
}

void TestNmeaDrive::roundHasItsPhases()
{
    QFETCH(QString, route);
    QFETCH(int, customers);
    QFETCH(int, highwayS);
    QFETCH(double, maxKmh);
    QFETCH(int, minMinutes);
    QFETCH(int, maxMinutes);
    CDriveGenerator::Result result;
    QString error;
    QVERIFY2(generate({"--route", route}, &result, &error), qPrintable(error));
    const QList<TruthRow> rows = truthRows(result.truth);
    QVERIFY(rows.size() >= minMinutes * 60 && rows.size() <= maxMinutes * 60);

    const QList<QPair<int, int>> runs = standingRuns(rows);
    QVERIFY(runs.size() > customers + 2);
    QCOMPARE(runs.first().first, 0);
    QVERIFY(runs.first().second >= 30); // engine on at the depot before leaving
    QCOMPARE(runs.last().second, int(rows.size()) - 1);
    QVERIFY(rows.size() - runs.last().first >= 30);
    const TruthRow &depot = rows.first();
    QVERIFY(haversineM(depot.lat, depot.lon, rows.last().lat, rows.last().lon) < 20.0);

    int unloading = 0, shortStops = 0;
    for (const auto &run : runs) {
        const double fromDepot = haversineM(depot.lat, depot.lon, rows[run.first].lat, rows[run.first].lon);
        const int seconds = run.second - run.first + 1;
        unloading += fromDepot > 300.0 && seconds >= 150;
        shortStops += fromDepot > 100.0 && seconds >= 5 && seconds <= 60; // traffic lights
    }
    QCOMPARE(unloading, customers);
    QVERIFY(shortStops >= 1);

    int longestFast = 0, fast = 0;
    double top = 0.0;
    for (const TruthRow &r : rows) {
        fast = r.kmh > 80.0 ? fast + 1 : 0;
        longestFast = std::max(longestFast, fast);
        top = std::max(top, r.kmh);
        QCOMPARE(r.fix, 1);
    }
    QVERIFY2(longestFast >= highwayS, qPrintable(QString::number(longestFast)));
    QVERIFY(top <= maxKmh + 1e-6 && top > 40.0);
}

void TestNmeaDrive::noFixAndSilenceWindows_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("rate");
    QTest::addColumn<qint64>("offsetMs");
    QTest::addColumn<QList<qint64>>("noFix"); // start, length pairs in ms
    QTest::addColumn<QList<qint64>>("silence");
    QTest::newRow("no fix") << QStringList{"--nofix", "30:15"} << 1 << qint64(0)
                            << QList<qint64>{30000, 15000} << QList<qint64>{};
    QTest::newRow("two silences") << QStringList{"--silence", "10:5", "--silence", "60:20"} << 1 << qint64(0)
                                  << QList<qint64>{} << QList<qint64>{10000, 5000, 60000, 20000};
    QTest::newRow("5 Hz, clock ahead")
        << QStringList{"--rate", "5", "--nofix", "20:2.5", "--silence", "21:1", "--clock-offset", "7200"} << 5
        << qint64(7200000) << QList<qint64>{20000, 2500} << QList<qint64>{21000, 1000};
    QTest::newRow("clock behind") << QStringList{"--clock-offset", "-86400.25", "--nofix", "0:3"} << 1
                                  << qint64(-86400250) << QList<qint64>{0, 3000} << QList<qint64>{};
}

void TestNmeaDrive::noFixAndSilenceWindows()
{
    QFETCH(QStringList, args);
    QFETCH(int, rate);
    QFETCH(qint64, offsetMs);
    QFETCH(QList<qint64>, noFix);
    QFETCH(QList<qint64>, silence);
    const qint64 durationMs = 120000;
    CDriveGenerator::Result result;
    QString error;
    QVERIFY2(generate(args + QStringList{"--duration", "120"}, &result, &error), qPrintable(error));
    auto inside = [](const QList<qint64> &windows, qint64 t) {
        for (int i = 0; i + 1 < windows.size(); i += 2)
            if (t >= windows[i] && t < windows[i] + windows[i + 1])
                return true;
        return false;
    };
    const QList<TruthRow> rows = truthRows(result.truth);
    const QList<Epoch> eps = epochs(result.nmea);
    QCOMPARE(eps.size(), rows.size());
    int i = 0;
    for (qint64 t = 0; t < durationMs; t += 1000 / rate) {
        if (inside(silence, t))
            continue;
        QVERIFY2(i < rows.size(), qPrintable(QString::number(t)));
        QCOMPARE(rows[i].ms, DefaultStartMs + offsetMs + t);
        QCOMPARE(rows[i].fix, inside(noFix, t) ? 0 : 1);
        QCOMPARE(eps[i].s["GGA"][6].toInt(), rows[i].fix);
        ++i;
    }
    QCOMPARE(i, rows.size());
}

void TestNmeaDrive::badOptionsAreRefused_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::newRow("rate 2") << QStringList{"--rate", "2"};
    QTest::newRow("window without length") << QStringList{"--nofix", "10"};
    QTest::newRow("window of zero") << QStringList{"--silence", "10:0"};
    QTest::newRow("window words") << QStringList{"--nofix", "a:b"};
    QTest::newRow("negative window") << QStringList{"--nofix", "-5:10"};
    QTest::newRow("impossible date") << QStringList{"--start", "2026-02-30T06:00:00Z"};
    QTest::newRow("not a date") << QStringList{"--start", "yesterday"};
    QTest::newRow("millisecond offset") << QStringList{"--clock-offset", "0.005"};
    QTest::newRow("offset before 1980") << QStringList{"--clock-offset", "-2000000000"};
    QTest::newRow("negative duration") << QStringList{"--duration", "-5"};
    QTest::newRow("unknown route") << QStringList{"--route", "moon"};
    QTest::newRow("unknown sentence") << QStringList{"--sentences", "GGA,ZDA"};
    QTest::newRow("seed words") << QStringList{"--seed", "x"};
    QTest::newRow("unknown option") << QStringList{"--speed", "80"};
    QTest::newRow("stray argument") << QStringList{"file.nmea"};
}

void TestNmeaDrive::badOptionsAreRefused()
{
    QFETCH(QStringList, args);
    CDriveOptions options;
    QString error;
    QVERIFY(!options.parse(QStringList{"drive"} + args, &error));
    QVERIFY(!error.isEmpty());
}

void TestNmeaDrive::commandLineReportsFailures()
{
    const QList<QStringList> cases{{"--rate", "3"}, {"-o", "/nonexistent-dir/drive.nmea", "--duration", "5"}};
    for (const QStringList &args : cases) {
        QProcess p;
        p.start(QStringLiteral(NMEA_DRIVE_EXE), args);
        QVERIFY(p.waitForFinished(30000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 1);
        QVERIFY(p.readAllStandardError().startsWith("vorlan-nmea-drive: "));
        QVERIFY(p.readAllStandardOutput().isEmpty());
    }
}

QTEST_GUILESS_MAIN(TestNmeaDrive)
#include "tst_nmeadrive.moc"
