// Every record the daemon reads from the bus or the data service, read from
// arbitrary bytes. The first byte picks the record; the rest is the record.
// A record that reads Ok must write bytes that read back to the same record,
// and reading the same bytes a second time must change nothing (the merging
// records take only values that differ).

#include "CFuzzEnvironment.h"

#include "records/CGpsPoint.h"
#include "records/CRecordStream.h"
#include "records/CRuntimeGeneralNonWM.h"
#include "records/CRuntimeGps.h"
#include "records/CRuntimeTriggerFtpTransfer.h"
#include "records/CSetupGeneralNonWM.h"
#include "records/CSetupGps.h"
#include "records/CSetupGpsTracking.h"

#include <cmath>

namespace
{
enum Kind {
    KindSetupGps,
    KindSetupGpsTracking,
    KindSetupGeneral,
    KindRuntimeGeneral,
    KindRuntimeGps,
    KindTriggerFtpTransfer,
    KindGpsPoint,
    KindRuntimeGpsOverHeld, // merging read into a record that already holds values
    KindCount
};

// The general runtime record writes its version table in hash order, which
// depends on how the table was filled: its bytes may differ after a
// round trip, its value may not.
enum class Bytes { Stable, HashOrder };

template <typename Record> bool sameRecord(const Record &a, const Record &b)
{
    return a == b;
}

// A held NaN never compares equal, not even to itself; the streamed bytes
// (marks included) and the change mark say whether two records agree.
bool sameRecord(const CRuntimeGps &a, const CRuntimeGps &b)
{
    // Assigned, not copied: assignment replaces a held NaN as a reader would.
    CRuntimeGps x;
    CRuntimeGps y;
    x = a;
    y = b;
    return x.serialize() == y.serialize() && x.isChanged() == y.isChanged();
}

// The general setup holds a double field, and a NaN read into it makes
// the record unequal to itself; its bytes still say whether two agree.
bool sameRecord(const CSetupGeneralNonWM &a, const CSetupGeneralNonWM &b)
{
    CSetupGeneralNonWM x = a;
    CSetupGeneralNonWM y = b;
    return x.serialize() == y.serialize();
}

template <typename Record> void checkRecord(Record &first, const QByteArray &bytes, Bytes bytesRule)
{
    Record before = first;
    const CRecordStatus status = first.parse(bytes);
    FUZZ_CHECK(status.name()[0] != '?');

    Record again = before;
    FUZZ_CHECK(again.parse(bytes) == status);
    FUZZ_CHECK(sameRecord(again, first));
    FUZZ_CHECK(first.parse(bytes) == status);
    FUZZ_CHECK(sameRecord(again, first));

    if (!status.ok())
        return;
    const QByteArray written = first.serialize();
    Record second = before;
    FUZZ_CHECK(second.parse(written).ok());
    FUZZ_CHECK(sameRecord(second, first));
    // A NaN the record held (set, never read) is written as it is and read
    // back as 0.0, as an assignment of the record replaces it: the assigned
    // copy's bytes are the ones a reader can give back.
    Record copy;
    copy = first;
    if (bytesRule == Bytes::Stable)
        FUZZ_CHECK(second.serialize() == copy.serialize());
}

template <typename Record> void checkRecord(const QByteArray &bytes, Bytes bytesRule = Bytes::Stable)
{
    Record record;
    checkRecord(record, bytes, bytesRule);
}

void checkNoNaN(const CGpsPoint &p)
{
    // Documented for every point read from bytes: the fleet's readers would show NaN as text.
    for (const double value : {p.latitude, p.longitude, p.altitude, p.hdop, p.speed, p.track})
        FUZZ_CHECK(!std::isnan(value));
}

void checkGpsPoint(const QByteArray &bytes)
{
    CRecordStatus status;
    CGpsPoint point(bytes, &status);
    checkNoNaN(point);
    CGpsPoint assigned;
    FUZZ_CHECK(assigned.parse(bytes) == status);
    FUZZ_CHECK(assigned == point);
    if (!status.ok())
        return;
    const QByteArray written = point.toBytes();
    FUZZ_CHECK(written.size() == CGpsPoint::kStreamSize);
    CRecordStatus again;
    const CGpsPoint back(written, &again);
    FUZZ_CHECK(again.ok());
    FUZZ_CHECK(back == point);
}

CRuntimeGps heldRuntimeGps()
{
    CRuntimeGps held;
    held.setRuntimeGpsText1(QStringLiteral("held"));
    held.setRuntimeGpsValue2(7);
    held.setLatitude(48.5);
    held.setSpeed(std::nan(""));
    return held;
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    CFuzzEnvironment::setUp();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const QByteArray bytes = CFuzzEnvironment::toByteArray(data + 1, size - 1);
    switch (data[0] % KindCount) {
    case KindSetupGps:
        checkRecord<CSetupGps>(bytes);
        break;
    case KindSetupGpsTracking:
        checkRecord<CSetupGpsTracking>(bytes);
        break;
    case KindSetupGeneral: {
        CSetupGeneralNonWM record;
        checkRecord(record, bytes, Bytes::Stable);
        // What the daemon takes from it.
        (void)record.timeZone().toLatin1();
        (void)record.daylightSaving();
        break;
    }
    case KindRuntimeGeneral: {
        CRuntimeGeneralNonWM record;
        checkRecord(record, bytes, Bytes::HashOrder);
        for (int item = 0; item <= CRuntimeGeneralNonWM::kItemCount + 1; ++item)
            (void)record.value(item);
        break;
    }
    case KindRuntimeGps: {
        CRuntimeGps record;
        checkRecord(record, bytes, Bytes::Stable);
        checkNoNaN(record.gpsPoint());
        break;
    }
    case KindTriggerFtpTransfer:
        checkRecord<CRuntimeTriggerFtpTransfer>(bytes);
        break;
    case KindGpsPoint:
        checkGpsPoint(bytes);
        break;
    case KindRuntimeGpsOverHeld: {
        CRuntimeGps record = heldRuntimeGps();
        checkRecord(record, bytes, Bytes::Stable);
        break;
    }
    }
    return 0;
}
