#ifndef TESTBUS_H
#define TESTBUS_H

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// A private dbus-daemon for one test: a session-type bus on a socket path,
// optionally also listening on TCP 127.0.0.1 (anonymous auth, as the board's
// remote bus does; any free port unless one is given). Stopped by the destructor.
class TestBus
{
public:
    enum Listen { UnixOnly, UnixAndTcp };

    explicit TestBus(Listen listen = UnixOnly, quint16 tcpPort = 0);
    ~TestBus();

    bool start();
    void stop();
    bool isRunning() const { return m_process.state() == QProcess::Running; }

    QString unixAddress() const { return m_unixAddress; }
    QString tcpAddress() const { return m_tcpAddress; }
    QString error() const { return m_error; }

private:
    Listen m_listen;
    quint16 m_tcpPort;
    QTemporaryDir m_dir;
    QProcess m_process;
    QString m_unixAddress;
    QString m_tcpAddress;
    QString m_error;
};

#endif // TESTBUS_H
