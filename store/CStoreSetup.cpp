#include "CStoreSetup.h"

#include "records/CReplyCode.h"

CStoreSetup::CStoreSetup(CStoreCore &core, QObject *parent) : CStoreObject(core, parent) {}

QByteArray CStoreSetup::getSetupGeneralNonWM()
{
    return answerGet(QStringLiteral("getSetupGeneralNonWM"));
}

int CStoreSetup::setSetupGeneralNonWM(int iProcess, const QByteArray &data)
{
    const int code = answerSet(QStringLiteral("setSetupGeneralNonWM"), iProcess, data);
    if (code == CReplyCode::REPLY_SUCCESS)
        emit sigSetupGeneralNonWM(iProcess);
    return code;
}

QByteArray CStoreSetup::getSetupGps()
{
    return answerGet(QStringLiteral("getSetupGps"));
}

int CStoreSetup::setSetupGps(int iProcess, const QByteArray &oSetGps)
{
    const int code = answerSet(QStringLiteral("setSetupGps"), iProcess, oSetGps);
    if (code == CReplyCode::REPLY_SUCCESS)
        emit sigSetupGps(iProcess);
    return code;
}

QByteArray CStoreSetup::getSetupGpsTracking()
{
    return answerGet(QStringLiteral("getSetupGpsTracking"));
}

int CStoreSetup::setSetupGpsTracking(int iProcess, const QByteArray &oSetGpsTracking)
{
    const int code = answerSet(QStringLiteral("setSetupGpsTracking"), iProcess, oSetGpsTracking);
    if (code == CReplyCode::REPLY_SUCCESS)
        emit sigSetupGpsTracking(iProcess);
    return code;
}
