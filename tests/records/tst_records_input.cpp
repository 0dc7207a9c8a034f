#include "RecordTestUtil.h"
#include "logbook/CLogGps.h"
#include "logbook/CLogTracking.h"
#include "logbook/ELogSubType.h"
#include "records/CGpsPoint.h"
#include "records/CRuntimeGeneralNonWM.h"
#include "records/CRuntimeGps.h"
#include "records/CRuntimeTriggerFtpTransfer.h"
#include "records/CSetupGeneralNonWM.h"
#include "records/CSetupGps.h"
#include "records/CSetupGpsTracking.h"

#include <QtTest>
#include <functional>

// Every reader of bytes against short, garbage and oversized input: a status
// the caller can see, never a crash, a hang or a read past the end.
using Reader = std::function<CRecordStatus(const QByteArray &)>;
Q_DECLARE_METATYPE(Reader)

template <typename R> static Reader parser()
{
    return [](const QByteArray &bytes) {
        R record;
        return record.parse(bytes);
    };
}

template <typename T> static Reader peeker(T (*peek)(const QByteArray &, CRecordStatus *))
{
    return [peek](const QByteArray &bytes) {
        CRecordStatus status;
        peek(bytes, &status);
        return status;
    };
}

class tst_RecordsInput : public QObject
{
    Q_OBJECT

private slots:
    void readers_data();
    void prefixes_data() { readers_data(); }
    void prefixes();
    void badInput_data() { readers_data(); }
    void badInput();
    void hugeEntryCount();
    void oddStringLength();
};

void tst_RecordsInput::readers_data()
{
    QTest::addColumn<Reader>("reader");
    QTest::addColumn<QByteArray>("valid");
    QTest::addColumn<int>("completeAt");   // shortest input that reads completely
    QTest::addColumn<int>("lengthOffset"); // where a byte-array length lies, -1 for none

    CRuntimeGps runtime;
    runtime.setRuntimeGpsText1(QStringLiteral("one"));
    runtime.setRuntimeGpsText2(QStringLiteral("two"));
    runtime.setLatitude(48.5);
    CRuntimeTriggerFtpTransfer trigger;
    trigger.setStartGpsFileTransfer(true);
    trigger.setTriggerText3(QStringLiteral("three"));
    CRuntimeGeneralNonWM general;
    general.setSoftwareVersion(QStringLiteral("GPS"), QStringLiteral("1.2.1"));
    general.setSoftwareVersion(QStringLiteral("IO"), QStringLiteral("3"));
    CLogGps gps;
    gps.iSubType = GPS_Enabled;
    CLogTracking tracking;

    const auto add = [](const char *name, const Reader &reader, const QByteArray &bytes, int lengthOffset) {
        QTest::newRow(name) << reader << bytes << int(bytes.size()) << lengthOffset;
    };
    add("CSetupGps", parser<CSetupGps>(), CSetupGps().serialize(), 4);
    add("CSetupGpsTracking", parser<CSetupGpsTracking>(), CSetupGpsTracking().serialize(), 4);
    add("CGpsPoint", parser<CGpsPoint>(), CGpsPoint().serialize(), -1);
    add("CRuntimeGps", parser<CRuntimeGps>(), runtime.serialize(), 4);
    add("CRuntimeTriggerFtpTransfer", parser<CRuntimeTriggerFtpTransfer>(), trigger.serialize(), 4);
    add("CSetupGeneralNonWM", parser<CSetupGeneralNonWM>(), CSetupGeneralNonWM().serialize(), 4);
    add("CRuntimeGeneralNonWM", parser<CRuntimeGeneralNonWM>(), general.serialize(), 4);
    add("CLogGps", parser<CLogGps>(), gps.serialize(), 49);
    add("CLogTracking", parser<CLogTracking>(), tracking.serialize(), 49);

    // The peeks need only the front of the base part.
    const QByteArray entry = tracking.serialize();
    QTest::newRow("peekType") << peeker(&CLogBase::peekType) << entry << 8 << -1;
    QTest::newRow("peekSubType") << peeker(&CLogBase::peekSubType) << entry << 12 << -1;
    QTest::newRow("peekFieldA") << peeker(&CLogBase::peekFieldA) << entry << 20 << -1;
    QTest::newRow("peekFieldB") << peeker(&CLogBase::peekFieldB) << entry << 28 << -1;
    QTest::newRow("peekTimeStamp") << peeker(&CLogBase::peekTimeStamp) << entry << 37 << -1;
    QTest::newRow("peekFieldD") << peeker(&CLogBase::peekFieldD) << entry << 45 << -1;
}

void tst_RecordsInput::prefixes()
{
    QFETCH(Reader, reader);
    QFETCH(QByteArray, valid);
    QFETCH(int, completeAt);
    for (int length = 0; length <= valid.size(); ++length) {
        const CRecordStatus status = reader(valid.left(length));
        if (status.ok() != (length >= completeAt))
            QFAIL(qPrintable(QStringLiteral("prefix of %1 bytes: %2").arg(length).arg(status.name())));
    }
}

void tst_RecordsInput::badInput()
{
    QFETCH(Reader, reader);
    QFETCH(QByteArray, valid);
    QFETCH(int, completeAt);
    QFETCH(int, lengthOffset);
    const bool wholeRecord = completeAt == valid.size();

    // Fixed pseudo-random bytes, so that a failure repeats.
    QByteArray noise;
    quint32 seed = 12345;
    for (int i = 0; i < 300; ++i) {
        seed = seed * 1103515245u + 12345u;
        noise.append(char(seed >> 24));
    }
    const QByteArray garbage[] = {QByteArray(64, '\xFF'), noise, QByteArray(1, '\x01')};
    for (const QByteArray &bytes : garbage) {
        const CRecordStatus status = reader(bytes);
        if (wholeRecord)
            QVERIFY2(!status.ok(), status.name());
    }

    if (lengthOffset >= 0) {
        QByteArray oversized = valid;
        oversized.replace(lengthOffset, 4, hex("7FFFFFF0"));
        QCOMPARE(reader(oversized).code(), CRecordStatus::Truncated);
    }
    const CRecordStatus trailing = reader(valid + hex("00"));
    QCOMPARE(trailing.code(), wholeRecord ? CRecordStatus::TrailingData : CRecordStatus::Ok);
}

void tst_RecordsInput::hugeEntryCount()
{
    // A garbage count in the version table must not keep the reader busy.
    QByteArray bytes = CRuntimeGeneralNonWM().serialize();
    bytes.replace(bytes.size() - 14, 4, hex("FFFFFFF0"));
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(CRuntimeGeneralNonWM().parse(bytes).code(), CRecordStatus::Truncated);
    QVERIFY(timer.elapsed() < 5000);
}

void tst_RecordsInput::oddStringLength()
{
    // UTF-16 text cannot have an odd byte count; what follows is not read.
    CRuntimeGps record;
    record.setRuntimeGpsValue1(5);
    QCOMPARE(record.parse(header() + hex("01 00000003 414243 01 00000007")).code(), CRecordStatus::Corrupt);
    QCOMPARE(record.RuntimeGpsValue1(), 5);
}

QTEST_APPLESS_MAIN(tst_RecordsInput)
#include "tst_records_input.moc"
