#ifndef CLOGTRACKING_H
#define CLOGTRACKING_H

#include "CLogBase.h"
#include "records/CGpsPoint.h"

// Logbook entry of a stored track point.
class CLogTracking : public CLogBase
{
public:
    static constexpr qint32 kOwnVersion = 1;

    QByteArray serializationBuffer; // not streamed
    qint32 ownVersion;
    QByteArray reserved;
    CGpsPoint oGpsPoint;
    bool bNewEntry; // streamed last; false once read from bytes

    CLogTracking();
    // Base type 0 until the stream says otherwise.
    explicit CLogTracking(const QByteArray &bytes, CRecordStatus *status = nullptr);
    CLogTracking(const CLogTracking &) = default;
    CLogTracking &operator=(const CLogTracking &) = default;
    ~CLogTracking() override;

    // Own part back to its construction values; the base part is kept.
    void initialise();

    QByteArray serialize();
    // Empty bytes initialise the own part (reported as Truncated: they held no entry).
    CRecordStatus parse(const QByteArray &bytes);
    CRecordStatus read(QDataStream &in);
    void write(QDataStream &out) const;
};

#endif // CLOGTRACKING_H
