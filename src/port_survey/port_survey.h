// What each of COM1-COM8 resolves to on this machine, whether it could be
// opened and why not, and which serial devices are present. Probing only
// looks: it reads the file system, sysfs and /proc and never opens a device,
// since opening a tty raises or drops its modem lines (a toggled DTR resets
// many boards).
#pragma once

#include "device_facts.h"
#include "survey_records.h"

#include <vector>

namespace port_survey {

// Port n (1 to PortCount) as it stands now.
PortRow SurveyPort(unsigned long number, const SurveyRoots& roots);
std::vector<PortRow> SurveyPorts(const SurveyRoots& roots);

// /dev/serial/by-id/*, /dev/ttyUSB*, /dev/ttyACM* and the /dev/ttyS* with a
// UART behind them, each once, in name order.
std::vector<SerialDevice> ListSerialDevices(const SurveyRoots& roots, const std::vector<PortRow>& ports);

} // namespace port_survey
