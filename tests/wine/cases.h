// The Wine test cases, one per run of the test program; each starts with the
// module freshly loaded and every port closed.
#pragma once

#include "case_runner.h"

#include <vector>

namespace wine_test {

// Every case above, by name: the table of the loader test programs, Windows
// and Linux (case_table.cpp).
const std::vector<TestCase>& LoaderCases();

void OpenConfigureClose();
void CallErrorsAbort();
void HostExitClosesEverything();
void DataBothWays();
void QueuedWrites();
void WriteTimeout();
void CountedReads();
void IntervalTimeouts();
void InputPurge();
void FarEndHangUp();
void SettingsObjects();
void HostEndsCallsOutOfMemory();

} // namespace wine_test
