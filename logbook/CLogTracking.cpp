#include "CLogTracking.h"

#include "records/CRecordStream.h"

CLogTracking::CLogTracking() : CLogBase(kTypeTracking)
{
    initialise();
}

CLogTracking::CLogTracking(const QByteArray &bytes, CRecordStatus *status) : CLogTracking()
{
    iType = kTypeUnknown;
    const CRecordStatus result = parse(bytes);
    if (status)
        *status = result;
}

CLogTracking::~CLogTracking() = default;

void CLogTracking::initialise()
{
    bNewEntry = true;
    ownVersion = kOwnVersion;
    reserved = CRecordStream::reservedBlock();
    oGpsPoint.reset();
}

QByteArray CLogTracking::serialize()
{
    CRecordStream out(&serializationBuffer);
    write(out);
    return serializationBuffer;
}

CRecordStatus CLogTracking::parse(const QByteArray &bytes)
{
    if (bytes.isEmpty()) {
        initialise();
        return CRecordStatus::Truncated;
    }
    CRecordStream in(bytes);
    const CRecordStatus result = read(in);
    // Whatever the stream held: an entry read back is no new entry.
    bNewEntry = false;
    return CRecordStream::finish(in, result);
}

CRecordStatus CLogTracking::read(QDataStream &in)
{
    readBase(in);
    // The own version only decides whether the rest follows; the member keeps its value.
    const CRecordStatus own = CRecordStream::readVersion(in, kOwnVersion);
    if (!own.ok())
        return own;
    CRecordStream::read(in, reserved);
    oGpsPoint.read(in);
    CRecordStream::read(in, bNewEntry);
    return CRecordStream::status(in);
}

void CLogTracking::write(QDataStream &out) const
{
    writeBase(out);
    out << ownVersion << reserved << oGpsPoint << bNewEntry;
}
