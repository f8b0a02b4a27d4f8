#include "module_fixture.h"

#include <thread>

namespace tty_test {
namespace {

using test_host::Number;
using test_host::Text;

class ModuleTransferTest : public ModuleTest {
  protected:
    void SetUp() override
    {
        ModuleTest::SetUp();
        ASSERT_EQ(Open(port1_), 0);
    }

    ArrayPtr port1_ = Settings("COM1");
};

TEST_F(ModuleTransferTest, DataTravelsBothWays)
{
    EXPECT_EQ(Write(port1_, {'p', 'i', 'n', 'g'}), 4) << "a write reports itself pending until reaped";
    EXPECT_EQ(com1_.Receive(4, milliseconds(2000)), (Bytes{'p', 'i', 'n', 'g'}));
    com1_.Send({'p', 'o', 'n', 'g'});
    ReadOutcome read = Read(port1_, 4);
    EXPECT_EQ(read.status, 0);
    EXPECT_EQ(read.bytes, (Bytes{'p', 'o', 'n', 'g'}));
    EXPECT_EQ(WriteStatus(port1_).status, 0) << "the finished write was reaped";
}

TEST_F(ModuleTransferTest, ReadsDeliverWhatCameWithinTheirCountAndTimeout)
{
    struct Case {
        const char* name;
        std::size_t sent;
        double count; // negative: Read without a count
        std::size_t expected;
        int status;
    } cases[] = {
        {"exact count", 5, 5, 5, 0},
        {"short read", 3, 10, 3, 8},
        {"silent line", 0, 4, 0, 8},
        {"more waiting", 10, 4, 4, 4},
        {"no count: all waiting", 6, -1, 6, 0},
        {"no count, nothing waiting", 0, -1, 0, 0},
    };
    for (const Case& c : cases) {
        const Bytes sent = Pattern(c.sent, static_cast<std::uint8_t>(c.sent));
        com1_.Send(sent);
        AwaitAtPort(com1_, c.sent);
        ReadOutcome read = c.count < 0 ? Read(port1_) : Read(port1_, c.count);
        EXPECT_EQ(read.status, c.status) << c.name;
        EXPECT_EQ(read.bytes, Bytes(sent.begin(), sent.begin() + c.expected)) << c.name;
        EXPECT_EQ(read.rows, 1u) << c.name;
        EXPECT_EQ(read.columns, c.expected) << c.name;
        EXPECT_EQ(FlushRead(port1_), 0);
    }
}

TEST_F(ModuleTransferTest, AShortReadEndsOnTheGapNotOnTheTimeoutTotal)
{
    Set(port1_, "ReadTimeout", Number(0.2));
    ASSERT_EQ(SetParams(port1_), 0);
    std::thread instrument([&] {
        com1_.Send({'a', 'b'});
        std::this_thread::sleep_for(milliseconds(100));
        com1_.Send({'c', 'd'});
    });
    ReadOutcome read = Read(port1_, 10);
    instrument.join();
    EXPECT_EQ(read.status, 8);
    EXPECT_EQ(read.bytes, (Bytes{'a', 'b', 'c', 'd'})) << "a gap shorter than the time-out ended the read";
}

TEST_F(ModuleTransferTest, FlushReadDropsWaitingInput)
{
    com1_.Send({'o', 'l', 'd'});
    AwaitAtPort(com1_, 3);
    EXPECT_EQ(ReadStatus(port1_).waiting, 3);
    EXPECT_EQ(ReadStatus(port1_).status, 4);
    EXPECT_EQ(FlushRead(port1_), 0);
    QueueOutcome after = ReadStatus(port1_);
    EXPECT_EQ(after.waiting, 0);
    EXPECT_EQ(after.status, 0);
}

TEST_F(ModuleTransferTest, ADrainHeldByXoffTimesOutAndADiscardReleasesIt)
{
    Set(port1_, "XonXoffEnable", Text("on"));
    Set(port1_, "WriteTimeout", Number(0));
    ASSERT_EQ(SetParams(port1_), 0);
    com1_.Send({0x13, 'M'}); // the marker arrives after the XOFF was acted on
    AwaitAtPort(com1_, 1);
    ASSERT_EQ(FlushRead(port1_), 0);

    EXPECT_EQ(Write(port1_, Pattern(5000, 9)), 4);
    EXPECT_EQ(FlushWrite(port1_), 8);
    QueueOutcome held = WriteStatus(port1_);
    EXPECT_EQ(held.status, 4);
    EXPECT_EQ(held.waiting, 5000);
    EXPECT_EQ(DiscardWrites(port1_), 0);
    QueueOutcome released = WriteStatus(port1_);
    EXPECT_EQ(released.status, 0);
    EXPECT_EQ(released.waiting, 0);

    com1_.Send({0x11});
    EXPECT_TRUE(com1_.Receive(1, milliseconds(100)).empty()) << "discarded bytes went out";
    EXPECT_EQ(Write(port1_, {'k'}), 4);
    EXPECT_EQ(FlushWrite(port1_), 0);
    EXPECT_EQ(com1_.Receive(1, milliseconds(2000)), Bytes{'k'});
}

TEST_F(ModuleTransferTest, AMegabyteWriteFlowsWhileTheScriptReadsAnotherPort)
{
    ArrayPtr port2 = Settings("COM2");
    ASSERT_EQ(Open(port2), 0);
    const Bytes megabyte = Pattern(1 << 20, 11);
    ASSERT_EQ(Write(port1_, megabyte), 4);
    EXPECT_EQ(WriteStatus(port1_).status, 4) << "the far end has not read yet";

    Bytes received;
    std::thread instrument([&] { received = com1_.Receive(megabyte.size(), milliseconds(20000)); });
    for (std::uint8_t round = 0; round < 20; ++round) {
        com2_.Send({round});
        ReadOutcome read = Read(port2, 1);
        EXPECT_EQ(read.bytes, Bytes{round});
    }
    instrument.join(); // no call on COM1 since the write started
    EXPECT_EQ(received.size(), megabyte.size());
    EXPECT_TRUE(received == megabyte) << "the stream arrived damaged";
    EXPECT_EQ(WriteStatus(port1_).status, 0);
}

TEST_F(ModuleTransferTest, SeventyWritesInFlightArriveInOrder)
{
    Bytes expected;
    for (std::uint8_t i = 0; i < 70; ++i) {
        Bytes block = Pattern(1000 + i, i);
        expected.insert(expected.end(), block.begin(), block.end());
        ASSERT_EQ(Write(port1_, block), 4) << "write " << int(i);
    }
    QueueOutcome queued = WriteStatus(port1_);
    EXPECT_EQ(queued.status, 4);
    EXPECT_GT(queued.waiting, 0);
    Bytes received;
    std::thread instrument([&] { received = com1_.Receive(expected.size(), milliseconds(10000)); });
    EXPECT_EQ(FlushWrite(port1_), 0);
    instrument.join();
    EXPECT_TRUE(received == expected) << received.size() << " of " << expected.size() << " bytes, in order?";
}

TEST_F(ModuleTransferTest, TheFarEndClosingMidTransferFailsCallsWithoutHanging)
{
    Set(port1_, "ReadTimeout", Number(5));
    ASSERT_EQ(SetParams(port1_), 0);
    ASSERT_EQ(Write(port1_, Pattern(200000, 13)), 4);
    std::thread instrument([&] {
        std::this_thread::sleep_for(milliseconds(50));
        com1_.CloseMaster();
    });
    const auto start = std::chrono::steady_clock::now();
    ReadOutcome read = Read(port1_, 100);
    instrument.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, milliseconds(2000))
        << "the read sat out its time-out";
    EXPECT_EQ(read.status, 64);
    EXPECT_TRUE(read.bytes.empty());
    EXPECT_EQ(WriteStatus(port1_).status, 64);
    EXPECT_EQ(ReadStatus(port1_).status, 64);
    EXPECT_EQ(Write(port1_, {1}), 64);
    EXPECT_EQ(Close(port1_), 64) << "most of the queued 200 kB never left";
    EXPECT_EQ(test_host::LockCount(), 0) << "the port closed all the same";
}

} // namespace
} // namespace tty_test
