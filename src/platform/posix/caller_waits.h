// The caller's thread's shortcuts past the worker: a read that follows a
// write waits briefly for the answer itself, and a write to a line that takes
// bytes as fast as they come goes on while it has room, each saving a thread
// hand-off on a fast link.
#pragma once

#include "read_limits.h"
#include "serial_api.h"

#include <functional>
#include <mutex>

namespace posix_serial {

// True when a read started at `now` is most likely the wait for the answer to
// the write started at `lastWriteStart`.
bool AnswerExpected(Clock::time_point now, Clock::time_point lastWriteStart);

// The transfer a caller's wait is for, on the tty `fd`, with its device's
// lock held: whether it still runs, and one pass of the device's service that
// may end it (false once the device is closing).
struct CallerWait {
    std::unique_lock<std::mutex>& lock;
    int fd;
    std::function<bool()> running;
    std::function<bool()> service;
};

// Each waits at most a fraction of a millisecond, the lock released; true
// once the transfer has ended, on this thread or another.
bool AwaitRoom(const CallerWait& wait);
bool AwaitAnswer(const CallerWait& wait, const COMMTIMEOUTS& timeouts);

} // namespace posix_serial
