// The Windows test program: wine_tests <case> <path of quorvel.mexw64>.
// Run by wine_harness.py, which provides the devices at the far ends.
#include "case_runner.h"
#include "cases.h"

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
};

} // namespace

int main(int argc, char** argv)
{
    return wine_test::RunCase(Cases, argc, argv);
}
