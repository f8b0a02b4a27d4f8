// The Linux test program: mexa64_tests <case> <path of quorvel.mexa64>, with
// the test host as libmx.so and libmex.so. Run by native_harness.py, which
// provides the devices at the far ends. It runs the Wine tests' cases and
// its own; after each, the unloaded module must have left no thread behind
// and be gone from the process.
#include "case_runner.h"
#include "cases.h"
#include "checks.h"
#include "mexa64_cases.h"
#include "process_state.h"
#include "test_host.h"

#include <thread>

namespace {

std::size_t threadsBeforeLoad = 0;
const char* moduleFile = nullptr;

void ExpectNothingLeftBehind()
{
    EXPECT_EQUAL(mexa64_test::ThreadCount(), threadsBeforeLoad);
    EXPECT_TRUE(!mexa64_test::IsMapped(moduleFile));
}

} // namespace

int main(int argc, char** argv)
{
    // The Linux module, too, only ever runs in MATLAB.
    test_host::SetHostMode(test_host::HostMode::Matlab);
    std::vector<wine_test::TestCase> cases = wine_test::LoaderCases();
    cases.insert(cases.end(), {
                                  {"worker_per_open_port", mexa64_test::WorkerPerOpenPort},
                                  {"unload_with_writes_in_flight", mexa64_test::UnloadWithWritesInFlight},
                              });
    // A sanitizer's runtime starts a thread of its own at the first thread
    // created: that happens here, before the count.
    std::thread([] {}).join();
    threadsBeforeLoad = mexa64_test::ThreadCount();
    moduleFile = argc > 2 ? argv[2] : "";
    return wine_test::RunCase(cases, argc, argv, ExpectNothingLeftBehind);
}
