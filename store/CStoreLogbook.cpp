#include "CStoreLogbook.h"

#include "CStoreCore.h"

CStoreLogbook::CStoreLogbook(CStoreCore &core, QObject *parent) : CStoreObject(core, parent) {}

int CStoreLogbook::setLogbookGPS(int iProcess, const QByteArray &CLogbookDataGPS)
{
    const QString member = QStringLiteral("setLogbookGPS");
    quint64 row = 0;
    const int code = m_core.appendLog(member, iProcess, CLogbookDataGPS, &row);
    deliver(member, QVariant(code));
    if (row != 0)
        emit sigLogbookGPS(iProcess, row);
    return code;
}

int CStoreLogbook::setLogbookDataTracking(int iProcess, const QByteArray &data)
{
    const QString member = QStringLiteral("setLogbookDataTracking");
    quint64 row = 0;
    const int code = m_core.appendLog(member, iProcess, data, &row);
    deliver(member, QVariant(code));
    if (row != 0)
        emit sigLogbookDataTracking(iProcess, row);
    return code;
}
