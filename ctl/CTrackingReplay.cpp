#include "CTrackingReplay.h"

#include "records/CDateTime.h"
#include "records/CRuntimeGps.h"

#include <QRegularExpression>

namespace
{
// A report of gpsd's with a position carries its fix mode; the drive's
// fixes are 3D.
constexpr int kFixMode3D = 3;

CTrackingReplay::Setup makeSetup(qint32 mode, qint32 value, qint32 interval)
{
    CTrackingReplay::Setup setup;
    setup.values.eTrackingStatus = mode;
    switch (mode) {
    case CTracking::kByTime:
        setup.values.iInterval = value;
        setup.name = QStringLiteral("time %1 s").arg(value);
        break;
    case CTracking::kByDistance:
        setup.values.distance = value;
        setup.name = QStringLiteral("distance %1 m").arg(value);
        break;
    default:
        setup.values.SpeedLevel = value;
        setup.values.iInterval = interval;
        setup.name = QStringLiteral("speed %1 km/h / %2 s").arg(value).arg(interval);
        break;
    }
    return setup;
}

// The decision logs every fix; offline nobody reads those lines.
void dropMessage(QtMsgType, const QMessageLogContext &, const QString &) {}
} // namespace

QVector<CTrackingReplay::Setup> CTrackingReplay::defaultSetups()
{
    QVector<Setup> setups;
    for (const int seconds : {10, 30, 60})
        setups << makeSetup(CTracking::kByTime, seconds, 0);
    for (const int metres : {100, 500, 1000})
        setups << makeSetup(CTracking::kByDistance, metres, 0);
    for (const int kmh : {10, 30, 50})
        setups << makeSetup(CTracking::kBySpeedLevel, kmh, kDefaultSpeedIntervalS);
    return setups;
}

bool CTrackingReplay::parseSetup(const QString &text, Setup *setup)
{
    static const QRegularExpression pattern(
        QStringLiteral("^(time|distance|speed):(\\d{1,6})(?:/(\\d{1,6}))?$"));
    const QRegularExpressionMatch match = pattern.match(text.trimmed());
    if (!match.hasMatch())
        return false;
    const QString kind = match.captured(1);
    const int value = match.captured(2).toInt();
    const bool hasInterval = !match.captured(3).isEmpty();
    if (value <= 0 || (hasInterval && kind != QLatin1String("speed")))
        return false;
    if (kind == QLatin1String("time"))
        *setup = makeSetup(CTracking::kByTime, value, 0);
    else if (kind == QLatin1String("distance"))
        *setup = makeSetup(CTracking::kByDistance, value, 0);
    else
        *setup = makeSetup(CTracking::kBySpeedLevel, value,
                           hasInterval ? match.captured(3).toInt() : kDefaultSpeedIntervalS);
    return true;
}

QVector<int> CTrackingReplay::run(const CTruthTrack &truth, const STrackingValues &values)
{
    QVector<int> stored;
    qint64 nowMs = 0;
    CTracking tracking;
    tracking.setClock([&nowMs] { return CDateTime::fromMSecsSinceEpoch(nowMs); });
    const QtMessageHandler previous = qInstallMessageHandler(dropMessage);
    const QVector<CTruthTrack::Epoch> &epochs = truth.epochs();
    for (int i = 0; i < epochs.size(); ++i) {
        const CTruthTrack::Epoch &epoch = epochs[i];
        if (!epoch.fix)
            continue; // no position report, so no complete fix
        nowMs = epoch.utcMs;
        CRuntimeGps fix;
        fix.setDateTime(CDateTime::fromMSecsSinceEpoch(epoch.utcMs));
        fix.setLatitude(epoch.latitude);
        fix.setLongitude(epoch.longitude);
        fix.setAltitude(epoch.altitude);
        fix.setSatellites(epoch.satellites);
        fix.setHdop(epoch.hdop);
        fix.setSpeed(epoch.speedKmh);
        fix.setTrack(epoch.courseDeg);
        // As the fix evaluation's SaveGPSData: prepare, decide, and commit
        // what is stored.
        tracking.prepare(fix, kFixMode3D, values);
        if (!tracking.decide(fix, values))
            continue;
        stored.append(i);
        tracking.commit(fix, values);
    }
    qInstallMessageHandler(previous);
    return stored;
}
