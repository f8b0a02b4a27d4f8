// Overlapped reads, line errors and waiting for a result on the simulated device.
#include "device_test_support.h"

#include <chrono>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

class SimReadTest : public SimDeviceTest {
  protected:
    void SetUp() override
    {
        SimDeviceTest::SetUp();
        device = Open("COM2");
    }

    Outcome Read(DWORD count, DWORD* transferred = nullptr)
    {
        buffer.assign(count, 0);
        return Capture([&] { return ReadFile(device, buffer.data(), count, transferred, &overlapped); });
    }

    DWORD InQueue()
    {
        COMSTAT status{};
        EXPECT_TRUE(ClearCommError(device, nullptr, &status));
        return status.cbInQue;
    }

    Bytes Received(DWORD count) { return Bytes(buffer.begin(), buffer.begin() + count); }

    HANDLE device = nullptr;
    OVERLAPPED& overlapped = NewOverlapped();
    Bytes buffer;
};

TEST_F(SimReadTest, AReadTheQueueCanFillCompletesAtOnceAndLeavesTheRest)
{
    sim::QueueInput("COM2", {1, 2, 3, 4, 5});
    DWORD transferred = 0;
    EXPECT_EQ(Read(3, &transferred).result, TRUE);
    EXPECT_EQ(transferred, 3u);
    EXPECT_EQ(buffer, (Bytes{1, 2, 3}));
    EXPECT_TRUE(Signalled(overlapped.hEvent));
    EXPECT_EQ(InQueue(), 2u);
}

TEST_F(SimReadTest, APendingReadIsFilledFirstAndTheRestWaitsInTheQueue)
{
    sim::QueueInput("COM2", {1, 2});
    Outcome outcome = Read(4);
    EXPECT_EQ(outcome.result, FALSE);
    EXPECT_EQ(outcome.error, ERROR_IO_PENDING);
    EXPECT_TRUE(sim::ReadPending("COM2"));
    EXPECT_EQ(InQueue(), 0u) << "the pending read holds the bytes it got";

    sim::QueueInput("COM2", {3});
    EXPECT_FALSE(Signalled(overlapped.hEvent));
    sim::QueueInput("COM2", {4, 5, 6});
    EXPECT_FALSE(sim::ReadPending("COM2"));
    Result result = OverlappedResult(device, overlapped, FALSE);
    EXPECT_EQ(result.ok, TRUE);
    EXPECT_EQ(result.transferred, 4u);
    EXPECT_EQ(buffer, (Bytes{1, 2, 3, 4}));
    EXPECT_EQ(InQueue(), 2u);
}

TEST_F(SimReadTest, WithShortReadsAReadCompletesOnceItHoldsAnyByte)
{
    sim::SetShortReads("COM2", sim::ShortReads::CompleteAtOnce);
    sim::QueueInput("COM2", {7, 8});
    DWORD transferred = 0;
    EXPECT_EQ(Read(5, &transferred).result, TRUE);
    EXPECT_EQ(Received(transferred), (Bytes{7, 8}));

    EXPECT_EQ(Read(5).error, ERROR_IO_PENDING) << "the interval time-out only runs after a first byte";
    sim::QueueInput("COM2", {9});
    Result result = OverlappedResult(device, overlapped, FALSE);
    EXPECT_EQ(result.ok, TRUE);
    EXPECT_EQ(Received(result.transferred), (Bytes{9}));
}

TEST_F(SimReadTest, AnExpiredReadCompletesShortWithWhatItHas)
{
    struct Case {
        Bytes arrived;
    };
    const Case cases[] = {{{}}, {{1}}, {{1, 2, 3}}};
    for (const Case& c : cases) {
        sim::QueueInput("COM2", c.arrived);
        ASSERT_EQ(Read(4).error, ERROR_IO_PENDING);
        sim::ExpireRead("COM2");
        Result result = OverlappedResult(device, overlapped, FALSE);
        EXPECT_EQ(result.ok, TRUE);
        EXPECT_EQ(Received(result.transferred), c.arrived);
    }
}

TEST_F(SimReadTest, ReceiveAbortEndsThePendingReadWithTheBytesItHad)
{
    sim::QueueInput("COM2", {1, 2});
    Read(4);
    ASSERT_TRUE(PurgeComm(device, PURGE_RXABORT));
    EXPECT_TRUE(Signalled(overlapped.hEvent));
    Result result = OverlappedResult(device, overlapped, FALSE);
    EXPECT_EQ(result.ok, FALSE);
    EXPECT_EQ(result.error, ERROR_OPERATION_ABORTED);
    EXPECT_EQ(result.transferred, 2u);
    EXPECT_FALSE(sim::ReadPending("COM2"));
}

TEST_F(SimReadTest, ReceiveClearEmptiesTheInputQueueOnly)
{
    sim::QueueInput("COM2", {1, 2, 3});
    ASSERT_TRUE(PurgeComm(device, PURGE_RXCLEAR));
    EXPECT_EQ(InQueue(), 0u);
    sim::QueueInput("COM2", {4});
    DWORD transferred = 0;
    EXPECT_EQ(Read(1, &transferred).result, TRUE);
    EXPECT_EQ(buffer, (Bytes{4}));
}

TEST_F(SimReadTest, OnlyOneReadMayBePendingPerDevice)
{
    Read(4);
    OVERLAPPED& second = NewOverlapped();
    Bytes other(4);
    Outcome outcome = Capture([&] { return ReadFile(device, other.data(), 4, nullptr, &second); });
    EXPECT_EQ(outcome.result, FALSE);
    EXPECT_EQ(outcome.error, ERROR_INVALID_PARAMETER);
    sim::QueueInput("COM2", {1, 2, 3, 4});
    EXPECT_EQ(buffer, (Bytes{1, 2, 3, 4})) << "the first read is unaffected";
}

TEST_F(SimReadTest, ClearCommErrorReportsRaisedErrorsOnce)
{
    sim::RaiseErrors("COM2", CE_FRAME);
    sim::RaiseErrors("COM2", CE_OVERRUN);
    sim::QueueInput("COM2", {1, 2, 3});
    DWORD errors = 0;
    COMSTAT status{};
    ASSERT_TRUE(ClearCommError(device, &errors, &status));
    EXPECT_EQ(errors, static_cast<DWORD>(CE_FRAME | CE_OVERRUN));
    EXPECT_EQ(status.cbInQue, 3u);
    ASSERT_TRUE(ClearCommError(device, &errors, nullptr));
    EXPECT_EQ(errors, 0u);

    sim::RaiseErrors("COM2", CE_BREAK);
    ASSERT_TRUE(ClearCommError(device, nullptr, nullptr));
    ASSERT_TRUE(ClearCommError(device, &errors, nullptr));
    EXPECT_EQ(errors, 0u) << "errors are cleared even when not asked for";
}

TEST_F(SimReadTest, AWaitingResultCanBeFinishedFromTheWaitHook)
{
    Read(2);
    int hooked = 0;
    kernel::SetWaitHook([&](const HANDLE* objects, DWORD count, BOOL, DWORD) {
        ++hooked;
        EXPECT_EQ(count, 1u);
        EXPECT_EQ(objects[0], overlapped.hEvent);
        sim::QueueInput("COM2", {5, 6});
    });
    Result result = OverlappedResult(device, overlapped, TRUE);
    EXPECT_EQ(hooked, 1);
    EXPECT_EQ(result.ok, TRUE);
    EXPECT_EQ(result.transferred, 2u);
    EXPECT_EQ(sim::WouldHangCount(), 0);
}

TEST_F(SimReadTest, AWaitingResultCanBeFinishedFromAnotherThread)
{
    Read(3);
    std::thread line([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        sim::QueueInput("COM2", {1, 2, 3});
    });
    Result result = OverlappedResult(device, overlapped, TRUE);
    line.join();
    EXPECT_EQ(result.ok, TRUE);
    EXPECT_EQ(buffer, (Bytes{1, 2, 3}));
}

TEST_F(SimReadTest, AWaitThatNothingWillEndGivesUpAndIsCounted)
{
    Read(1);
    const auto started = Clock::now();
    Result result = OverlappedResult(device, overlapped, TRUE);
    const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started);
    EXPECT_EQ(result.ok, FALSE);
    EXPECT_EQ(result.error, ERROR_IO_INCOMPLETE);
    EXPECT_EQ(sim::WouldHangCount(), 1);
    EXPECT_GE(waited.count(), 4000);
    EXPECT_TRUE(sim::ReadPending("COM2")) << "giving up does not end the transfer";
}

} // namespace
