#include "device_fixture.h"
#include "nt_status.h"

#include <ctime>
#include <thread>

namespace tty_test {
namespace {

class HangUpTest : public DeviceTest {
  protected:
    void SetUp() override
    {
        DeviceTest::SetUp();
        OpenPort();
    }

    void ExpectDeviceGone()
    {
        Transfer& read = NewTransfer(1);
        Outcome refusedRead = StartRead(read, 1);
        EXPECT_FALSE(refusedRead.ok);
        EXPECT_EQ(refusedRead.error, ERROR_DEVICE_NOT_CONNECTED);
        Transfer& write = NewTransfer();
        EXPECT_EQ(StartWrite(write, {'x'}).error, ERROR_DEVICE_NOT_CONNECTED);
        DWORD errors = 0;
        COMSTAT status{};
        EXPECT_FALSE(ClearCommError(port_, &errors, &status));
        EXPECT_EQ(GetLastError(), ERROR_DEVICE_NOT_CONNECTED);
        EXPECT_TRUE(PurgeComm(port_, PURGE_RXABORT | PURGE_RXCLEAR | PURGE_TXABORT | PURGE_TXCLEAR))
            << "a purge must still end what a dead device left";
    }
};

double ProcessCpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

TEST_F(HangUpTest, FarEndClosingFailsAPendingReadThatHadNoBytes)
{
    Transfer& read = NewTransfer(4);
    ASSERT_EQ(StartRead(read, 4).error, ERROR_IO_PENDING);
    pty_.CloseMaster();
    ASSERT_TRUE(Signalled(read, 2000));
    Outcome ended = ResultOf(read, false);
    EXPECT_FALSE(ended.ok);
    EXPECT_EQ(ended.error, ERROR_DEVICE_NOT_CONNECTED);
    ExpectDeviceGone();
}

TEST_F(HangUpTest, FarEndClosingDeliversWhatAPendingReadHadReceived)
{
    pty_.Send({'l', 'a', 's', 't'});
    ASSERT_TRUE(WaitUntil([&] { return pty_.WaitingAtSlave() == 4; }, milliseconds(2000)));
    Transfer& read = NewTransfer(10);
    ASSERT_EQ(StartRead(read, 10).error, ERROR_IO_PENDING);
    pty_.CloseMaster();
    Outcome ended = ResultOf(read, true);
    EXPECT_TRUE(ended.ok);
    EXPECT_EQ(ended.transferred, 4u);
    EXPECT_EQ(Bytes(read.buffer.begin(), read.buffer.begin() + 4), (Bytes{'l', 'a', 's', 't'}));
}

TEST_F(HangUpTest, FarEndClosingFailsAPendingWriteWithTheBytesSoFar)
{
    Transfer& write = NewTransfer();
    ASSERT_EQ(StartWrite(write, Pattern(200000, 5)).error, ERROR_IO_PENDING);
    pty_.CloseMaster();
    ASSERT_TRUE(Signalled(write, 2000));
    Outcome ended = ResultOf(write, false);
    EXPECT_EQ(ended.error, ERROR_DEVICE_NOT_CONNECTED);
    EXPECT_GT(ended.transferred, 0u);
    EXPECT_LT(ended.transferred, 200000u);
    ExpectDeviceGone();
}

TEST_F(HangUpTest, AnIdleDeviceWhoseFarEndClosedDoesNotSpin)
{
    pty_.CloseMaster();
    std::this_thread::sleep_for(milliseconds(20));
    const double before = ProcessCpuSeconds();
    std::this_thread::sleep_for(milliseconds(300));
    EXPECT_LT(ProcessCpuSeconds() - before, 0.1) << "the worker keeps waking on the hung-up tty";
    ExpectDeviceGone();
}

TEST_F(HangUpTest, ClosingEndsOutstandingTransfersAsAborted)
{
    Reconfigure([](DCB& d) { d.fOutX = 1; });
    pty_.Send({0x13});
    Transfer& read = NewTransfer(8);
    ASSERT_EQ(StartRead(read, 8).error, ERROR_IO_PENDING);
    Transfer& write = NewTransfer();
    ASSERT_EQ(StartWrite(write, Pattern(100000, 6)).error, ERROR_IO_PENDING);
    const HANDLE port = port_;
    DWORD waiterError = 0;
    std::thread waiter([&read, port, &waiterError] {
        DWORD transferred = 0;
        if (!GetOverlappedResult(port, &read.overlapped, &transferred, TRUE))
            waiterError = GetLastError();
    });
    std::this_thread::sleep_for(milliseconds(50)); // lets the waiter get into its wait
    ClosePort();
    waiter.join();
    EXPECT_EQ(waiterError, ERROR_OPERATION_ABORTED);
    for (Transfer* transfer : {&read, &write}) {
        EXPECT_TRUE(Signalled(*transfer, 0)) << "CloseHandle returned before the transfer ended";
        EXPECT_EQ(transfer->overlapped.Internal, nt_status::Cancelled);
    }
    OpenPort();
}

} // namespace
} // namespace tty_test
