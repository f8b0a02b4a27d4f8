// When a read ends, after the rules of COMMTIMEOUTS: the limits are fixed as
// the read becomes the current one, as a Windows serial driver fixes them.
#pragma once

#include "serial_api.h"

#include <chrono>
#include <optional>

namespace posix_serial {

using Clock = std::chrono::steady_clock;

struct ReadLimits {
    bool returnAtOnce = false;       // interval MAXDWORD, no total: whatever has arrived
    bool returnOnFirstBytes = false; // interval and multiplier MAXDWORD: as soon as anything arrives
    Clock::duration interval{};      // zero: gaps between bytes are not limited
    std::optional<Clock::time_point> deadline; // the total limit, when there is one
};

// FALSE for the one combination Windows refuses (all three read fields MAXDWORD).
bool AreValidTimeouts(const COMMTIMEOUTS& timeouts);

ReadLimits StartReadLimits(const COMMTIMEOUTS& timeouts, DWORD count, Clock::time_point now);

// A read that has received `done` of `length` bytes may end now without a time-out.
bool IsSatisfied(const ReadLimits& limits, DWORD done, DWORD length);

// When the read times out, given its bytes so far and when the last one came.
std::optional<Clock::time_point> ReadDeadline(const ReadLimits& limits, DWORD done,
                                              Clock::time_point lastByte);

} // namespace posix_serial
