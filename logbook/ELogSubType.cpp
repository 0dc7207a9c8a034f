#include "ELogSubType.h"

QString logSubTypeName(int subType)
{
    switch (subType) {
    case GPS_Data:
        return QStringLiteral("GPS_Data");
    case GPS_Enabled:
        return QStringLiteral("GPS_Enabled");
    case GPS_Disabled:
        return QStringLiteral("GPS_Disabled");
    case GPS_ValidData:
        return QStringLiteral("GPS_ValidData");
    case GPS_NoData:
        return QStringLiteral("GPS_NoData");
    default:
        return QString::number(subType);
    }
}
