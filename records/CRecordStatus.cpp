#include "CRecordStatus.h"

const char *CRecordStatus::name() const
{
    switch (m_code) {
    case Ok:
        return "Ok";
    case OldVersion:
        return "OldVersion";
    case Truncated:
        return "Truncated";
    case TrailingData:
        return "TrailingData";
    case Corrupt:
        return "Corrupt";
    }
    return "?";
}
