// Cases of the Linux module beyond the Wine tests' cases.
#pragma once

namespace mexa64_test {

void WorkerPerOpenPort();
void UnloadWithWritesInFlight();

} // namespace mexa64_test
