#include "cases.h"

namespace wine_test {

const std::vector<TestCase>& LoaderCases()
{
    static const std::vector<TestCase> cases = {
        {"open_configure_close", OpenConfigureClose},
        {"call_errors_abort", CallErrorsAbort},
        {"host_exit_closes_everything", HostExitClosesEverything},
        {"data_both_ways", DataBothWays},
        {"queued_writes", QueuedWrites},
        {"write_timeout", WriteTimeout},
        {"counted_reads", CountedReads},
        {"interval_timeouts", IntervalTimeouts},
        {"input_purge", InputPurge},
        {"far_end_hangup", FarEndHangUp},
        {"settings_objects", SettingsObjects},
    };
    return cases;
}

} // namespace wine_test
