// Every device call a command makes fails in turn, the calls found from the
// log of a clean run of the command: the command answers with the status it
// promises for that failure, ends within its time-outs, leaks nothing, and
// the port stays usable and closable afterwards.
#include "sweep_fixture.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <ostream>

namespace sweep {
namespace {

struct Ports {
    ArrayPtr com2 = Settings("COM2");
};

// The status when the named call fails: "ClearCommError#2" is the second
// ClearCommError of a clean run.
struct Outcome {
    std::string call;
    int status;
};

struct DeviceSweep {
    const char* name;
    void (*arrange)(Ports&);
    int nlhs;
    Arguments (*arguments)(Ports&);
    std::vector<Outcome> outcomes; // one per device call of a clean run, in order
    // What else must hold after the named call failed.
    void (*afterFault)(Ports&, const CallResult&, const std::string& failed);
};

void OpenCom2(Ports& ports)
{
    EXPECT_EQ(Open(ports.com2), 0);
}

ArrayPtr Faster()
{
    ArrayPtr settings = Settings("COM2");
    Set(settings, "BaudRate", Number(19200));
    Set(settings, "ReadTimeout", Number(0.03));
    Set(settings, "InBufferSize", Number(4096));
    return settings;
}

void ExpectNoDataUnlessRead(Ports&, const CallResult& result, const std::string&)
{
    if (StatusAt(result, 2) == IoFailed) {
        EXPECT_TRUE(mxIsEmpty(result.outputs[0].get())) << "data from a failed read";
    }
}

void ExpectEmptyCount(Ports&, const CallResult& result, const std::string&)
{
    EXPECT_TRUE(mxIsEmpty(result.outputs[0].get()));
}

const DeviceSweep Sweeps[] = {
    {"OpenOfAClosedPort",
     [](Ports&) {},
     2,
     [](Ports&) { return Args(Text("Open"), Settings("COM2")); },
     {{"CreateFileA", NotOpen},
      {"SetupComm", ConfigFailed},
      {"SetCommState", ConfigFailed},
      {"SetCommTimeouts", ConfigFailed}},
     // A port that could not be opened takes no lock; one that could not be
     // configured stays open and locked.
     [](Ports&, const CallResult&, const std::string& failed) {
         const bool opened = failed != "CreateFileA";
         EXPECT_EQ(sim::IsOpen("COM2"), opened);
         EXPECT_EQ(LockCount(), opened ? 1 : 0);
     }},
    {"OpenOfAnOpenPort",
     OpenCom2,
     2,
     [](Ports&) { return Args(Text("Open"), Faster()); },
     {{"SetupComm", ConfigFailed}, {"SetCommState", ConfigFailed}, {"SetCommTimeouts", ConfigFailed}},
     [](Ports&, const CallResult&, const std::string&) { EXPECT_EQ(LockCount(), 2); }},
    {"SetParamsChangingEveryGroup",
     OpenCom2,
     2,
     [](Ports&) { return Args(Text("SetParams"), Faster()); },
     {{"SetupComm", ConfigFailed}, {"SetCommState", ConfigFailed}, {"SetCommTimeouts", ConfigFailed}},
     // The record keeps the new settings, and the same settings again apply
     // the refused group and those after it, which the device never got.
     [](Ports&, const CallResult&, const std::string& failed) {
         ArrayPtr same = Faster();
         EXPECT_EQ(ReportedNumber(same, "BaudRate"), 19200);
         sim::ClearCalls();
         EXPECT_EQ(StatusAt(Quorvel(2, Args(Text("SetParams"), std::move(same))), 2), 0);
         const std::vector<std::string> groups = {"SetupComm", "SetCommState", "SetCommTimeouts"};
         std::vector<std::string> applied;
         for (const sim::CallRecord& call : sim::Calls())
             applied.push_back(call.function);
         auto refused = std::find(groups.begin(), groups.end(), failed);
         EXPECT_EQ(applied, std::vector<std::string>(refused, groups.end()));
     }},
    {"Write",
     OpenCom2,
     1,
     [](Ports&) {
         return Args(Text("Write"), Settings("COM2"), Uint8Row({1, 2, 3}));
     },
     {{"WriteFile", IoFailed}},
     [](Ports&, const CallResult&, const std::string&) {
         EXPECT_EQ(PersistentBlockCount(), 0) << "a write that did not start was queued";
         EXPECT_EQ(kernel::LiveEventCount(), 0u);
     }},
    // A failed query after the transfer reads as nothing waiting and no errors.
    {"ReadOfWhatIsWaiting",
     [](Ports& ports) {
         OpenCom2(ports);
         sim::QueueInput("COM2", {1, 2, 3});
     },
     2,
     [](Ports&) { return Args(Text("Read"), Settings("COM2")); },
     {{"ClearCommError#1", IoFailed},
      {"ReadFile", IoFailed},
      {"ClearCommError#2", 0},
      {"PurgeComm", IoFailed},
      {"GetOverlappedResult", IoFailed},
      {"ClearCommError#3", 0}},
     ExpectNoDataUnlessRead},
    // When the purge fails, Read cancels its read by itself before it waits
    // for the outcome, since the read still writes into the call's buffer.
    {"ReadOfACountFromASilentLine",
     OpenCom2,
     2,
     [](Ports&) { return Args(Text("Read"), Settings("COM2"), Number(4)); },
     {{"ReadFile", IoFailed},
      {"ClearCommError#1", TimedOut},
      {"PurgeComm", IoFailed},
      {"GetOverlappedResult", IoFailed},
      {"ClearCommError#2", TimedOut}},
     ExpectNoDataUnlessRead},
    {"ReadOfACountWithMoreWaiting",
     [](Ports& ports) {
         OpenCom2(ports);
         sim::QueueInput("COM2", Bytes(12, 7));
     },
     2,
     [](Ports&) { return Args(Text("Read"), Settings("COM2"), Number(10)); },
     {{"ReadFile", IoFailed},
      {"ClearCommError#1", Pending},
      {"GetOverlappedResult", IoFailed},
      {"ClearCommError#2", 0}},
     ExpectNoDataUnlessRead},
    {"GetWriteStatus",
     OpenCom2,
     2,
     [](Ports&) { return Args(Text("GetWriteStatus"), Settings("COM2")); },
     {{"ClearCommError", IoFailed}},
     ExpectEmptyCount},
    {"GetReadStatusWithALineError",
     [](Ports& ports) {
         OpenCom2(ports);
         sim::RaiseErrors("COM2", CE_FRAME);
     },
     2,
     [](Ports&) { return Args(Text("GetReadStatus"), Settings("COM2")); },
     {{"ClearCommError", IoFailed}},
     [](Ports& ports, const CallResult& result, const std::string& failed) {
         ExpectEmptyCount(ports, result, failed);
         EXPECT_EQ(ReadStatus(ports.com2), LineError) << "the failed query lost the error";
     }},
    {"FlushRead",
     [](Ports& ports) {
         OpenCom2(ports);
         sim::QueueInput("COM2", {1, 2});
     },
     1,
     [](Ports&) { return Args(Text("FlushRead"), Settings("COM2")); },
     {{"PurgeComm", IoFailed}},
     [](Ports& ports, const CallResult&, const std::string&) {
         double waiting = 0;
         ReadStatus(ports.com2, &waiting);
         EXPECT_EQ(waiting, 2);
     }},
    {"FlushWriteDiscardingWritesInFlight",
     [](Ports& ports) {
         OpenCom2(ports);
         sim::SetWriteCompletion("COM2", sim::WriteCompletion::Never);
         EXPECT_EQ(WriteBytes(ports.com2, {1}), Pending);
         EXPECT_EQ(WriteBytes(ports.com2, {2}), Pending);
     },
     1,
     [](Ports&) { return Args(Text("FlushWrite"), Settings("COM2"), Text("discard")); },
     {{"PurgeComm", IoFailed}},
     [](Ports&, const CallResult&, const std::string&) {
         EXPECT_EQ(sim::PendingWriteCount("COM2"), 2);
         EXPECT_EQ(PersistentBlockCount(), 4) << "writes not discarded stay queued";
     }},
};

// The test name already says which; this keeps ctest's listing readable.
void PrintTo(const DeviceSweep& sweep, std::ostream* out)
{
    *out << sweep.name;
}

// "ClearCommError#2" for a function met more than once in the log.
std::vector<std::string> LabelledCalls(const std::vector<sim::CallRecord>& calls)
{
    std::map<std::string, int> total, seen;
    for (const sim::CallRecord& call : calls)
        ++total[call.function];
    std::vector<std::string> labels;
    for (const sim::CallRecord& call : calls) {
        const int ordinal = ++seen[call.function];
        labels.push_back(call.function + (total[call.function] > 1 ? "#" + std::to_string(ordinal) : ""));
    }
    return labels;
}

void SplitLabel(const std::string& label, std::string& function, int& ordinal)
{
    const std::size_t hash = label.find('#');
    function = label.substr(0, hash);
    ordinal = hash == std::string::npos ? 1 : std::stoi(label.substr(hash + 1));
}

// A read that Read keeps waiting on after its time-out is ended by the device.
void EndReadsWaitedOnPastTheirTimeout()
{
    kernel::SetWaitHook([](const HANDLE*, DWORD count, BOOL waitAll, DWORD milliseconds) {
        if (!waitAll && count == 1 && milliseconds > 30 && sim::ReadPending("COM2"))
            sim::ExpireRead("COM2");
    });
}

// The port still works: it opens if it is closed, writes, reads, and closes.
void ExpectUsable(Ports& ports)
{
    kernel::SetWaitHook({});
    if (!sim::IsOpen("COM2")) {
        EXPECT_EQ(Open(ports.com2), 0);
    }
    EXPECT_EQ(StatusAt(Quorvel(1, Args(Text("FlushRead"), Settings("COM2"))), 1), 0);
    sim::QueueInput("COM2", {0xAA});
    CallResult read = Quorvel(2, Args(Text("Read"), Settings("COM2"), Number(1)));
    EXPECT_EQ(static_cast<int>(StatusAt(read, 2)) & ~LineError, 0)
        << "a line error seen earlier may come with it";
    EXPECT_EQ(BytesOf(read.outputs[0].get()), Bytes{0xAA});
    EXPECT_EQ(WriteBytes(ports.com2, {0x55}), Pending);
    CompleteWritesWhenDrained();
    EXPECT_EQ(StatusAt(Quorvel(1, Args(Text("Close"), Settings("COM2"))), 1), 0);
}

class DeviceFaultSweepTest : public ::testing::TestWithParam<DeviceSweep> {
  protected:
    void SetUp() override
    {
        sim::Reset();
        Reset();
    }

    std::vector<std::string> CleanRunCalls(const DeviceSweep& sweep)
    {
        Ports ports;
        sweep.arrange(ports);
        Arguments arguments = sweep.arguments(ports);
        sim::ClearCalls();
        CallResult result = Quorvel(sweep.nlhs, arguments);
        EXPECT_FALSE(result.aborted) << result.message;
        std::vector<std::string> calls = LabelledCalls(sim::Calls());
        EndScenario(std::string(sweep.name) + ", clean run");
        return calls;
    }
};

TEST_P(DeviceFaultSweepTest, EveryDeviceCallFailingGivesThePromisedStatusAndLeavesAUsablePort)
{
    const DeviceSweep& sweep = GetParam();
    std::vector<std::string> expectedCalls;
    for (const Outcome& outcome : sweep.outcomes)
        expectedCalls.push_back(outcome.call);
    ASSERT_EQ(CleanRunCalls(sweep), expectedCalls) << "the table names every device call of a clean run";
    for (const Outcome& outcome : sweep.outcomes) {
        SCOPED_TRACE(outcome.call + " fails");
        Ports ports;
        sweep.arrange(ports);
        Arguments arguments = sweep.arguments(ports);
        std::string function;
        int ordinal = 1;
        SplitLabel(outcome.call, function, ordinal);
        sim::FailCall(function, ERROR_GEN_FAILURE, 1, ordinal - 1);
        EndReadsWaitedOnPastTheirTimeout();
        const auto start = std::chrono::steady_clock::now();
        CallResult result = Quorvel(sweep.nlhs, arguments);
        const auto took = std::chrono::steady_clock::now() - start;
        ASSERT_FALSE(result.aborted) << result.message;
        EXPECT_EQ(StatusAt(result, sweep.nlhs == 2 ? 2 : 1), outcome.status);
        EXPECT_LT(took, std::chrono::seconds(2));
        EXPECT_FALSE(sim::ReadPending("COM2")) << "a read outlived its call";
        sweep.afterFault(ports, result, outcome.call);
        ExpectUsable(ports);
        EndScenario(std::string(sweep.name) + ", " + outcome.call + " failing");
    }
    std::printf("[   sweep  ] %s: %zu device calls failed in turn\n", sweep.name, sweep.outcomes.size());
}

INSTANTIATE_TEST_SUITE_P(Commands, DeviceFaultSweepTest, ::testing::ValuesIn(Sweeps),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace sweep
