// quorvel_ports.mexw64 beside the module under Wine: mapping a slot to a port
// above COM8 (COM12, a pseudo-terminal the harness adds), the module opening
// it, the survey showing it, and each refusal. Run apart from the module's
// cases (ports_case_table.cpp), in a private mount namespace where the
// machine's /dev/ttyS* are covered, since the survey opens each slot's port.
#pragma once

#include "case_runner.h"

#include <string>
#include <vector>

namespace wine_test {

constexpr int MappedPort = 12;

const std::vector<TestCase>& PortsCases();

// The helper sits beside the module the program was given.
void SetPortsHelperBeside(const std::string& modulePath);

void MappedPortExchangesData();
void MappingRefusals();

} // namespace wine_test
