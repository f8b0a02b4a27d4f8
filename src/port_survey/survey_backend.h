// What the quorvel_ports gateway asks of the platform it is built for; each
// platform's survey defines these.
#pragma once

#include "survey_records.h"

#include <vector>

namespace port_survey {

struct Survey {
    std::vector<PortRow> ports; // COM1 to COM8
    std::vector<SerialDevice> devices;
};

Survey SurveyNow();

// Port n (1 to PortCount) as it stands now.
PortRow PortNow(unsigned long number);

// Maps port ("COM3") to target; an empty target removes the mapping.
Mapping MapPort(const std::string& port, const std::string& target);

} // namespace port_survey
