#include "CStoreRecords.h"

#include "logbook/CLogBase.h"
#include "logbook/CLogGps.h"
#include "logbook/CLogTracking.h"
#include "records/CReplyCode.h"
#include "records/CRuntimeGeneralNonWM.h"
#include "records/CRuntimeGps.h"
#include "records/CRuntimeTriggerFtpTransfer.h"
#include "records/CSetupGeneralNonWM.h"
#include "records/CSetupGps.h"
#include "records/CSetupGpsTracking.h"

#include <QStringList>

namespace
{
template <typename Record> int checkAs(const QByteArray &data, QString *why)
{
    if (data.isEmpty()) {
        *why = QStringLiteral("empty record");
        return CReplyCode::VALIDATION_ERROR;
    }
    Record record;
    const CRecordStatus status = record.parse(data);
    if (status.ok())
        return CReplyCode::REPLY_SUCCESS;
    *why = QStringLiteral("%1 bytes do not decode: %2").arg(data.size()).arg(QLatin1String(status.name()));
    return CReplyCode::VALIDATION_ERROR;
}

template <typename Record> QByteArray mergeAs(const QByteArray &stored, const QByteArray &data)
{
    Record record;
    if (!stored.isEmpty())
        record.parse(stored);
    record.parse(data);
    return record.serialize();
}

template <typename Entry>
int checkEntryAs(const QByteArray &data, qint32 wantedType, int *type, int *subtype, QString *why)
{
    if (data.isEmpty()) {
        *why = QStringLiteral("empty entry");
        return CReplyCode::VALIDATION_ERROR;
    }
    // The type first: an entry of another kind would otherwise only look truncated.
    CRecordStatus peeked;
    const qint32 peekedType = CLogBase::peekType(data, &peeked);
    if (peeked.ok() && peekedType != wantedType) {
        *why = CLogBase::wrongTypeText(QStringLiteral("entry"), peekedType);
        return CReplyCode::WRONG_TYPE_FOR_THIS_SET;
    }
    Entry entry;
    const CRecordStatus status = entry.parse(data);
    if (!status.ok()) {
        *why =
            QStringLiteral("%1 bytes do not decode: %2").arg(data.size()).arg(QLatin1String(status.name()));
        return CReplyCode::VALIDATION_ERROR;
    }
    *type = entry.iType;
    *subtype = entry.iSubType;
    return CReplyCode::REPLY_SUCCESS;
}
} // namespace

bool CStoreRecords::isRecordName(const QString &name)
{
    static const QStringList names = {
        QStringLiteral("SetupGeneralNonWM"), QStringLiteral("SetupGps"),
        QStringLiteral("SetupGpsTracking"),  QStringLiteral("RuntimeGeneralNonWM"),
        QStringLiteral("RuntimeGps"),        QStringLiteral("RuntimeTriggerFtpTransfer")};
    return names.contains(name);
}

bool CStoreRecords::isRuntimeRecord(const QString &name)
{
    return isRecordName(name) && name.startsWith(QLatin1String("Runtime"));
}

int CStoreRecords::check(const QString &name, const QByteArray &data, QString *why)
{
    if (name == QLatin1String("SetupGeneralNonWM"))
        return checkAs<CSetupGeneralNonWM>(data, why);
    if (name == QLatin1String("SetupGps"))
        return checkAs<CSetupGps>(data, why);
    if (name == QLatin1String("SetupGpsTracking"))
        return checkAs<CSetupGpsTracking>(data, why);
    if (name == QLatin1String("RuntimeGeneralNonWM"))
        return checkAs<CRuntimeGeneralNonWM>(data, why);
    if (name == QLatin1String("RuntimeGps"))
        return checkAs<CRuntimeGps>(data, why);
    if (name == QLatin1String("RuntimeTriggerFtpTransfer"))
        return checkAs<CRuntimeTriggerFtpTransfer>(data, why);
    *why = QStringLiteral("no record named %1").arg(name);
    return CReplyCode::WRONG_TYPE_FOR_THIS_SET;
}

QByteArray CStoreRecords::merge(const QString &name, const QByteArray &stored, const QByteArray &data)
{
    if (name == QLatin1String("RuntimeGeneralNonWM"))
        return mergeAs<CRuntimeGeneralNonWM>(stored, data);
    if (name == QLatin1String("RuntimeGps"))
        return mergeAs<CRuntimeGps>(stored, data);
    if (name == QLatin1String("RuntimeTriggerFtpTransfer"))
        return mergeAs<CRuntimeTriggerFtpTransfer>(stored, data);
    return data;
}

int CStoreRecords::checkLogEntry(const QString &table, const QByteArray &data, int *type, int *subtype,
                                 QString *why)
{
    if (table == QLatin1String("tracking"))
        return checkEntryAs<CLogTracking>(data, CLogBase::kTypeTracking, type, subtype, why);
    return checkEntryAs<CLogGps>(data, CLogBase::kTypeGps, type, subtype, why);
}
