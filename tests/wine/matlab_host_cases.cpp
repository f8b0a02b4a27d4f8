// The module in the host it is built for: MATLAB ends a call that runs out of
// memory inside the allocating function.
#include "cases.h"
#include "checks.h"
#include "far_end.h"
#include "module_calls.h"

#include <cstring>
#include <windows.h>

namespace wine_test {

namespace {

std::vector<ArrayPtr> List(ArrayPtr first, ArrayPtr second, ArrayPtr third = nullptr)
{
    std::vector<ArrayPtr> list;
    list.push_back(std::move(first));
    list.push_back(std::move(second));
    if (third)
        list.push_back(std::move(third));
    return list;
}

std::vector<const mxArray*> Pointers(const std::vector<ArrayPtr>& arrays)
{
    std::vector<const mxArray*> pointers;
    for (const ArrayPtr& array : arrays)
        pointers.push_back(array.get());
    return pointers;
}

// Wine counts no handles (GetProcessHandleCount gives 0), but it gives a new
// handle the lowest free value: a handle left open takes one of these.
std::vector<HANDLE> LowestFreeHandles()
{
    std::vector<HANDLE> probes(16);
    for (HANDLE& probe : probes)
        probe = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    for (HANDLE probe : probes)
        CloseHandle(probe);
    return probes;
}

// COM1 opens, writes and reads, whatever an aborted call left.
void ExpectCom1Works()
{
    ArrayPtr com1 = PortSettings(1);
    EXPECT_EQUAL(Open(com1).status, 0.0);
    EXPECT_EQUAL(FlushRead(com1), 0.0);
    FarReceive(1, 4096, 100); // what the aborted call may have sent
    EXPECT_EQUAL(Write(com1, "ping"), 4.0);
    EXPECT_EQUAL(FarReceive(1, 4, 2000), std::string("ping"));
    FarSend(1, "pong");
    EXPECT_EQUAL(AwaitWaiting(com1, 4, 2000), 4.0);
    EXPECT_EQUAL(Read(com1).data, std::string("pong"));
}

struct MemoryScenario {
    const char* name;
    int nlhs;
    bool openFirst;
    const char* waitingInput;
    std::vector<ArrayPtr> (*arguments)();
};

const MemoryScenario Scenarios[] = {
    {"Open", 2, false, "", [] { return List(Text("Open"), PortSettings(1)); }},
    {"SetParams", 2, true, "",
     [] {
         ArrayPtr faster = PortSettings(1);
         SetProperty(faster, "BaudRate", Number(19200));
         return List(Text("SetParams"), std::move(faster));
     }},
    {"Write", 1, true, "", [] { return List(Text("Write"), PortSettings(1), Uint8Row("hello")); }},
    {"Read", 2, true, "abc", [] { return List(Text("Read"), PortSettings(1)); }},
    {"GetReadStatus", 2, true, "abc", [] { return List(Text("GetReadStatus"), PortSettings(1)); }},
    {"GetWriteStatus", 2, true, "", [] { return List(Text("GetWriteStatus"), PortSettings(1)); }},
};

struct HostFault {
    const char* name;
    void (*arm)(long n);
    long (*made)();
};

const HostFault Faults[] = {
    {"allocation", test_host::FailNthAllocation, test_host::AllocationsMade},
    {"array creation", test_host::FailNthArrayCreation, test_host::ArrayCreationsMade},
};

void Arrange(const MemoryScenario& scenario)
{
    if (scenario.openFirst)
        EXPECT_EQUAL(Open(PortSettings(1)).status, 0.0);
    if (*scenario.waitingInput != '\0') {
        FarSend(1, scenario.waitingInput);
        AwaitWaiting(PortSettings(1), std::strlen(scenario.waitingInput), 2000);
    }
}

// Fails the nth request of a kind; false once the call ran clean.
bool FailsAt(const MemoryScenario& scenario, const HostFault& fault, long n)
{
    CloseAll();
    const std::vector<HANDLE> freeHandles = LowestFreeHandles();
    Arrange(scenario);
    std::vector<ArrayPtr> arguments = scenario.arguments();
    const long before = fault.made();
    fault.arm(n);
    const std::string message = AbortMessage(Pointers(arguments), scenario.nlhs);
    fault.arm(0);
    const bool failed = fault.made() - before >= n;
    const std::string where = std::string(scenario.name) + ", " + fault.name + " " + std::to_string(n);
    if (message != (failed ? test_host::HostOutOfMemoryMessage : ""))
        ReportFailure(__FILE__, __LINE__, where + ": ended with \"" + message + "\"");
    if (failed)
        ExpectCom1Works();
    CloseAll();
    if (LowestFreeHandles() != freeHandles)
        ReportFailure(__FILE__, __LINE__, where + ": a handle outlived CloseAll");
    if (test_host::LiveBlockCount() != 0 || test_host::LockCount() != 0)
        ReportFailure(__FILE__, __LINE__, where + ": host memory or a lock outlived CloseAll");
    return failed;
}

} // namespace

void HostEndsCallsOutOfMemory()
{
    // The runtime and Wine keep handles of their own from the first aborted
    // call and the first transfers on: made before the handle probes start.
    EXPECT_EQUAL(AbortMessage({Text("Bogus").get()}), std::string("Unknown command."));
    ExpectCom1Works();
    for (const MemoryScenario& scenario : Scenarios)
        for (const HostFault& fault : Faults) {
            long n = 1;
            while (n < 100 && FailsAt(scenario, fault, n))
                ++n;
        }
}

} // namespace wine_test
