#include "device_fixture.h"
#include "nt_status.h"

#include <atomic>
#include <sys/prctl.h>
#include <thread>

namespace tty_test {
namespace {

constexpr char XOFF = 0x13;
constexpr char XON = 0x11;

class TransferTest : public DeviceTest {
  protected:
    void SetUp() override
    {
        DeviceTest::SetUp();
        OpenPort();
    }

    // Bytes sent by the far end that have reached the tty's input queue.
    void SendAndAwait(const Bytes& bytes)
    {
        const std::size_t before = pty_.WaitingAtSlave();
        pty_.Send(bytes);
        ASSERT_TRUE(
            WaitUntil([&] { return pty_.WaitingAtSlave() >= before + bytes.size(); }, milliseconds(2000)));
    }

    // Output stopped by the far end's XOFF; the marker after it shows it was seen.
    void HoldOutput()
    {
        Reconfigure([](DCB& d) { d.fOutX = 1; });
        pty_.Send({XOFF, 'M'});
        ASSERT_TRUE(WaitUntil([&] { return pty_.WaitingAtSlave() == 1; }, milliseconds(2000)));
        ASSERT_TRUE(PurgeComm(port_, PURGE_RXCLEAR));
    }
};

TEST_F(TransferTest, ASmallWriteEndsAtOnceAndArrives)
{
    Transfer& write = NewTransfer();
    Outcome started = StartWrite(write, {'h', 'e', 'l', 'l', 'o'});
    EXPECT_TRUE(started.ok) << started.error;
    EXPECT_EQ(started.transferred, 5u);
    EXPECT_TRUE(Signalled(write, 0)) << "an overlapped write that ends at once still signals";
    EXPECT_EQ(pty_.Receive(5, milliseconds(2000)), (Bytes{'h', 'e', 'l', 'l', 'o'}));
}

TEST_F(TransferTest, AReadWhoseBytesAreThereEndsAtOnce)
{
    SendAndAwait({'a', 'b', 'c', 'd'});
    Transfer& read = NewTransfer(3);
    Outcome started = StartRead(read, 3);
    EXPECT_TRUE(started.ok) << started.error;
    EXPECT_EQ(started.transferred, 3u);
    EXPECT_EQ(read.buffer, (Bytes{'a', 'b', 'c'}));
    EXPECT_EQ(Queues().cbInQue, 1u);
}

TEST_F(TransferTest, APendingReadEndsWhenItsBytesArrive)
{
    Transfer& read = NewTransfer(6);
    Outcome started = StartRead(read, 6);
    ASSERT_FALSE(started.ok);
    ASSERT_EQ(started.error, ERROR_IO_PENDING);
    EXPECT_EQ(ResultOf(read, false).error, ERROR_IO_INCOMPLETE);
    pty_.Send({'w', 'o'});
    pty_.Send({'r', 'l', 'd', '!'});
    Outcome ended = ResultOf(read, true);
    EXPECT_TRUE(ended.ok);
    EXPECT_EQ(ended.transferred, 6u);
    EXPECT_EQ(read.buffer, (Bytes{'w', 'o', 'r', 'l', 'd', '!'}));
    EXPECT_EQ(read.overlapped.Internal, nt_status::Success);
    EXPECT_EQ(read.overlapped.InternalHigh, 6u);
}

TEST_F(TransferTest, AGapLongerThanTheIntervalEndsAReadShort)
{
    SetReadTimeouts(30, 0, 0);
    Transfer& read = NewTransfer(10);
    ASSERT_EQ(StartRead(read, 10).error, ERROR_IO_PENDING);
    pty_.Send({'1', '2', '3'});
    ASSERT_TRUE(Signalled(read, 2000));
    Outcome ended = ResultOf(read, false);
    EXPECT_TRUE(ended.ok);
    EXPECT_EQ(ended.transferred, 3u);
    EXPECT_EQ(Bytes(read.buffer.begin(), read.buffer.begin() + 3), (Bytes{'1', '2', '3'}));
}

TEST_F(TransferTest, AnIntervalAloneNeverEndsAReadThatHasNoBytes)
{
    SetReadTimeouts(20, 0, 0);
    Transfer& read = NewTransfer(2);
    ASSERT_EQ(StartRead(read, 2).error, ERROR_IO_PENDING);
    EXPECT_FALSE(Signalled(read, 150));
    EXPECT_EQ(ResultOf(read, false).error, ERROR_IO_INCOMPLETE);
    pty_.Send({'o', 'k'});
    EXPECT_TRUE(ResultOf(read, true).ok);
    EXPECT_EQ(read.buffer, (Bytes{'o', 'k'}));
}

TEST_F(TransferTest, ATotalTimeoutEndsAReadWithWhatCame)
{
    SetReadTimeouts(0, 10, 40); // 10 x 4 + 40 = 80 ms
    Transfer& read = NewTransfer(4);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(StartRead(read, 4).error, ERROR_IO_PENDING);
    pty_.Send({'x'});
    Outcome ended = ResultOf(read, true);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_TRUE(ended.ok);
    EXPECT_EQ(ended.transferred, 1u);
    EXPECT_GE(elapsed, milliseconds(80));
    EXPECT_LT(elapsed, milliseconds(2000));
}

TEST_F(TransferTest, MaximumIntervalReturnsAtOnceWithWhatIsThere)
{
    SetReadTimeouts(Forever, 0, 0);
    Transfer& empty = NewTransfer(8);
    Outcome none = StartRead(empty, 8);
    EXPECT_TRUE(none.ok);
    EXPECT_EQ(none.transferred, 0u);
    SendAndAwait({'p', 'q', 'r'});
    Transfer& some = NewTransfer(8);
    Outcome three = StartRead(some, 8);
    EXPECT_TRUE(three.ok);
    EXPECT_EQ(three.transferred, 3u);
}

TEST_F(TransferTest, MaximumIntervalAndMultiplierReturnOnTheFirstBytes)
{
    SetReadTimeouts(Forever, Forever, 5000);
    Transfer& read = NewTransfer(8);
    ASSERT_EQ(StartRead(read, 8).error, ERROR_IO_PENDING);
    pty_.Send({'h', 'i'});
    ASSERT_TRUE(Signalled(read, 2000)) << "the read waited for more than the first bytes";
    EXPECT_EQ(ResultOf(read, false).transferred, 2u);
}

TEST_F(TransferTest, ReadsQueuedBehindEachOtherTakeTheBytesInTurn)
{
    Transfer& first = NewTransfer(3);
    Transfer& second = NewTransfer(3);
    ASSERT_EQ(StartRead(first, 3).error, ERROR_IO_PENDING);
    ASSERT_EQ(StartRead(second, 3).error, ERROR_IO_PENDING);
    pty_.Send({'1', '2', '3', '4', '5', '6'});
    EXPECT_TRUE(ResultOf(second, true).ok);
    EXPECT_EQ(first.buffer, (Bytes{'1', '2', '3'}));
    EXPECT_EQ(second.buffer, (Bytes{'4', '5', '6'}));
}

TEST_F(TransferTest, CancelIoExEndsTheNamedTransferOrEveryOneAndOnlyOnce)
{
    Transfer& first = NewTransfer(3);
    Transfer& second = NewTransfer(3);
    ASSERT_EQ(StartRead(first, 3).error, ERROR_IO_PENDING);
    ASSERT_EQ(StartRead(second, 3).error, ERROR_IO_PENDING);
    ASSERT_TRUE(CancelIoEx(port_, &first.overlapped));
    EXPECT_EQ(ResultOf(first, false).error, ERROR_OPERATION_ABORTED);
    EXPECT_FALSE(Signalled(second, 0)) << "only the named read ended";
    EXPECT_FALSE(CancelIoEx(port_, &first.overlapped));
    EXPECT_EQ(GetLastError(), ERROR_NOT_FOUND);
    pty_.Send({'x', 'y', 'z'});
    EXPECT_TRUE(ResultOf(second, true).ok) << "the next read took over";
    EXPECT_EQ(second.buffer, (Bytes{'x', 'y', 'z'}));

    Transfer& third = NewTransfer(3);
    ASSERT_EQ(StartRead(third, 3).error, ERROR_IO_PENDING);
    ASSERT_TRUE(CancelIoEx(port_, nullptr));
    EXPECT_EQ(ResultOf(third, false).error, ERROR_OPERATION_ABORTED);
    EXPECT_FALSE(CancelIoEx(port_, nullptr)) << "nothing left to cancel";
}

TEST_F(TransferTest, ReadAbortEndsAPendingReadWithTheBytesSoFar)
{
    SendAndAwait({'a', 'b'});
    Transfer& read = NewTransfer(10);
    ASSERT_EQ(StartRead(read, 10).error, ERROR_IO_PENDING);
    ASSERT_TRUE(PurgeComm(port_, PURGE_RXABORT));
    EXPECT_TRUE(Signalled(read, 0));
    Outcome ended = ResultOf(read, false);
    EXPECT_FALSE(ended.ok);
    EXPECT_EQ(ended.error, ERROR_OPERATION_ABORTED);
    EXPECT_EQ(ended.transferred, 2u);
    EXPECT_EQ(Bytes(read.buffer.begin(), read.buffer.begin() + 2), (Bytes{'a', 'b'}));
}

TEST_F(TransferTest, ReadClearDropsWaitingInput)
{
    SendAndAwait({'o', 'l', 'd'});
    EXPECT_EQ(Queues().cbInQue, 3u);
    ASSERT_TRUE(PurgeComm(port_, PURGE_RXCLEAR));
    EXPECT_EQ(Queues().cbInQue, 0u);
    pty_.Send({'n', 'e', 'w'});
    Transfer& read = NewTransfer(3);
    StartRead(read, 3);
    EXPECT_TRUE(ResultOf(read, true).ok);
    EXPECT_EQ(read.buffer, (Bytes{'n', 'e', 'w'}));
}

TEST_F(TransferTest, WritesHeldByXoffWaitInTheOutputQueueAndAbortUnsent)
{
    HoldOutput();
    Transfer& first = NewTransfer();
    Transfer& second = NewTransfer();
    ASSERT_EQ(StartWrite(first, Pattern(100, 1)).error, ERROR_IO_PENDING);
    ASSERT_EQ(StartWrite(second, Pattern(50, 2)).error, ERROR_IO_PENDING);
    EXPECT_EQ(Queues().cbOutQue, 150u);
    ASSERT_TRUE(PurgeComm(port_, PURGE_TXABORT | PURGE_TXCLEAR));
    for (Transfer* write : {&first, &second}) {
        EXPECT_TRUE(Signalled(*write, 0));
        Outcome ended = ResultOf(*write, false);
        EXPECT_EQ(ended.error, ERROR_OPERATION_ABORTED);
        EXPECT_EQ(ended.transferred, 0u);
    }
    EXPECT_EQ(Queues().cbOutQue, 0u);
    pty_.Send({XON});
    EXPECT_TRUE(pty_.Receive(1, milliseconds(100)).empty()) << "aborted bytes went out";
    Transfer& after = NewTransfer();
    EXPECT_TRUE(StartWrite(after, {'z'}).ok);
    EXPECT_EQ(pty_.Receive(1, milliseconds(2000)), Bytes{'z'});
}

TEST_F(TransferTest, AnAbortedWriteReportsExactlyTheBytesThatLeft)
{
    const Bytes data = Pattern(256 * 1024, 3);
    Transfer& write = NewTransfer();
    ASSERT_EQ(StartWrite(write, data).error, ERROR_IO_PENDING) << "the far end reads nothing yet";
    ASSERT_TRUE(PurgeComm(port_, PURGE_TXABORT));
    Outcome ended = ResultOf(write, false);
    EXPECT_EQ(ended.error, ERROR_OPERATION_ABORTED);
    EXPECT_GT(ended.transferred, 0u);
    Bytes arrived = pty_.Receive(data.size(), milliseconds(300));
    EXPECT_EQ(arrived.size(), ended.transferred);
    EXPECT_EQ(arrived, Bytes(data.begin(), data.begin() + arrived.size()));
}

TEST_F(TransferTest, WritesLeaveInTheOrderTheyWereStarted)
{
    Bytes expected;
    std::vector<Transfer*> writes;
    for (std::uint8_t i = 0; i < 40; ++i) {
        Bytes block = Pattern(3000 + i, i);
        expected.insert(expected.end(), block.begin(), block.end());
        writes.push_back(&NewTransfer());
        Outcome started = StartWrite(*writes.back(), block);
        ASSERT_TRUE(started.ok || started.error == ERROR_IO_PENDING) << started.error;
    }
    EXPECT_GT(Queues().cbOutQue, 0u) << "the far end reads nothing yet";
    EXPECT_EQ(pty_.Receive(expected.size(), milliseconds(5000)), expected);
    for (Transfer* write : writes) {
        Outcome ended = ResultOf(*write, true);
        EXPECT_TRUE(ended.ok);
        EXPECT_EQ(ended.transferred, write->buffer.size());
    }
}

// An echo on the far end answers within microseconds: most answers are taken
// on the caller's thread while ReadFile waits briefly after the question.
TEST_F(TransferTest, AnswersThatFollowAWriteClosely)
{
    std::atomic<bool> stop{false};
    std::thread echo([&] {
        while (!stop)
            if (Bytes got = pty_.Receive(1, milliseconds(5)); !got.empty())
                pty_.Send(got);
    });
    int endedAtOnce = 0;
    for (std::uint8_t question = 0; question < 50; ++question) {
        Transfer& write = NewTransfer();
        Transfer& read = NewTransfer(1);
        ASSERT_TRUE(StartWrite(write, {question}).ok);
        Outcome started = StartRead(read, 1);
        endedAtOnce += started.ok;
        Outcome ended = started.ok ? started : ResultOf(read, true);
        EXPECT_TRUE(ended.ok);
        EXPECT_EQ(read.buffer, Bytes{question});
    }
    stop = true;
    echo.join();
    EXPECT_GT(endedAtOnce, 0) << "no answer was taken on the caller's thread";
}

// The brief wait for an answer may end late by a little, never by the read's
// own time-out, and hands the caller's thread back as it found it.
TEST_F(TransferTest, AnUnansweredQuestionHandsTheReadOverSoonWithTheThreadsTimerSlackIntact)
{
    SetReadTimeouts(1000, 0, 0);
    constexpr int CallersSlack = 123456; // ns
    ASSERT_EQ(prctl(PR_SET_TIMERSLACK, CallersSlack, 0, 0, 0), 0);
    ASSERT_TRUE(StartWrite(NewTransfer(), {'?'}).ok);
    Transfer& read = NewTransfer(1);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(StartRead(read, 1).error, ERROR_IO_PENDING);
    EXPECT_LT(std::chrono::steady_clock::now() - start, milliseconds(200));
    EXPECT_EQ(prctl(PR_GET_TIMERSLACK, 0, 0, 0, 0), CallersSlack);
    pty_.Send({'!'});
    EXPECT_TRUE(ResultOf(read, true).ok);
    EXPECT_EQ(read.buffer, Bytes{'!'});
}

TEST_F(TransferTest, AWaiterOnAnotherThreadIsReleasedWhenTheReadEnds)
{
    Transfer& read = NewTransfer(1);
    ASSERT_EQ(StartRead(read, 1).error, ERROR_IO_PENDING);
    Outcome seen{};
    std::thread waiter([&] { seen = ResultOf(read, true); });
    pty_.Send({'!'});
    waiter.join();
    EXPECT_TRUE(seen.ok);
    EXPECT_EQ(seen.transferred, 1u);
}

} // namespace
} // namespace tty_test
