#ifndef CSTOREOBJECT_H
#define CSTOREOBJECT_H

#include <QByteArray>
#include <QDBusContext>
#include <QObject>
#include <QString>
#include <QVariant>

class CStoreCore;

// Base of the data service's bus objects: answers a call at once or, when a
// delay is set for the member, later from a timer, so that the store keeps
// serving other calls meanwhile.
class CStoreObject : public QObject, protected QDBusContext
{
    Q_OBJECT
public:
    static const char *const kErrorName; // D-Bus error of a get answered by a fault

protected:
    CStoreObject(CStoreCore &core, QObject *parent);

    // Runs a set call through the core; the reply code it answers.
    int answerSet(const QString &member, int process, const QByteArray &data);
    // Runs a get call through the core; the bytes it answers (ignored when an error reply is sent).
    QByteArray answerGet(const QString &member);
    // Sends `value` as the reply after the member's delay, if one is set.
    void deliver(const QString &member, const QVariant &value);

    CStoreCore &m_core;
};

#endif // CSTOREOBJECT_H
