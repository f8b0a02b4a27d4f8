// Why a port's device could or could not be opened, and what to do about it.
#pragma once

#include "device_facts.h"
#include "survey_records.h"

namespace port_survey {

struct Probe {
    PortStatus status;
    std::string advice;
};

// Looks at row.device for row.port without opening it.
Probe ProbePort(const PortRow& row, const SurveyRoots& roots, const OpenFiles& openFiles);

} // namespace port_survey
