#ifndef CSTORECONTROL_H
#define CSTORECONTROL_H

#include <QDBusContext>
#include <QObject>
#include <QStringList>

class CStoreCore;

// "/StoreControl", interface com.Brask.Vorlan.StoreControl: fault injection
// and inspection for tests, demos and vorlanctl. The data service's own
// objects know nothing of it.
class CStoreControl : public QObject, protected QDBusContext
{
    Q_OBJECT
public:
    CStoreControl(CStoreCore &core, QObject *parent = nullptr);

public slots:
    void setFail(const QString &member, int iCode);
    void clearFail(const QString &member);
    void setDelay(const QString &member, int iMsecs);
    QStringList faults();
    QStringList callLog();
    void clearCallLog();
    QStringList listLogbook(const QString &table, int iLast);
    void reset();
    int loadSeed(const QString &path);
    void quit();

private:
    void refuse(const QString &text);

    CStoreCore &m_core;
};

#endif // CSTORECONTROL_H
