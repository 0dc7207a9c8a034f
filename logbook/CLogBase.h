#ifndef CLOGBASE_H
#define CLOGBASE_H

#include "CLogDisplayRecord.h"
#include "records/CDateTime.h"
#include "records/CRecordStatus.h"

#include <QByteArray>
#include <QString>
#include <QVariantList>
#include <QVariantMap>
#include <QtGlobal>

class QDataStream;

// What every entry of the truck's central logbook has. The base part is
// streamed ahead of the derived part; the logbook service stores the bytes and
// other processes read them back, so the layout is shared system-wide.
class CLogBase
{
public:
    // Logbook types the daemon writes; see typeName() for all of them.
    static constexpr qint32 kTypeUnknown = 0; // entry built from bytes, before reading
    static constexpr qint32 kTypeTracking = 1;
    static constexpr qint32 kTypeGps = 6;
    static constexpr qint32 kBaseVersion = 256;

    qint32 version;
    qint64 llFieldA; // carried, not set by the daemon
    qint64 llFieldB; // carried
    qint32 iType;
    qint32 iSubType;       // ELogSubType value
    CDateTime dtTimeStamp; // carried
    qint32 iFieldC;        // carried
    qint32 iFieldD;        // carried
    QByteArray baseBuffer;

    explicit CLogBase(qint32 type);
    // The virtual operations keep the order of the system's shared entry model.
    virtual ~CLogBase();
    virtual int integerQuery() const;
    virtual QByteArray copyBaseBuffer() const;
    virtual QByteArray *baseBufferAddress();
    // Generic description for screens that know nothing of the entry's type:
    // one map {"name": "logbook_wm_entry", "value": "i18n_logbook_wm_type_unknown"}.
    virtual QVariantList renderNameValue() const;
    // The entry for the operator's screen; texts are resolved against
    // translationMap with the English table as the fallback. Here: the name
    // is the subtype's own key, level 99, no values.
    virtual CLogDisplayRecord render(const QVariantMap &translationMap) const;

    void writeBase(QDataStream &out) const;
    CRecordStatus readBase(QDataStream &in);

    // Peek at one base field of any serialised entry, reading no further than
    // needed; status (optional) says whether the bytes reached that far. The
    // failed-read value (0 or a zero date-time) is returned otherwise.
    static qint32 peekType(const QByteArray &bytes, CRecordStatus *status = nullptr);
    static qint32 peekSubType(const QByteArray &bytes, CRecordStatus *status = nullptr);
    static qint64 peekFieldA(const QByteArray &bytes, CRecordStatus *status = nullptr);
    static qint64 peekFieldB(const QByteArray &bytes, CRecordStatus *status = nullptr);
    static CDateTime peekTimeStamp(const QByteArray &bytes, CRecordStatus *status = nullptr);
    static qint32 peekFieldD(const QByteArray &bytes, CRecordStatus *status = nullptr);

    // Name of a logbook type: "unknown_LogbookType" (0), "TRACKING" (1),
    // "GPS" (6); every other number as its decimal text.
    static QString typeName(int type);
    // "<name> has got wrong Type (<type name>)".
    static QString wrongTypeText(const QString &name, int type);

protected:
    CLogBase(const CLogBase &) = default;
    CLogBase &operator=(const CLogBase &) = default;

    // parameters: name key, a number the screen does not show, the level
    // (when there are more than two), then the values.
    CLogDisplayRecord buildDisplayRecord(const QVariantMap &translationMap,
                                         const QVariantList &parameters) const;

private:
    // Base fields in stream order; peeks read up to one of them.
    enum BaseField { FieldVersion, FieldType, FieldSubType, FieldA, FieldB, FieldTimeStamp, FieldC, FieldD };
    void readBaseFields(QDataStream &in, BaseField last);
    static CRecordStatus peek(const QByteArray &bytes, BaseField last, CLogBase &entry);
};

#endif // CLOGBASE_H
