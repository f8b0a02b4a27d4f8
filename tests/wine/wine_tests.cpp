// The Windows test program: wine_tests <case> <path of quorvel.mexw64>; the
// port helper quorvel_ports.mexw64 is taken from beside it.
// Run by wine_harness.py, which provides the devices at the far ends.
#include "case_runner.h"
#include "cases.h"
#include "ports_cases.h"
#include "test_host.h"

#include <vector>

int main(int argc, char** argv)
{
    std::vector<wine_test::TestCase> cases = wine_test::LoaderCases();
    cases.insert(cases.end(), {
                                  {"host_ends_calls_out_of_memory", wine_test::HostEndsCallsOutOfMemory},
                              });
    cases.insert(cases.end(), wine_test::PortsCases().begin(), wine_test::PortsCases().end());
    if (argc == 3)
        wine_test::SetPortsHelperBeside(argv[2]);
    // The Windows module only ever runs in MATLAB.
    test_host::SetHostMode(test_host::HostMode::Matlab);
    return wine_test::RunCase(cases, argc, argv);
}
