// Faults around the daemon: gpsd dying, lying or flooding, the receiver
// gone, the data service killed or failing, the bus replaced, the log file
// system full, hostile records and time zone texts, signals at every phase.
// Each case checks what the daemon does and that nothing is lost.

#include "../support/SystemFixture.h"
#include "app/CGpsdClient.h"
#include "records/CSetupGeneralNonWM.h"

#include <QDBusInterface>
#include <QtTest>

#include <algorithm>
#include <csignal>
#include <sys/mount.h>
#include <sys/wait.h>

namespace
{
constexpr int kFixPeriodMs = 250;
constexpr double kEpochSec = 0.4;
const QStringList kDrive = {QStringLiteral("--route"),     QStringLiteral("delivery"),
                            QStringLiteral("--seed"),      QStringLiteral("1"),
                            QStringLiteral("--duration"),  QStringLiteral("120"),
                            QStringLiteral("--sentences"), QStringLiteral("RMC,GGA,GSA,GSV")};
const QString kReadError = QStringLiteral("W File: cgpsprog Line:  659 :  Read error  -1 ");
const QString kConnected = QStringLiteral("D File: cgpsprog Line:  739 :  GPS is connected ");

qint64 nowMs()
{
    return QDateTime::currentMSecsSinceEpoch();
}

// Whether a signal sent to the process still waits for a thread to take it.
bool pending(pid_t pid, int signalNumber)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return false;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("ShdPnd:"))
            return (line.mid(7).trimmed().toULongLong(nullptr, 16) >> (signalNumber - 1)) & 1;
    return false;
}

} // namespace

class tst_Faults : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        if (const char *why = SystemFixture::unavailable())
            QSKIP(why);
    }

    void gpsdKilledAndRestarted()
    {
        // situation: tracking every second; gpsd dies three times during the drive, back each time
        constexpr int kRounds = 3;
        constexpr int kEpochs = 7;
        TestDrive drive;
        QVERIFY2(drive.generate(kDrive, 30, 30 + (kRounds + 1) * kEpochs), qPrintable(drive.error()));
        SystemFixture f;
        QVERIFY2(f.startSystem({{QStringLiteral("setSetupGpsTracking"), trackingSetup(2, 1, 1000, 10)}}),
                 qPrintable(f.error));
        const QString openError =
            QStringLiteral("W File: cgpsprog Line:  338 :  error  -1   open gpsd communication:  "
                           "%1 ")
                .arg(CGpsdClient::errorText(-1));
        QList<qint64> killedAt;
        for (int round = 0; round <= kRounds; ++round) {
            QVERIFY2(f.play(drive, kEpochSec, round * kEpochs, (round + 1) * kEpochs), qPrintable(f.error));
            QVERIFY(f.waitForFix(drive.epochs().at((round + 1) * kEpochs - 2).utcMs, 20000));
            if (round == kRounds)
                break;
            const int opens = f.daemon.countLog(openError);
            killedAt << nowMs();
            QVERIFY(f.gpsd.killGpsd());
            QVERIFY(f.waitUntil([&] { return f.daemon.countLog(openError) >= opens + 3; }, 6000));
        }
        QVERIFY(f.answersNameRequest());

        // expected: per loss one read error and GPS_NoData; per return GPS_ValidData
        QCOMPARE(f.daemon.countLog(kReadError), kRounds);
        QCOMPARE(f.daemon.countLog(kConnected), kRounds + 1);
        QCOMPARE(f.gpsEvents(), (QList<qint32>{GPS_ValidData, GPS_NoData, GPS_ValidData, GPS_NoData,
                                               GPS_ValidData, GPS_NoData, GPS_ValidData}));
        const QList<SystemFixture::Line> log = f.log();
        QCOMPARE(SystemFixture::timesOf(log, QStringLiteral("Line:  338 :")),
                 SystemFixture::timesOf(log, openError));
        for (int round = 0; round < kRounds; ++round) {
            const qint64 lostAt = SystemFixture::timesOf(log, kReadError, killedAt.at(round)).value(0);
            const qint64 backAt = SystemFixture::timesOf(log, kConnected, lostAt).value(0);
            // a point of zeros published at once; a fix read in the same poll just
            // before the error may reach the peer after the error's log line
            const QList<SystemFixture::Published> published = f.published();
            const auto zeros = std::find_if(published.cbegin(), published.cend(), [&](const auto &p) {
                return p.atMs >= lostAt && p.bytes.mid(kPointLat) == QByteArray(60, '\0');
            });
            QVERIFY(zeros != published.cend());
            QVERIFY2(zeros->atMs - lostAt < 1000, qPrintable(QString::number(zeros->atMs - lostAt)));
            QCOMPARE(zeros->bytes.left(4).toHex(), QByteArray("00000100"));
            // reopened every 500 ms, the first time after the 1 s of the failed poll
            QList<qint64> opens = SystemFixture::timesOf(log, openError, lostAt, backAt);
            QVERIFY2(opens.size() >= 3, qPrintable(QString::number(opens.size())));
            opens.prepend(lostAt + 500);
            for (int i = 1; i < opens.size(); ++i)
                QVERIFY2(opens.at(i) - opens.at(i - 1) >= 450 && opens.at(i) - opens.at(i - 1) <= 1000,
                         qPrintable(QString::number(opens.at(i) - opens.at(i - 1))));
        }
        // expected: fixes of every stretch of the drive reach the store as track points
        const QList<CLogTracking> points = f.trackPoints();
        for (int round = 0; round <= kRounds; ++round) {
            const qint64 from = drive.epochs().at(round * kEpochs).utcMs;
            const qint64 to = drive.epochs().at((round + 1) * kEpochs - 1).utcMs;
            QVERIFY2(std::any_of(points.cbegin(), points.cend(),
                                 [&](const CLogTracking &p) {
                                     const qint64 at = p.oGpsPoint.dateTime.toMSecsSinceEpoch();
                                     return at >= from && at <= to && p.oGpsPoint.status == 1;
                                 }),
                     qPrintable(QStringLiteral("no track point in round %1").arg(round)));
        }
    }

    void garbageFromGpsd()
    {
        // situation: what answers on gpsd's port sends garbage between well-formed fixes
        FakeGpsd fake;
        QVERIFY(fake.listen());
        SystemFixture f;
        QVERIFY2(f.startSystem(), qPrintable(f.error));
        fake.playFixes(kFixPeriodMs);
        QVERIFY(f.waitUntil([&] { return f.fixes().size() >= 3; }, 10000));
        const QList<QPair<const char *, QByteArray>> garbage = {
            // libgps's own parse loop never ends on these two
            {"class in a nested array", R"({"x":[{"class":"TPV"}]})"
                                        "\n"},
            {"unknown array in a device", R"({"class":"DEVICES","devices":[{"class":"DEVICE","zz":[1]}]})"
                                          "\n"},
            {"truncated object", "{\"class\":\"TPV\",\"mode\":3,\"lat\":4\n"},
            {"wrong types", R"({"class":"TPV","mode":"3","lat":[],"time":7})"
                            "\n"},
            {"binary", QByteArray("\0\xff\xfe{\x01\x02}\r\n\x7f\n", 11)},
            {"huge line", "{\"class\":\"ERROR\",\"message\":\"" + QByteArray(2 << 20, 'x') + "\"}\n"},
        };
        const qint64 cpuBefore = f.daemon.cpuMs();
        QElapsedTimer wall;
        wall.start();
        f.peer->clear();
        for (const auto &g : garbage) {
            const int handed = f.fixes().size();
            fake.send(g.second);
            // expected: the fixes after it are handed on; the event loop answers at once
            QVERIFY2(f.waitUntil([&] { return f.fixes().size() >= handed + 2; }, 5000), g.first);
            QVERIFY2(f.answersNameRequest(), g.first);
        }
        // situation: an endless line, 3 s of bytes without a line end, then fixes again
        const int retriesBefore = f.daemon.countLog(QStringLiteral("Line:  621 :  iRetryCount"));
        fake.play([](int) { return QByteArray(64 << 10, 'x'); }, 20);
        QTest::qWait(3000);
        QVERIFY(f.answersNameRequest());
        const int handed = f.fixes().size();
        fake.play([](int n) { return (n == 0 ? "\n" : "") + FakeGpsd::fix(nowMs() / 1000 * 1000, 48.1); },
                  kFixPeriodMs);
        QVERIFY(f.waitUntil([&] { return f.fixes().size() >= handed + 2; }, 10000));
        // expected: to the daemon the endless line is a silent gpsd: empty polls, no lost receiver
        QVERIFY(f.daemon.countLog(QStringLiteral("Line:  621 :  iRetryCount")) > retriesBefore);
        QCOMPARE(f.daemon.countLog(kReadError), 0);
        QCOMPARE(f.gpsEvents(), QList<qint32>{GPS_ValidData});
        const qint64 cpu = f.daemon.cpuMs() - cpuBefore;
        QVERIFY2(cpu < wall.elapsed() / 3,
                 qPrintable(QStringLiteral("%1 of %2 ms").arg(cpu).arg(wall.elapsed())));
        QVERIFY(f.longestBeatGapMs() >= 0 && f.longestBeatGapMs() <= 2000);
    }

    void receiverGoneWhileSignalsStorm()
    {
        // situation: mid-drive the receiver disappears while gpsd stays; the
        // waiting daemon gets a storm of SIGHUP; later gpsd has a receiver again
        constexpr int kHangups = 300;
        TestDrive drive;
        QVERIFY2(drive.generate(kDrive, 40, 60), qPrintable(drive.error()));
        SystemFixture f;
        QVERIFY2(f.startSystem(), qPrintable(f.error));
        QVERIFY2(f.play(drive, kEpochSec, 0, 10), qPrintable(f.error));
        QVERIFY(f.waitForFix(drive.epochs().at(8).utcMs, 20000));
        const QString third = QStringLiteral("W File: cgpsprog Line:  621 :  iRetryCount  3 ");
        const int thirds = f.daemon.countLog(third);
        QVERIFY(f.gpsd.killFeed());
        const qint64 goneAt = nowMs();
        QVERIFY(f.daemon.waitForLog(third, 10000, thirds + 1));
        for (int i = 0; i < kHangups; ++i)
            QVERIFY(f.daemon.sendSignal(SIGHUP));
        const QString lost =
            QStringLiteral("W File: cgpsprog Line:  640 :  No data from GPSD after  90  retry ");
        QVERIFY(f.waitUntil([&] { return f.daemon.countLog(lost) == 1; }, 150000));
        // the next connection is greeted by gpsd: that is data, so the count starts again
        const QString firstRetry = QStringLiteral("W File: cgpsprog Line:  621 :  iRetryCount  1 ");
        const int firsts = f.daemon.countLog(firstRetry);
        QVERIFY(f.daemon.waitForLog(firstRetry, 5000, firsts + 1));
        f.gpsd.stop();
        QVERIFY2(f.play(drive, kEpochSec, 10, 20), qPrintable(f.error));
        QVERIFY(f.waitForFix(drive.epochs().at(18).utcMs, 20000));

        // expected: empty polls 1 to 90 counted once each at the 1.1 s pace, signals or not
        const QList<SystemFixture::Line> log = f.log();
        const qint64 lostAt = SystemFixture::timesOf(log, lost, goneAt).value(0);
        QList<qint64> retries;
        for (int n = 1; n <= 90; ++n) {
            const QList<qint64> at = SystemFixture::timesOf(
                log, QStringLiteral("W File: cgpsprog Line:  621 :  iRetryCount  %1 ").arg(n), goneAt,
                lostAt);
            QVERIFY2(at.size() == 1,
                     qPrintable(QStringLiteral("retry %1 logged %2 times").arg(n).arg(at.size())));
            QVERIFY2(retries.isEmpty() || at.first() - retries.last() >= 950, qPrintable(QString::number(n)));
            retries << at.first();
        }
        // expected: every SIGHUP delivered is logged as a pair and changes nothing
        const QStringList text = TestDaemon::logMessages();
        const int received =
            text.count(QStringLiteral("D File: cgpsprog Line:  240 :  Signal received :  1 "));
        QVERIFY2(received >= 1 && received <= kHangups, qPrintable(QString::number(received)));
        for (int i = 0; i < text.size(); ++i)
            if (text.at(i) == QLatin1String("D File: cgpsprog Line:  240 :  Signal received :  1 "))
                QCOMPARE(text.value(i + 1),
                         QStringLiteral("W File: cgpsprog Line:  246 :  Signal SIGHUP received "));
        // expected: the receiver declared lost once: GPS_NoData, a point of zeros, a new
        // connection at once (no open error)
        QCOMPARE(f.publishedAfter(lostAt - 100).bytes.mid(kPointLat).toHex(), QByteArray(60, '\0').toHex());
        QVERIFY(SystemFixture::timesOf(log, firstRetry, lostAt, lostAt + 3000).size() == 1);
        QVERIFY(SystemFixture::timesOf(log, QStringLiteral("Line:  338 :"), lostAt).isEmpty());
        QCOMPARE(f.daemon.countLog(QStringLiteral("Line:  637 :")), 0); // no fallback was pending
        QCOMPARE(f.gpsEvents(), (QList<qint32>{GPS_ValidData, GPS_NoData, GPS_ValidData}));
        QCOMPARE(f.daemon.countLog(kConnected), 2);
        QVERIFY(f.daemon.isRunning());
    }

    void dataServiceKilledThenFailing()
    {
        // situation: tracking every second; the store, on a database file, is
        // killed mid-drive and back 3 s later; then it answers failure codes
        FakeGpsd fake;
        QVERIFY(fake.listen());
        QTemporaryDir dir;
        SystemFixture f;
        f.storeDatabase = dir.filePath(QStringLiteral("store.sqlite"));
        QVERIFY2(f.startSystem({{QStringLiteral("setSetupGpsTracking"), trackingSetup(2, 1, 1000, 10)}}),
                 qPrintable(f.error));
        fake.playFixes(kFixPeriodMs);
        QVERIFY(
            f.waitUntil([&] { return f.daemon.countLog(QStringLiteral("Logbookdata: Time")) >= 3; }, 15000));
        f.store->kill();
        const qint64 killedAt = nowMs();
        QTest::qWait(3000);
        QVERIFY2(f.startStore(), qPrintable(f.error));
        const qint64 backAt = nowMs();
        const QString stored = QStringLiteral("Logbookdata: Time");
        const int storedBefore = f.daemon.countLog(stored);
        QVERIFY(f.waitUntil([&] { return f.daemon.countLog(stored) >= storedBefore + 2; }, 10000));

        // expected: each failed call logged by name, the point and its transfer request in order
        const QStringList text = TestDaemon::logMessages();
        const QString noSuccess = QStringLiteral("Dbus-Error:  \"REPLY_NO_SUCCESS\" ");
        const int first = text.indexOf(QStringLiteral("W File: cgpsprog Line:  1114 :  ") + noSuccess);
        QVERIFY(first > 0);
        QCOMPARE(
            text.mid(first - 1, 6),
            (QStringList{
                QStringLiteral("W File: cgpsprog Line:  1102 :  Send GPS data to Logbook "),
                QStringLiteral("W File: cgpsprog Line:  1114 :  ") + noSuccess, QString(),
                QStringLiteral("W File: cgpsprog Line:  1127 :  getRuntimeTriggerFtpTransfer returns NULL "),
                QStringLiteral(
                    "D File: cgpsprog Line:  1151 :  Trigger Ftp Transfer setStartGpsFileTransfer "),
                QStringLiteral("W File: cgpsprog Line:  1157 :  ") + noSuccess}));
        QVERIFY(text.contains(QStringLiteral("W File: cgpsprog Line:  1060 :  Dbus-Error setRuntimeGps :  "
                                             "\"REPLY_NO_SUCCESS\" ")));
        // expected: polling and publishing went on without the store
        const auto meanwhile = [&](const auto &list) {
            return std::count_if(list.cbegin(), list.cend(),
                                 [&](const auto &x) { return x.atMs > killedAt && x.atMs < backAt; });
        };
        QVERIFY2(meanwhile(f.fixes()) >= 6, qPrintable(QString::number(meanwhile(f.fixes()))));
        QVERIFY(meanwhile(f.published()) >= 6);

        // expected: every track point the first store acknowledged is in the database now;
        // the daemon saw an acknowledgement for all of them but the one in flight, if any
        QDBusInterface control(QStringLiteral("com.Brask.Vorlan"), QStringLiteral("/StoreControl"),
                               QStringLiteral("com.Brask.Vorlan.StoreControl"), f.peer->bus());
        const QStringList rows = control.call(QStringLiteral("listLogbook"), QStringLiteral("tracking"), 0)
                                     .arguments()
                                     .value(0)
                                     .toStringList();
        QSet<QString> kept;
        for (const QString &row : rows)
            kept.insert(row.section(QLatin1Char(' '), 5));
        int acknowledged = 0;
        for (const SystemFixture::Call &c : f.calls()) {
            if (c.atMs > killedAt || c.member != QLatin1String("setLogbookDataTracking") ||
                c.reply != QLatin1String("1"))
                continue;
            ++acknowledged;
            QVERIFY2(kept.contains(QString::fromLatin1(c.bytes.toHex())), "acknowledged track point lost");
        }
        const int seenAcknowledged = SystemFixture::timesOf(f.log(), stored, 0, killedAt).size();
        QVERIFY2(acknowledged >= 3 && acknowledged - seenAcknowledged >= 0 &&
                     acknowledged - seenAcknowledged <= 1,
                 qPrintable(QStringLiteral("%1 %2").arg(acknowledged).arg(seenAcknowledged)));

        // situation: the store answers failure codes to the daemon's writes
        const QList<QPair<QString, int>> faults = {{QStringLiteral("setRuntimeGps"), -1000},
                                                   {QStringLiteral("setLogbookDataTracking"), 2},
                                                   {QStringLiteral("setRuntimeTriggerFtpTransfer"), -2023},
                                                   {QStringLiteral("setLogbookGPS"), -1001}};
        for (const auto &fault : faults)
            QCOMPARE(control.call(QStringLiteral("setFail"), fault.first, fault.second).type(),
                     QDBusMessage::ReplyMessage);
        // expected: each failure named; publishing and the transfer request go on regardless
        const QStringList named = {
            QStringLiteral(
                "W File: cgpsprog Line:  1060 :  Dbus-Error setRuntimeGps :  \"VALIDATION_ERROR\" "),
            QStringLiteral("W File: cgpsprog Line:  1114 :  Dbus-Error:  \"REPLY_FALSE\" "),
            QStringLiteral("W File: cgpsprog Line:  1157 :  Dbus-Error:  \"SQL_QUERY_EXEC_INSERT\" "),
            QStringLiteral("W File: cgpsprog Line:  1345 :  Dbus-Error:  \"WRONG_TYPE_FOR_THIS_SET\" ")};
        for (const QString &line : named) {
            if (line == named.last())
                fake.close(); // the lost gpsd makes a logbook event
            QVERIFY2(f.waitUntil([&] { return TestDaemon::logMessages().contains(line); }, 5000),
                     qPrintable(line));
        }
        QVERIFY(f.daemon.isRunning());
    }

    void busReplaced()
    {
        // situation: mid-drive the bus daemon dies and a new one starts on the same address
        FakeGpsd fake;
        QVERIFY(fake.listen());
        SystemFixture f;
        QVERIFY2(f.startSystem(), qPrintable(f.error));
        fake.playFixes(kFixPeriodMs);
        QVERIFY(f.waitUntil([&] { return f.fixes().size() >= 2; }, 10000));
        f.bus.stop();
        QVERIFY2(f.startBus() && f.startStore(), qPrintable(f.error));
        const qint64 replacedAt = nowMs();
        const int handed = f.fixes().size();

        // expected: the loss goes unnoticed: polling goes on, nothing reconnects,
        // the daemon is silent on the new bus, its calls fail by name
        QVERIFY(f.waitUntil([&] { return f.fixes().size() >= handed + 8; }, 10000));
        QVERIFY(!f.answersNameRequest(1500));
        QVERIFY(f.peer->seen(QStringLiteral("sigTrigger")).isEmpty());
        QCOMPARE(f.daemon.countLog(QStringLiteral("Connected to")), 1);
        QVERIFY(
            f.daemon.countLog(QStringLiteral("W File: cgpsprog Line:  1060 :  Dbus-Error setRuntimeGps :  "
                                             "\"REPLY_NO_SUCCESS\" ")) >= 4);
        for (const SystemFixture::Call &c : f.calls())
            QVERIFY(c.atMs < replacedAt);
        // expected: SIGTERM still ends it cleanly
        QVERIFY(f.daemon.sendSignal(SIGTERM));
        QVERIFY(f.daemon.exitedWith(0));
        QCOMPARE(TestDaemon::readFile(QLatin1String(TestDaemon::kGpioFile)), QStringLiteral("0"));
    }

    void logWhenItCannotBeWritten_data()
    {
        QTest::addColumn<bool>("spaceReturns");
        QTest::newRow("file system full, then space again") << true;
        QTest::newRow("log file on /dev/full") << false;
    }

    void logWhenItCannotBeWritten()
    {
        QFETCH(bool, spaceReturns);
        // situation: the log folder is a 64 KiB file system, full before the daemon starts
        const QByteArray folder = QByteArray("/var/log/Vorlan");
        QVERIFY(::mount("vorlan-full", folder.constData(), "tmpfs", 0, "size=64k") == 0);
        const auto unmount = qScopeGuard([&] { ::umount2(folder.constData(), MNT_DETACH); });
        QFile filler(QString::fromLatin1(folder + "/filler"));
        QVERIFY(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
        for (int i = 0; i < 64 && filler.write(QByteArray(4096, 'f')) == 4096; ++i) {
        }
        filler.close();
        const QString logFile = QString::fromLatin1(folder + "/full.log");
        if (!spaceReturns)
            QVERIFY(QFile::link(QStringLiteral("/dev/full"), logFile));
        SystemFixture f;
        QVERIFY2(f.startBus() && f.startStore() &&
                     f.startDaemon(QStringLiteral("Logfile_Name=%1\n").arg(logFile)),
                 qPrintable(f.error));
        QVERIFY(f.peer->waitFor(QStringLiteral("sigTrigger"), 1, 3000));

        // expected: nothing written, but the daemon goes on: it answers and starts
        for (int i = 0; i < 20; ++i)
            QVERIFY(f.answersNameRequest());
        QVERIFY(SystemFixture::waitUntil(
            [&] {
                f.peer->emitSignal(QStringLiteral("sigProcessStart"), {f.peer->pid(), int(f.daemon.pid())});
                return f.members().contains(QStringLiteral("setSetupGpsTracking"));
            },
            5000));
        if (spaceReturns) {
            // expected: with space again the lines kept meanwhile follow, whole, in order, once
            QVERIFY(filler.remove());
            QVERIFY(f.answersNameRequest());
            QVERIFY(SystemFixture::waitUntil(
                [&] {
                    return TestDaemon::readFile(logFile).count(QStringLiteral(" D onsigGetName() \n")) == 21;
                },
                3000));
            const QRegularExpression form(
                QStringLiteral("^(NOID\\(\\d+\\):\\d{4}-\\d\\d-\\d\\d_[\\d:]{12} [DW] .*| ?)$"));
            const QStringList lines = TestDaemon::readFile(logFile).split(QLatin1Char('\n'));
            for (const QString &line : lines)
                QVERIFY2(form.match(line).hasMatch(), qPrintable(line));
            QVERIFY(lines.filter(QStringLiteral("Start Gps timer")).size() == 1);
        }
        QVERIFY(f.daemon.sendSignal(SIGTERM));
        QVERIFY(f.daemon.exitedWith(0));
    }

    void zoneTextAndHostileRecords_data()
    {
        QTest::addColumn<QByteArray>("general");
        QTest::addColumn<QByteArray>("tracking"); // stored as is; empty: none stored
        QTest::addColumn<QByteArray>("trigger");
        QTest::addColumn<QString>("zone"); // whose wall clock the points' offsets follow
        const auto general = [](const QString &zone) {
            CSetupGeneralNonWM record;
            record.setTimeZone(zone);
            return record.serialize();
        };
        const QByteArray tokyo = general(QStringLiteral("Asia/Tokyo"));
        const QByteArray utc = QStringLiteral("UTC").toLatin1();
        QTest::newRow("garbage") << general(QStringLiteral("Mars/Olympus Mons !?")) << QByteArray()
                                 << QByteArray() << QString::fromLatin1(utc);
        QTest::newRow("empty") << general(QString()) << QByteArray() << QByteArray()
                               << QString::fromLatin1(utc);
        QTest::newRow("overlong") << general(QString(5000, QLatin1Char('Q'))) << QByteArray() << QByteArray()
                                  << QString::fromLatin1(utc);
        // The zone text is field 72: cut before its length.
        const QByteArray zoneField =
            QByteArray::fromHex("00000014") + QByteArray::fromHex("0041007300690061002f0054006f006b0079006f");
        QTest::newRow("every record cut short")
            << tokyo.left(tokyo.indexOf(zoneField)) << header() + hex("00000002") << header() + "\1"
            << QString::fromLatin1(utc);
        QTest::newRow("4 MiB general setup") << tokyo + QByteArray(4 << 20, '\x55') << QByteArray()
                                             << QByteArray() << QStringLiteral("Asia/Tokyo");
    }

    void zoneTextAndHostileRecords()
    {
        QFETCH(QByteArray, general);
        QFETCH(QByteArray, tracking);
        QFETCH(QByteArray, trigger);
        QFETCH(QString, zone);
        // situation: the daemon's own zone is Berlin; the store holds the records as given
        FakeGpsd fake;
        QVERIFY(fake.listen());
        SystemFixture f;
        f.daemonEnvironment.insert(QStringLiteral("TZ"), QStringLiteral("Europe/Berlin"));
        f.daemonZone = QTimeZone("Europe/Berlin");
        QVERIFY(f.storeRaw(QStringLiteral("SetupGeneralNonWM"), general));
        if (!tracking.isEmpty())
            QVERIFY(f.storeRaw(QStringLiteral("SetupGpsTracking"), tracking) &&
                    f.storeRaw(QStringLiteral("RuntimeTriggerFtpTransfer"), trigger));
        QVERIFY2(f.startSystem(), qPrintable(f.error));
        const qint64 first = fake.playFixes(1000);
        QVERIFY(f.waitUntil([&] { return f.published().size() >= 4; }, 15000));

        // expected: the offset of each point follows the zone's wall clock read as
        // Berlin time; the fixes' own times, logged in Berlin time, stay right
        const QTimeZone wallClock(zone.toLatin1());
        for (const SystemFixture::Published &p : f.published()) {
            const qint64 gpsMs = first + qRound((p.point.latitude - 48.1) / 0.0001) * 1000;
            const QDateTime at = QDateTime::fromMSecsSinceEpoch(gpsMs, Qt::UTC);
            const double expected = double(gpsMs - p.atMs) / 1000.0 + wallClock.offsetFromUtc(at) -
                                    f.daemonZone.offsetFromUtc(at);
            QVERIFY2(std::fabs(p.point.timeOffset - expected) <= 1.5,
                     qPrintable(QStringLiteral("%1 vs %2").arg(p.point.timeOffset).arg(expected)));
        }
        for (const SystemFixture::Fix &fix : f.fixes())
            QVERIFY2((fix.gpsMs - first) % 1000 == 0 && fix.gpsMs >= first,
                     qPrintable(QString::number(fix.gpsMs)));
        if (!tracking.isEmpty()) {
            // expected: the cut tracking record reads as interval 0: every fix is a track point,
            // each followed by its transfer request
            QVERIFY(f.waitUntil([&] { return f.trackPoints().size() >= 3; }, 5000));
            const QList<SystemFixture::Fix> fixes = f.fixes();
            QVERIFY(std::all_of(fixes.cbegin(), fixes.cend(),
                                [](const SystemFixture::Fix &x) { return x.stored; }));
            // (once the fixes stop: the log is read while the daemon may be between the two)
            fake.stop();
            const auto sent = [&](const char *text) { return f.daemon.countLog(QLatin1String(text)); };
            QVERIFY(f.waitUntil(
                [&] { return sent("setRuntimeTriggerFtpTransfer sent") == sent("Send GPS data to Logbook"); },
                3000));
        }
        QVERIFY(f.daemon.isRunning());
    }

    void hostileGpsSetup_data()
    {
        QTest::addColumn<QByteArray>("record");
        QTest::addColumn<bool>("enabled");
        QTest::newRow("cut after the reserved block") << header() << false;
        QTest::newRow("version 255") << header("000000ff") + QByteArray(5, '\0') << true;
        QTest::newRow("reserved block claims 4 GiB")
            << QByteArray::fromHex("00000100fffffff0") + QByteArray(16, '\0') << false;
        QTest::newRow("4 MiB reserved block")
            << QByteArray::fromHex("0000010000400000") + QByteArray(4 << 20, '\0') +
                   QByteArray::fromHex("0000000001")
            << true;
    }

    void hostileGpsSetup()
    {
        QFETCH(QByteArray, record);
        QFETCH(bool, enabled);
        SystemFixture f;
        QVERIFY(f.storeRaw(QStringLiteral("SetupGps"), record));
        QVERIFY2(f.startSystem(), qPrintable(f.error));
        // expected: read as far as it goes, no default stored over it, the start sequence to its end
        const QStringList text = TestDaemon::logMessages();
        QCOMPARE(text.contains(QStringLiteral("D File: cgpsprog Line:  1681 :  Start Gps timer ")), enabled);
        QCOMPARE(text.contains(QStringLiteral("W File: cgpsprog Line:  1687 :  Gps is disabled ")), !enabled);
        QCOMPARE(TestDaemon::readFile(QLatin1String(TestDaemon::kGpioFile)),
                 enabled ? QStringLiteral("1") : QString());
        QVERIFY(!text.join(QLatin1Char('\n')).contains(QStringLiteral("getSetupGps returns NULL")));
        QVERIFY(!f.members().contains(QStringLiteral("setSetupGps")));
        QVERIFY(f.members().contains(QStringLiteral("getSetupGpsTracking")));
        QVERIFY(f.daemon.isRunning());
    }

    void exitSignalAtEveryPhase_data()
    {
        QTest::addColumn<int>("phase");
        QTest::addColumn<int>("signal");
        QTest::addColumn<int>("hangups"); // SIGHUPs first, one by one, while the start sequence waits
        QTest::newRow("before the bus") << 0 << SIGTERM << 0;
        QTest::newRow("connected, not started") << 1 << SIGTERM << 0;
        QTest::newRow("in the start sequence") << 2 << SIGTERM << 0;
        QTest::newRow("started, gpsd unreachable") << 3 << SIGTERM << 0;
        QTest::newRow("mid-drive") << 4 << SIGTERM << 0;
        QTest::newRow("SIGINT mid-drive") << 4 << SIGINT << 0;
        QTest::newRow("SIGINT after 1000 SIGHUP in the start sequence") << 2 << SIGINT << 1000;
    }

    void exitSignalAtEveryPhase()
    {
        QFETCH(int, phase);
        QFETCH(int, signal);
        QFETCH(int, hangups);
        FakeGpsd fake;
        SystemFixture f;
        if (phase == 0) {
            QVERIFY(f.startDaemon(QString(), QStringLiteral("unix:path=/nonexistent/bus")));
            QVERIFY(f.daemon.waitForLog(QStringLiteral("Can't connect to session bus!"), 3000));
        } else {
            // in the start sequence: the GPS setup answer takes 3 s
            const QStringList delay{QStringLiteral("--delay"), QStringLiteral("getSetupGps=3000")};
            QVERIFY2(f.startBus() && f.startStore(phase == 2 ? delay : QStringList()) && f.startDaemon(),
                     qPrintable(f.error));
            // the signal handlers are in place once the event loop answers after the connection
            QVERIFY(f.daemon.waitForLog(QStringLiteral("Connected to session bus!"), 3000) &&
                    f.answersNameRequest());
        }
        if (phase == 2) {
            QVERIFY(f.requestStart());
            // the loop is held by the slow call: the pair fills up and must not block the handler
            for (int i = 0, wait = 0; i < hangups && wait < 1000 && f.daemon.sendSignal(SIGHUP); ++i)
                for (wait = 0; wait < 1000 && pending(f.daemon.pid(), SIGHUP); ++wait)
                    QThread::usleep(100);
            if (hangups > 0) // nothing is read before the start sequence ends: room again once one is
                QVERIFY(f.daemon.waitForLog(QStringLiteral("Signal SIGHUP received"), 8000));
        } else if (phase == 3) {
            QVERIFY(f.startSequence());
            QVERIFY(f.daemon.waitForLog(QStringLiteral("open gpsd communication"), 3000));
        } else if (phase == 4) {
            QVERIFY(fake.listen());
            fake.playFixes(kFixPeriodMs);
            QVERIFY(f.startSequence());
            QVERIFY(f.waitUntil([&] { return f.fixes().size() >= 2; }, 10000));
        }
        QVERIFY(TestDaemon::childrenOf(f.daemon.pid()).isEmpty());
        QElapsedTimer shutdown;
        shutdown.start();
        QVERIFY(f.daemon.sendSignal(signal));
        int status = 0;
        QVERIFY(f.daemon.waitForExit(8000, &status));
        QVERIFY(TestDaemon::childrenOf(getpid(), TestDaemon::binary()).isEmpty());
        if (phase == 0) {
            // expected: the default action; no handler ran, the status line untouched
            QVERIFY(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM);
            QCOMPARE(f.daemon.countLog(QStringLiteral("Signal received")), 0);
            QVERIFY(!QFile::exists(QLatin1String(TestDaemon::kGpioFile)));
            return;
        }
        // expected: handled on the event loop after the running slot, status line
        // cleared, exit status 0; a started daemon waits a second for its heartbeat thread
        QVERIFY(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        const QStringList text = TestDaemon::logMessages();
        const int at =
            text.indexOf(QStringLiteral("D File: cgpsprog Line:  240 :  Signal received :  %1 ").arg(signal));
        QVERIFY2(at > 0, qPrintable(text.join(QLatin1Char('\n'))));
        const QString handled = signal == SIGINT
                                    ? QStringLiteral("258 :  Signal SIGINT received => exit program ")
                                    : QStringLiteral("249 :  Signal SIGTERM received => exit program ");
        QCOMPARE(text.mid(at + 1, 3),
                 (QStringList{QStringLiteral("W File: cgpsprog Line:  ") + handled,
                              QStringLiteral("W File: cgpsprog Line:  406 :  set gpio27 = 0 "),
                              QStringLiteral("D File: cgpsprog Line:  164 :  CGpsProg deconstruktor! ")}));
        QCOMPARE(TestDaemon::readFile(QLatin1String(TestDaemon::kGpioFile)), QStringLiteral("0"));
        QCOMPARE(f.daemon.countLog(QStringLiteral("Thread end")), phase == 1 ? 0 : 1);
        QVERIFY2(phase == 1 ? shutdown.elapsed() < 900 : shutdown.elapsed() >= 900,
                 qPrintable(QString::number(shutdown.elapsed())));
        if (phase == 2)
            QVERIFY(text.indexOf(QStringLiteral("D File: cgpsprog Line:  1681 :  Start Gps timer ")) < at);
    }
};

QTEST_GUILESS_MAIN(tst_Faults)
#include "tst_faults.moc"
