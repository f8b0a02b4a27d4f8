#include "read_limits.h"

#include <algorithm>
#include <cstdint>

namespace posix_serial {
namespace {

constexpr DWORD Maximum = MAXDWORD;

// Totals beyond a year are no limit in practice, and keep the clock arithmetic from overflowing.
constexpr std::uint64_t LongestTotalMilliseconds = 365ull * 24 * 3600 * 1000;

} // namespace

bool AreValidTimeouts(const COMMTIMEOUTS& timeouts)
{
    return !(timeouts.ReadIntervalTimeout == Maximum && timeouts.ReadTotalTimeoutMultiplier == Maximum &&
             timeouts.ReadTotalTimeoutConstant == Maximum);
}

ReadLimits StartReadLimits(const COMMTIMEOUTS& timeouts, DWORD count, Clock::time_point now)
{
    ReadLimits limits;
    const DWORD multiplier = timeouts.ReadTotalTimeoutMultiplier;
    const DWORD constant = timeouts.ReadTotalTimeoutConstant;
    if (timeouts.ReadIntervalTimeout == Maximum && multiplier == 0 && constant == 0) {
        limits.returnAtOnce = true;
        return limits;
    }
    if (timeouts.ReadIntervalTimeout == Maximum && multiplier == Maximum && constant != 0) {
        limits.returnOnFirstBytes = true;
        limits.deadline = now + std::chrono::milliseconds(constant);
        return limits;
    }
    limits.interval = std::chrono::milliseconds(timeouts.ReadIntervalTimeout);
    if (multiplier != 0 || constant != 0) {
        std::uint64_t total = std::uint64_t{multiplier} * count + constant;
        limits.deadline = now + std::chrono::milliseconds(std::min(total, LongestTotalMilliseconds));
    }
    return limits;
}

bool IsSatisfied(const ReadLimits& limits, DWORD done, DWORD length)
{
    return done == length || limits.returnAtOnce || (limits.returnOnFirstBytes && done > 0);
}

std::optional<Clock::time_point> ReadDeadline(const ReadLimits& limits, DWORD done,
                                              Clock::time_point lastByte)
{
    std::optional<Clock::time_point> deadline = limits.deadline;
    if (done > 0 && limits.interval != Clock::duration::zero()) {
        Clock::time_point gapEnds = lastByte + limits.interval;
        deadline = deadline ? std::min(*deadline, gapEnds) : gapEnds;
    }
    return deadline;
}

} // namespace posix_serial
