// Real receiver captures replayed through gpsd into the daemon: every one
// plays without error, and the fixes the daemon hands on agree with what the
// capture holds. The captures live outside the project (VORLAN_CAPTURES);
// without them the cases skip. By default only the short ones play, all of
// them with VORLAN_ALL_CAPTURES=1.

#include "../support/SystemFixture.h"

#include <algorithm>

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QtTest>

namespace
{
// One sentence per 100 ms: several times a receiver's own pace, so the
// captures play in a few minutes; the daemon reads whatever waits each tick.
constexpr double kCycleSec = 0.1;
// Captures up to this size play by default.
constexpr qint64 kShortCaptureBytes = 32 * 1024;
// The daemon counts its empty polls; the third in a row (about 3 s of
// nothing) means gpsfake has sent everything and the daemon has read it.
const char kIdleLine[] = "Line:  621 :  iRetryCount  3 ";
constexpr int kSecondsPerDay = 86400;
// Fix epochs at the start of a capture that gpsd and the first satellite
// report may take before the daemon has a complete fix.
constexpr int kFirstEpochsToFix = 8;

QString capturesDir()
{
    const QString set = qEnvironmentVariable("VORLAN_CAPTURES");
    return set.isEmpty() ? QStringLiteral(VORLAN_SOURCE_DIR "/../shared/captures") : set;
}

// The README's count of 2D/3D fixes per file: "52 / 52, ..." or "87 fixes".
QHash<QString, int> readmeFixCounts()
{
    QHash<QString, int> out;
    QFile readme(QDir(capturesDir()).filePath(QStringLiteral("README.md")));
    if (!readme.open(QIODevice::ReadOnly))
        return out;
    const QRegularExpression row(
        QStringLiteral("^\\|\\s*(\\S+\\.log)\\s*\\|[^|]*\\|\\s*(?:(\\d+)\\s*/\\s*(\\d+)|(\\d+) fixes)"));
    const QStringList lines = QString::fromUtf8(readme.readAll()).split(QLatin1Char('\n'));
    for (const QString &line : lines) {
        const QRegularExpressionMatch m = row.match(line);
        if (m.hasMatch())
            out.insert(m.captured(1), (m.captured(3).isEmpty() ? m.captured(4) : m.captured(3)).toInt());
    }
    return out;
}

// Seconds of the day of the epochs in which an NMEA capture reports a fix
// (GGA quality 1 or more); empty for binary captures.
QSet<int> nmeaFixSeconds(const QString &path)
{
    QSet<int> out;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return out;
    const QList<QByteArray> lines = file.readAll().split('\n');
    for (const QByteArray &line : lines) {
        const QList<QByteArray> f = line.trimmed().split(',');
        if (f.size() < 7 || f.at(0).size() != 6 || !f.at(0).startsWith('$') || f.at(0).mid(3) != "GGA" ||
            f.at(1).size() < 6 || f.at(6).toInt() < 1)
            continue;
        const QByteArray t = f.at(1);
        out.insert(t.mid(0, 2).toInt() * 3600 + t.mid(2, 2).toInt() * 60 + t.mid(4, 2).toInt());
    }
    return out;
}
} // namespace

class tst_GpsCaptures : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        if (const char *why = SystemFixture::unavailable())
            QSKIP(why);
    }

    void replaysWithoutError_data()
    {
        QTest::addColumn<QString>("path");
        const QString dir = capturesDir();
        if (dir.isEmpty() || !QDir(dir).exists())
            QSKIP("no receiver captures (VORLAN_CAPTURES)");
        const bool all = qEnvironmentVariable("VORLAN_ALL_CAPTURES") == QLatin1String("1");
        const QFileInfoList files =
            QDir(dir).entryInfoList({QStringLiteral("*.log")}, QDir::Files, QDir::Name);
        for (const QFileInfo &file : files)
            if (all || file.size() <= kShortCaptureBytes)
                QTest::newRow(qPrintable(file.fileName())) << file.absoluteFilePath();
    }

    void replaysWithoutError()
    {
        QFETCH(QString, path);
        SystemFixture f;
        QVERIFY2(f.startSystem({}), qPrintable(f.error));
        QVERIFY2(f.playFile(path, kCycleSec), qPrintable(f.error));

        // situation: the whole capture plays; gpsd and gpsfake stay up until we end them
        const int boundMs = 20000 + int(QFileInfo(path).size() * 4); // ~0.15 s a line of ~40 bytes
        QVERIFY2(f.waitUntil([&] { return f.daemon.countLog(QLatin1String(kIdleLine)) > 0; }, boundMs),
                 "the daemon never went idle");

        // expected: alive; once connected, never a read error or a failed reconnect
        QVERIFY(f.daemon.isRunning());
        int connected = 0;
        for (const QString &line : TestDaemon::logLines()) {
            connected += line.contains(QLatin1String("Line:  739 :  GPS is connected ")) ? 1 : 0;
            QVERIFY2(connected == 0 || !line.contains(QLatin1String("open gpsd communication")),
                     qPrintable(line));
            QVERIFY2(!line.contains(QLatin1String("Read error")) &&
                         !line.contains(QLatin1String("gps_stream()")),
                     qPrintable(line));
        }
        QVERIFY(connected >= 1);
        // The receiver never counts as lost: no GPS_NoData, so no second GPS_ValidData.
        QCOMPARE(f.gpsEvents(), QList<qint32>{GPS_ValidData});

        QSet<int> seconds;
        for (const SystemFixture::Fix &fix : f.fixes())
            seconds.insert(int((fix.gpsMs / 1000) % kSecondsPerDay));
        const int readme = readmeFixCounts().value(QFileInfo(path).fileName(), -1);
        const QSet<int> inFile = nmeaFixSeconds(path);
        if (!inFile.isEmpty()) {
            // expected (NMEA): once the first fix is complete, which waits for
            // gpsd to recognise the receiver and for its first satellite report,
            // every epoch with a fix is handed on, and no other; gpsd reports an
            // epoch when the next one begins, so the last may stay unreported
            QVERIFY(!seconds.isEmpty());
            const int firstHanded = *std::min_element(seconds.cbegin(), seconds.cend());
            const int lastHanded = *std::max_element(seconds.cbegin(), seconds.cend());
            QSet<int> expected;
            int before = 0;
            int after = 0;
            for (int second : inFile) {
                before += second < firstHanded ? 1 : 0;
                after += second > lastHanded ? 1 : 0;
                if (second >= firstHanded && second <= lastHanded)
                    expected << second;
            }
            QVERIFY2(expected == seconds,
                     qPrintable(QStringLiteral("%1 epochs missing, %2 not in the capture")
                                    .arg((expected - seconds).size())
                                    .arg((seconds - expected).size())));
            QVERIFY2(before <= kFirstEpochsToFix && after <= 1,
                     qPrintable(QStringLiteral("%1 %2").arg(before).arg(after)));
        } else {
            // expected (binary): the README's count of 2D/3D fixes as gpsd
            // reported them, less the first one the daemon completes later
            QVERIFY2(readme >= 0, "no fix count in the README");
            QVERIFY2(seconds.size() <= readme && seconds.size() >= readme - 2,
                     qPrintable(QString::number(seconds.size())));
        }
    }
};

QTEST_GUILESS_MAIN(tst_GpsCaptures)
#include "tst_gps_captures.moc"
