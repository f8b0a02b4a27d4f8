// Bytes across a null-modem cable between two UARTs, a break received on the
// line, and output that XOFF from the far end holds in the driver.
#include "driver_fixture.h"

#include <chrono>
#include <thread>

namespace driver_test {
namespace {

using std::chrono::steady_clock;
using test_host::ArrayPtr;

constexpr int LineError = 1, Pending = 4, TimedOut = 8;
constexpr std::uint8_t Xon = 0x11, Xoff = 0x13;

struct Line {
    const char* name;
    double rate;
    speed_t speed;
    double byteSize;
    const char* parity;
    tcflag_t frame;
    unsigned values; // the byte values the frame carries
};

const Line Lines[] = {
    {"115200 8N1", 115200, B115200, 8, "none", CS8, 256},
    {"9600 7E1", 9600, B9600, 7, "even", CS7 | PARENB, 128},
};

Bytes EveryValue(unsigned count)
{
    Bytes values(count);
    for (unsigned v = 0; v < count; ++v)
        values[v] = static_cast<std::uint8_t>(v);
    return values;
}

TEST_F(UartTest, EveryByteValueCrossesTheCableBothWaysIntact)
{
    for (const Line& line : Lines) {
        SCOPED_TRACE(line.name);
        const ArrayPtr settings = Settings("COM1");
        Set(settings, "BaudRate", test_host::Number(line.rate));
        SetFrame(settings, line.byteSize, line.parity, 1);
        Set(settings, "ReadTimeout", test_host::Number(1));
        ASSERT_EQ(Open(settings), 0);
        far_->Configure(line.speed, line.frame);
        far_->DiscardInput();
        const Bytes values = EveryValue(line.values);

        EXPECT_EQ(Write(settings, values), Pending);
        EXPECT_EQ(far_->Receive(values.size(), milliseconds(5000)), values) << "from COM1";
        EXPECT_EQ(FlushWrite(settings), 0);
        far_->Send(values);
        const tty_test::ReadOutcome got = Read(settings, values.size());
        EXPECT_EQ(got.status, 0);
        EXPECT_EQ(got.bytes, values) << "to COM1";
        EXPECT_EQ(Close(settings), 0);
    }
}

TEST_F(UartTest, ABreakOnTheLineIsALineErrorUntilAReadTakesIt)
{
    if (!control_)
        GTEST_SKIP() << "needs the lane's host to put a break on the line (QUORVEL_DRIVER_CONTROL)";
    const ArrayPtr settings = Settings("COM1");
    ASSERT_EQ(Open(settings), 0);
    ASSERT_EQ(control_->Ask("break"), "ok");
    far_->Send({'A', 'B'});
    ASSERT_TRUE(tty_test::WaitUntil([&] { return ReadStatus(settings).waiting >= 3; }, milliseconds(3000)))
        << "the break's NUL and AB did not arrive";

    for (int query = 0; query < 2; ++query)
        EXPECT_EQ(ReadStatus(settings).status, LineError | Pending) << "query " << query;
    const tty_test::ReadOutcome got = Read(settings, 10);
    EXPECT_EQ(got.status, TimedOut | LineError);
    EXPECT_EQ(got.bytes, (Bytes{0, 'A', 'B'})) << "a break reads as NUL";
    EXPECT_EQ(ReadStatus(settings).status, 0) << "the Read took the error";
}

class HeldOutputTest : public UartTest {
  protected:
    // COM1 obeying XON/XOFF, stopped by the far end's XOFF, with 2000 bytes written.
    ArrayPtr OpenAndHold()
    {
        ArrayPtr settings = Settings("COM1");
        Set(settings, "XonXoffEnable", test_host::Text("on"));
        Set(settings, "WriteTimeout", test_host::Number(0.5));
        EXPECT_EQ(Open(settings), 0);
        far_->Send({Xoff});
        std::this_thread::sleep_for(milliseconds(300)); // for the driver to take the XOFF in
        EXPECT_EQ(Write(settings, tty_test::Pattern(2000, 1)), Pending);
        EXPECT_TRUE(far_->Receive(1, milliseconds(300)).empty()) << "XOFF did not stop the UART";
        return settings;
    }

    static double SecondsSince(steady_clock::time_point start)
    {
        return std::chrono::duration<double>(steady_clock::now() - start).count();
    }
};

TEST_F(HeldOutputTest, AWriteHeldByXoffIsPendingUntilFlushedOrDiscarded)
{
    const ArrayPtr settings = OpenAndHold();
    const tty_test::QueueOutcome queued = WriteStatus(settings);
    EXPECT_EQ(queued.status, Pending) << "a held write counts as done";
    EXPECT_GT(queued.waiting, 0) << "no bytes queued in the driver";

    const auto flushStarted = steady_clock::now();
    EXPECT_EQ(FlushWrite(settings), TimedOut);
    EXPECT_GE(SecondsSince(flushStarted), 0.45) << "FlushWrite did not wait for its WriteTimeout";

    EXPECT_EQ(DiscardWrites(settings), 0);
    const tty_test::QueueOutcome discarded = WriteStatus(settings);
    EXPECT_EQ(discarded.status, 0);
    EXPECT_EQ(discarded.waiting, 0);
    far_->Send({Xon});
    EXPECT_TRUE(far_->Receive(1, milliseconds(500)).empty()) << "discarded bytes were sent after XON";
}

TEST_F(HeldOutputTest, CloseDoesNotWaitForOutputXoffHolds)
{
    const ArrayPtr settings = OpenAndHold();
    const auto closeStarted = steady_clock::now();
    EXPECT_EQ(Close(settings), TimedOut);
    EXPECT_LT(SecondsSince(closeStarted), 2.0) << "Close waited for held output (the kernel's closing wait)";
    far_->Send({Xon});
    EXPECT_TRUE(far_->Receive(1, milliseconds(500)).empty()) << "the held bytes were sent after Close";
}

} // namespace
} // namespace driver_test
