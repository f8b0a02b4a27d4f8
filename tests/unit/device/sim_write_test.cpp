// Overlapped writes on the simulated device: immediate, pending, completed in order, aborted.
#include "device_test_support.h"
#include "nt_status.h"

#include <deque>

namespace {

class SimWriteTest : public SimDeviceTest {
  protected:
    void SetUp() override
    {
        SimDeviceTest::SetUp();
        device = Open("COM1");
    }

    // The buffer is kept for the whole test: the device reads it only when
    // the write completes, as a Windows driver does.
    Outcome Write(Bytes bytes, OVERLAPPED& overlapped, DWORD* transferred = nullptr)
    {
        const Bytes& kept = buffers.emplace_back(std::move(bytes));
        return Capture([&] {
            return WriteFile(device, kept.data(), static_cast<DWORD>(kept.size()), transferred, &overlapped);
        });
    }

    DWORD OutQueue()
    {
        COMSTAT status{};
        EXPECT_TRUE(ClearCommError(device, nullptr, &status));
        return status.cbOutQue;
    }

    HANDLE device = nullptr;
    std::deque<Bytes> buffers;
};

TEST_F(SimWriteTest, AnImmediateWriteIsSentAndReportedAtOnce)
{
    const Bytes bytes{1, 2, 3};
    OVERLAPPED& overlapped = NewOverlapped();
    DWORD transferred = 0;
    Outcome outcome = Write(bytes, overlapped, &transferred);
    EXPECT_EQ(outcome.result, TRUE);
    EXPECT_EQ(transferred, 3u);
    EXPECT_TRUE(Signalled(overlapped.hEvent));
    EXPECT_EQ(sim::Sent("COM1"), bytes);
    EXPECT_EQ(overlapped.Internal, nt_status::Success);
    EXPECT_EQ(overlapped.InternalHigh, 3u);
    Result result = OverlappedResult(device, overlapped, FALSE);
    EXPECT_EQ(result.ok, TRUE);
    EXPECT_EQ(result.transferred, 3u);
}

TEST_F(SimWriteTest, PendingWritesCountInTheOutQueueAndCompleteOldestFirst)
{
    sim::SetWriteCompletion("COM1", sim::WriteCompletion::Later);
    const Bytes first{1, 2}, second{3, 4, 5};
    OVERLAPPED& firstOv = NewOverlapped();
    OVERLAPPED& secondOv = NewOverlapped();
    SetEvent(firstOv.hEvent); // a reused event must not report the new write as done
    Outcome outcome = Write(first, firstOv);
    EXPECT_EQ(outcome.result, FALSE);
    EXPECT_EQ(outcome.error, ERROR_IO_PENDING);
    EXPECT_FALSE(Signalled(firstOv.hEvent));
    EXPECT_EQ(Write(second, secondOv).error, ERROR_IO_PENDING);
    EXPECT_EQ(sim::PendingWriteCount("COM1"), 2);
    EXPECT_EQ(OutQueue(), 5u);
    EXPECT_TRUE(sim::Sent("COM1").empty());
    Result incomplete = OverlappedResult(device, firstOv, FALSE);
    EXPECT_EQ(incomplete.ok, FALSE);
    EXPECT_EQ(incomplete.error, ERROR_IO_INCOMPLETE);

    EXPECT_EQ(sim::CompleteWrites("COM1", 1), 1);
    EXPECT_TRUE(Signalled(firstOv.hEvent));
    EXPECT_FALSE(Signalled(secondOv.hEvent));
    EXPECT_EQ(sim::Sent("COM1"), first);
    EXPECT_EQ(OutQueue(), 3u);
    Result done = OverlappedResult(device, firstOv, FALSE);
    EXPECT_EQ(done.ok, TRUE);
    EXPECT_EQ(done.transferred, 2u);

    EXPECT_EQ(sim::CompleteWrites("COM1", 5), 1);
    EXPECT_EQ(sim::Sent("COM1"), (Bytes{1, 2, 3, 4, 5}));
    EXPECT_EQ(OutQueue(), 0u);
}

TEST_F(SimWriteTest, AnImmediateDeviceKeepsNewWritesBehindPendingOnes)
{
    sim::SetWriteCompletion("COM1", sim::WriteCompletion::Later);
    OVERLAPPED& older = NewOverlapped();
    OVERLAPPED& newer = NewOverlapped();
    Write({1}, older);
    sim::SetWriteCompletion("COM1", sim::WriteCompletion::Immediate);
    EXPECT_EQ(Write({2}, newer).error, ERROR_IO_PENDING);
    EXPECT_EQ(sim::CompleteWrites("COM1", 2), 2);
    EXPECT_EQ(sim::Sent("COM1"), (Bytes{1, 2}));
}

TEST_F(SimWriteTest, APendingWriteSendsItsBufferAsItIsWhenItCompletes)
{
    sim::SetWriteCompletion("COM1", sim::WriteCompletion::Later);
    Bytes bytes{1, 2};
    OVERLAPPED& overlapped = NewOverlapped();
    ASSERT_FALSE(WriteFile(device, bytes.data(), 2, nullptr, &overlapped));
    bytes[1] = 9; // a caller that reuses its buffer too early sends the wrong bytes
    sim::CompleteWrites("COM1", 1);
    EXPECT_EQ(sim::Sent("COM1"), (Bytes{1, 9}));
}

TEST_F(SimWriteTest, TransmitAbortEndsEveryPendingWriteAsAborted)
{
    sim::SetWriteCompletion("COM1", sim::WriteCompletion::Never);
    OVERLAPPED* overlapped[] = {&NewOverlapped(), &NewOverlapped()};
    Write({1, 2}, *overlapped[0]);
    Write({3}, *overlapped[1]);
    EXPECT_EQ(sim::CompleteWrites("COM1", 2), 0) << "a device that never completes keeps its writes";

    ASSERT_TRUE(PurgeComm(device, PURGE_TXABORT | PURGE_TXCLEAR));
    EXPECT_EQ(sim::PendingWriteCount("COM1"), 0);
    for (OVERLAPPED* ov : overlapped) {
        EXPECT_TRUE(Signalled(ov->hEvent));
        Result aborted = OverlappedResult(device, *ov, FALSE);
        EXPECT_EQ(aborted.ok, FALSE);
        EXPECT_EQ(aborted.error, ERROR_OPERATION_ABORTED);
        EXPECT_EQ(aborted.transferred, 0u);
    }
    EXPECT_TRUE(sim::Sent("COM1").empty());
}

TEST_F(SimWriteTest, WritesWithUnusableArgumentsAreRefusedAndQueueNothing)
{
    sim::SetWriteCompletion("COM1", sim::WriteCompletion::Later);
    OVERLAPPED& inFlight = NewOverlapped();
    Write({1}, inFlight);
    OVERLAPPED withoutEvent{};
    OVERLAPPED withClosedEvent{};
    withClosedEvent.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    CloseHandle(withClosedEvent.hEvent);
    const Bytes bytes{2};
    struct Case {
        const char* what;
        const void* buffer;
        OVERLAPPED* overlapped;
        DWORD error;
    };
    const Case cases[] = {{"no OVERLAPPED", bytes.data(), nullptr, ERROR_INVALID_PARAMETER},
                          {"no event", bytes.data(), &withoutEvent, ERROR_INVALID_PARAMETER},
                          {"closed event", bytes.data(), &withClosedEvent, ERROR_INVALID_HANDLE},
                          {"no buffer", nullptr, &NewOverlapped(), ERROR_INVALID_PARAMETER},
                          {"OVERLAPPED still in flight", bytes.data(), &inFlight, ERROR_INVALID_PARAMETER}};
    for (const Case& c : cases) {
        Outcome outcome = Capture([&] { return WriteFile(device, c.buffer, 1, nullptr, c.overlapped); });
        EXPECT_EQ(outcome.result, FALSE) << c.what;
        EXPECT_EQ(outcome.error, c.error) << c.what;
    }
    EXPECT_EQ(sim::PendingWriteCount("COM1"), 1);
}

TEST_F(SimWriteTest, ClosingTheDeviceAbortsItsTransfersAndSignalsTheirEvents)
{
    sim::SetWriteCompletion("COM1", sim::WriteCompletion::Never);
    OVERLAPPED& write = NewOverlapped();
    OVERLAPPED& read = NewOverlapped();
    Write({1, 2, 3}, write);
    Bytes buffer(4);
    EXPECT_FALSE(ReadFile(device, buffer.data(), 4, nullptr, &read));

    ASSERT_TRUE(CloseHandle(device));
    EXPECT_TRUE(Signalled(write.hEvent));
    EXPECT_TRUE(Signalled(read.hEvent));
    EXPECT_EQ(write.Internal, read.Internal) << "both end with the same cancelled status";
    EXPECT_NE(write.Internal, nt_status::Success);
    EXPECT_FALSE(sim::IsOpen("COM1"));
    EXPECT_FALSE(sim::ReadPending("COM1"));
    EXPECT_EQ(sim::PendingWriteCount("COM1"), 0);
    Open("COM1");
}

} // namespace
