// When a read of the POSIX backend ends, by the rules of COMMTIMEOUTS.
#include "posix/read_limits.h"

#include <gtest/gtest.h>

namespace posix_serial {
namespace {

using std::chrono::milliseconds;
constexpr DWORD Max = 0xFFFFFFFFu;
const Clock::time_point Start{};

struct LimitCase {
    const char* what;
    COMMTIMEOUTS timeouts; // interval, multiplier, constant, (write fields unused)
    DWORD count;
    bool atOnce, onFirstBytes;
    milliseconds interval;
    std::optional<milliseconds> total; // from the start of the read
};

const LimitCase LimitCases[] = {
    {"nothing set: no limit at all", {0, 0, 0, 0, 0}, 10, false, false, milliseconds(0), std::nullopt},
    {"an interval alone", {250, 0, 0, 0, 0}, 10, false, false, milliseconds(250), std::nullopt},
    {"interval MAXDWORD, no total: whatever has arrived",
     {Max, 0, 0, 0, 0},
     10,
     true,
     false,
     milliseconds(0),
     std::nullopt},
    {"interval and multiplier MAXDWORD: the first bytes",
     {Max, Max, 40, 0, 0},
     10,
     false,
     true,
     milliseconds(0),
     milliseconds(40)},
    {"a total of multiplier times count plus constant",
     {5, 3, 100, 0, 0},
     10,
     false,
     false,
     milliseconds(5),
     milliseconds(130)},
    {"a total beyond a year is held to a year",
     {0, Max, Max, 0, 0},
     Max,
     false,
     false,
     milliseconds(0),
     milliseconds(365ll * 24 * 3600 * 1000)},
};

TEST(ReadLimitsTest, TheTimeoutsDecideHowAReadEnds)
{
    for (const LimitCase& c : LimitCases) {
        ReadLimits limits = StartReadLimits(c.timeouts, c.count, Start);
        EXPECT_EQ(limits.returnAtOnce, c.atOnce) << c.what;
        EXPECT_EQ(limits.returnOnFirstBytes, c.onFirstBytes) << c.what;
        EXPECT_EQ(limits.interval, c.interval) << c.what;
        std::optional<Clock::time_point> total;
        if (c.total)
            total = Start + *c.total;
        EXPECT_EQ(limits.deadline, total) << c.what;
    }
}

TEST(ReadLimitsTest, OnlyAllThreeReadFieldsAtMaximumAreRefused)
{
    EXPECT_FALSE(AreValidTimeouts({Max, Max, Max, 0, 0}));
    EXPECT_TRUE(AreValidTimeouts({Max, Max, Max - 1, 0, 0}));
    EXPECT_TRUE(AreValidTimeouts({Max, 0, Max, 0, 0}));
}

TEST(ReadLimitsTest, AReadIsSatisfiedWhenFullOrWhenItsRuleSaysSo)
{
    ReadLimits counted = StartReadLimits({250, 0, 0, 0, 0}, 4, Start);
    EXPECT_FALSE(IsSatisfied(counted, 3, 4));
    EXPECT_TRUE(IsSatisfied(counted, 4, 4));
    ReadLimits firstBytes = StartReadLimits({Max, Max, 40, 0, 0}, 4, Start);
    EXPECT_FALSE(IsSatisfied(firstBytes, 0, 4));
    EXPECT_TRUE(IsSatisfied(firstBytes, 1, 4));
    EXPECT_TRUE(IsSatisfied(StartReadLimits({Max, 0, 0, 0, 0}, 4, Start), 0, 4));
}

TEST(ReadLimitsTest, TheIntervalRunsFromTheLastByteAndTheEarlierLimitWins)
{
    const Clock::time_point lastByte = Start + milliseconds(100);
    ReadLimits interval = StartReadLimits({50, 0, 0, 0, 0}, 4, Start);
    EXPECT_EQ(ReadDeadline(interval, 0, Start), std::nullopt) << "no gap before the first byte";
    EXPECT_EQ(ReadDeadline(interval, 1, lastByte), lastByte + milliseconds(50));
    ReadLimits both = StartReadLimits({50, 0, 120, 0, 0}, 4, Start);
    EXPECT_EQ(ReadDeadline(both, 0, Start), Start + milliseconds(120));
    EXPECT_EQ(ReadDeadline(both, 1, Start + milliseconds(10)), Start + milliseconds(60));
    EXPECT_EQ(ReadDeadline(both, 2, lastByte), Start + milliseconds(120));
}

} // namespace
} // namespace posix_serial
