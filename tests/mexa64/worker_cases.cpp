// The POSIX backend's background I/O: a worker thread per open port, which
// ends with its port, and with the module when it is unloaded.
#include "checks.h"
#include "far_end.h"
#include "mexa64_cases.h"
#include "module_calls.h"
#include "process_state.h"

namespace mexa64_test {

using namespace wine_test;

namespace {

// More than a terminal holds while its far end takes nothing: the worker
// is busy with it.
std::string Overfill()
{
    return std::string(256 * 1024, 'w');
}

} // namespace

void WorkerPerOpenPort()
{
    const std::size_t idle = ThreadCount();
    ArrayPtr com1 = PortSettings(1);
    ArrayPtr com2 = PortSettings(2);
    SetProperty(com2, "WriteTimeout", Number(0.5));
    EXPECT_EQUAL(Open(com1).status, 0.0);
    EXPECT_EQUAL(Open(com2).status, 0.0);
    EXPECT_EQUAL(ThreadCount(), idle + 2);
    EXPECT_EQUAL(Close(com1), 0.0);
    EXPECT_EQUAL(ThreadCount(), idle + 1);
    EXPECT_EQUAL(Write(com2, Overfill()), Pending);
    test_host::ExitHost();
    EXPECT_EQUAL(ThreadCount(), idle);
}

// A host that unloads the module without its exit hook, with ports open and
// writes in flight (or a process that exits so): the module's own teardown
// ends the workers and closes the devices before its code is unmapped.
void UnloadWithWritesInFlight()
{
    const std::size_t idle = ThreadCount();
    ArrayPtr com1 = PortSettings(1);
    ArrayPtr com2 = PortSettings(2);
    EXPECT_EQUAL(Open(com1).status, 0.0);
    EXPECT_EQUAL(Open(com2).status, 0.0);
    EXPECT_EQUAL(Write(com1, Overfill()), Pending);
    EXPECT_EQUAL(Write(com2, Overfill()), Pending);
    EXPECT_EQUAL(ThreadCount(), idle + 2);
    DropModule();
    EXPECT_EQUAL(ThreadCount(), idle);
    // The writes went with the module: the far end gets no more than the terminal held.
    EXPECT_TRUE(FarReceive(1, Overfill().size(), 1000).size() < Overfill().size());
}

} // namespace mexa64_test
