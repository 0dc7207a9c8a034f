// The message handler's sinks, levels, rotation and settings. It loads its
// settings once per process, so each case runs in a child: this binary again.

#include "logging/CLogStream.h"
#include "logging/CMessageHandler.h"
#include "logging/CSettingsFile.h"
#include "records/CDateTime.h"
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>
#include <sys/resource.h>
#include <thread>

namespace
{
constexpr int kChildTimeoutMs = 60000;
constexpr int kThreadMessages = 300;
const char kScenario[] = "--scenario";
const char kMakeDirectory[] = "@MKDIR@"; // settings "file" that is a directory
const QString kStamp = QStringLiteral("NOID\\((\\d+)\\):(\\d{4}-\\d\\d-\\d\\d_\\d\\d:\\d\\d:\\d\\d:\\d{3})");

// Steps: "closed", "noconsole", "threads", "<type>:<text>" (a message as Qt
// writes it) or "<type>:<source>:<line>:<text>" (a daemon message).
int runScenario(int argc, char **argv)
{
    const rlimit noCore = {0, 0}; // the fatal case aborts on purpose
    setrlimit(RLIMIT_CORE, &noCore);
    CMessageHandler::setSettingsFile(QString::fromLocal8Bit(argv[2]));
    CMessageHandler::install();
    for (int i = 3; i < argc; ++i) {
        const QByteArray step(argv[i]);
        const QList<QByteArray> f = step.split(':');
        if (step == "closed") {
            CMessageHandler::standardStreamsClosed();
        } else if (step == "noconsole") {
            CMessageHandler::disableConsole();
        } else if (step == "threads") {
            const auto writer = [](const char *name) {
                for (int n = 0; n < kThreadMessages; ++n)
                    CLogStream(QtWarningMsg, "cgpsprog", n) << name;
            };
            std::thread a(writer, "a"), b(writer, "b");
            a.join();
            b.join();
        } else if (f.size() == 4) {
            CLogStream(QtMsgType(f[0].toInt()), f[1].constData(), f[2].toInt()) << f[3].constData();
        } else {
            qt_message_output(QtMsgType(f[0].toInt()), QMessageLogContext(), QString::fromUtf8(f.value(1)));
        }
    }
    return 0;
}

// Lines without identity and time; failure notes become "NOID()...".
QString normalized(const QByteArray &text)
{
    const auto lineStart = QRegularExpression::MultilineOption;
    return QString::fromLatin1(text)
        .replace(QRegularExpression(QLatin1Char('^') + kStamp, lineStart), QString())
        .replace(QRegularExpression(QStringLiteral("^NOID\\(\\d+\\)"), lineStart), QStringLiteral("NOID()"));
}

// "dw" -> the normalized lines of the messages "d" (debug) and "w" (warning).
QString linesOf(const QString &texts)
{
    QString out;
    for (const QChar c : texts)
        out += QStringLiteral(" %1 %2\n").arg(c.toUpper()).arg(c);
    return out;
}

// The "DEBUG_MESSAGES" group; the log goes to the test directory unless the keys name a log file.
QByteArray group(const QByteArray &keys)
{
    return "[DEBUG_MESSAGES]\n" +
           QByteArray(keys.contains("Logfile_Name") ? "" : "Logfile_Name=@DIR@/gps.log\n") + keys + '\n';
}

QByteArray readAll(const QString &name)
{
    QFile f(name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

using Files = QMap<QString, QString>; // log file name suffix -> normalized content
} // namespace

Q_DECLARE_METATYPE(Files)
class TestMessageHandler : public QObject
{
    Q_OBJECT
    QScopedPointer<QTemporaryDir> m_dir;
    QByteArray m_out; // the child's console
    qint64 m_pid = 0;
    bool m_crashed = true; // also when it never starts or hangs
    QString logName() const { return m_dir->filePath(QStringLiteral("gps.log")); }
    // settings: the file's text with "@DIR@" for the test directory; null for no file.
    void run(QByteArray settings, const QStringList &steps, const QString &iniName = "gps.ini")
    {
        const QString ini = m_dir->filePath(iniName);
        QFile file(ini);
        if (settings == kMakeDirectory)
            QDir().mkdir(ini);
        else if (!settings.isNull() && file.open(QIODevice::WriteOnly))
            file.write(settings.replace("@DIR@", m_dir->path().toUtf8()));
        file.close();
        QProcess p; // TZ (set in main) is not UTC: local time must not pass for UTC
        p.start(QCoreApplication::applicationFilePath(), QStringList{QLatin1String(kScenario), ini} + steps);
        m_pid = p.waitForStarted(kChildTimeoutMs) ? p.processId() : 0;
        m_crashed = !m_pid || !p.waitForFinished(kChildTimeoutMs) || p.exitStatus() == QProcess::CrashExit;
        m_out = p.readAllStandardOutput();
    }

private slots:
    void init() { m_dir.reset(new QTemporaryDir); }
    void scenarios_data()
    {
        QTest::addColumn<QByteArray>("keys");
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QString>("console");
        QTest::addColumn<Files>("files");
        QTest::addColumn<Files>("seeds"); // log files there before the child starts
        const auto row = [](const char *name, const QByteArray &keys, const QStringList &steps,
                            const QString &console, const Files &files, const Files &seeds = Files()) {
            QTest::newRow(name) << keys << steps << console << files << seeds;
        };
        const QByteArray all = "Display_Message=1\nDisplay_Level=0\nLog_Level=0\n";
        const QStringList dwc = {"0:d", "1:w", "2:c"};
        const QString mainLine = " W File: main Line:  98 :  starting the daemonizing process \n";
        row("warning from main", all, {"1:main:98:starting the daemonizing process"}, mainLine,
            {{"", mainLine}});
        const QString gpsLine = " D File: cgpsprog Line:  1681 :  Start Gps timer \n";
        row("debug from cgpsprog", all, {"0:cgpsprog:1681:Start Gps timer"}, gpsLine, {{"", gpsLine}});
        row("info counts as debug", all, {"4:i"}, " D i\n", {{"", " D i\n"}});
        row("fatal is written, then aborts", all, {"3:f", "1:never"}, " F f\n", {{"", " F f\n"}});
        row("defaults", "", dwc, "", {{"", linesOf("wc")}});
        row("console from debug, log off", all + "Log_Message=0", dwc, linesOf("dwc"), {});
        row("console from critical, log from debug", "Display_Message=1\nDisplay_Level=2\nLog_Level=0", dwc,
            linesOf("c"), {{"", linesOf("dwc")}});
        row("unconvertible levels read as 0", "Display_Message=1\nDisplay_Level=high\nLog_Level=x", dwc,
            linesOf("dwc"), {{"", linesOf("dwc")}});
        row("console switched off by call", all, QStringList{"noconsole"} + dwc, "", {{"", linesOf("dwc")}});
        row("standard streams closed", all, QStringList{"closed"} + dwc, "", {{"", linesOf("dwc")}});
        row("system log replaces the file", "Log_Level=0\nUse_SysLog=1", dwc, "", {});
        const QString failed = linesOf("d") + "NOID()open log file failed\n" + linesOf("wc");
        row("log file name empty", all + "Logfile_Name=", dwc, failed, {});
        row("failure note on closed streams", all + "Logfile_Name=", QStringList{"closed"} + dwc, "", {});
        const auto sizes = [](int size, int redundancy) {
            return "Log_Level=0\nLogfile_Size=" + QByteArray::number(size) +
                   "\nLogfile_Redundancy=" + QByteArray::number(redundancy);
        };
        const QString w1 = " W 1\n", w2 = " W 2\n", w3 = " W 3\n";
        const Files copies = {{"", "cur\n"}, {".1", "one\n"}, {".2", "two\n"}, {".3", "three\n"}};
        row("exactly the size stays", sizes(10, 1), {"1:1"}, "", {{"", "123456789\n" + w1}},
            {{"", "123456789\n"}});
        row("one byte more rotates", sizes(10, 1), {"1:1"}, "", {{"", w1}, {".1", "1234567890\n"}},
            {{"", "1234567890\n"}});
        row("size 0, every line a new file", sizes(0, 1), {"1:1", "1:2", "1:3"}, "", {{"", w3}, {".1", w2}});
        row("redundancy 3, oldest dropped twice", sizes(0, 3), {"1:1", "1:2"}, "",
            {{"", w2}, {".1", w1}, {".2", "cur\n"}, {".3", "one\n"}}, copies);
        row("negative redundancy", sizes(0, -1), {"1:1", "1:2"}, "", {{"", w2}}, {{"", "cur\n"}});
        row("huge redundancy", sizes(0, 2000000000), {"1:1"}, "",
            {{"", w1}, {".1", "cur\n"}, {".2", "one\n"}}, {{"", "cur\n"}, {".1", "one\n"}});
    }
    // Files: the log file ("") and its copies, normalized.
    void scenarios()
    {
        QFETCH(QByteArray, keys);
        QFETCH(QStringList, steps);
        QFETCH(Files, files);
        QFETCH(Files, seeds);
        for (auto it = seeds.cbegin(); it != seeds.cend(); ++it) {
            QFile seed(logName() + it.key());
            QVERIFY(seed.open(QIODevice::WriteOnly) && seed.write(it.value().toLatin1()) > 0);
        }
        run(group(keys), steps);
        QCOMPARE(m_crashed, steps.contains("3:f"));
        QTEST(normalized(m_out), "console");
        for (const QString suffix : {"", ".1", ".2", ".3", ".4"}) {
            QCOMPARE(QFile::exists(logName() + suffix), files.contains(suffix));
            QCOMPARE(normalized(readAll(logName() + suffix)), files.value(suffix));
        }
        // Identity and UTC time of every line written.
        const QString format = QStringLiteral("yyyy-MM-dd_hh:mm:ss:zzz");
        const auto now = QDateTime::fromString(QDateTime::currentDateTimeUtc().toString(format), format);
        auto stamps = QRegularExpression('^' + kStamp, QRegularExpression::MultilineOption)
                          .globalMatch(QString::fromLatin1(m_out + readAll(logName())));
        while (stamps.hasNext()) {
            const auto m = stamps.next();
            QCOMPARE(m.captured(1).toLongLong(), m_pid);
            QVERIFY(qAbs(QDateTime::fromString(m.captured(2), format).secsTo(now)) < 120);
        }
    }
    // Each item the stream takes, followed by one blank; strings quoted, not escaped.
    void streamItems()
    {
        CLogStream line(QtDebugMsg, "src", 7);
        line << "a" << static_cast<const char *>(nullptr) << QStringLiteral("q\"") << QByteArray("b") << 1u
             << -2L << 3UL << -4LL << 5ULL << 6 << 0.1 << 1234567.0 << true << false
             << CDateTime::fromUtc({2020, 1, 2}, {3, 4, 5}) << QDateTime({2020, 1, 2}, {3, 4, 5}) << logEndl
             << "z";
        QCOMPARE(line.text(),
                 QStringLiteral("File: src Line:  7 :  a (null) \"q\"\" \"b\" 1 -2 3 -4 5 6 0.1 1.23457e+06 "
                                "true false QDateTime(\"Thu Jan 2 03:04:05 2020\") "
                                "QDateTime(\"Thu Jan 2 03:04:05 2020\") \nz "));
        QCOMPARE(CLogStream(QtDebugMsg, "src", 7, CLogStream::NoColon()).text(),
                 QStringLiteral("File: src Line:  7 "));
    }
    // Missing keys are written back with their defaults, present ones kept.
    void settingsWriteBack_data()
    {
        QTest::addColumn<QByteArray>("settings");
        QTest::addColumn<QString>("values");
        QTest::newRow("no settings file") << QByteArray() << "0 1 1 1 1048576 1 /var/log/Vorlan/unit.log 0";
        QTest::newRow("present keys kept")
            << QByteArray("[DEBUG_MESSAGES]\nLog_Level=3\nLogfile_Name=/srv/x.log\n")
            << "0 1 1 3 1048576 1 /srv/x.log 0";
        QTest::newRow("directory in place of the file") << QByteArray(kMakeDirectory) << QString();
    }
    void settingsWriteBack()
    {
        QFETCH(QByteArray, settings);
        run(settings, {"0:d"}, "unit.ini"); // the debug message goes nowhere by default
        QVERIFY(!m_crashed);
        QCOMPARE(m_out, QByteArray());
        QSettings written(m_dir->filePath("unit.ini"), QSettings::IniFormat);
        written.beginGroup("DEBUG_MESSAGES");
        QStringList values;
        for (const char *key : {"Display_Message", "Display_Level", "Log_Message", "Log_Level",
                                "Logfile_Size", "Logfile_Redundancy", "Logfile_Name", "Use_SysLog"})
            if (written.contains(key))
                values << written.value(key).toString();
        QCOMPARE(written.childKeys().size(), values.size());
        QTEST(values.join(' '), "values");
    }
    // What QSettings would decode as binary data (and believe the lengths in) is refused.
    void settingsFileRefusal_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("refused");
        QTest::newRow("numbers and texts")
            << QByteArray("[G]\nA=1\nB=\"tcp:host=h,port=1\"\nC=a\\b\n") << false;
        QTest::newRow("no file") << QByteArray() << false;
        QTest::newRow("variant value")
            << QByteArray("[G]\nA=@Variant(\\0\\0\\0\\t\\xff\\xff\\xff\\xff)\n") << true;
        QTest::newRow("hex escape of @") << QByteArray("[G]\nA=\\x40Variant(x)\n") << true;
        QTest::newRow("octal escape of @") << QByteArray("[G]\nA=\"\\100Variant(x)\"\n") << true;
        QTest::newRow("beyond the size cap") << QByteArray(CSettingsFile::kMaxBytes + 1, '\n') << true;
    }
    void settingsFileRefusal()
    {
        QFETCH(QByteArray, text);
        const QString name = m_dir->filePath("refusal.ini");
        QFile file(name);
        QVERIFY(text.isNull() || (file.open(QIODevice::WriteOnly) && file.write(text) == text.size()));
        file.close();
        QTEST(!CSettingsFile::refusal(name).isEmpty(), "refused");
    }
    // Small files make the threads meet in the rotation too; every copy is kept.
    void concurrentWritersKeepLinesWhole()
    {
        run(group("Log_Level=0\nLogfile_Size=2000\nLogfile_Redundancy=100"), {"1:first", "threads"});
        QVERIFY(!m_crashed);
        QByteArray all = readAll(logName());
        for (int i = 1; i <= 100; ++i)
            all += readAll(logName() + '.' + QString::number(i));
        const QString text = QString::fromLatin1(all);
        QCOMPARE(text.count('\n'), 1 + 2 * kThreadMessages);
        QCOMPARE(text.count(QRegularExpression('^' + kStamp + " W File: cgpsprog Line:  \\d+ :  [ab] \\n",
                                               QRegularExpression::MultilineOption)),
                 2 * kThreadMessages);
    }
};

int main(int argc, char **argv)
{
    if (argc >= 3 && qstrcmp(argv[1], kScenario) == 0)
        return runScenario(argc, argv);
    qputenv("TZ", "XST-05:30");
    QCoreApplication app(argc, argv);
    TestMessageHandler test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_messagehandler.moc"
