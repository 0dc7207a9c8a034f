#ifndef ELOGSUBTYPE_H
#define ELOGSUBTYPE_H

#include <QString>

// Logbook subtypes of the GPS path.
enum ELogSubType {
    GPS_Data = 11000, // track point
    GPS_Enabled,
    GPS_Disabled,
    GPS_ValidData, // data flowing again
    GPS_NoData,    // data lost
};

// The subtype's name ("GPS_Data"), or the number in decimal for other subtypes.
QString logSubTypeName(int subType);

#endif // ELOGSUBTYPE_H
