#include "case_runner.h"

#include "checks.h"
#include "module_calls.h"

#include <cstdio>
#include <cstring>

namespace wine_test {

namespace {

void ExpectCleanShutdown()
{
    CloseAll();
    EXPECT_EQUAL(test_host::LockCount(), 0);
    EXPECT_EQUAL(test_host::PersistentBlockCount(), 0);
    EXPECT_TRUE(UnloadModule());
    for (const std::string& misuse : test_host::MisuseLog())
        ReportFailure(__FILE__, __LINE__, "host misuse: " + misuse);
}

} // namespace

int RunCase(const std::vector<TestCase>& cases, int argc, char** argv, void (*afterUnload)())
{
    if (argc != 3) {
        std::printf("usage: %s <case> <module file>\n", argv[0]);
        return 2;
    }
    for (const TestCase& testCase : cases) {
        if (std::strcmp(testCase.name, argv[1]) != 0)
            continue;
        if (!LoadModule(argv[2])) {
            std::printf("FAILED: cannot load %s as a module\n", argv[2]);
            return 1;
        }
        testCase.run();
        if (ModuleLoaded())
            ExpectCleanShutdown();
        if (afterUnload != nullptr)
            afterUnload();
        std::printf("%s: %s\n", testCase.name, FailureCount() == 0 ? "passed" : "FAILED");
        return FailureCount() == 0 ? 0 : 1;
    }
    std::printf("unknown case %s\n", argv[1]);
    return 2;
}

} // namespace wine_test
