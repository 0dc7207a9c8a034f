#include "CStoreObject.h"

#include "CStoreCore.h"
#include "records/CReplyCode.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QTimer>

const char *const CStoreObject::kErrorName = "com.Brask.Vorlan.Error.Failed";

CStoreObject::CStoreObject(CStoreCore &core, QObject *parent) : QObject(parent), m_core(core) {}

int CStoreObject::answerSet(const QString &member, int process, const QByteArray &data)
{
    const int code = m_core.set(member, process, data);
    deliver(member, QVariant(code));
    return code;
}

QByteArray CStoreObject::answerGet(const QString &member)
{
    QByteArray data;
    int faultCode = 0;
    if (m_core.get(member, &data, &faultCode)) {
        deliver(member, QVariant(data));
        return data;
    }
    if (!calledFromDBus())
        return QByteArray();
    const QString text = QStringLiteral("%1 failed: %2").arg(member, CReplyCode::name(faultCode));
    const int delay = m_core.delay(member);
    if (delay <= 0) {
        sendErrorReply(QString::fromLatin1(kErrorName), text);
        return QByteArray();
    }
    setDelayedReply(true);
    const QDBusMessage reply = message().createErrorReply(QString::fromLatin1(kErrorName), text);
    QTimer::singleShot(delay, this, [bus = connection(), reply]() mutable { bus.send(reply); });
    return QByteArray();
}

void CStoreObject::deliver(const QString &member, const QVariant &value)
{
    const int delay = m_core.delay(member);
    if (delay <= 0 || !calledFromDBus())
        return;
    setDelayedReply(true);
    const QDBusMessage reply = message().createReply(value);
    QTimer::singleShot(delay, this, [bus = connection(), reply]() mutable { bus.send(reply); });
}
