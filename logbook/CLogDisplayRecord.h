#ifndef CLOGDISPLAYRECORD_H
#define CLOGDISPLAYRECORD_H

#include "records/CDateTime.h"

#include <QString>
#include <QVariantList>
#include <QVariantMap>
#include <QtGlobal>

// One logbook entry as the operator's screen receives it. The texts are keys
// of the GUI's translation tables, already resolved where the entry model
// resolves them; the values may still hold "i18n_" keys for the screen.
// Member order is that of the system's shared entry model.
struct CLogDisplayRecord {
    static constexpr qint32 kDefaultLevel = 99;

    QString firstText;  // not filled by the entry model
    QString secondText; // not filled by the entry model
    QString name;
    qint32 level = kDefaultLevel;
    CDateTime dtTimeStamp; // the entry's base time stamp
    QString timeFormat;
    QString dateFormat; // Qt date format: lower-case d and y
    QVariantMap translationMap;
    QVariantList values;
    qint32 lastNumber = 0;
};

#endif // CLOGDISPLAYRECORD_H
