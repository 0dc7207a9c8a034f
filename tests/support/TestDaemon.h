#ifndef TESTDAEMON_H
#define TESTDAEMON_H

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <functional>
#include <sys/types.h>

// Runs the unmodified daemon binary (inside the test's sandbox, where its
// fixed paths are private) and keeps hold of the detached child: the test
// process becomes a child subreaper, so the daemon is reparented to it and
// its exit status can be collected.
class TestDaemon
{
public:
    static constexpr const char *kSettingsFile = "/etc/Vorlan/gps.ini";
    static constexpr const char *kLogFile = "/var/log/Vorlan/gps.log";
    static constexpr const char *kGpioFile = "/sys/devices/virtual/gpio/gpio27/value";

    TestDaemon();
    ~TestDaemon();

    static QString binary() { return QStringLiteral(VORLAN_BINARY_DIR "/app/vorlan-gps"); }
    // Replaces the settings file; empty text removes it.
    static void writeSettings(const QString &iniText);
    static QString readFile(const QString &path);
    // Lines of the log file (without the line break); empty when absent.
    static QStringList logLines();
    // The log text after the identity, time and level tag: "W File: ...".
    static QString messageOf(const QString &line);
    // messageOf() of every line of the log file.
    static QStringList logMessages();
    // When the line was logged (ms since 1970; lines carry UTC); -1 when
    // the line has no time.
    static qint64 timeOf(const QString &line);
    // Processes whose parent is this one (and whose command line holds command, when given).
    static QList<pid_t> childrenOf(pid_t parent, const QString &command = QString());
    // /proc/<pid>/<name>; empty when the process is gone.
    static QByteArray procFile(pid_t pid, const char *name);
    // The fields of /proc/<pid>/stat after "pid (comm) ", which may hold blanks: state, ppid, ...
    static QList<QByteArray> statFields(pid_t pid);
    // Checks done() every periodMs until it holds (true) or timeoutMs have passed (false).
    static bool poll(const std::function<bool()> &done, int timeoutMs, int periodMs = 20);

    // Starts the binary (behind the wrapper's command, when set); returns false
    // when the parent did not exit 0 or no child was found within startTimeoutMs.
    bool start(const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment());
    pid_t pid() const { return m_pid; }
    pid_t parentPid() const { return m_parentPid; }
    int parentExitCode() const { return m_parentExit; }
    QByteArray parentOutput() const { return m_parentOutput; }

    // Polls the log file until a line contains the text; bounded.
    bool waitForLog(const QString &text, int timeoutMs, int count = 1) const;
    int countLog(const QString &text) const;

    bool sendSignal(int signalNumber) const;
    // Collects the exit; returns false on time-out. status is waitpid's.
    bool waitForExit(int timeoutMs, int *status = nullptr);
    // Collects the exit; whether it was exit(code).
    bool exitedWith(int code, int timeoutMs = 8000);
    bool isRunning() const { return m_pid > 0 && !m_reaped; }
    // Processor time the daemon has used so far, ms.
    qint64 cpuMs() const;
    // SIGKILL and reap, for clean-up.
    void kill();

    QStringList wrapper;
    int startTimeoutMs = 10000;

private:
    pid_t m_pid = -1;
    pid_t m_parentPid = -1;
    int m_parentExit = -1;
    QByteArray m_parentOutput;
    bool m_reaped = false;
};

#endif // TESTDAEMON_H
