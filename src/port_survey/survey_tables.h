// The survey as text for a person: what quorvel_ports prints when asked for
// no output.
#pragma once

#include "survey_records.h"

#include <string>
#include <vector>

namespace port_survey {

std::string PortTable(const std::vector<PortRow>& rows);
std::string DeviceTable(const std::vector<SerialDevice>& devices);

} // namespace port_survey
