// Host memory runs out at every point a call asks the host for memory or an
// array, one point after another until the call runs clean: every failure
// aborts the call with "Out of memory." (or, where the host ends the call
// inside the allocation as MATLAB does, with the host's message) and leaves
// only the effects the module allows at that point, and nothing leaks.
#include "ports/port_table.h"
#include "sweep_fixture.h"

#include <cstdio>
#include <limits>
#include <ostream>
#include <tuple>

namespace sweep {
namespace {

enum class HostFault { Allocation, ArrayCreation };

struct Ports {
    ArrayPtr com2 = Settings("COM2");
    ArrayPtr com3 = Settings("COM3");
};

struct MemorySweep {
    const char* name;
    void (*arrange)(Ports&);
    int nlhs;
    Arguments (*arguments)(Ports&);
    // What an "Out of memory." abort may leave behind.
    void (*afterOutOfMemory)(Ports&, HostFault);
    // The outcome once the armed failure no longer fires.
    void (*whenClean)(Ports&, const CallResult&);
};

ArrayPtr Faster(const std::string& port)
{
    ArrayPtr settings = Settings(port);
    Set(settings, "BaudRate", Number(19200));
    Set(settings, "ReadTimeout", Number(0.03));
    Set(settings, "InBufferSize", Number(4096));
    return settings;
}

void OpenCom2(Ports& ports)
{
    EXPECT_EQ(Open(ports.com2), 0);
}

// Two writes in flight on COM2; with `completeOne`, the older has finished.
void TwoWritesInFlight(Ports& ports, bool completeOne)
{
    OpenCom2(ports);
    sim::SetWriteCompletion("COM2", sim::WriteCompletion::Later);
    EXPECT_EQ(WriteBytes(ports.com2, {1, 2}), Pending);
    EXPECT_EQ(WriteBytes(ports.com2, {3, 4, 5}), Pending);
    if (completeOne)
        sim::CompleteWrites("COM2", 1);
    CompleteWritesWhenDrained();
}

void ExpectOpenAndLocked(const char* device, int locks)
{
    EXPECT_TRUE(sim::IsOpen(device));
    EXPECT_EQ(LockCount(), locks);
}

void ExpectNothingElse(Ports&, HostFault) {}

const MemorySweep Sweeps[] = {
    {"OpenOfAClosedPort", [](Ports&) {}, 2, [](Ports&) { return Args(Text("Open"), Faster("COM2")); },
     // The settings structure is made after the device was opened, configured and locked.
     [](Ports& ports, HostFault) {
         ExpectOpenAndLocked("COM2", 1);
         EXPECT_EQ(sim::AcceptedState("COM2").BaudRate, 19200u);
         EXPECT_EQ(GetParamsStatus(ports.com2), 0);
     },
     [](Ports&, const CallResult& result) {
         EXPECT_EQ(StatusAt(result, 2), 0);
         ExpectOpenAndLocked("COM2", 1);
     }},
    {"OpenOfAnOpenPort", OpenCom2, 2, [](Ports&) { return Args(Text("Open"), Faster("COM2")); },
     [](Ports&, HostFault) {
         ExpectOpenAndLocked("COM2", 2);
         EXPECT_EQ(sim::AcceptedState("COM2").BaudRate, 19200u);
     },
     [](Ports&, const CallResult& result) { EXPECT_EQ(StatusAt(result, 2), 0); }},
    {"GetParamsOfAnOpenPort", OpenCom2, 2, [](Ports&) { return Args(Text("GetParams"), Settings("COM2")); },
     [](Ports&, HostFault) { ExpectOpenAndLocked("COM2", 1); },
     [](Ports&, const CallResult& result) { EXPECT_EQ(StatusAt(result, 2), 0); }},
    {"SetParamsOnAnOpenPort", OpenCom2, 2, [](Ports&) { return Args(Text("SetParams"), Faster("COM2")); },
     // Applied and stored before the settings structure is made.
     [](Ports& ports, HostFault) {
         EXPECT_EQ(sim::AcceptedState("COM2").BaudRate, 19200u);
         EXPECT_EQ(ReportedNumber(ports.com2, "BaudRate"), 19200);
         EXPECT_EQ(ReportedNumber(ports.com2, "InBufferSize"), 4096);
         ExpectOpenAndLocked("COM2", 1);
     },
     [](Ports&, const CallResult& result) { EXPECT_EQ(StatusAt(result, 2), 0); }},
    {"SetParamsOnAClosedPort", [](Ports&) {}, 2,
     [](Ports&) { return Args(Text("SetParams"), Faster("COM2")); },
     [](Ports& ports, HostFault) {
         EXPECT_EQ(ReportedNumber(ports.com2, "BaudRate"), 19200);
         EXPECT_FALSE(sim::IsOpen("COM2"));
         EXPECT_EQ(sim::CountCalls("CreateFileA"), 0);
     },
     [](Ports&, const CallResult& result) { EXPECT_EQ(StatusAt(result, 2), NotOpen); }},
    // Parsing asks the host for nothing: the property message comes first
    // and the record keeps its settings, whatever memory is left.
    {"SetParamsWithAnInvalidProperty", OpenCom2, 2,
     [](Ports&) {
         ArrayPtr settings = Faster("COM2");
         Set(settings, "Parity", Text("bogus"));
         return Args(Text("SetParams"), std::move(settings));
     },
     ExpectNothingElse,
     [](Ports& ports, const CallResult& result) {
         EXPECT_EQ(result.message, "Invalid \"Parity\" property value.");
         EXPECT_EQ(ReportedNumber(ports.com2, "BaudRate"), 9600);
         EXPECT_EQ(sim::AcceptedState("COM2").BaudRate, 9600u);
     }},
    {"WriteBehindWritesInFlight", [](Ports& ports) { TwoWritesInFlight(ports, false); }, 1,
     [](Ports&) {
         return Args(Text("Write"), Settings("COM2"), Uint8Row({6, 7, 8}));
     },
     // Out of host memory for the node or buffer: nothing started. Out of
     // arrays for the status, made last: the write is queued.
     [](Ports&, HostFault fault) {
         const bool started = fault == HostFault::ArrayCreation;
         EXPECT_EQ(sim::CountCalls("WriteFile"), started ? 1 : 0);
         EXPECT_EQ(sim::PendingWriteCount("COM2"), started ? 3 : 2);
         EXPECT_EQ(PersistentBlockCount(), started ? 6 : 4);
         EXPECT_EQ(kernel::LiveEventCount(), started ? 3u : 2u);
     },
     [](Ports&, const CallResult& result) {
         EXPECT_EQ(StatusAt(result, 1), Pending);
         EXPECT_EQ(PersistentBlockCount(), 6);
     }},
    {"ReadOfWhatIsWaiting",
     [](Ports& ports) {
         OpenCom2(ports);
         sim::QueueInput("COM2", {1, 2, 3});
     },
     2, [](Ports&) { return Args(Text("Read"), Settings("COM2")); },
     // Before the transfer the bytes stay waiting; after it they were read.
     [](Ports& ports, HostFault) {
         EXPECT_FALSE(sim::ReadPending("COM2"));
         double waiting = 0;
         EXPECT_EQ(ReadStatus(ports.com2, &waiting), sim::CountCalls("ReadFile") > 0 ? 0 : Pending);
         EXPECT_EQ(waiting, sim::CountCalls("ReadFile") > 0 ? 0 : 3);
     },
     [](Ports&, const CallResult& result) {
         EXPECT_EQ(StatusAt(result, 2), 0);
         EXPECT_EQ(BytesOf(result.outputs[0].get()), (Bytes{1, 2, 3}));
     }},
    {"ReadOfACountWithMoreWaiting",
     [](Ports& ports) {
         OpenCom2(ports);
         sim::QueueInput("COM2", Bytes(12, 7));
     },
     2, [](Ports&) { return Args(Text("Read"), Settings("COM2"), Number(10)); },
     [](Ports& ports, HostFault) {
         EXPECT_FALSE(sim::ReadPending("COM2"));
         double waiting = 0;
         ReadStatus(ports.com2, &waiting);
         EXPECT_EQ(waiting, sim::CountCalls("ReadFile") > 0 ? 2 : 12);
     },
     [](Ports&, const CallResult& result) {
         EXPECT_EQ(StatusAt(result, 2), Pending);
         EXPECT_EQ(BytesOf(result.outputs[0].get()), Bytes(10, 7));
     }},
    {"GetReadStatusWithALineError",
     [](Ports& ports) {
         OpenCom2(ports);
         sim::QueueInput("COM2", {1, 2});
         sim::RaiseErrors("COM2", CE_FRAME);
     },
     2, [](Ports&) { return Args(Text("GetReadStatus"), Settings("COM2")); },
     // Whether or not the device was asked, the error is not lost.
     [](Ports& ports, HostFault) { EXPECT_EQ(ReadStatus(ports.com2), Pending | LineError); },
     [](Ports&, const CallResult& result) {
         EXPECT_EQ(StatusAt(result, 2), Pending | LineError);
         EXPECT_EQ(NumberOf(result.outputs[0].get()), 2);
     }},
    {"GetWriteStatusWithWritesInFlight", [](Ports& ports) { TwoWritesInFlight(ports, true); }, 2,
     [](Ports&) { return Args(Text("GetWriteStatus"), Settings("COM2")); },
     // The finished write is reaped before the device is asked, not before the output is made.
     [](Ports&, HostFault) {
         EXPECT_EQ(PersistentBlockCount(), sim::CountCalls("ClearCommError") > 0 ? 2 : 4);
         EXPECT_EQ(sim::PendingWriteCount("COM2"), 1);
     },
     [](Ports&, const CallResult& result) {
         EXPECT_EQ(StatusAt(result, 2), Pending);
         EXPECT_EQ(NumberOf(result.outputs[0].get()), 3) << "bytes of the write in flight";
         EXPECT_EQ(PersistentBlockCount(), 2);
     }},
    {"FlushWriteDrainingWritesInFlight", [](Ports& ports) { TwoWritesInFlight(ports, false); }, 1,
     [](Ports&) { return Args(Text("FlushWrite"), Settings("COM2")); },
     // Without memory for the drain nothing is waited for; the status is made after it.
     [](Ports&, HostFault fault) {
         const bool drained = fault == HostFault::ArrayCreation;
         EXPECT_EQ(sim::PendingWriteCount("COM2"), drained ? 0 : 2);
         EXPECT_EQ(PersistentBlockCount(), drained ? 0 : 4);
     },
     [](Ports&, const CallResult& result) {
         EXPECT_EQ(StatusAt(result, 1), 0);
         EXPECT_EQ(PersistentBlockCount(), 0);
     }},
    {"FlushWriteDiscardingWritesInFlight",
     [](Ports& ports) {
         TwoWritesInFlight(ports, false);
         sim::SetWriteCompletion("COM2", sim::WriteCompletion::Never);
     },
     1, [](Ports&) { return Args(Text("FlushWrite"), Settings("COM2"), Text("discard")); },
     [](Ports&, HostFault) {
         EXPECT_EQ(sim::PendingWriteCount("COM2"), 0);
         EXPECT_EQ(PersistentBlockCount(), 0);
     },
     [](Ports&, const CallResult& result) { EXPECT_EQ(StatusAt(result, 1), 0); }},
    {"CloseWithWritesInFlight", [](Ports& ports) { TwoWritesInFlight(ports, false); }, 1,
     [](Ports&) { return Args(Text("Close"), Settings("COM2")); },
     // Memory for the drain is taken while the port is still open; the
     // status array is made after it was closed.
     [](Ports&, HostFault fault) {
         const bool closed = fault == HostFault::ArrayCreation;
         EXPECT_EQ(sim::IsOpen("COM2"), !closed);
         EXPECT_EQ(LockCount(), closed ? 0 : 1);
         EXPECT_EQ(PersistentBlockCount(), closed ? 0 : 4);
     },
     [](Ports&, const CallResult& result) {
         EXPECT_EQ(StatusAt(result, 1), 0);
         EXPECT_EQ(LockCount(), 0);
     }},
    {"CloseAllWithWritesInFlightOnTwoPorts",
     [](Ports& ports) {
         TwoWritesInFlight(ports, false);
         EXPECT_EQ(Open(ports.com3), 0);
         sim::SetWriteCompletion("COM3", sim::WriteCompletion::Later);
         EXPECT_EQ(WriteBytes(ports.com3, {9}), Pending);
     },
     0, [](Ports&) { return Args(Text("CloseAll")); },
     // It stops at the slot whose drain had no memory: slots before it are
     // closed and unlocked, that one and those after it stay open and locked.
     [](Ports&, HostFault) {
         EXPECT_TRUE(sim::IsOpen("COM3"));
         EXPECT_EQ(LockCount(), sim::IsOpen("COM2") ? 2 : 1);
     },
     [](Ports&, const CallResult& result) {
         EXPECT_TRUE(result.outputs[0] == nullptr);
         EXPECT_FALSE(sim::IsOpen("COM2") || sim::IsOpen("COM3"));
         EXPECT_EQ(LockCount(), 0);
     }},
};

// Test names already say which; these keep ctest's listing readable.
void PrintTo(const MemorySweep& sweep, std::ostream* out)
{
    *out << sweep.name;
}

void PrintTo(HostFault fault, std::ostream* out)
{
    *out << (fault == HostFault::Allocation ? "allocation" : "array creation");
}

long Made(HostFault fault)
{
    return fault == HostFault::Allocation ? AllocationsMade() : ArrayCreationsMade();
}

void Arm(HostFault fault, long n)
{
    if (fault == HostFault::Allocation)
        FailNthAllocation(n);
    else
        FailNthArrayCreation(n);
}

std::string OutOfMemoryMessage(HostMode mode)
{
    return mode == HostMode::Matlab ? HostOutOfMemoryMessage : "Out of memory.";
}

// After an abort the module holds an event and two persistent blocks (node
// and buffer) per write in its lists, and a device handle per open slot:
// nothing acquired by the aborted call is left unreachable.
void ExpectOnlyWhatTheRecordsReach()
{
    int writes = 0;
    std::size_t openSlots = 0;
    for (const PortRecord& record : PortTable) {
        writes += record.PendingCount;
        openSlots += IsOpen(record) ? 1 : 0;
    }
    EXPECT_EQ(PersistentBlockCount(), 2 * writes);
    EXPECT_EQ(kernel::LiveEventCount(), static_cast<std::size_t>(writes));
    EXPECT_EQ(kernel::LiveObjectCount() - kernel::LiveEventCount(), openSlots) << "device handles";
}

// COM2 still opens, writes and reads, whatever the aborted call left.
void ExpectCom2StillWorks(const Ports& ports)
{
    EXPECT_EQ(Open(ports.com2), 0);
    sim::SetWriteCompletion("COM2", sim::WriteCompletion::Later);
    EXPECT_EQ(WriteBytes(ports.com2, {0x55}), Pending);
    sim::CompleteWrites("COM2", std::numeric_limits<int>::max());
    const Bytes sent = sim::Sent("COM2");
    EXPECT_TRUE(!sent.empty() && sent.back() == 0x55);
    EXPECT_EQ(StatusAt(Quorvel(1, Args(Text("FlushRead"), Settings("COM2"))), 1), 0);
    sim::QueueInput("COM2", {7, 8});
    CallResult read = Quorvel(2, Args(Text("Read"), Settings("COM2"), Number(2)));
    // A line error recorded before the abort is reported by this read.
    EXPECT_EQ(static_cast<int>(StatusAt(read, 2)) & ~LineError, 0);
    EXPECT_EQ(BytesOf(read.outputs[0].get()), (Bytes{7, 8}));
}

class MemorySweepTest : public ::testing::TestWithParam<std::tuple<MemorySweep, HostFault, HostMode>> {
  protected:
    void SetUp() override
    {
        sim::Reset();
        Reset();
        SetHostMode(std::get<2>(GetParam()));
    }
    void TearDown() override { SetHostMode(HostMode::Strict); }
};

TEST_P(MemorySweepTest, EveryFailurePointAbortsWithOutOfMemoryAndLeavesOnlyAllowedEffects)
{
    const auto& [sweep, fault, mode] = GetParam();
    long failurePoints = 0;
    for (long n = 1;; ++n) {
        ASSERT_LT(n, 200) << "the call never ran clean";
        const std::string context = std::string(sweep.name) + ", failure " + std::to_string(n);
        Ports ports;
        sweep.arrange(ports);
        Arguments arguments = sweep.arguments(ports);
        sim::ClearCalls();
        const long before = Made(fault);
        Arm(fault, n);
        CallResult result = Quorvel(sweep.nlhs, arguments);
        Arm(fault, 0);
        if (Made(fault) - before < n) {
            SCOPED_TRACE(context);
            sweep.whenClean(ports, result);
            EndScenario(context);
            break;
        }
        ++failurePoints;
        {
            SCOPED_TRACE(context);
            EXPECT_TRUE(result.aborted);
            EXPECT_EQ(result.message, OutOfMemoryMessage(mode));
            sweep.afterOutOfMemory(ports, fault);
            ExpectOnlyWhatTheRecordsReach();
            ExpectCom2StillWorks(ports);
        }
        EndScenario(context);
    }
    std::printf("[   sweep  ] %s: %ld %s failure points\n", sweep.name, failurePoints,
                fault == HostFault::Allocation ? "allocation" : "array creation");
}

INSTANTIATE_TEST_SUITE_P(Calls, MemorySweepTest,
                         ::testing::Combine(::testing::ValuesIn(Sweeps),
                                            ::testing::Values(HostFault::Allocation,
                                                              HostFault::ArrayCreation),
                                            ::testing::Values(HostMode::Strict, HostMode::Matlab)),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).name) +
                                    (std::get<1>(info.param) == HostFault::Allocation ? "_Allocation"
                                                                                      : "_ArrayCreation") +
                                    (std::get<2>(info.param) == HostMode::Matlab ? "_EndedByTheHost" : "");
                         });

} // namespace
} // namespace sweep
