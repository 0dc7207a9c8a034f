#ifndef CSTORELOGBOOK_H
#define CSTORELOGBOOK_H

#include "CStoreObject.h"

// "/Logbook", interface com.Brask.Vorlan.Logbook: append-only GPS events
// and, in a table of their own, tracking points.
class CStoreLogbook : public CStoreObject
{
    Q_OBJECT
public:
    CStoreLogbook(CStoreCore &core, QObject *parent = nullptr);

public slots:
    int setLogbookGPS(int iProcess, const QByteArray &CLogbookDataGPS);
    int setLogbookDataTracking(int iProcess, const QByteArray &data);

signals:
    void sigLogbookGPS(int iProcess, qulonglong ullRowID);
    void sigLogbookDataTracking(int iProcess, qulonglong ullRowID);
};

#endif // CSTORELOGBOOK_H
