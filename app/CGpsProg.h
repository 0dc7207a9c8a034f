#ifndef CGPSPROG_H
#define CGPSPROG_H

#include "SGpsReport.h"
#include "records/CDateTime.h"
#include "records/CGpsPoint.h"
#include "records/CRuntimeGps.h"
#include "records/CSetupGeneralNonWM.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <ctime>
#include <memory>

class QTimer;
class QSocketNotifier;
class ComBraskVorlanSetupInterface;
class ComBraskVorlanRuntimeInterface;
class ComBraskVorlanLogbookInterface;
class Thread;
class CGpsdClient;
class CTracking;

// The GPS daemon's one main object. It owns all state; its slots run on the
// event-loop thread, driven by three timers, the bus and the Unix signal
// notifier. The order of signals and slots below is the daemon's published
// meta-object and must not change.
class CGpsProg : public QObject
{
    Q_OBJECT

public:
    explicit CGpsProg(QObject *parent = nullptr);
    ~CGpsProg() override;

Q_SIGNALS:
    void sigTrigger(int iProcess);
    void sigSendName(int iProcess, QByteArray Processname);
    void sigSyncTime(int iProcess, int iType, QByteArray data);
    void sigActualGpsData(int iProcess, QByteArray data);

private Q_SLOTS:
    void connectDbus();
    void gpsd();
    void setupGpsData(int iProcess);
    void setupGpsTracking(int iProcess);
    void setupGeneralNonWM(int iProcess);
    void handleLinuxSignal();
    void onsigSystemReady(int iPID);
    void onsigProcessStart(int iProcess, int iAppID);
    void onsigGetName(int iPID, int iAppID);
    void SendsigTrigger();

private:
    void readSettingsFromIniFile();
    void setupLinuxSignalHandling();
    int SetGpio27(bool on);

    // Tracking configuration
    void getTrackingSetup(int &status, int &extra, int &interval, int &distanceM, int &speedLevel);
    void storeDefaultTrackingSetup();

    // gpsd session and fix evaluation
    int readGpsData();
    int evaluateReport(const SGpsReport &report);
    void dropGpsdConnection();
    CDateTime CheckGpsTime(time_t gpsTime);

    // Publishing and logbook
    void SendRuntimeGps(CRuntimeGps record);
    void SendEmptyGpsData();
    void SaveGPSData(quint8 &lastValid, CRuntimeGps fix);
    void CreateLogEntry(int subType);
    void uploadTrackingPoint(const CRuntimeGps &fix);
    void triggerFtpTransfer();

    int m_ownProcess = 0;

    // Settings file, group SETUP_GENERAL
    int m_useSessionBus = 1;
    QString m_tcpBusAddress;
    QString m_tcpBusName;
    int m_connectionRetryMs = 5000;
    int m_setupPollRate = 1000;

    ComBraskVorlanSetupInterface *m_setup = nullptr;
    ComBraskVorlanRuntimeInterface *m_runtime = nullptr;
    ComBraskVorlanLogbookInterface *m_logbook = nullptr;

    // Unowned on purpose: they live as long as the process.
    QTimer *m_connectTimer = nullptr;
    QTimer *m_gpsTimer = nullptr;
    QTimer *m_triggerTimer = nullptr;
    Thread *m_heartbeat = nullptr;

    bool m_systemReady = false;
    int m_systemReadyWait = 0;
    QSocketNotifier *m_signalNotifier = nullptr;

    // GPS acquisition
    std::unique_ptr<CGpsdClient> m_gps;
    bool m_gpsOpen = false;
    bool m_disconnected = true;
    quint8 m_lastValid = 0;
    int m_noDataRetry = 0;
    bool m_gpsEnabled = false;
    bool m_timeSync = false;
    time_t m_lastPositionTime = 0;
    time_t m_gpsTime = 0;
    int m_gpsConnectionState = 0;
    int m_fixMode = 0;
    quint64 m_fixMask = 0;
    CRuntimeGps m_current;
    CRuntimeGps m_published;
    CGpsPoint m_publishedPoint;

    // Tracking; nothing is stored until the first fetch says otherwise.
    int eTrackingStatus = 0;
    int iExtra = 0;
    int iInterval = 0;
    int distance = 0;
    int SpeedLevel = 0;
    std::unique_ptr<CTracking> m_tracking;

    CSetupGeneralNonWM m_generalSetup;
};

#endif // CGPSPROG_H
