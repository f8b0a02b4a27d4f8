// The Linux test program: mexa64_tests <case> <path of quorvel.mexa64>, with
// the test host as libmx.so and libmex.so. Run by native_harness.py, which
// provides the devices at the far ends. The cases are the Wine tests' cases;
// after each, the unloaded module must have left no thread behind and be
// gone from the process.
#include "case_runner.h"
#include "cases.h"
#include "checks.h"
#include "mexa64_cases.h"
#include "process_state.h"

namespace {

const wine_test::TestCase Cases[] = {
    {"open_configure_close", wine_test::OpenConfigureClose},
    {"call_errors_abort", wine_test::CallErrorsAbort},
    {"host_exit_closes_everything", wine_test::HostExitClosesEverything},
    {"data_both_ways", wine_test::DataBothWays},
    {"queued_writes", wine_test::QueuedWrites},
    {"write_timeout", wine_test::WriteTimeout},
    {"counted_reads", wine_test::CountedReads},
    {"interval_timeouts", wine_test::IntervalTimeouts},
    {"input_purge", wine_test::InputPurge},
    {"far_end_hangup", wine_test::FarEndHangUp},
    {"worker_per_open_port", mexa64_test::WorkerPerOpenPort},
    {"unload_with_writes_in_flight", mexa64_test::UnloadWithWritesInFlight},
};

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
    threadsBeforeLoad = mexa64_test::ThreadCount();
    moduleFile = argc > 2 ? argv[2] : "";
    return wine_test::RunCase(Cases, argc, argv, ExpectNothingLeftBehind);
}
