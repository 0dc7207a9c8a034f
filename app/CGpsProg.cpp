#include "CGpsProg.h"

#include "CGpsTime.h"
#include "CGpsdClient.h"
#include "Thread.h"
#include "logbook/CLogGps.h"
#include "logbook/CLogTracking.h"
#include "logbook/CTracking.h"
#include "logbook/ELogSubType.h"
#include "logbook_interface.h"
#include "logging/CLogStream.h"
#include "logging/CSettingsFile.h"
#include "records/CReplyCode.h"
#include "records/CRuntimeGeneralNonWM.h"
#include "records/CRuntimeTriggerFtpTransfer.h"
#include "records/CSetupGps.h"
#include "records/CSetupGpsTracking.h"
#include "runtime_interface.h"
#include "setup_interface.h"
#include "signals_adaptor.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusPendingReply>
#include <QSettings>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/socket.h>
#include <unistd.h>

namespace
{
const char kSource[] = "cgpsprog";
const char kSettingsFile[] = "/etc/Vorlan/gps.ini";
const char kGpioValueFile[] = "/sys/devices/virtual/gpio/gpio27/value";
const char kService[] = "com.Brask.Vorlan";
const char kSessionConnection[] = "vorlan-gps-session";
const char kSignalsInterface[] = "com.Brask.Vorlan.Signals";
const char kReleaseTag[] = "vn-release-1.14.2-0-g3786225";
const char kSoftwareVersionPrefix[] = "1.2.1 / ";
const char kProcessName[] = "GPS1";
const char kVersionModule[] = "GPS";

constexpr int kFirstConnectMs = 50;
constexpr int kTriggerMs = 1000;
constexpr int kGpsPollFastMs = 100;  // data flowing
constexpr int kGpsPollSlowMs = 1000; // gpsd silent
constexpr int kGpsReopenMs = 500;    // gpsd unreachable
constexpr int kGpsWaitUsec = 100000;
// 90 empty polls at about 1.1 s each: the receiver counts as lost after ~100 s.
constexpr int kMaxNoDataRetries = 89;
constexpr int kWaitTicksPerMessage = 9;
// Reports without a position for longer than this publish the fallback.
constexpr time_t kPositionTimeoutSec = 10;
constexpr double kMpsToKmh = 3.6;
constexpr int kMaxSatellites = 40;

const QString &softwareVersion()
{
    static const QString text = QLatin1String(kSoftwareVersionPrefix) + QLatin1String(kReleaseTag);
    return text;
}

// C++17 guarantees the elision, so the non-copyable stream can be returned.
CLogStream logD(int line)
{
    return CLogStream(QtDebugMsg, kSource, line);
}

CLogStream logW(int line)
{
    return CLogStream(QtWarningMsg, kSource, line);
}

// Calls on the central data service are sent asynchronously and then waited
// for; a transport failure reads as reply code 0 or as a null byte array.
int replyCode(QDBusPendingReply<int> reply)
{
    reply.waitForFinished();
    return reply.isValid() ? reply.value() : 0;
}

QByteArray replyBytes(QDBusPendingReply<QByteArray> reply)
{
    reply.waitForFinished();
    return reply.isValid() ? reply.value() : QByteArray();
}

// D-Bus cannot tell an empty byte array from none; the central data service
// answers "nothing stored" with an empty one.
bool isNullRecord(const QByteArray &bytes)
{
    return bytes.isEmpty();
}

int g_signalSockets[2] = {-1, -1};

void unixSignalHandler(int signalNumber)
{
    // Only async-signal-safe work here: hand the number to the event loop.
    const int number = signalNumber;
    ssize_t ignored = ::write(g_signalSockets[0], &number, sizeof number);
    (void)ignored;
}
} // namespace

CGpsProg::CGpsProg(QObject *parent) : QObject(parent), m_gps(new CGpsdClient), m_tracking(new CTracking)
{
    logD(113) << "CGps::constructor()\n" << logEndl;

    m_connectTimer = new QTimer;
    m_gpsTimer = new QTimer;
    m_triggerTimer = new QTimer;

    m_ownProcess = int(QCoreApplication::applicationPid());

    new SignalsAdaptor(this);

    readSettingsFromIniFile();

    connect(m_connectTimer, &QTimer::timeout, this, &CGpsProg::connectDbus);

    m_lastValid = 0;
    m_gpsOpen = false;
    m_disconnected = true;
    m_noDataRetry = 0;
    m_lastPositionTime = time(nullptr);
    m_timeSync = false;
    m_gpsEnabled = false;
    m_gpsTime = time(nullptr);

    m_connectTimer->start(kFirstConnectMs);
}

CGpsProg::~CGpsProg()
{
    logD(164) << "CGpsProg deconstruktor!";
    if (m_heartbeat) {
        m_heartbeat->stopRequest = true;
        sleep(1);
        if (m_heartbeat->running)
            sleep(1);
    }
}

// ---------------------------------------------------------------- settings

void CGpsProg::readSettingsFromIniFile()
{
    logD(1488) << "CGpsProg::readSettingsFromIniFile() : " << kSettingsFile;

    // A file QSettings must not decode reads as an empty one and is not completed.
    const QString refusal = CSettingsFile::refusal(QLatin1String(kSettingsFile));
    std::unique_ptr<QSettings> settings;
    if (refusal.isEmpty()) {
        settings = std::make_unique<QSettings>(QLatin1String(kSettingsFile), QSettings::IniFormat);
        settings->beginGroup(QStringLiteral("SETUP_GENERAL"));
    } else {
        CLogStream(QtWarningMsg) << "CGpsProg::readSettingsFromIniFile => not read, defaults in use:"
                                 << refusal << kSettingsFile;
    }
    const auto value = [&settings](const char *key, const QVariant &fallback) {
        return settings ? settings->value(QLatin1String(key), fallback) : fallback;
    };
    m_useSessionBus = value("Use_Session_Bus", 1).toInt();
    m_tcpBusAddress = value("TCP_Bus_Address", QStringLiteral("tcp:host=127.0.0.1,port=7777")).toString();
    m_tcpBusName = value("TCP_Bus_Name", QStringLiteral("remote")).toString();
    m_connectionRetryMs = value("Dbus_Connection_Retry", 5000).toInt();
    m_setupPollRate = value("Setup_Poll_Rate", 1000).toInt();
    if (!settings)
        return;

    // Complete the file so that every key is visible to whoever edits it next.
    const auto writeMissing = [&settings](const char *key, const QVariant &current) {
        if (!settings->contains(QLatin1String(key)))
            settings->setValue(QLatin1String(key), current);
    };
    writeMissing("Use_Session_Bus", m_useSessionBus);
    writeMissing("TCP_Bus_Address", m_tcpBusAddress);
    writeMissing("TCP_Bus_Name", m_tcpBusName);
    writeMissing("Dbus_Connection_Retry", m_connectionRetryMs);
    writeMissing("Setup_Poll_Rate", m_setupPollRate);
    settings->endGroup();
}

// ---------------------------------------------------------------- bus

void CGpsProg::connectDbus()
{
    m_connectTimer->stop();

    const bool session = m_useSessionBus != 0;
    const QString connectionName = session ? QLatin1String(kSessionConnection) : m_tcpBusName;
    QDBusConnection bus = session ? QDBusConnection::connectToBus(QDBusConnection::SessionBus, connectionName)
                                  : QDBusConnection::connectToBus(m_tcpBusAddress, connectionName);
    if (!bus.isConnected()) {
        if (session)
            logD(1318) << "Can't connect to session bus!";
        else
            logD(1320) << "Can't connect to " << m_tcpBusAddress << "," << m_tcpBusName;
        // The bus library hands a failed connection back under its name for
        // good; release it so that the next attempt really tries again.
        QDBusConnection::disconnectFromBus(connectionName);
        m_connectTimer->start(m_connectionRetryMs);
        return;
    }

    m_setup =
        new ComBraskVorlanSetupInterface(QLatin1String(kService), QStringLiteral("/SetupData"), bus, this);
    m_runtime = new ComBraskVorlanRuntimeInterface(QLatin1String(kService), QStringLiteral("/RuntimeData"),
                                                   bus, this);
    m_logbook =
        new ComBraskVorlanLogbookInterface(QLatin1String(kService), QStringLiteral("/Logbook"), bus, this);

    bus.registerObject(QStringLiteral("/Signals"), this, QDBusConnection::ExportAdaptors);

    connect(m_gpsTimer, &QTimer::timeout, this, &CGpsProg::gpsd);

    if (session)
        logD(1288) << "Connected to session bus!\n";
    else
        logD(1290) << "Connected to " << m_tcpBusAddress << "," << m_tcpBusName << logEndl;

    disconnect(m_connectTimer, &QTimer::timeout, this, &CGpsProg::connectDbus);

    connect(m_setup, &ComBraskVorlanSetupInterface::sigSetupGps, this, &CGpsProg::setupGpsData);
    connect(m_setup, &ComBraskVorlanSetupInterface::sigSetupGpsTracking, this, &CGpsProg::setupGpsTracking);

    m_systemReadyWait = 0;
    m_systemReady = false;

    connect(m_triggerTimer, &QTimer::timeout, this, &CGpsProg::SendsigTrigger);

    const QString signalsInterface = QLatin1String(kSignalsInterface);
    bus.connect(QString(), QString(), signalsInterface, QStringLiteral("sigGetName"), this,
                SLOT(onsigGetName(int, int)));
    bus.connect(QString(), QString(), signalsInterface, QStringLiteral("sigSystemReady"), this,
                SLOT(onsigSystemReady(int)));
    bus.connect(QString(), QString(), signalsInterface, QStringLiteral("sigProcessStart"), this,
                SLOT(onsigProcessStart(int, int)));

    m_triggerTimer->start(kTriggerMs);

    setupLinuxSignalHandling();
}

void CGpsProg::SendsigTrigger()
{
    emit sigTrigger(m_ownProcess);
}

void CGpsProg::onsigGetName(int iPID, int iAppID)
{
    CLogStream(QtDebugMsg) << "onsigGetName()" << logEndl;
    if (iPID == m_ownProcess || iAppID != m_ownProcess)
        return;
    CLogStream(QtDebugMsg) << "SetGetName(...,'GPS1'');" << logEndl;
    emit sigSendName(m_ownProcess, QByteArray(kProcessName));
}

void CGpsProg::onsigSystemReady(int iPID)
{
    if (iPID == m_ownProcess)
        return;
    logD(1713) << "sigSystemReady ignored";
}

void CGpsProg::onsigProcessStart(int iProcess, int iAppID)
{
    CSetupGps gpsSetup;
    if (iProcess == m_ownProcess || iAppID != m_ownProcess || m_systemReady)
        return;

    m_systemReady = true;

    m_heartbeat = new Thread(m_ownProcess);
    m_heartbeat->start(QThread::InheritPriority);
    m_triggerTimer->stop();

    logW(1637) << "signal 'SetSystemReady' received. Set SW-Version to " << softwareVersion();

    CRuntimeGeneralNonWM runtimeGeneral;
    runtimeGeneral.setSoftwareVersion(QLatin1String(kVersionModule), softwareVersion());

    const QByteArray general = replyBytes(m_setup->getSetupGeneralNonWM());
    if (!general.isEmpty())
        m_generalSetup.parse(general);

    // The version report is fire-and-forget.
    m_runtime->setRuntimeGeneralNonWM(m_ownProcess, runtimeGeneral.serialize());

    const QByteArray stored = replyBytes(m_setup->getSetupGps());
    if (isNullRecord(stored)) {
        logW(1646) << "getSetupGps returns NULL";
        gpsSetup.bGpsEnabled = true;
        const int code = replyCode(m_setup->setSetupGps(m_ownProcess, gpsSetup.serialize()));
        if (code == CReplyCode::REPLY_SUCCESS)
            logD(1660) << "'setSetupGps' successfull'";
        else
            logW(1656) << "Dbus-Error: " << CReplyCode::name(code) << logEndl;
    } else {
        gpsSetup.parse(stored);
    }

    m_timeSync = gpsSetup.iTimeSync != 0;

    if (gpsSetup.bGpsEnabled) {
        SetGpio27(true);
        m_gpsTimer->start(kGpsPollFastMs);
        m_gpsEnabled = true;
        logD(1681) << "Start Gps timer";
    } else {
        m_gpsEnabled = false;
        logW(1687) << "Gps is disabled";
    }

    getTrackingSetup(eTrackingStatus, iExtra, iInterval, distance, SpeedLevel);
}

void CGpsProg::setupGeneralNonWM(int iProcess)
{
    logD(1388) << "setupGeneralNonWM(" << iProcess << ")";
    if (iProcess == m_ownProcess)
        return;
    const QByteArray general = replyBytes(m_setup->getSetupGeneralNonWM());
    if (!general.isEmpty())
        m_generalSetup.parse(general);
}

// ---------------------------------------------------------------- GPS setup

void CGpsProg::setupGpsData(int iProcess)
{
    logD(1434) << "sigSetupGps(" << iProcess << ")";
    if (iProcess == m_ownProcess)
        return;

    const QByteArray stored = replyBytes(m_setup->getSetupGps());
    if (isNullRecord(stored)) {
        logW(1442) << "getSetupGps returns NULL";
        return;
    }
    CSetupGps gpsSetup;
    gpsSetup.parse(stored);
    m_timeSync = gpsSetup.iTimeSync != 0;

    SetGpio27(gpsSetup.bGpsEnabled);
    if (!gpsSetup.bGpsEnabled) {
        logW(1467) << "Gps is disabled";
        m_gpsEnabled = false;
        CreateLogEntry(GPS_Disabled);
        m_gpsTimer->stop();
    } else {
        m_gpsTimer->start(kGpsPollFastMs);
        m_gpsEnabled = true;
        CLogStream(QtDebugMsg, kSource, 1462, CLogStream::NoColon{}) << ": Gps is enabled => Start Gps timer";
        CreateLogEntry(GPS_Enabled);
    }
}

int CGpsProg::SetGpio27(bool on)
{
    const int fd = ::open(kGpioValueFile, O_WRONLY | O_CREAT | O_TRUNC | O_SYNC, 0644);
    if (fd <= 0) {
        logW(412) << "Error opening gpio27 device " << strerror(errno);
        return -1;
    }
    const char value = on ? '1' : '0';
    ssize_t ignored = ::write(fd, &value, 1);
    (void)ignored;
    if (on)
        logW(401) << "set gpio27 = 1";
    else
        logW(406) << "set gpio27 = 0";
    ::close(fd);
    return 0;
}

// ---------------------------------------------------------------- tracking setup

void CGpsProg::setupGpsTracking(int iProcess)
{
    logD(1409) << "setupGpsTracking(" << iProcess << ")";
    if (iProcess == m_ownProcess)
        return;
    getTrackingSetup(eTrackingStatus, iExtra, iInterval, distance, SpeedLevel);
    logD(1414) << "setupGpsTracking eTrackingStatus " << eTrackingStatus << " distance " << distance
               << " SpeedLevel " << SpeedLevel << " iInterval " << iInterval;
}

void CGpsProg::getTrackingSetup(int &status, int &extra, int &interval, int &distanceM, int &speedLevel)
{
    CSetupGpsTracking record;
    const QByteArray stored = replyBytes(m_setup->getSetupGpsTracking());
    if (isNullRecord(stored)) {
        logW(1186) << "getSetupGpsTracking returns NULL";
        // Kept in memory: time mode every 10 s (the stored default differs on purpose).
        status = 2;
        extra = 0;
        interval = 10;
        distanceM = 0;
        speedLevel = 0;
        storeDefaultTrackingSetup();
        return;
    }
    record.parse(stored);
    status = record.eTrackingStatus;
    extra = record.iExtra;
    interval = record.iInterval;
    distanceM = record.distance;
    speedLevel = record.SpeedLevel;
}

void CGpsProg::storeDefaultTrackingSetup()
{
    CSetupGpsTracking record;
    record.eTrackingStatus = 2;
    record.iExtra = 0;
    record.iInterval = 10;
    record.distance = 1000;
    record.SpeedLevel = 10;
    const int code = replyCode(m_setup->setSetupGpsTracking(m_ownProcess, record.serialize()));
    if (code == CReplyCode::REPLY_SUCCESS)
        logD(1235) << "'setSetupGpsTracking' successfull'";
    else
        logW(1231) << "Dbus-Error: " << CReplyCode::name(code) << logEndl;
}

// ---------------------------------------------------------------- Unix signals

void CGpsProg::setupLinuxSignalHandling()
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalSockets) != 0) {
        logW(197) << "Couldn't create linux signal socketpair\n";
        // Without a pair the three signals keep their default action, so the
        // handler never writes to a descriptor that is not ours.
        return;
    }
    m_signalNotifier = new QSocketNotifier(g_signalSockets[1], QSocketNotifier::Read, this);
    connect(m_signalNotifier, &QSocketNotifier::activated, this, &CGpsProg::handleLinuxSignal);

    struct sigaction action {
    };
    action.sa_handler = unixSignalHandler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGHUP, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
}

void CGpsProg::handleLinuxSignal()
{
    m_signalNotifier->setEnabled(false);
    int number = 0;
    ssize_t ignored = ::read(g_signalSockets[1], &number, sizeof number);
    (void)ignored;
    logD(240) << "Signal received : " << number;

    switch (number) {
    case SIGINT:
        logW(258) << "Signal SIGINT received => exit program";
        SetGpio27(false);
        QCoreApplication::exit(0);
        break;
    case SIGTERM:
        logW(249) << "Signal SIGTERM received => exit program";
        SetGpio27(false);
        QCoreApplication::exit(0);
        break;
    case SIGHUP:
        logW(246) << "Signal SIGHUP received";
        break;
    default:
        logW(268) << "Unexpected Signal received";
        break;
    }
    m_signalNotifier->setEnabled(true);
}

// ---------------------------------------------------------------- gpsd session

void CGpsProg::gpsd()
{
    if (!m_systemReady) {
        if (++m_systemReadyWait > kWaitTicksPerMessage) {
            m_systemReadyWait = 0;
            logD(324) << "'sigSystemReady' still missing";
        }
        return;
    }
    if (!m_gpsEnabled)
        return;

    if (m_gpsOpen) {
        const int read = readGpsData();
        m_gpsTimer->start(read == 0 ? kGpsPollSlowMs : kGpsPollFastMs);
        return;
    }

    const int code = m_gps->open();
    if (code != 0) {
        const QByteArray text = CGpsdClient::errorText(code).toUtf8();
        logW(338) << "error " << code << "  open gpsd communication: " << text.constData();
        m_gpsTimer->start(kGpsReopenMs);
        return;
    }
    const int streamed = m_gps->stream();
    if (streamed < 0) {
        logW(348) << "gps_stream() returned " << streamed;
        m_gps->close();
        m_gpsTimer->start(kGpsPollSlowMs);
        return;
    }
    m_gpsTimer->start(kGpsPollFastMs);
    m_gpsOpen = true;
}

void CGpsProg::dropGpsdConnection()
{
    m_gps->close();
    m_gpsOpen = false;
    m_disconnected = true;
}

int CGpsProg::readGpsData()
{
    if (!m_gps->waiting(kGpsWaitUsec)) {
        if (m_noDataRetry <= kMaxNoDataRetries) {
            ++m_noDataRetry;
            logW(621) << "iRetryCount " << m_noDataRetry;
            return 0;
        }
        // The receiver counts as lost. The counter stays: while gpsd is
        // silent, each fresh connection is dropped again at its first poll.
        if (m_gpsConnectionState == 1)
            CreateLogEntry(GPS_NoData);
        m_gpsConnectionState = 0;
        SendEmptyGpsData();
        if (m_lastValid == 1)
            logW(637) << "Send / store last valid GPS data after max. retry (GPS Receiver disconnected)";
        m_lastValid = 0;
        logW(640) << "No data from GPSD after " << m_noDataRetry << " retry";
        dropGpsdConnection();
        return 0;
    }

    m_noDataRetry = 0;
    SGpsReport report;
    if (m_gps->read(report) == -1) {
        logW(659) << "Read error " << -1;
        m_gps->close();
        if (m_gpsConnectionState == 1)
            CreateLogEntry(GPS_NoData);
        m_gpsConnectionState = 0;
        SendEmptyGpsData();
        m_gpsOpen = false;
        m_disconnected = true;
        return 0;
    }
    return evaluateReport(report);
}

// ---------------------------------------------------------------- fix evaluation

int CGpsProg::evaluateReport(const SGpsReport &report)
{
    const quint64 m = report.set;
    const bool positionTimedOut = time(nullptr) - m_lastPositionTime > kPositionTimeoutSec;

    if (!(m & SGpsReport::PACKET_SET)) {
        if (positionTimedOut) {
            if (m_lastValid == 1) {
                logW(686) << "Send / store last valid GPS data after timeout for valid GPS data (No view to "
                             "sat's). "
                             "PACKET_SET flag was not set";
                m_fixMode = 1;
                SendRuntimeGps(m_current);
            }
            m_lastValid = 1;
        }
        // Reconnect on the next tick; this report's values are still used.
        dropGpsdConnection();
    } else if (m == SGpsReport::PACKET_SET) {
        if (positionTimedOut) {
            if (m_lastValid == 2) {
                logW(709) << "Send / store last valid GPS data after timeout for valid GPS data (No view to "
                             "sat's). "
                             "Only PACKET_SET was set";
                if (m_gpsConnectionState == 1) {
                    CreateLogEntry(GPS_NoData);
                    m_current.setSatellites(0);
                    m_current.setSpeed(0.0);
                    m_current.setLatitude(0.0);
                    m_current.setLongitude(0.0);
                    m_current.setAltitude(0.0);
                }
                m_gpsConnectionState = 0;
                SendRuntimeGps(m_current);
            }
            m_lastValid = 1;
        }
        return 1;
    }

    if ((m & SGpsReport::STATUS_SET) && m_disconnected) {
        m_disconnected = false;
        if (m_gpsConnectionState == 0)
            CreateLogEntry(GPS_ValidData);
        m_gpsConnectionState = 1;
        logD(739) << "GPS is connected";
    }

    if (m & SGpsReport::TIME_SET) {
        time_t t = CGpsTime::gpsSeconds(report.fixTime);
        if (CGpsTime::IsFaultiyYear(t)) {
            t = CGpsTime::AddDays(t, CGpsTime::kRolloverDays);
            m_gpsTime = t;
            logD(748) << "GPSTimestamp (IsFaultiyYear(&t) == true" << CDateTime::fromTimeT(m_gpsTime);
        } else {
            m_gpsTime = t;
            logD(753) << "GPSTimestamp  (IsFaultiyYear(&t) == false" << CDateTime::fromTimeT(m_gpsTime);
        }
        const CDateTime zoneTime = CGpsTime::ConvertToZoneTime(
            CDateTime::fromTimeT(m_gpsTime), m_generalSetup.timeZone(), m_generalSetup.daylightSaving());
        m_current.setTimeOffset(CGpsTime::timeOffsetSecs(zoneTime, QDateTime::currentMSecsSinceEpoch()));
        m_current.setDateTime(zoneTime);
        m_fixMask |= SGpsReport::TIME_SET;
    }

    if (m & SGpsReport::DEVICE_SET) {
        const QByteArray driver = report.driver.toUtf8();
        const QByteArray subtype = report.subtype.toUtf8();
        logW(765) << "DEVICE_SET  " << driver.constData() << " " << subtype.constData();
    }

    if ((m & SGpsReport::DEVICELIST_SET) && report.deviceCount > 0) {
        const QByteArray path = report.devicePath.toUtf8();
        const QByteArray driver = report.deviceDriver.toUtf8();
        const QByteArray subtype = report.deviceSubtype.toUtf8();
        logW(772) << "DEVICELIST: devices: " << report.deviceCount;
        logW(773) << "DEVICELIST: path= " << path.constData();
        logW(774) << "DEVICELIST: driver= " << driver.constData();
        logW(775) << "DEVICELIST: subtype= " << subtype.constData();
    }

    if (m & SGpsReport::DEVICEID_SET)
        logW(786) << "DEVICEID_SET";

    if (m & SGpsReport::LATLON_SET) {
        m_fixMask |= SGpsReport::LATLON_SET;
        m_lastPositionTime = time(nullptr);
        m_current.setLatitude(report.latitude);
        m_current.setLongitude(report.longitude);
        m_fixMode = report.mode;
        logD(800) << "LATLON_SET: lat/lon: " << report.latitude << "/" << report.longitude;
    }

    // Satellites come with every report that carries a count, not only with DOP reports.
    if (report.satellitesUsed > 0) {
        const int satellites = report.satellitesUsed <= kMaxSatellites ? report.satellitesUsed : 0;
        m_fixMask |= SGpsReport::DOP_SET;
        m_current.setSatellites(satellites);
        m_current.setHdop(report.hdop);
        CLogStream(QtDebugMsg, kSource, 815, CLogStream::NoColon{})
            << ": DOP: satellites / hdop : " << report.satellitesUsed << "/" << report.hdop;
    }

    if (m & SGpsReport::ALTITUDE_SET) {
        m_fixMask |= SGpsReport::ALTITUDE_SET;
        m_current.setAltitude(report.altitude);
        logD(823) << "ALTITUDE_SET: altitude/separation: " << report.altitude << "/" << report.separation;
    }

    if (m & SGpsReport::SPEED_SET) {
        m_fixMask |= SGpsReport::SPEED_SET;
        const double kmh = report.speed * kMpsToKmh;
        m_current.setSpeed(kmh);
        m_current.setTrack(report.track);
        logD(835) << "SPEED_SET: speed(GPSD m/s)): " << report.speed << " speed (km/h): " << kmh;
    }

    constexpr quint64 kCompleteFix = SGpsReport::LATLON_SET | SGpsReport::ALTITUDE_SET |
                                     SGpsReport::SPEED_SET | SGpsReport::TIME_SET | SGpsReport::DOP_SET;
    if ((m_fixMask & kCompleteFix) == kCompleteFix) {
        m_current.setDateTime(CheckGpsTime(m_gpsTime));
        SaveGPSData(m_lastValid, m_current);
        m_gpsConnectionState = 1;
        m_fixMask = 0;
    }
    return 1;
}

CDateTime CGpsProg::CheckGpsTime(time_t gpsTime)
{
    if (gpsTime <= 0)
        return CDateTime();
    const CDateTime result = CGpsTime::gpsDateTime(gpsTime);
    if (!m_timeSync)
        return result;
    const double diff = difftime(gpsTime, time(nullptr));
    if (CGpsTime::needsSync(diff)) {
        logW(451) << "Difference between gps time and local time is " << diff << " sec. ";
        emit sigSyncTime(m_ownProcess, CGpsTime::kSyncRequestType, CGpsTime::syncPayload(result));
    }
    return result;
}

// ---------------------------------------------------------------- publishing

void CGpsProg::SendRuntimeGps(CRuntimeGps record)
{
    CGpsPoint &p = m_publishedPoint;
    // Exact comparison on purpose: a NaN always counts as a change.
    const bool changed = m_gpsConnectionState != p.status || record.timeOffset() != p.timeOffset ||
                         record.latitude() != p.latitude || record.longitude() != p.longitude ||
                         record.altitude() != p.altitude || record.satellites() != p.satellites ||
                         record.hdop() != p.hdop || record.speed() != p.speed || record.track() != p.track ||
                         record.RuntimeGpsValue1() != m_published.RuntimeGpsValue1() ||
                         record.RuntimeGpsText1() != m_published.RuntimeGpsText1();
    if (!changed)
        return;

    p.dateTime = record.dateTime();
    p.status = m_gpsConnectionState;
    p.timeOffset = record.timeOffset();
    p.latitude = record.latitude();
    p.longitude = record.longitude();
    p.altitude = record.altitude();
    p.satellites = record.satellites();
    p.hdop = record.hdop();
    p.speed = record.speed();
    p.track = record.track();
    m_published.setRuntimeGpsValue1(record.RuntimeGpsValue1());
    m_published.setRuntimeGpsText1(record.RuntimeGpsText1());
    m_published.setGpsPoint(p);

    const int code = replyCode(m_runtime->setRuntimeGps(m_ownProcess, m_published.serialize()));
    if (code == CReplyCode::REPLY_SUCCESS)
        logD(1064) << "GPS data : Lat " << p.latitude << "Lon " << p.longitude;
    else
        logW(1060) << "Dbus-Error setRuntimeGps : " << CReplyCode::name(code) << logEndl;

    emit sigActualGpsData(m_ownProcess, p.toBytes());
}

void CGpsProg::SendEmptyGpsData()
{
    m_current.setSatellites(0);
    m_current.setSpeed(0.0);
    m_current.setLatitude(0.0);
    m_current.setLongitude(0.0);
    m_current.setAltitude(0.0);
    m_current.setStatus(0);
    m_current.setTimeOffset(0);
    m_current.setHdop(0.0);
    m_current.setTrack(0.0);
    SendRuntimeGps(m_current);
}

// ---------------------------------------------------------------- tracking and logbook

void CGpsProg::SaveGPSData(quint8 &lastValid, CRuntimeGps fix)
{
    const STrackingValues values{eTrackingStatus, iInterval, distance, SpeedLevel};
    m_tracking->prepare(fix, m_fixMode, lastValid, values);
    SendRuntimeGps(fix);
    if (!m_tracking->decide(fix, values))
        return;
    uploadTrackingPoint(fix);
    m_tracking->commit(fix, values, m_fixMode);
}

void CGpsProg::CreateLogEntry(int subType)
{
    CLogGps entry;
    entry.iType = CLogBase::kTypeGps;
    entry.iSubType = subType;
    const int code = replyCode(m_logbook->setLogbookGPS(m_ownProcess, entry.serialize()));
    if (code == CReplyCode::REPLY_SUCCESS)
        logD(1349) << "CreateLogEntry() CLogBase::GPS CLogBase::ELogSubType = " << subType;
    else
        logW(1345) << "Dbus-Error: " << CReplyCode::name(code);
}

void CGpsProg::uploadTrackingPoint(const CRuntimeGps &fix)
{
    CLogTracking entry;
    CGpsPoint point;
    point.dateTime = fix.dateTime();
    point.latitude = fix.latitude();
    point.longitude = fix.longitude();
    point.altitude = fix.altitude();
    // The connection state, not the fix's own status value.
    point.status = m_gpsConnectionState;
    point.timeOffset = fix.timeOffset();
    point.satellites = fix.satellites();
    point.hdop = fix.hdop();
    point.speed = fix.speed();
    point.track = fix.track();

    logW(1102) << "Send GPS data to Logbook";
    entry.oGpsPoint = point;
    entry.iType = CLogBase::kTypeTracking;
    entry.iSubType = GPS_Data;

    const int code = replyCode(m_logbook->setLogbookDataTracking(m_ownProcess, entry.serialize()));
    if (code == CReplyCode::REPLY_SUCCESS)
        logD(1118) << "Logbookdata: Time " << entry.dtTimeStamp.toTextDate() << "  Lat " << point.latitude
                   << "Lon " << point.longitude;
    else
        logW(1114) << "Dbus-Error: " << CReplyCode::name(code) << logEndl;

    triggerFtpTransfer();
}

void CGpsProg::triggerFtpTransfer()
{
    CRuntimeTriggerFtpTransfer trigger;
    const QByteArray stored = replyBytes(m_runtime->getRuntimeTriggerFtpTransfer());
    if (isNullRecord(stored)) {
        logW(1127) << "getRuntimeTriggerFtpTransfer returns NULL";
        // Marked resets, so the stored record loses stale requests.
        trigger.setStartGpsFileTransfer(false);
        trigger.setTriggerFlag2(false);
        trigger.setTriggerFlag3(false);
        trigger.setTriggerFlag4(false);
        trigger.setTriggerFlag5(false);
        trigger.setTriggerFlag6(false);
        trigger.setTriggerFlag7(false);
        trigger.setTriggerFlag8(false);
        trigger.setTriggerFlag9(false);
        trigger.setTriggerText1(QLatin1String(""));
        trigger.setTriggerText2(QLatin1String(""));
        trigger.setTriggerText3(QLatin1String(""));
    } else {
        trigger.parse(stored);
    }
    trigger.setStartGpsFileTransfer(true);
    logD(1151) << "Trigger Ftp Transfer setStartGpsFileTransfer";

    const int code = replyCode(m_runtime->setRuntimeTriggerFtpTransfer(m_ownProcess, trigger.serialize()));
    if (code == CReplyCode::REPLY_SUCCESS)
        logD(1161) << "setRuntimeTriggerFtpTransfer sent";
    else
        logW(1157) << "Dbus-Error: " << CReplyCode::name(code);
}
