#include "CGpsProg.h"

#include "CGpsTime.h"
#include "CGpsdClient.h"
#include "Thread.h"
#include "logbook/CLogGps.h"
#include "logbook/CLogTracking.h"
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
#include <QElapsedTimer>
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
// One poll reads every line already waiting, but stops after this long so
// that a flood cannot keep the bus and the Unix signals waiting: at least as
// long again passes before the next poll. A multi-constellation receiver at
// 10 Hz brings about 16 lines a tick with gpsd's reports, read in well under
// a millisecond.
constexpr qint64 kPollBudgetMs = 100;
// 90 empty polls at about 1.1 s each: the receiver counts as lost after ~100 s.
constexpr int kMaxNoDataRetries = 89;
constexpr int kWaitTicksPerMessage = 9;

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
    // The write end does not block: a burst that fills the pair while the
    // loop waits on a slow call loses its surplus (as the kernel merges a
    // signal that is still pending) instead of stopping the interrupted
    // thread, maybe the loop's own, for good. errno is the interrupted code's.
    const int savedErrno = errno;
    const int number = signalNumber;
    ssize_t ignored = ::write(g_signalSockets[0], &number, sizeof number);
    (void)ignored;
    errno = savedErrno;
}
} // namespace

CGpsProg::CGpsProg(QObject *parent) : QObject(parent), m_gps(new CGpsdClient), m_fix(*this)
{
    logD(113) << "CGps::constructor()\n" << logEndl;

    m_connectTimer = new QTimer;
    m_gpsTimer = new QTimer;
    m_triggerTimer = new QTimer;

    m_ownProcess = int(QCoreApplication::applicationPid());

    new SignalsAdaptor(this);

    readSettingsFromIniFile();

    connect(m_connectTimer, &QTimer::timeout, this, &CGpsProg::connectDbus);

    m_gpsOpen = false;
    m_noDataRetry = 0;
    m_gpsEnabled = false;

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
        m_fix.generalSetup().parse(general);

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

    m_fix.setTimeSync(gpsSetup.iTimeSync != 0);

    if (gpsSetup.bGpsEnabled) {
        SetGpio27(true);
        m_gpsTimer->start(kGpsPollFastMs);
        m_gpsEnabled = true;
        logD(1681) << "Start Gps timer";
    } else {
        m_gpsEnabled = false;
        logW(1687) << "Gps is disabled";
    }

    m_fix.setTrackingValues(getTrackingSetup());
}

void CGpsProg::setupGeneralNonWM(int iProcess)
{
    logD(1388) << "setupGeneralNonWM(" << iProcess << ")";
    if (iProcess == m_ownProcess)
        return;
    const QByteArray general = replyBytes(m_setup->getSetupGeneralNonWM());
    if (!general.isEmpty())
        m_fix.generalSetup().parse(general);
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
    m_fix.setTimeSync(gpsSetup.iTimeSync != 0);

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
    m_fix.setTrackingValues(getTrackingSetup());
    const STrackingValues &v = m_fix.trackingValues();
    logD(1414) << "setupGpsTracking eTrackingStatus " << v.eTrackingStatus << " distance " << v.distance
               << " SpeedLevel " << v.SpeedLevel << " iInterval " << v.iInterval;
}

STrackingValues CGpsProg::getTrackingSetup()
{
    STrackingValues values;
    const QByteArray stored = replyBytes(m_setup->getSetupGpsTracking());
    if (isNullRecord(stored)) {
        logW(1186) << "getSetupGpsTracking returns NULL";
        // Kept in memory: time mode every 10 s (the stored default differs on purpose).
        values.eTrackingStatus = 2;
        values.iInterval = 10;
        storeDefaultTrackingSetup();
        return values;
    }
    CSetupGpsTracking record;
    record.parse(stored);
    values.eTrackingStatus = record.eTrackingStatus;
    values.iExtra = record.iExtra;
    values.iInterval = record.iInterval;
    values.distance = record.distance;
    values.SpeedLevel = record.SpeedLevel;
    return values;
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
        // Only exhausted descriptors or memory get here. The three signals
        // keep their default action: SIGINT and SIGTERM still end the daemon,
        // if unlogged and with the status line as it was, where a handler
        // with nowhere to write would swallow them and leave only SIGKILL.
        return;
    }
    ::fcntl(g_signalSockets[0], F_SETFL, ::fcntl(g_signalSockets[0], F_GETFL) | O_NONBLOCK);
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

void CGpsProg::dropConnection()
{
    m_gps->close();
    m_gpsOpen = false;
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
        m_fix.receiverLost(m_noDataRetry);
        return 0;
    }

    // Everything already waiting, in order: a receiver sends a burst of
    // lines each epoch, and its fix must not wait behind them for later ticks.
    QElapsedTimer budget;
    budget.start();
    do {
        m_noDataRetry = 0;
        SGpsReport report;
        if (m_gps->read(report) == -1) {
            logW(659) << "Read error " << -1;
            m_gps->close();
            m_gpsOpen = false;
            m_fix.readFailed();
            return 0;
        }
        m_fix.evaluate(report);
    } while (m_gpsOpen && !budget.hasExpired(kPollBudgetMs) && m_gps->waiting(0));
    return 1;
}

// ---------------------------------------------------------------- tracking and logbook

void CGpsProg::publish(const QByteArray &record, const CGpsPoint &point)
{
    const int code = replyCode(m_runtime->setRuntimeGps(m_ownProcess, record));
    if (code == CReplyCode::REPLY_SUCCESS)
        logD(1064) << "GPS data : Lat " << point.latitude << "Lon " << point.longitude;
    else
        logW(1060) << "Dbus-Error setRuntimeGps : " << CReplyCode::name(code) << logEndl;

    emit sigActualGpsData(m_ownProcess, CGpsPoint(point).toBytes());
}

void CGpsProg::requestTimeSync(const CDateTime &gpsTime)
{
    emit sigSyncTime(m_ownProcess, CGpsTime::kSyncRequestType, CGpsTime::syncPayload(gpsTime));
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

void CGpsProg::storeTrackPoint(const CGpsPoint &point)
{
    CLogTracking entry;
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
        trigger.resetAllMarked();
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
