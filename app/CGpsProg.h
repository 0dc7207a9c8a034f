#ifndef CGPSPROG_H
#define CGPSPROG_H

#include "CFixEvaluation.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <memory>

class QTimer;
class QSocketNotifier;
class ComBraskVorlanSetupInterface;
class ComBraskVorlanRuntimeInterface;
class ComBraskVorlanLogbookInterface;
class Thread;
class CGpsdClient;

// The GPS daemon's one main object. It owns all state; its slots run on the
// event-loop thread, driven by three timers, the bus and the Unix signal
// notifier. The order of signals and slots below is the daemon's published
// meta-object and must not change. The GPS state and its decisions live in
// the fix evaluation member; this object carries them to the bus.
class CGpsProg : public QObject, private CFixEvaluation::Sink
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
    STrackingValues getTrackingSetup();
    void storeDefaultTrackingSetup();

    // gpsd session
    int readGpsData();

    // What the fix evaluation asks for
    void publish(const QByteArray &record, const CGpsPoint &point) override;
    void logEvent(int subType) override { CreateLogEntry(subType); }
    void requestTimeSync(const CDateTime &gpsTime) override;
    void storeTrackPoint(const CGpsPoint &point) override;
    void dropConnection() override;

    void CreateLogEntry(int subType);
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

    // gpsd session
    std::unique_ptr<CGpsdClient> m_gps;
    bool m_gpsOpen = false;
    int m_noDataRetry = 0;
    bool m_gpsEnabled = false;

    // Fixes, publishing, time check, tracking
    CFixEvaluation m_fix;
};

#endif // CGPSPROG_H
