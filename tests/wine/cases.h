// The Wine test cases, one per run of the test program; each starts with the
// module freshly loaded and every port closed.
#pragma once

namespace wine_test {

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
