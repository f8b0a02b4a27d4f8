// Runs one case of a loader test program: "<program> <case> <module file>".
// The case starts with the module freshly loaded and every port closed;
// whatever it leaves open, the module must still close, giving back every
// lock and persistent block, and unload (unless the case unloaded it).
#pragma once

#include <vector>

namespace wine_test {

struct TestCase {
    const char* name;
    void (*run)();
};

// `afterUnload`, when given, checks what the unloaded module left behind.
int RunCase(const std::vector<TestCase>& cases, int argc, char** argv, void (*afterUnload)() = nullptr);

} // namespace wine_test
