// The drive generator: the same bytes for the same options, valid NMEA, and
// what each timing option does to the epochs. What the sentences carry is
// checked end to end (gpsd here, the daemon in the system tests).

#include "CDriveGenerator.h"
#include "CDriveOptions.h"
#include "tests/support/TestDrive.h"
#include <QRegularExpression>
#include <QtTest>

namespace
{
constexpr int kDurationS = 120;
const qint64 kDefaultStartMs = QDateTime::fromString("2026-03-02T06:00:00Z", Qt::ISODate).toMSecsSinceEpoch();

CDriveGenerator::Result generated(const QStringList &args)
{
    CDriveOptions options;
    CDriveGenerator::Result result;
    QString error;
    if (!options.parse(QStringList{QStringLiteral("drive")} + args, &error) ||
        !CDriveGenerator(options).generate(&result, &error))
        qWarning() << "generator refused" << args << error;
    return result;
}

bool inside(const QList<qint64> &windows, qint64 t) // start, length pairs in ms
{
    for (int i = 0; i + 1 < windows.size(); i += 2)
        if (t >= windows[i] && t < windows[i] + windows[i + 1])
            return true;
    return false;
}
} // namespace

class TestNmeaDrive : public QObject
{
    Q_OBJECT

private slots:
    void sentencesAreValid_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QStringList>("types");
        QTest::newRow("two sentences")
            << QStringList{"--sentences", "gga,RMC"} << QStringList{"GPGGA", "GPRMC"};
        QTest::newRow("minimal") << QStringList{"--profile", "minimal"} << QStringList{"GPGGA", "GPRMC"};
        QTest::newRow("multi, 5 Hz, no fix")
            << QString("--profile multi --rate 5 --nofix 10:3 --duration 30").split(' ')
            << QString("GNRMC GNVTG GNGGA GNGSA GPGSV GLGSV GAGSV GBGSV GNGLL GNGST GNGBS GNZDA").split(' ');
    }
    void sentencesAreValid()
    {
        QFETCH(QStringList, args);
        QFETCH(QStringList, types);
        const CDriveGenerator::Result result = generated(args);
        static const QRegularExpression frame(QStringLiteral(
            "^\\$(G[PNLAB](GGA|RMC|GSA|GSV|VTG|GLL|GST|GBS|ZDA),[^*$\\r\\n]*)\\*([0-9A-F]{2})\\r$"));
        QVERIFY(result.nmea.endsWith("\r\n"));
        int sentences = 0;
        QSet<QString> seen;
        for (const QByteArray &line : result.nmea.chopped(1).split('\n')) {
            if (line.startsWith('#') && sentences == 0) // comments only in the header
                continue;
            const QRegularExpressionMatch m = frame.match(QString::fromLatin1(line));
            QVERIFY2(m.hasMatch(), line.constData());
            quint8 sum = 0;
            for (char c : m.captured(1).toLatin1())
                sum ^= quint8(c);
            QCOMPARE(m.captured(3).toUInt(nullptr, 16), uint(sum));
            seen << m.captured(1).left(5);
            ++sentences;
        }
        QCOMPARE(sentences, result.sentences);
        QCOMPARE(seen, QSet<QString>(types.cbegin(), types.cend()));
    }
    // Epoch times, fix flags and the truck at whole seconds against the plain
    // drive; the same options give the same bytes, another seed others.
    void optionEffects_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("rate");
        QTest::addColumn<qint64>("offsetMs");
        QTest::addColumn<int>("skipS");
        QTest::addColumn<QList<qint64>>("noFix");
        QTest::addColumn<QList<qint64>>("silence");
        QTest::newRow("5 Hz, clock ahead")
            << QStringList{"--rate", "5", "--nofix", "20:2.5", "--silence", "21:1", "--clock-offset", "7200"}
            << 5 << qint64(7200000) << 0 << QList<qint64>{20000, 2500} << QList<qint64>{21000, 1000};
        QTest::newRow("lead-in skipped")
            << QStringList{"--skip", "50"} << 1 << qint64(0) << 50 << QList<qint64>{} << QList<qint64>{};
    }
    void optionEffects()
    {
        QFETCH(QStringList, args);
        QFETCH(int, rate);
        QFETCH(qint64, offsetMs);
        QFETCH(int, skipS);
        QFETCH(QList<qint64>, noFix);
        QFETCH(QList<qint64>, silence);
        const QStringList duration{"--duration", QString::number(kDurationS)};
        args += duration;
        QCOMPARE(generated(args).nmea + generated(args).truth, generated(args).nmea + generated(args).truth);
        QVERIFY(generated(args).nmea != generated(args + QStringList{"--seed", "2"}).nmea);
        QList<qint64> times; // of the epochs sent, in drive time
        for (qint64 t = skipS * 1000; t < kDurationS * 1000; t += 1000 / rate)
            if (!inside(silence, t))
                times << t;
        TestDrive plain, drive;
        // The comparison covers driving, not only the depot.
        QVERIFY2(plain.generate(duration, 0, kDurationS), qPrintable(plain.error()));
        QVERIFY(plain.epochs().last().kmh > 5.0);
        QVERIFY(!drive.generate(args, 0, times.size() + 1));
        QVERIFY2(drive.generate(args, 0, times.size()), qPrintable(drive.error()));
        for (int i = 0; i < times.size(); ++i) {
            const TestDrive::Epoch &e = drive.epochs()[i], &p = plain.epochs()[int(times[i] / 1000)];
            const qint64 t = times[i];
            QCOMPARE(e.utcMs, kDefaultStartMs + offsetMs + t - skipS * 1000);
            QCOMPARE(e.fix, !inside(noFix, t));
            if (t % 1000 == 0)
                QCOMPARE(QList<double>({e.latitude, e.kmh}), QList<double>({p.latitude, p.kmh}));
        }
    }
};

QTEST_GUILESS_MAIN(TestNmeaDrive)
#include "tst_nmeadrive.moc"
