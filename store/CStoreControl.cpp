#include "CStoreControl.h"

#include "CStoreCore.h"

#include <QCoreApplication>
#include <QDBusError>
#include <QTimer>

CStoreControl::CStoreControl(CStoreCore &core, QObject *parent) : QObject(parent), m_core(core) {}

void CStoreControl::refuse(const QString &text)
{
    qWarning("control: %s", qPrintable(text));
    if (calledFromDBus())
        sendErrorReply(QDBusError::InvalidArgs, text);
}

void CStoreControl::setFail(const QString &member, int iCode)
{
    QString error;
    if (!m_core.setFault(member, iCode, &error))
        refuse(error);
}

void CStoreControl::clearFail(const QString &member)
{
    if (!member.isEmpty() && !m_core.isMember(member)) {
        refuse(QStringLiteral("no member \"%1\" in the data service").arg(member));
        return;
    }
    m_core.clearFault(member);
}

void CStoreControl::setDelay(const QString &member, int iMsecs)
{
    QString error;
    if (!m_core.setDelay(member, iMsecs, &error))
        refuse(error);
}

QStringList CStoreControl::faults()
{
    return m_core.faultLines();
}

QStringList CStoreControl::callLog()
{
    return m_core.callLog();
}

void CStoreControl::clearCallLog()
{
    m_core.clearCallLog();
}

QStringList CStoreControl::listLogbook(const QString &table, int iLast)
{
    QString error;
    const QStringList lines = m_core.logbookLines(table, iLast, &error);
    if (!error.isEmpty())
        refuse(error);
    return lines;
}

void CStoreControl::reset()
{
    QString error;
    if (!m_core.reset(&error))
        refuse(error);
}

int CStoreControl::loadSeed(const QString &path)
{
    QString error;
    const int count = m_core.loadSeed(path, &error);
    if (count < 0)
        refuse(error);
    return count;
}

void CStoreControl::quit()
{
    qInfo("control: quit");
    // Leave the event loop after this call's reply has gone out.
    QTimer::singleShot(0, qApp, &QCoreApplication::quit);
}
