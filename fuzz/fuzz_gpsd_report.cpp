// gpsd's lines through the daemon's adapter (CGpsdClient: libgps's parser,
// the GGA fallback) and the daemon's own fix evaluation (CFixEvaluation), or
// report structures with any values at all (inputs that start with a zero
// byte, which no gpsd line does) straight into the evaluation. Whatever the
// evaluation publishes or stores must read back as the record it was.

#include "CFuzzEnvironment.h"
#include "CFuzzInput.h"

#include "app/CFixEvaluation.h"
#include "app/CGpsdClient.h"
#include "logbook/CLogTracking.h"
#include "logbook/ELogSubType.h"

#include <QList>

#include <cmath>

namespace
{
constexpr int kMaxLines = 32;
constexpr uint8_t kRawReports = 0;
constexpr int kMaxRawReports = 16;
constexpr size_t kMaxTextBytes = 64;
// A fixed "now" keeps every run of an input the same: 2026-03-02 06:00 UTC.
constexpr qint64 kNowMs = Q_INT64_C(1772431200000);

// The bus side of the daemon, reduced to checks on what crosses it.
class CCheckingSink : public CFixEvaluation::Sink
{
public:
    void publish(const QByteArray &record, const CGpsPoint &point) override
    {
        CRuntimeGps received;
        FUZZ_CHECK(received.parse(record).ok());
        CRecordStatus status;
        const CGpsPoint back(CGpsPoint(point).toBytes(), &status);
        FUZZ_CHECK(status.ok());
    }
    void logEvent(int subType) override { FUZZ_CHECK(subType == GPS_ValidData || subType == GPS_NoData); }
    void requestTimeSync(const CDateTime &gpsTime) override { FUZZ_CHECK(gpsTime.isValid()); }
    void storeTrackPoint(const CGpsPoint &point) override
    {
        CLogTracking entry;
        entry.iSubType = GPS_Data;
        entry.oGpsPoint = point;
        CRecordStatus status;
        const CLogTracking back(entry.serialize(), &status);
        FUZZ_CHECK(status.ok());
    }
    void dropConnection() override {}
};

void checkReport(bool parsed, const SGpsReport &r)
{
    if (!parsed) {
        // Documented: a refused line gives an empty report.
        FUZZ_CHECK(r.set == 0 && r.mode == 0 && std::isnan(r.latitude) && r.driver.isEmpty());
        return;
    }
    FUZZ_CHECK(r.set & SGpsReport::PACKET_SET);
    if (r.set & SGpsReport::ALTITUDE_SET)
        FUZZ_CHECK(std::isfinite(r.altitude));
}

void setUp(CFixEvaluation &evaluation, const STrackingValues &values)
{
    evaluation.setClock([] { return kNowMs; });
    evaluation.setTimeSync(true);
    evaluation.setTrackingValues(values);
}

// One report as the adapter hands it on, every field from the input.
SGpsReport rawReport(CFuzzInput &in)
{
    SGpsReport r;
    r.set = in.value<quint64>();
    r.fixTime = in.value<double>();
    r.mode = in.value<qint32>();
    r.latitude = in.value<double>();
    r.longitude = in.value<double>();
    r.altitude = in.value<double>();
    r.separation = in.value<double>();
    r.track = in.value<double>();
    r.speed = in.value<double>();
    r.satellitesUsed = in.value<qint32>();
    r.hdop = in.value<double>();
    r.deviceCount = in.value<qint32>();
    r.driver = QString::fromLatin1(in.bytes(kMaxTextBytes));
    r.subtype = QString::fromLatin1(in.bytes(kMaxTextBytes));
    r.devicePath = QString::fromLatin1(in.bytes(kMaxTextBytes));
    r.deviceDriver = QString::fromLatin1(in.bytes(kMaxTextBytes));
    r.deviceSubtype = QString::fromLatin1(in.bytes(kMaxTextBytes));
    return r;
}

void evaluateRawReports(CFuzzInput &in)
{
    STrackingValues values;
    values.eTrackingStatus = in.value<qint32>();
    values.iInterval = in.value<qint32>();
    values.distance = in.value<qint32>();
    values.SpeedLevel = in.value<qint32>();
    CCheckingSink sink;
    CFixEvaluation evaluation(sink);
    setUp(evaluation, values);
    for (int i = 0; i < kMaxRawReports && in.remaining() > 0; ++i) {
        evaluation.evaluate(rawReport(in));
        FUZZ_CHECK(evaluation.current().satellites() >= 0 && evaluation.current().satellites() <= 40);
    }
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    CFuzzEnvironment::setUp();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > 0 && data[0] == kRawReports) {
        CFuzzInput in(data + 1, size - 1);
        evaluateRawReports(in);
        return 0;
    }
    const QByteArray input = CFuzzEnvironment::toByteArray(data, size);

    // The whole input as one line: embedded line ends and NULs included.
    SGpsReport whole;
    checkReport(CGpsdClient::unpack(input, whole), whole);

    QList<QByteArray> lines = input.split('\n');
    if (lines.size() > kMaxLines)
        lines.erase(lines.begin() + kMaxLines, lines.end());
    // Time mode with a short interval lets most fixes through to the logbook.
    STrackingValues values;
    values.eTrackingStatus = CTracking::kByTime;
    values.iInterval = 1;
    CCheckingSink sink;
    CFixEvaluation evaluation(sink);
    setUp(evaluation, values);
    for (const SGpsReport &report : CGpsdClient::unpackLines(lines)) {
        FUZZ_CHECK(report.set & SGpsReport::PACKET_SET);
        evaluation.evaluate(report);
    }
    return 0;
}
