#include "CLogGps.h"

#include "ELogSubType.h"
#include "logging/CLogStream.h"
#include "records/CRecordStream.h"
#include "records/CReplyCode.h"

#include <cmath>
#include <limits>

namespace
{
constexpr int kLineBufferSize = 100; // bytes, terminating zero included; longer lines are cut
constexpr qint32 kStatusFlowing = 1;
constexpr qint32 kExportStatusFlowing = 11;
constexpr qint32 kMaxSatellites = 99;
constexpr qint32 kMaxAltitudeAndHdop = 9999;
constexpr qint32 kMaxSpeedAndTrack = 999;
constexpr qint64 kMSecsPerDay = 86400000;
constexpr int kCoordinateDecimals = 6;
// Display levels of GPS events for the operator's screen.
constexpr qint32 kLevelInfo = 55;
constexpr qint32 kLevelLoss = 67;
constexpr int kTrackPointLetter = 1; // "_A"

// Truncates toward zero and caps from above only; NaN and values beyond the
// int range are pinned so that the conversion stays defined.
qint32 cappedInt(double value, qint32 cap)
{
    if (std::isnan(value))
        return 0;
    if (value >= double(cap))
        return cap;
    if (value <= double(std::numeric_limits<qint32>::min()))
        return std::numeric_limits<qint32>::min();
    return qint32(value);
}

// Wall-clock arithmetic on the calendar fields, so the text does not depend
// on the time zone of the exporting process.
CDateTime addSecs(const CDateTime &value, qint32 secs)
{
    qint64 msecs = qint64(value.msecsOfDay()) + qint64(secs) * 1000;
    qint64 day = qint64(value.julianDay());
    day += msecs / kMSecsPerDay;
    msecs %= kMSecsPerDay;
    if (msecs < 0) {
        msecs += kMSecsPerDay;
        --day;
    }
    return CDateTime::fromRaw(quint32(day), quint32(msecs), value.spec());
}
} // namespace

CLogGps::CLogGps()
    : CLogBase(kTypeGps), ownVersion(kOwnVersion), reserved(CRecordStream::reservedBlock()), bNewEntry(true)
{
}

CLogGps::CLogGps(const QByteArray &bytes, CRecordStatus *status) : CLogGps()
{
    iType = kTypeUnknown;
    const CRecordStatus result = parse(bytes);
    if (status)
        *status = result;
}

CLogGps::~CLogGps() = default;

QByteArray CLogGps::serialize()
{
    CRecordStream out(&serializationBuffer);
    write(out);
    return serializationBuffer;
}

CRecordStatus CLogGps::parse(const QByteArray &bytes)
{
    serializationBuffer.clear();
    CRecordStream in(bytes);
    const CRecordStatus result = read(in);
    bNewEntry = false;
    return CRecordStream::finish(in, result);
}

CRecordStatus CLogGps::read(QDataStream &in)
{
    readBase(in);
    // The own part carries no version check: the version goes straight in.
    CRecordStream::read(in, ownVersion);
    CRecordStream::read(in, reserved);
    oGpsPoint.read(in);
    return CRecordStream::status(in);
}

void CLogGps::write(QDataStream &out) const
{
    writeBase(out);
    out << ownVersion << reserved << oGpsPoint;
}

QStringList CLogGps::exportTextLine(qint32 iTimeOffsetSecs) const
{
    const QString time = addSecs(dtTimeStamp, iTimeOffsetSecs).toString(QStringLiteral("yyyyMMddhhmmss"));
    QString text;
    if (iSubType == GPS_Data) {
        const CGpsPoint &p = oGpsPoint;
        // Qt's formatter, not the C library's: the decimal point must not follow the process locale.
        text = QString::asprintf("08,%s,%4.6f,%3.6f,%d,%d,%d,%d,%d,%d,%d", time.toLatin1().constData(),
                                 p.longitude, p.latitude, cappedInt(p.altitude, kMaxAltitudeAndHdop),
                                 p.status == kStatusFlowing ? kExportStatusFlowing : p.status,
                                 qMin(p.satellites, kMaxSatellites), cappedInt(p.hdop, kMaxAltitudeAndHdop),
                                 p.timeOffset, cappedInt(p.speed, kMaxSpeedAndTrack),
                                 cappedInt(p.track, kMaxSpeedAndTrack))
                   .left(kLineBufferSize - 1);
    } else {
        CLogStream(QtDebugMsg) << "CLogGps::LogSubType() = " << iSubType;
    }
    return QStringList{text};
}

CLogDisplayRecord CLogGps::render(const QVariantMap &translationMap) const
{
    QString key = QStringLiteral("logbook_%1").arg(iSubType);
    QVariantList parameters{QVariant(qulonglong(llFieldA))};
    switch (iSubType) {
    case GPS_Data:
        key += CReplyCode::letterSuffix(kTrackPointLetter);
        parameters << QVariant(kLevelInfo) << dateTimeValue(oGpsPoint.dateTime)
                   << latitudeValue(oGpsPoint.latitude) << longitudeValue(oGpsPoint.longitude);
        break;
    case GPS_Enabled:
    case GPS_ValidData:
        parameters << QVariant(kLevelInfo);
        break;
    case GPS_Disabled:
    case GPS_NoData:
        parameters << QVariant(kLevelLoss);
        break;
    default:
        break;
    }
    parameters.prepend(key);
    return buildDisplayRecord(translationMap, parameters);
}

QString CLogGps::dateTimeValue(const CDateTime &dateTime)
{
    return QStringLiteral("i18n_datetime_") + dateTime.toString(QStringLiteral("yyyy/MM/dd")) +
           QLatin1Char(' ') + dateTime.toString(QStringLiteral("HH:mm:ss"));
}

QString CLogGps::latitudeValue(double latitude)
{
    return QStringLiteral("i18n_gps_lat_logbook_") + QString::number(latitude, 'f', kCoordinateDecimals);
}

QString CLogGps::longitudeValue(double longitude)
{
    return QStringLiteral("i18n_gps_lon_logbook_") + QString::number(longitude, 'f', kCoordinateDecimals);
}
