// The far end of a port's line goes away, as when the instrument is switched
// off or its cable pulled: while a write is queued, while a read waits for
// data, and while the port is idle. Every command then answers with status
// bits within its time-outs, Close and CloseAll release the port, and the
// port opens again once the far end is back.
#include "module_fixture.h"

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <ostream>
#include <thread>

namespace tty_test {
namespace {

using test_host::Number;
using test_host::Text;
using Clock = std::chrono::steady_clock;

// Room for scheduling on a loaded machine, beyond a command's own time-outs.
constexpr milliseconds Margin(1000);
constexpr milliseconds ReadTimeout(100);
constexpr milliseconds DrainLimit(1500); // a 1 s WriteTimeout: three 500 ms slices at most

enum class Moment { WriteQueued, ReadWaiting, Idle };

class ModuleHangUpTest : public ModuleTest {
  protected:
    void SetUp() override
    {
        ModuleTest::SetUp();
        Set(port1_, "WriteTimeout", Number(1));
        ASSERT_EQ(Open(port1_), 0);
    }

    // The far end comes back: a new pseudo-terminal behind COM1's link.
    PseudoTerminal& FarEndBack()
    {
        back_ = std::make_unique<PseudoTerminal>();
        const std::filesystem::path link = std::filesystem::path(std::getenv("QUORVEL_DEVICES")) / "com1";
        std::filesystem::remove(link);
        std::filesystem::create_symlink(back_->SlavePath(), link);
        return *back_;
    }

    void HangUpWhileAReadWaits()
    {
        Set(port1_, "ReadTimeout", Number(5));
        ASSERT_EQ(SetParams(port1_), 0);
        std::thread farEnd([this] {
            std::this_thread::sleep_for(milliseconds(100));
            com1_.CloseMaster();
        });
        const auto start = Clock::now();
        ReadOutcome read = Read(port1_, 10);
        farEnd.join();
        EXPECT_LT(Clock::now() - start, Margin) << "the read sat out its 5 s time-out";
        EXPECT_EQ(read.status, 64);
        EXPECT_TRUE(read.bytes.empty());
        Set(port1_, "ReadTimeout", Number(0.1));
    }

    ArrayPtr port1_ = Settings("COM1");
    std::unique_ptr<PseudoTerminal> back_;
};

class ModuleHangUpMomentTest : public ModuleHangUpTest, public ::testing::WithParamInterface<Moment> {};

// A command after the hang-up, the status it answers with and how long it may take.
struct Answer {
    const char* command;
    std::function<int()> call;
    int status;
    milliseconds limit;
};

TEST_P(ModuleHangUpMomentTest, CommandsAnswerInTimeAndThePortReopensOnceTheFarEndIsBack)
{
    switch (GetParam()) {
    case Moment::WriteQueued:
        ASSERT_EQ(Write(port1_, Pattern(200000, 3)), 4);
        ASSERT_EQ(WriteStatus(port1_).status, 4) << "the tty cannot take 200 kB at once";
        com1_.CloseMaster();
        break;
    case Moment::ReadWaiting:
        HangUpWhileAReadWaits();
        break;
    case Moment::Idle:
        com1_.CloseMaster();
        break;
    }
    // The line is gone: transfers and queries fail; purges still end what
    // the dead device left; the device refuses new settings. The write that
    // was queued is reported lost, once.
    const int lostWrite = GetParam() == Moment::WriteQueued ? 64 : 0;
    const Answer answers[] = {
        {"Read of a count", [&] { return Read(port1_, 4).status; }, 64, ReadTimeout},
        {"Read of what waits", [&] { return Read(port1_).status; }, 64, ReadTimeout},
        {"GetReadStatus", [&] { return ReadStatus(port1_).status; }, 64, milliseconds(0)},
        {"GetWriteStatus", [&] { return WriteStatus(port1_).status; }, 64, milliseconds(0)},
        {"Write",
         [&] {
             return Write(port1_, {1, 2, 3});
         },
         64, milliseconds(0)},
        {"FlushRead", [&] { return FlushRead(port1_); }, 0, milliseconds(0)},
        {"FlushWrite", [&] { return FlushWrite(port1_); }, lostWrite, DrainLimit},
        {"FlushWrite discard", [&] { return DiscardWrites(port1_); }, 0, milliseconds(0)},
        {"SetParams",
         [&] {
             Set(port1_, "BaudRate", Number(19200));
             return SetParams(port1_);
         },
         16, milliseconds(0)},
    };
    for (const Answer& answer : answers) {
        const auto start = Clock::now();
        EXPECT_EQ(answer.call(), answer.status) << answer.command;
        EXPECT_LT(Clock::now() - start, answer.limit + Margin) << answer.command;
    }
    const auto start = Clock::now();
    EXPECT_EQ(Close(port1_), 0);
    EXPECT_LT(Clock::now() - start, DrainLimit + Margin);
    EXPECT_EQ(test_host::LockCount(), 0);

    EXPECT_EQ(Open(port1_), 2) << "the far end is still gone";
    EXPECT_EQ(test_host::LockCount(), 0);
    PseudoTerminal& farEnd = FarEndBack();
    ASSERT_EQ(Open(port1_), 0);
    EXPECT_EQ(Write(port1_, {'p', 'i', 'n', 'g'}), 4);
    EXPECT_EQ(farEnd.Receive(4, milliseconds(2000)), (Bytes{'p', 'i', 'n', 'g'}));
    farEnd.Send({'p', 'o', 'n', 'g'});
    EXPECT_EQ(Read(port1_, 4).bytes, (Bytes{'p', 'o', 'n', 'g'}));
    EXPECT_EQ(Close(port1_), 0);
}

const char* const MomentNames[] = {"WhileAWriteIsQueued", "WhileAReadWaits", "WhileIdle"};

std::string MomentName(const ::testing::TestParamInfo<Moment>& info)
{
    return MomentNames[static_cast<int>(info.param)];
}

void PrintTo(Moment moment, std::ostream* out)
{
    *out << MomentNames[static_cast<int>(moment)];
}

INSTANTIATE_TEST_SUITE_P(FarEndGone, ModuleHangUpMomentTest,
                         ::testing::Values(Moment::WriteQueued, Moment::ReadWaiting, Moment::Idle),
                         MomentName);

TEST_F(ModuleHangUpTest, CloseAllReleasesAHungUpPortAndALiveOne)
{
    ArrayPtr port2 = Settings("COM2");
    ASSERT_EQ(Open(port2), 0);
    ASSERT_EQ(Write(port1_, Pattern(200000, 5)), 4);
    ASSERT_EQ(Write(port2, {'o', 'k'}), 4);
    com1_.CloseMaster();
    EXPECT_EQ(com2_.Receive(2, milliseconds(2000)), (Bytes{'o', 'k'}));
    const auto start = Clock::now();
    EXPECT_FALSE(test_host::Call(mexFunction, 0, {Text("CloseAll").get()}).aborted);
    EXPECT_LT(Clock::now() - start, DrainLimit + Margin);
    EXPECT_EQ(test_host::LockCount(), 0);
    EXPECT_EQ(Open(port2), 0) << "the live port opens again";
}

} // namespace
} // namespace tty_test
