#include "CReceiverProfile.h"

#include "CNmeaWriter.h"

namespace
{
const int GpsOnly = 1 << CReceiverProfile::Gps;
const int FourSystems = (1 << CReceiverProfile::SystemCount) - 1;
const int GpsSentences =
    CNmeaWriter::Rmc | CNmeaWriter::Vtg | CNmeaWriter::Gga | CNmeaWriter::Gsa | CNmeaWriter::Gsv;

// The first is the default: drives made before profiles existed stay byte for byte.
const CReceiverProfile Profiles[] = {
    {"gps", "GP", GpsOnly, GpsSentences, false, false},
    {"multi", "GN", FourSystems, CNmeaWriter::AllSentences, true, true},
    {"minimal", "GP", GpsOnly, CNmeaWriter::Rmc | CNmeaWriter::Gga, false, false},
};
} // namespace

QStringList CReceiverProfile::names()
{
    QStringList out;
    for (const CReceiverProfile &profile : Profiles)
        out << QLatin1String(profile.name);
    return out;
}

const CReceiverProfile &CReceiverProfile::standard()
{
    return Profiles[0];
}

const CReceiverProfile *CReceiverProfile::find(const QString &name)
{
    for (const CReceiverProfile &profile : Profiles)
        if (name == QLatin1String(profile.name))
            return &profile;
    return nullptr;
}

const char *CReceiverProfile::systemTalker(ESystem system)
{
    static const char *const talkers[SystemCount] = {"GP", "GL", "GA", "GB"};
    return talkers[system];
}

int CReceiverProfile::systemId(ESystem system)
{
    return int(system) + 1;
}

const char *CReceiverProfile::signalId(ESystem system, bool secondBand)
{
    // L1 C/A, L1 OF, E1, B1I; then L2 CL, L2 OF, E5b, B2I.
    static const char *const first[SystemCount] = {"1", "1", "7", "1"};
    static const char *const second[SystemCount] = {"6", "3", "2", "B"};
    return secondBand ? second[system] : first[system];
}
