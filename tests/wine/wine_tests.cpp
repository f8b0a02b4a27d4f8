// The Windows test program: wine_tests <case> <path of quorvel.mexw64>.
// Run by wine_harness.py, which provides the devices at the far ends.
#include "cases.h"
#include "checks.h"
#include "module_calls.h"

#include <cstdio>
#include <cstring>

namespace {

struct TestCase {
    const char* name;
    void (*run)();
};

const TestCase Cases[] = {
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
    {"settings_objects", wine_test::SettingsObjects},
    {"host_ends_calls_out_of_memory", wine_test::HostEndsCallsOutOfMemory},
};

// Whatever a case leaves open, the module must still close it and give back
// every lock and persistent block.
void ExpectCleanShutdown()
{
    wine_test::CloseAll();
    EXPECT_EQUAL(test_host::LockCount(), 0);
    EXPECT_EQUAL(test_host::PersistentBlockCount(), 0);
    EXPECT_TRUE(wine_test::UnloadModule());
    for (const std::string& misuse : test_host::MisuseLog())
        wine_test::ReportFailure(__FILE__, __LINE__, "host misuse: " + misuse);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::printf("usage: %s <case> <quorvel.mexw64>\n", argv[0]);
        return 2;
    }
    // The Windows module only ever runs in MATLAB.
    test_host::SetHostMode(test_host::HostMode::Matlab);
    for (const TestCase& testCase : Cases) {
        if (std::strcmp(testCase.name, argv[1]) != 0)
            continue;
        if (!wine_test::LoadModule(argv[2])) {
            std::printf("FAILED: cannot load %s as a module\n", argv[2]);
            return 1;
        }
        testCase.run();
        ExpectCleanShutdown();
        std::printf("%s: %s\n", testCase.name, wine_test::FailureCount() == 0 ? "passed" : "FAILED");
        return wine_test::FailureCount() == 0 ? 0 : 1;
    }
    std::printf("unknown case %s\n", argv[1]);
    return 2;
}
