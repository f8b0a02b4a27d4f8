#include "survey_records.h"

namespace port_survey {

const char* StatusName(PortStatus status)
{
    switch (status) {
    case PortStatus::Ready:
        return "ready";
    case PortStatus::Missing:
        return "missing";
    case PortStatus::BrokenLink:
        return "broken link";
    case PortStatus::NotATty:
        return "not a tty";
    case PortStatus::NoAccess:
        return "no access";
    case PortStatus::TargetMissing:
        return "target missing";
    case PortStatus::Network:
        return "network";
    case PortStatus::Busy:
        break;
    }
    return "busy";
}

} // namespace port_survey
