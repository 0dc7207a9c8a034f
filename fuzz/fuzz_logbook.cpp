// Logbook entries as the data service hands them back: the GPS and tracking
// entries read from arbitrary bytes, the base-field peeks, and what the
// tools do with a read entry (screen rendering, export line).

#include "CFuzzEnvironment.h"

#include "logbook/CLogGps.h"
#include "logbook/CLogTracking.h"
#include "logbook/CTranslationHandler.h"
#include "records/CRecordStream.h"

#include <QDir>

namespace
{
// A small table so that rendering resolves keys without touching the board's web root.
const char kTable[] = R"({"dateformat":"DD.MM.YYYY","timeformat":"HH:mm:ss","logbook_11000_A":"GPS data"})";

QVariantMap table;

template <typename Entry> QByteArray bytesOf(Entry entry)
{
    return entry.serialize();
}

// Peeks must agree with a full read wherever the full read got that far.
void checkPeeks(const QByteArray &bytes, const CLogBase &entry, CRecordStatus entryStatus)
{
    CRecordStatus status;
    const qint32 type = CLogBase::peekType(bytes, &status);
    if (entryStatus.ok())
        FUZZ_CHECK(status.ok() && type == entry.iType);
    const qint32 subType = CLogBase::peekSubType(bytes, &status);
    if (entryStatus.ok())
        FUZZ_CHECK(status.ok() && subType == entry.iSubType);
    const qint64 fieldA = CLogBase::peekFieldA(bytes, &status);
    if (entryStatus.ok())
        FUZZ_CHECK(status.ok() && fieldA == entry.llFieldA);
    const qint64 fieldB = CLogBase::peekFieldB(bytes, &status);
    if (entryStatus.ok())
        FUZZ_CHECK(status.ok() && fieldB == entry.llFieldB);
    const CDateTime stamp = CLogBase::peekTimeStamp(bytes, &status);
    if (entryStatus.ok())
        FUZZ_CHECK(status.ok() && stamp.julianDay() == entry.dtTimeStamp.julianDay() &&
                   stamp.msecsOfDay() == entry.dtTimeStamp.msecsOfDay() &&
                   stamp.spec() == entry.dtTimeStamp.spec());
    const qint32 fieldD = CLogBase::peekFieldD(bytes, &status);
    if (entryStatus.ok())
        FUZZ_CHECK(status.ok() && fieldD == entry.iFieldD);
}

// Everything a tool does with an entry it has read.
void useEntry(const CLogBase &entry)
{
    const CLogDisplayRecord shown = entry.render(table);
    (void)shown.dtTimeStamp.toString(shown.dateFormat);
    (void)shown.dtTimeStamp.toTextDate();
    (void)entry.renderNameValue();
    (void)CLogBase::typeName(entry.iType);
}

void checkGps(const QByteArray &bytes)
{
    CRecordStatus status;
    const CLogGps entry(bytes, &status);
    FUZZ_CHECK(!entry.bNewEntry);
    useEntry(entry);
    // The offset is the entry's own unused field: arbitrary, and found by the fuzzer.
    (void)entry.exportTextLine(entry.iFieldC);
    (void)CLogGps::dateTimeValue(entry.oGpsPoint.dateTime);
    checkPeeks(bytes, entry, status);
    if (!status.ok())
        return;
    const QByteArray written = bytesOf(entry);
    CRecordStatus again;
    const CLogGps back(written, &again);
    FUZZ_CHECK(again.ok());
    FUZZ_CHECK(bytesOf(back) == written);
}

void checkTracking(const QByteArray &bytes)
{
    CRecordStatus status;
    const CLogTracking entry(bytes, &status);
    useEntry(entry);
    checkPeeks(bytes, entry, status);
    if (!status.ok())
        return;
    const QByteArray written = bytesOf(entry);
    CRecordStatus again;
    const CLogTracking back(written, &again);
    FUZZ_CHECK(again.ok());
    FUZZ_CHECK(bytesOf(back) == written);
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    CFuzzEnvironment::setUp();
    // Rendering falls back to the English table: give it one, so the
    // fallback is a cached lookup and not a file access per input.
    const QString root = CFuzzEnvironment::scratchDir() + QStringLiteral("/web");
    QDir().mkpath(root + QStringLiteral("/locales/en"));
    CFuzzEnvironment::writeFile(root + QStringLiteral("/locales/en/translation.json"), QByteArray(kTable));
    CTranslationHandler::instance()->setWebRoot(root);
    table = CTranslationHandler::instance()->translationMap(QStringLiteral("en"));
    FUZZ_CHECK(!table.isEmpty());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // Both entry types read every input: their base part is the same.
    const QByteArray bytes = CFuzzEnvironment::toByteArray(data, size);
    checkGps(bytes);
    checkTracking(bytes);
    return 0;
}
