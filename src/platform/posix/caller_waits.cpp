#include "caller_waits.h"

#include <algorithm>
#include <poll.h>
#include <sys/prctl.h>

namespace posix_serial {
namespace {

// A read started this soon after a write is most likely waiting for the
// answer to it; the caller's thread waits that long for the answer itself
// before it hands the read to the worker, which saves a thread hand-off on
// every question and answer over a fast link.
constexpr auto AnswerFollowsWrite = std::chrono::milliseconds(50);
constexpr auto CallerWaitForAnswer = std::chrono::microseconds(500);

// On a virtual machine a timer due before the next tick makes every wait
// reprogram the host's timer, and its cancel again: where it was measured
// that was about 20 us on each question and answer, as much as the rest of
// the round trip. Allowed to end late, the wait for an answer is ended by the
// kernel's next tick instead, late by at most a tenth of the port's time-out
// between bytes (the module's ReadTimeout) and 5 ms.
constexpr auto MostAnswerWaitSlack = std::chrono::milliseconds(5);

// A line that takes bytes as fast as they come (a pseudo-terminal, a USB
// adapter) has room again within moments: the caller's thread goes on writing
// while it does, as a blocking write would, instead of handing each piece to
// the worker. A line that stays full for a wait, or a write that keeps the
// caller past the limit, is left to the worker.
constexpr auto CallerWaitForRoom = std::chrono::microseconds(500);
constexpr auto CallerWriteLimit = std::chrono::milliseconds(2);

// The calling thread's timer slack, widened while it lives.
class WidenedTimerSlack {
  public:
    explicit WidenedTimerSlack(std::chrono::nanoseconds slack) : saved_(prctl(PR_GET_TIMERSLACK, 0, 0, 0, 0))
    {
        if (saved_ >= 0 && slack.count() > saved_)
            widened_ = prctl(PR_SET_TIMERSLACK, static_cast<unsigned long>(slack.count()), 0, 0, 0) == 0;
    }
    ~WidenedTimerSlack()
    {
        if (widened_)
            prctl(PR_SET_TIMERSLACK, static_cast<unsigned long>(saved_), 0, 0, 0);
    }
    WidenedTimerSlack(const WidenedTimerSlack&) = delete;
    WidenedTimerSlack& operator=(const WidenedTimerSlack&) = delete;

  private:
    const long saved_;
    bool widened_ = false;
};

std::chrono::nanoseconds AnswerWaitSlack(const COMMTIMEOUTS& timeouts)
{
    if (timeouts.ReadIntervalTimeout == MAXDWORD) // no wait between bytes at all
        return {};
    const auto tenth = std::chrono::milliseconds(timeouts.ReadIntervalTimeout) / 10;
    return std::min<std::chrono::nanoseconds>(tenth, MostAnswerWaitSlack);
}

timespec Timespec(std::chrono::nanoseconds duration)
{
    return {static_cast<time_t>(duration.count() / 1000000000),
            static_cast<long>(duration.count() % 1000000000)};
}

} // namespace

bool AnswerExpected(Clock::time_point now, Clock::time_point lastWriteStart)
{
    return now - lastWriteStart < AnswerFollowsWrite;
}

bool AwaitRoom(const CallerWait& wait)
{
    const Clock::time_point end = Clock::now() + CallerWriteLimit;
    while (wait.running()) {
        if (Clock::now() >= end)
            return false;
        const timespec room = Timespec(CallerWaitForRoom);
        pollfd output{wait.fd, POLLOUT, 0};
        wait.lock.unlock();
        const int ready = ppoll(&output, 1, &room, nullptr);
        wait.lock.lock();
        if (ready <= 0 || !wait.service())
            return !wait.running();
    }
    return true;
}

bool AwaitAnswer(const CallerWait& wait, const COMMTIMEOUTS& timeouts)
{
    const Clock::time_point end = Clock::now() + CallerWaitForAnswer;
    const WidenedTimerSlack slack(AnswerWaitSlack(timeouts));
    while (wait.running()) {
        const Clock::time_point now = Clock::now();
        if (now >= end)
            return false;
        const timespec left = Timespec(end - now);
        pollfd input{wait.fd, POLLIN, 0};
        wait.lock.unlock();
        ppoll(&input, 1, &left, nullptr);
        wait.lock.lock();
        wait.service();
    }
    return true;
}

} // namespace posix_serial
