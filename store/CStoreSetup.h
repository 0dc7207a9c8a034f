#ifndef CSTORESETUP_H
#define CSTORESETUP_H

#include "CStoreObject.h"

// "/SetupData", interface com.Brask.Vorlan.Setup: the setup records.
class CStoreSetup : public CStoreObject
{
    Q_OBJECT
public:
    CStoreSetup(CStoreCore &core, QObject *parent = nullptr);

public slots:
    QByteArray getSetupGeneralNonWM();
    int setSetupGeneralNonWM(int iProcess, const QByteArray &data);
    QByteArray getSetupGps();
    int setSetupGps(int iProcess, const QByteArray &oSetGps);
    QByteArray getSetupGpsTracking();
    int setSetupGpsTracking(int iProcess, const QByteArray &oSetGpsTracking);

signals:
    void sigSetupGeneralNonWM(int iProcess);
    void sigSetupGps(int iProcess);
    void sigSetupGpsTracking(int iProcess);
};

#endif // CSTORESETUP_H
