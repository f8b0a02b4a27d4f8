#include "module_fixture.h"
#include "transfer/pending_writes.h"

#include <chrono>

namespace quorvel_test {
namespace {

class WriteTest : public ModuleTest {
  protected:
    void SetUp() override
    {
        ModuleTest::SetUp();
        settings = PortSettings("COM2");
        OpenPort(settings);
    }

    double Write(ArrayPtr data) { return StatusOf(Quorvel(0, Text("Write"), settings, data)); }
    CallResult WriteStatus() { return Quorvel(2, Text("GetWriteStatus"), settings); }
    double FlushWrite() { return StatusOf(Quorvel(0, Text("FlushWrite"), settings)); }
    double FlushWrite(ArrayPtr mode) { return StatusOf(Quorvel(0, Text("FlushWrite"), settings, mode)); }

    void SetWriteTimeout(double seconds)
    {
        Set(settings, "WriteTimeout", Number(seconds));
        ASSERT_EQ(StatusAt(Quorvel(2, Text("SetParams"), settings), 2), 0);
    }

    // Records the length of every wait on all of several events: the drain
    // waits out its 500 ms slices in shorter pieces.
    std::vector<DWORD>& RecordPieces()
    {
        kernel::SetWaitHook([this](const HANDLE*, DWORD, BOOL waitAll, DWORD milliseconds) {
            if (waitAll)
                pieces.push_back(milliseconds);
        });
        return pieces;
    }

    ArrayPtr settings;
    std::vector<DWORD> slices;
    std::vector<DWORD> pieces;
};

TEST_F(WriteTest, AWriteIsQueuedAndReapedOnceItCompleted)
{
    EXPECT_EQ(Write(Uint8Row({1, 2, 3})), Pending) << "even a write that completed at once";
    EXPECT_EQ(sim::Sent("COM2"), (Bytes{1, 2, 3}));
    EXPECT_EQ(PersistentBlockCount(), 2) << "node and buffer";
    CallResult status = WriteStatus();
    EXPECT_EQ(StatusAt(status, 2), 0);
    EXPECT_EQ(NumberOf(status.outputs[0].get()), 0);
    EXPECT_EQ(PersistentBlockCount(), 0);
}

TEST_F(WriteTest, WritesInFlightAreCountedUntilTheyComplete)
{
    sim::SetWriteCompletion("COM2", sim::WriteCompletion::Later);
    EXPECT_EQ(Write(Uint8Row({1, 2})), Pending);
    EXPECT_EQ(Write(Uint8Row({3, 4, 5})), Pending);
    CallResult inFlight = WriteStatus();
    EXPECT_EQ(StatusAt(inFlight, 2), Pending);
    EXPECT_EQ(NumberOf(inFlight.outputs[0].get()), 5) << "bytes in the output queue";
    sim::CompleteWrites("COM2", 1);
    EXPECT_EQ(StatusAt(WriteStatus(), 2), Pending);
    sim::CompleteWrites("COM2", 1);
    EXPECT_EQ(StatusAt(WriteStatus(), 2), 0);
    EXPECT_EQ(sim::Sent("COM2"), (Bytes{1, 2, 3, 4, 5}));
}

TEST_F(WriteTest, EmptyDataOfAnyClassWritesNothing)
{
    for (ArrayPtr& empty : ArrayList(Uint8Row({}), EmptyDouble(), Text("")))
        EXPECT_EQ(Write(std::move(empty)), 0);
    EXPECT_EQ(sim::CountCalls("WriteFile"), 0);
}

TEST_F(WriteTest, OnlyUint8DataIsWritten)
{
    for (ArrayPtr& data : ArrayList(Number(65), Text("A"), Int32Scalar(65), Logical(true)))
        EXPECT_EQ(Quorvel(0, Text("Write"), settings, data).message,
                  "Data to write must be of type \"uint8\".");
    EXPECT_EQ(sim::CountCalls("WriteFile"), 0);
}

TEST_F(WriteTest, AMatrixIsSentInColumnOrder)
{
    Write(Uint8Matrix(2, 3, {1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(sim::Sent("COM2"), (Bytes{1, 2, 3, 4, 5, 6}));
}

TEST_F(WriteTest, DataLongerThanACountCanHoldIsRefusedWhole)
{
    // Host memory is only reserved for this array, never touched.
    ArrayPtr huge = Numeric(mxUINT8_CLASS, 1, (std::size_t{1} << 31) + 1);
    EXPECT_EQ(Quorvel(0, Text("Write"), settings, huge).message,
              "Data to write must not exceed 2147483647 bytes.");
    EXPECT_EQ(sim::CountCalls("WriteFile"), 0);
    EXPECT_EQ(PersistentBlockCount(), 0);
}

TEST_F(WriteTest, AWriteThatCannotStartIsNotQueued)
{
    sim::FailCall("WriteFile", ERROR_INVALID_HANDLE);
    EXPECT_EQ(Write(Uint8Row({1})), IoFailed);
    EXPECT_EQ(PersistentBlockCount(), 0);
    EXPECT_EQ(kernel::LiveEventCount(), 0u);
    EXPECT_EQ(StatusAt(WriteStatus(), 2), 0);
}

TEST_F(WriteTest, AWriteWithoutAnEventIsNotStarted)
{
    kernel::FailEventCreations(1);
    EXPECT_EQ(Write(Uint8Row({1})), IoFailed);
    EXPECT_EQ(sim::CountCalls("WriteFile"), 0);
    EXPECT_EQ(PersistentBlockCount(), 0);
    EXPECT_EQ(StatusOf(Quorvel(0, Text("FlushWrite"), settings)), 0) << "the drain has nothing to wait for";
}

TEST_F(WriteTest, OutOfMemoryLeavesNoEventAndNothingQueued)
{
    ArrayPtr command = Text("Write"), data = Uint8Row({1, 2});
    for (long failAt : {1, 2}) {
        FailNthAllocation(failAt);
        EXPECT_EQ(Quorvel(0, command, settings, data).message, "Out of memory.") << failAt;
        EXPECT_EQ(kernel::LiveEventCount(), 0u) << failAt;
        EXPECT_EQ(LiveBlockCount(), 0) << failAt;
    }
    EXPECT_EQ(sim::CountCalls("WriteFile"), 0);
}

TEST_F(WriteTest, ClosedPortsAnswerNotOpen)
{
    Quorvel(0, Text("Close"), settings);
    EXPECT_EQ(Write(Uint8Row({1})), NotOpen);
    CallResult status = WriteStatus();
    EXPECT_EQ(StatusAt(status, 2), NotOpen);
    EXPECT_EQ(mxGetN(status.outputs[0].get()), 0u);
    EXPECT_EQ(FlushWrite(), NotOpen);
}

TEST_F(WriteTest, AFailedQueryGivesIoFailedAndAnEmptyCount)
{
    sim::FailCall("ClearCommError");
    CallResult status = WriteStatus();
    EXPECT_EQ(StatusAt(status, 2), IoFailed);
    EXPECT_TRUE(mxIsEmpty(status.outputs[0].get()));
}

TEST_F(WriteTest, LineErrorsSeenByTheWriteSideReachTheReadSide)
{
    sim::RaiseErrors("COM2", CE_FRAME);
    EXPECT_EQ(StatusAt(WriteStatus(), 2), 0) << "the write side does not report them";
    EXPECT_EQ(StatusAt(Quorvel(2, Text("GetReadStatus"), settings), 2), LineError);
}

TEST_F(WriteTest, DiscardPurgesTheOutputSide)
{
    sim::SetWriteCompletion("COM2", sim::WriteCompletion::Never);
    Write(Uint8Row({1, 2, 3}));
    EXPECT_EQ(FlushWrite(Text("DISCARD")), 0);
    std::vector<sim::CallRecord> calls = sim::Calls();
    EXPECT_EQ(calls.back().function, "PurgeComm");
    EXPECT_EQ(calls.back().args, (std::vector<std::uint64_t>{PURGE_TXABORT | PURGE_TXCLEAR}));
    EXPECT_EQ(StatusAt(WriteStatus(), 2), 0) << "the aborted write was reaped";
    EXPECT_TRUE(sim::Sent("COM2").empty());
}

TEST_F(WriteTest, AFailedDiscardGivesIoFailed)
{
    sim::FailCall("PurgeComm");
    EXPECT_EQ(FlushWrite(Text("discard")), IoFailed);
}

TEST_F(WriteTest, OtherModesWaitForTheQueue)
{
    sim::SetWriteCompletion("COM2", sim::WriteCompletion::Later);
    kernel::SetWaitHook([](const HANDLE*, DWORD, BOOL waitAll, DWORD) {
        if (waitAll)
            sim::CompleteWrites("COM2", 100);
    });
    for (ArrayPtr& mode : ArrayList(Text("discards"), Number(1), Text("wait"))) {
        Write(Uint8Row({7}));
        EXPECT_EQ(FlushWrite(std::move(mode)), 0);
        EXPECT_EQ(sim::CountCalls("PurgeComm"), 0);
    }
    EXPECT_EQ(sim::Sent("COM2"), (Bytes{7, 7, 7}));
}

TEST_F(WriteTest, NothingInFlightDrainsAtOnceWithoutHostMemory)
{
    std::vector<DWORD>& waits = RecordPieces();
    ArrayPtr command = Text("FlushWrite");
    FailNthAllocation(1);
    EXPECT_EQ(StatusOf(Quorvel(0, command, settings)), 0);
    EXPECT_TRUE(waits.empty());
}

TEST_F(WriteTest, ADrainWithAZeroLimitWaitsOneSlice)
{
    SetWriteTimeout(0);
    sim::SetWriteCompletion("COM2", sim::WriteCompletion::Never);
    Write(Uint8Row({1}));
    std::vector<DWORD>& waits = RecordPieces();
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(FlushWrite(), TimedOut);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(450));
    EXPECT_EQ(waits, (std::vector<DWORD>(5, 100))) << "one 500 ms slice";
    EXPECT_EQ(StatusAt(WriteStatus(), 2), Pending) << "the write stays queued";
}

TEST_F(WriteTest, ASliceWithOnlySomeWritesDoneStillCounts)
{
    SetWriteTimeout(0);
    sim::SetWriteCompletion("COM2", sim::WriteCompletion::Later);
    Write(Uint8Row({1}));
    Write(Uint8Row({2}));
    kernel::SetWaitHook([this](const HANDLE*, DWORD count, BOOL waitAll, DWORD) {
        if (!waitAll)
            return;
        slices.push_back(count);
        if (slices.size() == 1)
            sim::CompleteWrites("COM2", 1);
    });
    EXPECT_EQ(FlushWrite(), TimedOut);
    EXPECT_EQ(slices, (std::vector<DWORD>(5, 2))) << "the five pieces of one slice wait on both";
    EXPECT_EQ(sim::PendingWriteCount("COM2"), 1);
    CallResult status = WriteStatus();
    EXPECT_EQ(StatusAt(status, 2), Pending) << "the finished write was reaped, the other stays";
    EXPECT_EQ(NumberOf(status.outputs[0].get()), 1);
}

TEST_F(WriteTest, ADrainWhoseEveryWaitFailsStillEndsWithinItsSlices)
{
    SetWriteTimeout(1);
    sim::SetWriteCompletion("COM2", sim::WriteCompletion::Never);
    Write(Uint8Row({1}));
    std::vector<DWORD>& waits = RecordPieces();
    kernel::FailWaits(1000);
    EXPECT_EQ(FlushWrite(), TimedOut);
    kernel::FailWaits(0);
    EXPECT_EQ(waits.size(), 3u)
        << "each failed wait counts as a slice: the two of 1 s, then the one past them";
}

TEST_F(WriteTest, SeventyWritesAreDrainedSixtyFourNewestAtATime)
{
    sim::SetWriteCompletion("COM2", sim::WriteCompletion::Later);
    for (std::uint8_t i = 0; i < 70; ++i)
        ASSERT_EQ(Write(Uint8Row({i})), Pending);
    kernel::SetWaitHook([this](const HANDLE*, DWORD count, BOOL waitAll, DWORD) {
        if (!waitAll)
            return;
        slices.push_back(count);
        sim::CompleteWrites("COM2", 70);
    });
    EXPECT_EQ(FlushWrite(), 0);
    EXPECT_EQ(slices, (std::vector<DWORD>{64})) << "the oldest six were reaped after the first slice";
    Bytes expected;
    for (std::uint8_t i = 0; i < 70; ++i)
        expected.push_back(i);
    EXPECT_EQ(sim::Sent("COM2"), expected);
}

TEST_F(WriteTest, TheOldestWritesAreReapedWhenTheyFinishOutsideTheWaitedSlice)
{
    sim::SetWriteCompletion("COM2", sim::WriteCompletion::Later);
    for (std::uint8_t i = 0; i < 70; ++i)
        Write(Uint8Row({i}));
    kernel::SetWaitHook([this](const HANDLE*, DWORD count, BOOL waitAll, DWORD) {
        if (!waitAll)
            return;
        slices.push_back(count);
        // First wait: only the six oldest, which it does not wait on, finish.
        sim::CompleteWrites("COM2", slices.size() == 1 ? 6 : 64);
    });
    EXPECT_EQ(FlushWrite(), 0);
    EXPECT_EQ(slices, (std::vector<DWORD>{64, 64}));
}

TEST_F(WriteTest, CloseReportsWritesThatDidNotFinishAndFreesThem)
{
    SetWriteTimeout(0);
    sim::SetWriteCompletion("COM2", sim::WriteCompletion::Never);
    Write(Uint8Row({1, 2}));
    Write(Uint8Row({3}));
    EXPECT_EQ(StatusOf(Quorvel(0, Text("Close"), settings)), TimedOut);
    EXPECT_FALSE(sim::IsOpen("COM2"));
    EXPECT_EQ(PersistentBlockCount(), 0);
    EXPECT_EQ(kernel::LiveEventCount(), 0u);
    OpenPort(settings);
    EXPECT_EQ(StatusAt(WriteStatus(), 2), 0) << "a reopened slot starts with an empty queue";
}

TEST_F(WriteTest, OutOfMemoryInTheDrainLeavesThePortOpen)
{
    sim::SetWriteCompletion("COM2", sim::WriteCompletion::Later);
    Write(Uint8Row({1}));
    ArrayPtr command = Text("Close");
    FailNthAllocation(1);
    EXPECT_EQ(Quorvel(0, command, settings).message, "Out of memory.");
    EXPECT_TRUE(sim::IsOpen("COM2"));
    EXPECT_EQ(LockCount(), 1);
    sim::CompleteWrites("COM2", 1);
}

struct LostWrite {
    const char* how;
    DWORD error;
    DWORD sent; // of 3 bytes
};

TEST_F(WriteTest, AWriteThatEndsFailedOrShortIsReportedOnceByFlushWriteOrClose)
{
    const LostWrite cases[] = {{"failed", ERROR_GEN_FAILURE, 0}, {"short", ERROR_SUCCESS, 1}};
    for (const LostWrite& lost : cases) {
        for (const char* reporter : {"FlushWrite", "Close"}) {
            SCOPED_TRACE(std::string(lost.how) + ", " + reporter);
            sim::SetWriteCompletion("COM2", sim::WriteCompletion::Later);
            Write(Uint8Row({1, 2, 3}));
            sim::EndWritesEarly("COM2", 1, lost.error, lost.sent);
            EXPECT_EQ(StatusAt(WriteStatus(), 2), 0) << "reaped, not yet reported";
            EXPECT_EQ(StatusOf(Quorvel(0, Text(reporter), settings)), IoFailed);
            EXPECT_EQ(StatusOf(Quorvel(0, Text(reporter), settings)),
                      std::string(reporter) == "Close" ? NotOpen : 0)
                << "reported once";
            EXPECT_EQ(LockCount(), std::string(reporter) == "Close" ? 0 : 1);
            if (!sim::IsOpen("COM2"))
                OpenPort(settings);
        }
    }
}

TEST_F(WriteTest, ALostWriteIsReportedWithTimedOutWhenOthersDidNotFinish)
{
    SetWriteTimeout(0);
    sim::SetWriteCompletion("COM2", sim::WriteCompletion::Later);
    Write(Uint8Row({1}));
    Write(Uint8Row({2}));
    sim::EndWritesEarly("COM2", 1, ERROR_DEVICE_NOT_CONNECTED, 0);
    EXPECT_EQ(FlushWrite(), IoFailed | TimedOut);
    EXPECT_EQ(StatusOf(Quorvel(0, Text("Close"), settings)), TimedOut);
}

TEST_F(WriteTest, DiscardedWritesAreNotReportedLost)
{
    sim::SetWriteCompletion("COM2", sim::WriteCompletion::Never);
    Write(Uint8Row({1, 2, 3}));
    EXPECT_EQ(FlushWrite(Text("discard")), 0);
    EXPECT_EQ(FlushWrite(), 0);
    EXPECT_EQ(StatusOf(Quorvel(0, Text("Close"), settings)), 0);
}

TEST_F(WriteTest, AWriteTheCloseDidNotEndIsKeptUntilTheDeviceEndsIt)
{
    SetWriteTimeout(0);
    sim::SetWriteCompletion("COM2", sim::WriteCompletion::Stuck);
    Write(Uint8Row({1, 2, 3}));
    Write(Uint8Row({4}));
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(StatusOf(Quorvel(0, Text("Close"), settings)), TimedOut);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2500))
        << "one drain slice and one bounded wait after the close, not one per write";
    EXPECT_FALSE(sim::IsOpen("COM2"));
    EXPECT_EQ(LockCount(), 0);
    // Kept across a later call, and across an unload, which neither waits nor frees.
    Quorvel(2, Text("GetParams"), settings);
    start = std::chrono::steady_clock::now();
    EXPECT_TRUE(ClearModule());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(100));
    EXPECT_EQ(OrphanCount(), 2);
    EXPECT_EQ(PersistentBlockCount(), 4) << "nodes (with their OVERLAPPEDs) and buffers";
    EXPECT_EQ(kernel::LiveEventCount(), 2u);

    EXPECT_EQ(sim::CompleteWrites("COM2", 2), 2);
    EXPECT_EQ(sim::Sent("COM2"), (Bytes{1, 2, 3, 4})) << "the buffers were still whole";
    Quorvel(2, Text("GetParams"), settings);
    EXPECT_EQ(OrphanCount(), 0);
    EXPECT_EQ(PersistentBlockCount(), 0);
    EXPECT_EQ(kernel::LiveEventCount(), 0u);
}

TEST_F(WriteTest, AnInterruptEndsTheDrainAsIfItsTimeRanOut)
{
    sim::SetWriteCompletion("COM2", sim::WriteCompletion::Never);
    for (const char* command : {"FlushWrite", "Close"}) {
        Write(Uint8Row({1}));
        kernel::SetWaitHook([](const HANDLE*, DWORD, BOOL waitAll, DWORD) {
            if (waitAll)
                RequestInterrupt();
        });
        auto start = std::chrono::steady_clock::now();
        CallResult result = Quorvel(0, Text(command), settings);
        kernel::SetWaitHook({});
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1)) << command;
        EXPECT_TRUE(result.interrupted) << command;
        EXPECT_EQ(StatusOf(result), TimedOut) << command;
    }
    EXPECT_FALSE(sim::IsOpen("COM2")) << "Close still closed the port";
    EXPECT_EQ(LockCount(), 0);
}

} // namespace
} // namespace quorvel_test
