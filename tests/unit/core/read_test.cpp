#include "module_fixture.h"

#include <cmath>

namespace quorvel_test {
namespace {

class ReadTest : public ModuleTest {
  protected:
    void SetUp() override
    {
        ModuleTest::SetUp();
        settings = PortSettings("COM2");
        Set(settings, "ReadTimeout", Number(0.02));
        OpenPort(settings);
    }

    CallResult Read() { return Quorvel(2, Text("Read"), settings); }
    CallResult Read(ArrayPtr count) { return Quorvel(2, Text("Read"), settings, count); }
    CallResult ReadStatus() { return Quorvel(2, Text("GetReadStatus"), settings); }

    static Bytes Data(const CallResult& result)
    {
        const mxArray* data = result.outputs[0].get();
        EXPECT_TRUE(mxIsUint8(data));
        EXPECT_EQ(mxGetM(data), 1u);
        return BytesOf(data);
    }

    std::vector<std::uint64_t> ReadCounts()
    {
        std::vector<std::uint64_t> counts;
        for (const sim::CallRecord& call : sim::Calls())
            if (call.function == "ReadFile")
                counts.push_back(call.args.at(0));
        return counts;
    }

    ArrayPtr settings;
};

TEST_F(ReadTest, WithoutACountReadsWhatIsWaiting)
{
    sim::QueueInput("COM2", {1, 2, 3});
    CallResult result = Read();
    EXPECT_EQ(StatusAt(result, 2), 0);
    EXPECT_EQ(Data(result), (Bytes{1, 2, 3}));
}

TEST_F(ReadTest, NothingToReadStartsNoRead)
{
    const double counts[] = {0, -3, std::nan(""), INFINITY, -INFINITY, 1e10, -1e10};
    for (double count : counts) {
        CallResult result = Read(Number(count));
        EXPECT_EQ(StatusAt(result, 2), 0) << count;
        EXPECT_EQ(mxGetN(result.outputs[0].get()), 0u);
    }
    EXPECT_EQ(StatusAt(Read(), 2), 0);
    EXPECT_TRUE(ReadCounts().empty());
}

TEST_F(ReadTest, ACountThatHoldsNoNumberReadsNothing)
{
    sim::QueueInput("COM2", {1, 2});
    for (ArrayPtr& count : ArrayList(Cell(1, 1), Struct({"n"}, Number(2)))) {
        CallResult result = Read(std::move(count));
        EXPECT_EQ(StatusAt(result, 2), 0);
        EXPECT_EQ(mxGetN(result.outputs[0].get()), 0u);
    }
    EXPECT_TRUE(ReadCounts().empty()) << "not read as 'everything waiting'";
}

TEST_F(ReadTest, TheCountIsTruncatedAndAnEmptyCountMeansAllWaiting)
{
    sim::QueueInput("COM2", {1, 2, 3, 4, 5});
    EXPECT_EQ(Data(Read(Number(2.9))), (Bytes{1, 2}));
    EXPECT_EQ(Data(Read(EmptyDouble())), (Bytes{3, 4, 5}));
    EXPECT_EQ(ReadCounts(), (std::vector<std::uint64_t>{2, 3}));
}

TEST_F(ReadTest, BytesLeftWaitingArePending)
{
    sim::QueueInput("COM2", Bytes(12, 7));
    CallResult first = Read(Number(10));
    EXPECT_EQ(StatusAt(first, 2), Pending);
    EXPECT_EQ(Data(first), Bytes(10, 7));
    CallResult rest = Read(Number(2));
    EXPECT_EQ(StatusAt(rest, 2), 0);
}

TEST_F(ReadTest, ASilentLineTimesOutWithNoData)
{
    CallResult result = Read(Number(4));
    EXPECT_EQ(StatusAt(result, 2), TimedOut);
    EXPECT_EQ(mxGetN(result.outputs[0].get()), 0u);
    EXPECT_FALSE(sim::ReadPending("COM2"));
}

TEST_F(ReadTest, ATimedOutReadKeepsTheBytesThatArrived)
{
    sim::QueueInput("COM2", {9, 8, 7});
    CallResult result = Read(Number(10));
    EXPECT_EQ(StatusAt(result, 2), TimedOut);
    EXPECT_EQ(Data(result), (Bytes{9, 8, 7}));
}

TEST_F(ReadTest, AReadEndedByTheIntervalTimeoutIsShort)
{
    sim::SetShortReads("COM2", sim::ShortReads::CompleteAtOnce);
    sim::QueueInput("COM2", {1, 2});
    CallResult result = Read(Number(5));
    EXPECT_EQ(StatusAt(result, 2), TimedOut);
    EXPECT_EQ(Data(result), (Bytes{1, 2}));
    EXPECT_EQ(sim::CountCalls("PurgeComm"), 1)
        << "nothing waited, so the finished read was purged harmlessly";
}

TEST_F(ReadTest, InputArrivingDuringTheWaitIsRead)
{
    kernel::SetWaitHook([](const HANDLE*, DWORD count, BOOL, DWORD milliseconds) {
        if (count == 1 && milliseconds == 20)
            sim::QueueInput("COM2", {5, 6, 7, 8});
    });
    CallResult result = Read(Number(4));
    EXPECT_EQ(StatusAt(result, 2), 0);
    EXPECT_EQ(Data(result), (Bytes{5, 6, 7, 8}));
}

TEST_F(ReadTest, LineErrorsAreReportedUntilAReadConsumesThem)
{
    sim::RaiseErrors("COM2", CE_RXPARITY);
    EXPECT_EQ(StatusAt(ReadStatus(), 2), LineError);
    EXPECT_EQ(StatusAt(ReadStatus(), 2), LineError);
    sim::QueueInput("COM2", {1});
    CallResult waiting = ReadStatus();
    EXPECT_EQ(StatusAt(waiting, 2), LineError | Pending);
    EXPECT_EQ(NumberOf(waiting.outputs[0].get()), 1);
    EXPECT_EQ(StatusAt(Read(), 2), LineError);
    EXPECT_EQ(StatusAt(ReadStatus(), 2), 0);
}

TEST_F(ReadTest, EachErrorBitHasItsStatus)
{
    const std::pair<DWORD, double> cases[] = {{CE_RXOVER, Overrun},
                                              {CE_FRAME, LineError},
                                              {CE_BREAK, LineError},
                                              {CE_OVERRUN, 0},
                                              {CE_RXPARITY | CE_RXOVER, LineError | Overrun}};
    for (const auto& [bits, status] : cases) {
        sim::RaiseErrors("COM2", bits);
        sim::QueueInput("COM2", {1});
        EXPECT_EQ(StatusAt(Read(Number(1)), 2), status) << bits;
    }
}

TEST_F(ReadTest, StatusQueriesReportTheRecordedBitsAndPurgesKeepThem)
{
    sim::RaiseErrors("COM2", CE_RXOVER | CE_BREAK);
    EXPECT_EQ(StatusAt(ReadStatus(), 2), Overrun | LineError);
    EXPECT_EQ(StatusOf(Quorvel(0, Text("FlushRead"), settings)), 0);
    EXPECT_EQ(StatusAt(ReadStatus(), 2), Overrun | LineError);
}

TEST_F(ReadTest, AReadThatReturnsEarlyKeepsTheErrorBits)
{
    sim::RaiseErrors("COM2", CE_FRAME);
    EXPECT_EQ(StatusAt(Read(), 2), 0) << "nothing waiting: no transfer";
    EXPECT_EQ(StatusAt(ReadStatus(), 2), LineError);
}

TEST_F(ReadTest, AnIoErrorDropsTheDataButNotTheTimeoutDecision)
{
    sim::RaiseErrors("COM2", CE_IOE);
    sim::QueueInput("COM2", {1, 2, 3});
    CallResult complete = Read(Number(3));
    EXPECT_EQ(StatusAt(complete, 2), 0);
    EXPECT_EQ(mxGetN(complete.outputs[0].get()), 0u);

    sim::RaiseErrors("COM2", CE_IOE);
    sim::QueueInput("COM2", {1});
    EXPECT_EQ(StatusAt(Read(Number(3)), 2), TimedOut);
}

struct FailingRead {
    const char* function;
    int skip;
};

TEST_F(ReadTest, DeviceFailuresGiveIoFailedAndLeakNothing)
{
    const FailingRead cases[] = {
        {"ClearCommError", 0},      // the waiting-bytes query before the read
        {"ReadFile", 0},            // the read cannot start
        {"GetOverlappedResult", 0}, // its outcome cannot be fetched
    };
    for (const FailingRead& failing : cases) {
        sim::QueueInput("COM2", {1, 2});
        sim::FailCall(failing.function, ERROR_GEN_FAILURE, 1, failing.skip);
        CallResult result = Read();
        EXPECT_EQ(StatusAt(result, 2), IoFailed) << failing.function;
        EXPECT_EQ(mxGetN(result.outputs[0].get()), 0u);
        EXPECT_EQ(kernel::LiveEventCount(), 0u) << failing.function;
        Quorvel(1, Text("FlushRead"), settings);
    }
}

TEST_F(ReadTest, AReadWithoutAnEventIsNotStarted)
{
    sim::QueueInput("COM2", {1});
    kernel::FailEventCreations(1);
    EXPECT_EQ(StatusAt(Read(), 2), IoFailed);
    EXPECT_EQ(sim::CountCalls("ReadFile"), 0);
}

TEST_F(ReadTest, FailedQueriesDuringTheReadCountAsNothingWaiting)
{
    sim::QueueInput("COM2", {1, 2});
    sim::FailCall("ClearCommError", ERROR_GEN_FAILURE, 2);
    CallResult result = Read(Number(4));
    EXPECT_EQ(StatusAt(result, 2), TimedOut) << "the read was cancelled and stayed bounded";
    EXPECT_EQ(Data(result), (Bytes{1, 2}));
}

TEST_F(ReadTest, AFailedCancelWaitsForTheReadBeforeGivingUp)
{
    sim::FailCall("PurgeComm");
    bool expired = false;
    kernel::SetWaitHook([&expired](const HANDLE*, DWORD, BOOL, DWORD milliseconds) {
        // Past Read's own 20 ms wait comes the wait for the outcome: the read ends there.
        if (milliseconds != 20 && !expired) {
            expired = true;
            sim::ExpireRead("COM2");
        }
    });
    CallResult result = Read(Number(4));
    EXPECT_EQ(StatusAt(result, 2), IoFailed);
    EXPECT_TRUE(expired);
    EXPECT_FALSE(sim::ReadPending("COM2"));
}

TEST_F(ReadTest, StatusQueriesAndPurges)
{
    sim::QueueInput("COM2", {1, 2, 3});
    CallResult status = ReadStatus();
    EXPECT_EQ(StatusAt(status, 2), Pending);
    EXPECT_EQ(NumberOf(status.outputs[0].get()), 3);
    EXPECT_EQ(StatusOf(Quorvel(0, Text("FlushRead"), settings)), 0);
    EXPECT_EQ(sim::Calls().back().args, (std::vector<std::uint64_t>{PURGE_RXABORT | PURGE_RXCLEAR}));
    EXPECT_EQ(NumberOf(ReadStatus().outputs[0].get()), 0);

    sim::FailCall("PurgeComm");
    EXPECT_EQ(StatusOf(Quorvel(0, Text("FlushRead"), settings)), IoFailed);
    sim::FailCall("ClearCommError");
    CallResult failed = ReadStatus();
    EXPECT_EQ(StatusAt(failed, 2), IoFailed);
    EXPECT_TRUE(mxIsEmpty(failed.outputs[0].get()));
}

TEST_F(ReadTest, ClosedPortsAnswerNotOpen)
{
    ArrayPtr closed = PortSettings("COM4");
    EXPECT_EQ(StatusAt(Quorvel(2, Text("Read"), closed, Number(3)), 2), NotOpen);
    CallResult status = Quorvel(2, Text("GetReadStatus"), closed);
    EXPECT_EQ(StatusAt(status, 2), NotOpen);
    EXPECT_TRUE(mxIsEmpty(status.outputs[0].get()));
    EXPECT_EQ(StatusOf(Quorvel(0, Text("FlushRead"), closed)), NotOpen);
}

TEST_F(ReadTest, OutOfMemoryAtEachAllocationLeavesNothingBehind)
{
    ArrayPtr read = Text("Read"), status = Text("GetReadStatus"), count = Number(2);
    for (long failAt : {1, 2}) {
        sim::QueueInput("COM2", {1, 2});
        FailNthArrayCreation(failAt);
        EXPECT_EQ(Quorvel(2, read, settings, count).message, "Out of memory.") << "array " << failAt;
        FailNthArrayCreation(0);
        FailNthAllocation(1);
        EXPECT_EQ(Quorvel(2, read, settings, count).message, "Out of memory.");
        FailNthAllocation(0);
        EXPECT_EQ(LiveBlockCount(), 0);
        EXPECT_EQ(kernel::LiveEventCount(), 0u);
        Quorvel(1, Text("FlushRead"), settings);
    }
    FailNthAllocation(1);
    EXPECT_EQ(Quorvel(2, status, settings).message, "Out of memory.");
}

} // namespace
} // namespace quorvel_test
