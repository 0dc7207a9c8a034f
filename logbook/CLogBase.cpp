#include "CLogBase.h"

#include "CTranslationHandler.h"
#include "records/CRecordStream.h"

namespace
{
// Positions in the parameter list of a display record.
constexpr int kNameParameter = 0;
constexpr int kLevelParameter = 2;
constexpr int kFirstValueParameter = 3;
} // namespace

CLogBase::CLogBase(qint32 type)
    : version(kBaseVersion), llFieldA(0), llFieldB(0), iType(type), iSubType(-1),
      dtTimeStamp(CDateTime::fromDate(QDate(1, 1, 1))), iFieldC(-1), iFieldD(0)
{
}

CLogBase::~CLogBase() = default;

int CLogBase::integerQuery() const
{
    return 0;
}

QByteArray CLogBase::copyBaseBuffer() const
{
    return baseBuffer;
}

QByteArray *CLogBase::baseBufferAddress()
{
    return &baseBuffer;
}

QVariantList CLogBase::renderNameValue() const
{
    QVariantMap entry;
    entry.insert(QStringLiteral("name"), QStringLiteral("logbook_wm_entry"));
    entry.insert(QStringLiteral("value"),
                 QStringLiteral("i18n_") + QStringLiteral("logbook_wm_type_unknown"));
    return QVariantList{entry};
}

CLogDisplayRecord CLogBase::render(const QVariantMap &translationMap) const
{
    // The screen's parameter is a 32-bit integer: only the low half of field A fits.
    const qint32 fieldALow = qint32(quint32(quint64(llFieldA) & 0xFFFFFFFFu));
    return buildDisplayRecord(translationMap,
                              QVariantList{QVariant(qint32(iSubType)), QVariant(fieldALow),
                                           QVariant(qint32(CLogDisplayRecord::kDefaultLevel))});
}

CLogDisplayRecord CLogBase::buildDisplayRecord(const QVariantMap &translationMap,
                                               const QVariantList &parameters) const
{
    CLogDisplayRecord record;
    record.name =
        parameters.isEmpty()
            ? QString::number(iSubType)
            : CTranslationHandler::resolve(translationMap, parameters.at(kNameParameter).toString());
    if (parameters.size() > kLevelParameter)
        record.level = parameters.at(kLevelParameter).toInt();
    record.dtTimeStamp = dtTimeStamp;
    record.timeFormat = CTranslationHandler::resolve(translationMap, QStringLiteral("timeformat"));
    record.dateFormat = CTranslationHandler::resolve(translationMap, QStringLiteral("dateformat"));
    record.translationMap = translationMap;
    record.values = parameters.mid(kFirstValueParameter);
    return record;
}

void CLogBase::writeBase(QDataStream &out) const
{
    CRecordStream::setRecordVersion(out);
    out << version << iType << iSubType << llFieldA << llFieldB << dtTimeStamp << iFieldC << iFieldD;
}

CRecordStatus CLogBase::readBase(QDataStream &in)
{
    readBaseFields(in, FieldD);
    return CRecordStream::status(in);
}

void CLogBase::readBaseFields(QDataStream &in, BaseField last)
{
    CRecordStream::setRecordVersion(in);
    CRecordStream::read(in, version);
    if (last == FieldVersion)
        return;
    CRecordStream::read(in, iType);
    if (last == FieldType)
        return;
    CRecordStream::read(in, iSubType);
    if (last == FieldSubType)
        return;
    CRecordStream::read(in, llFieldA);
    if (last == FieldA)
        return;
    CRecordStream::read(in, llFieldB);
    if (last == FieldB)
        return;
    CRecordStream::read(in, dtTimeStamp);
    if (last == FieldTimeStamp)
        return;
    CRecordStream::read(in, iFieldC);
    if (last == FieldC)
        return;
    CRecordStream::read(in, iFieldD);
}

CRecordStatus CLogBase::peek(const QByteArray &bytes, BaseField last, CLogBase &entry)
{
    CRecordStream in(bytes);
    entry.readBaseFields(in, last);
    return CRecordStream::status(in);
}

namespace
{
template <typename T> T reportPeek(CRecordStatus result, CRecordStatus *status, const T &value)
{
    if (status)
        *status = result;
    return value;
}
} // namespace

qint32 CLogBase::peekType(const QByteArray &bytes, CRecordStatus *status)
{
    CLogBase entry(kTypeUnknown);
    const CRecordStatus result = peek(bytes, FieldType, entry);
    return reportPeek(result, status, result.ok() ? entry.iType : 0);
}

qint32 CLogBase::peekSubType(const QByteArray &bytes, CRecordStatus *status)
{
    CLogBase entry(kTypeUnknown);
    const CRecordStatus result = peek(bytes, FieldSubType, entry);
    return reportPeek(result, status, result.ok() ? entry.iSubType : 0);
}

qint64 CLogBase::peekFieldA(const QByteArray &bytes, CRecordStatus *status)
{
    CLogBase entry(kTypeUnknown);
    const CRecordStatus result = peek(bytes, FieldA, entry);
    return reportPeek(result, status, result.ok() ? entry.llFieldA : 0);
}

qint64 CLogBase::peekFieldB(const QByteArray &bytes, CRecordStatus *status)
{
    CLogBase entry(kTypeUnknown);
    const CRecordStatus result = peek(bytes, FieldB, entry);
    return reportPeek(result, status, result.ok() ? entry.llFieldB : 0);
}

CDateTime CLogBase::peekTimeStamp(const QByteArray &bytes, CRecordStatus *status)
{
    CLogBase entry(kTypeUnknown);
    const CRecordStatus result = peek(bytes, FieldTimeStamp, entry);
    return reportPeek(result, status, result.ok() ? entry.dtTimeStamp : CDateTime::fromRaw(0, 0, 0));
}

qint32 CLogBase::peekFieldD(const QByteArray &bytes, CRecordStatus *status)
{
    CLogBase entry(kTypeUnknown);
    const CRecordStatus result = peek(bytes, FieldD, entry);
    return reportPeek(result, status, result.ok() ? entry.iFieldD : 0);
}

QString CLogBase::typeName(int type)
{
    switch (type) {
    case kTypeUnknown:
        return QStringLiteral("unknown_LogbookType");
    case kTypeTracking:
        return QStringLiteral("TRACKING");
    case kTypeGps:
        return QStringLiteral("GPS");
    default:
        // The names of the system's other entry types are not known here.
        return QString::number(type);
    }
}

QString CLogBase::wrongTypeText(const QString &name, int type)
{
    return name + QStringLiteral(" has got wrong Type (") + typeName(type) + QLatin1Char(')');
}
