#ifndef CSTORERUNTIME_H
#define CSTORERUNTIME_H

#include "CStoreObject.h"

// "/RuntimeData", interface com.Brask.Vorlan.Runtime: the runtime records.
// Stores merge the marked fields of what arrives into what is held.
class CStoreRuntime : public CStoreObject
{
    Q_OBJECT
public:
    CStoreRuntime(CStoreCore &core, QObject *parent = nullptr);

public slots:
    QByteArray getRuntimeGeneralNonWM();
    int setRuntimeGeneralNonWM(int iProcess, const QByteArray &data);
    QByteArray getRuntimeGps();
    int setRuntimeGps(int iProcess, const QByteArray &oRunGps);
    QByteArray getRuntimeTriggerFtpTransfer();
    int setRuntimeTriggerFtpTransfer(int iProcess, const QByteArray &oRunTriggerFtpTransfer);

signals:
    void sigRuntimeGeneralNonWM(int iProcess);
    void sigRuntimeGps(int iProcess);
    void sigRuntimeTriggerFtpTransfer(int iProcess);
};

#endif // CSTORERUNTIME_H
