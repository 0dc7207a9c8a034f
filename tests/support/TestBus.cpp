#include "TestBus.h"

#include <QDeadlineTimer>
#include <QFile>

TestBus::TestBus(Listen listen, quint16 tcpPort) : m_listen(listen), m_tcpPort(tcpPort) {}

TestBus::~TestBus()
{
    stop();
}

bool TestBus::start()
{
    QString listen = QStringLiteral("<listen>unix:path=%1</listen><auth>EXTERNAL</auth>\n")
                         .arg(m_dir.filePath(QStringLiteral("bus")));
    if (m_listen == UnixAndTcp)
        listen += QStringLiteral("<listen>tcp:host=127.0.0.1,bind=127.0.0.1,port=%1</listen>"
                                 "<auth>ANONYMOUS</auth><allow_anonymous/>\n")
                      .arg(m_tcpPort);
    const QString config = m_dir.filePath(QStringLiteral("bus.conf"));
    QFile file(config);
    if (!file.open(QIODevice::WriteOnly)) {
        m_error = QStringLiteral("cannot write %1").arg(config);
        return false;
    }
    file.write(
        QStringLiteral(R"(<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig><type>session</type>
%1<policy context="default"><allow send_destination="*" eavesdrop="true"/><allow eavesdrop="true"/>
<allow own="*"/></policy></busconfig>
)")
            .arg(listen)
            .toUtf8());
    file.close();

    m_process.start(QStringLiteral("dbus-daemon"),
                    {QStringLiteral("--config-file=") + config, QStringLiteral("--nofork"),
                     QStringLiteral("--print-address=1")});
    if (!m_process.waitForStarted(5000) || !m_process.waitForReadyRead(5000)) {
        m_error = QStringLiteral("dbus-daemon did not start: ") + m_process.errorString() +
                  QString::fromLocal8Bit(m_process.readAllStandardError());
        return false;
    }
    QDeadlineTimer deadline(5000);
    QByteArray line = m_process.readLine();
    while (!line.endsWith('\n') && !deadline.hasExpired() && m_process.waitForReadyRead(100))
        line += m_process.readLine();
    const QStringList addresses = QString::fromUtf8(line.trimmed()).split(QLatin1Char(';'));
    for (const QString &a : addresses)
        (a.startsWith(QLatin1String("unix:")) ? m_unixAddress : m_tcpAddress) = a;
    if (m_unixAddress.isEmpty() ||
        (m_listen == UnixAndTcp && !m_tcpAddress.startsWith(QLatin1String("tcp:")))) {
        m_error = QStringLiteral("unexpected bus address line: ") + QString::fromUtf8(line);
        return false;
    }
    return true;
}

void TestBus::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(3000)) {
        m_process.kill();
        m_process.waitForFinished(3000);
    }
}
