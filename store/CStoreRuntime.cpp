#include "CStoreRuntime.h"

#include "records/CReplyCode.h"

CStoreRuntime::CStoreRuntime(CStoreCore &core, QObject *parent) : CStoreObject(core, parent) {}

QByteArray CStoreRuntime::getRuntimeGeneralNonWM()
{
    return answerGet(QStringLiteral("getRuntimeGeneralNonWM"));
}

int CStoreRuntime::setRuntimeGeneralNonWM(int iProcess, const QByteArray &data)
{
    const int code = answerSet(QStringLiteral("setRuntimeGeneralNonWM"), iProcess, data);
    if (code == CReplyCode::REPLY_SUCCESS)
        emit sigRuntimeGeneralNonWM(iProcess);
    return code;
}

QByteArray CStoreRuntime::getRuntimeGps()
{
    return answerGet(QStringLiteral("getRuntimeGps"));
}

int CStoreRuntime::setRuntimeGps(int iProcess, const QByteArray &oRunGps)
{
    const int code = answerSet(QStringLiteral("setRuntimeGps"), iProcess, oRunGps);
    if (code == CReplyCode::REPLY_SUCCESS)
        emit sigRuntimeGps(iProcess);
    return code;
}

QByteArray CStoreRuntime::getRuntimeTriggerFtpTransfer()
{
    return answerGet(QStringLiteral("getRuntimeTriggerFtpTransfer"));
}

int CStoreRuntime::setRuntimeTriggerFtpTransfer(int iProcess, const QByteArray &oRunTriggerFtpTransfer)
{
    const int code =
        answerSet(QStringLiteral("setRuntimeTriggerFtpTransfer"), iProcess, oRunTriggerFtpTransfer);
    if (code == CReplyCode::REPLY_SUCCESS)
        emit sigRuntimeTriggerFtpTransfer(iProcess);
    return code;
}
