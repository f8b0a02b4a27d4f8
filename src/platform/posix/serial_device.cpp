#include "serial_device.h"

#include "error_codes.h"
#include "line_settings.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace posix_serial {
namespace {

// The devices whose workers run. Any still open when the library's static
// objects are destroyed (the host unloads the module, or the process exits,
// with ports open) are closed first, so that each worker is joined while its
// code is mapped and the events it signals exist. Made at the first open,
// after the handle registry, so destroyed before it.
class RunningDevices {
  public:
    void Add(SerialDevice* device)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        devices_.push_back(device);
    }
    void Remove(SerialDevice* device)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        devices_.erase(std::remove(devices_.begin(), devices_.end(), device), devices_.end());
    }
    ~RunningDevices()
    {
        std::vector<SerialDevice*> left;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            left.swap(devices_);
        }
        for (SerialDevice* device : left)
            device->Close();
    }

  private:
    std::mutex mutex_;
    std::vector<SerialDevice*> devices_;
};

RunningDevices& Running()
{
    static RunningDevices devices;
    return devices;
}

constexpr DWORD PurgeFlags = PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR;

void MarkStarted(OVERLAPPED& overlapped)
{
    overlapped.Internal = nt_status::Pending;
    overlapped.InternalHigh = 0;
}

// A read stopped by a failure still delivers what it received; the failure
// shows in the next call.
DWORD ReadEnd(int error, DWORD done)
{
    return done > 0 ? ERROR_SUCCESS : ErrorFromErrno(error);
}

} // namespace

std::shared_ptr<SerialDevice> SerialDevice::Open(const std::string& path, DWORD access, DWORD& error)
{
    std::shared_ptr<SerialDevice> device(new SerialDevice());
    error = device->Start(path, access);
    return error == ERROR_SUCCESS ? device : nullptr;
}

DWORD SerialDevice::Start(const std::string& path, DWORD access)
{
    DWORD error = ERROR_SUCCESS;
    line_ = OpenLine(path, access, state_, error);
    if (!line_)
        return error;
    fd_ = line_->Descriptor();
    hasOutputQueue_ = line_->QueuesOutput();
    return StartWorker();
}

DWORD SerialDevice::StartWorker()
{
    wake_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    epoll_ = epoll_create1(EPOLL_CLOEXEC);
    if (wake_ < 0 || epoll_ < 0)
        return ErrorFromErrno(errno);
    // The tty is watched for nothing until a transfer needs it (see Arm).
    epoll_event wake{EPOLLIN, {}};
    wake.data.fd = wake_;
    epoll_event line{0, {}};
    line.data.fd = fd_;
    if (epoll_ctl(epoll_, EPOLL_CTL_ADD, wake_, &wake) != 0 ||
        epoll_ctl(epoll_, EPOLL_CTL_ADD, fd_, &line) != 0)
        return ErrorFromErrno(errno);
    try {
        worker_ = std::thread(&SerialDevice::Run, this);
    } catch (const std::system_error&) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    Running().Add(this);
    return ERROR_SUCCESS;
}

SerialDevice::~SerialDevice()
{
    Close();
}

void SerialDevice::Close()
{
    bool abandonedOutput = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (closing_)
            return;
        closing_ = true;
        abandonedOutput = !writes_.empty() || !draining_.empty();
        FinishAll(reads_, ERROR_OPERATION_ABORTED);
        FinishAll(writes_, ERROR_OPERATION_ABORTED);
        FinishAll(draining_, ERROR_OPERATION_ABORTED);
    }
    if (worker_.joinable()) {
        Running().Remove(this);
        Wake();
        worker_.join();
    }
    if (line_ && abandonedOutput)
        line_->Abandon();
    for (int fd : {epoll_, wake_})
        if (fd >= 0)
            close(fd);
    line_.reset();
}

void SerialDevice::Run()
{
    std::unique_lock<std::mutex> lock(mutex_);
    while (!closing_) {
        Arm(WantedInterest());
        const int timeout = MillisecondsToDeadline(Clock::now());
        lock.unlock();
        epoll_event events[2];
        const int count = epoll_wait(epoll_, events, 2, timeout);
        std::uint32_t lineEvents = 0;
        for (int i = 0; i < count; ++i) {
            std::uint64_t wakes;
            if (events[i].data.fd == wake_)
                static_cast<void>(read(wake_, &wakes, sizeof wakes));
            else
                lineEvents |= events[i].events;
        }
        lock.lock();
        if (closing_)
            break;
        ServiceWrites();
        ServiceReads(Clock::now());
        if ((lineEvents & (EPOLLHUP | EPOLLERR)) && !hungUp_)
            HangUp();
    }
}

// A network line reads ahead while it waits for its server's answers: a read
// waiting for those bytes is served now, since the descriptor no longer shows them.
void SerialDevice::ServeHeldInput()
{
    if (!reads_.empty() && line_->HoldsInput())
        ServiceReads(Clock::now());
}

DWORD SerialDevice::Refusal() const
{
    if (closing_)
        return ERROR_INVALID_HANDLE;
    return hungUp_ ? ERROR_DEVICE_NOT_CONNECTED : ERROR_SUCCESS;
}

DWORD SerialDevice::Failed(int error)
{
    if (MeansHangUp(error))
        HangUp();
    return ErrorFromErrno(error);
}

// The device is gone for good (the far end of a pseudo-terminal closed, an
// adapter unplugged): transfers end, and the tty is no longer watched, since
// a hung-up tty reports itself readable and hung up for ever.
void SerialDevice::HangUp()
{
    hungUp_ = true;
    while (!reads_.empty()) {
        Finish(reads_.front(), ReadEnd(EIO, reads_.front().done));
        reads_.pop_front();
    }
    FinishAll(writes_, ERROR_DEVICE_NOT_CONNECTED);
    FinishAll(draining_, ERROR_DEVICE_NOT_CONNECTED);
    epoll_ctl(epoll_, EPOLL_CTL_DEL, fd_, nullptr);
    armed_ = 0;
}

// One read or write per call: a line hands over all it has, or takes all it
// has room for, in one go, and the worker is woken again while more is
// possible. 0 or the errno that stopped the transfer (EIO for a line gone).
int SerialDevice::PullBytes(ReadTransfer& read)
{
    if (read.done == read.length)
        return 0;
    std::size_t got = 0;
    const int error = line_->Receive(read.into + read.done, read.length - read.done, got);
    if (got > 0) {
        read.done += static_cast<DWORD>(got);
        read.lastByte = Clock::now();
    }
    return error;
}

int SerialDevice::PushBytes(WriteTransfer& write)
{
    if (write.done == write.length)
        return 0;
    std::size_t sent = 0;
    const int error = line_->Send(write.from + write.done, write.length - write.done, sent);
    write.done += static_cast<DWORD>(sent);
    handedToKernel_ += sent;
    return error;
}

void SerialDevice::BeginRead(ReadTransfer& read, Clock::time_point now)
{
    read.limits = StartReadLimits(timeouts_, read.length, now);
    read.lastByte = now;
}

bool SerialDevice::HasTimedOut(const ReadTransfer& read, Clock::time_point now) const
{
    std::optional<Clock::time_point> deadline = ReadDeadline(read.limits, read.done, read.lastByte);
    return deadline && *deadline <= now;
}

void SerialDevice::FinishCurrentRead(DWORD error, Clock::time_point now)
{
    Finish(reads_.front(), error);
    reads_.pop_front();
    if (!reads_.empty())
        BeginRead(reads_.front(), now);
}

void SerialDevice::ServiceReads(Clock::time_point now)
{
    while (!reads_.empty()) {
        ReadTransfer& read = reads_.front();
        if (int error = PullBytes(read)) {
            if (MeansHangUp(error))
                return HangUp();
            FinishCurrentRead(ReadEnd(error, read.done), now);
        } else if (IsSatisfied(read.limits, read.done, read.length) || HasTimedOut(read, now)) {
            FinishCurrentRead(ERROR_SUCCESS, now);
        } else {
            return;
        }
    }
}

void SerialDevice::ServiceWrites()
{
    std::size_t none = 0;
    if (writes_.empty() && line_->HoldsOutput())
        if (int error = line_->Send(nullptr, 0, none); MeansHangUp(error))
            return HangUp();
    while (!writes_.empty()) {
        WriteTransfer& write = writes_.front();
        if (int error = PushBytes(write)) {
            if (MeansHangUp(error))
                return HangUp();
            Finish(write, ErrorFromErrno(error));
        } else if (write.done == write.length) {
            AwaitDrain(write);
        } else {
            break;
        }
        writes_.pop_front();
    }
    ServiceDraining();
}

// A write whose bytes the kernel took whole ends once they have left it.
void SerialDevice::AwaitDrain(WriteTransfer& write)
{
    if (!hasOutputQueue_)
        return Finish(write, ERROR_SUCCESS);
    write.lastByteMark = handedToKernel_;
    draining_.push_back(write);
}

void SerialDevice::ServiceDraining()
{
    if (draining_.empty())
        return;
    if (int error = BytesSentByKernel(sentByKernel_)) {
        if (MeansHangUp(error))
            return HangUp();
        return FinishAll(draining_, ErrorFromErrno(error));
    }
    while (!draining_.empty() && draining_.front().lastByteMark <= sentByKernel_) {
        Finish(draining_.front(), ERROR_SUCCESS);
        draining_.pop_front();
    }
}

int SerialDevice::BytesSentByKernel(std::uint64_t& sent)
{
    std::size_t unsent = 0;
    if (int error = line_->Unsent(unsent))
        return error;
    sent = handedToKernel_ - std::min<std::uint64_t>(unsent, handedToKernel_);
    return 0;
}

// About the time the bytes before the oldest draining write take on the line,
// so that it ends soon after they left; output held by flow control is asked
// after at most every 50 ms.
int SerialDevice::MillisecondsToDrainPoll() const
{
    constexpr std::uint64_t Shortest = 1, Longest = 50;
    const std::uint64_t bytes =
        draining_.front().lastByteMark - std::min(sentByKernel_, draining_.front().lastByteMark);
    const std::uint64_t bitsPerByte = std::uint64_t{state_.ByteSize} + 2;
    const std::uint64_t rate = std::max<std::uint64_t>(state_.BaudRate, 1);
    const std::uint64_t milliseconds = (bytes * bitsPerByte * 1000 + rate - 1) / rate;
    return static_cast<int>(std::clamp(milliseconds, Shortest, Longest));
}

// The result goes into the OVERLAPPED as Windows leaves it there, before the
// event wakes the owner, who may then free both.
void SerialDevice::Finish(Transfer& transfer, DWORD error)
{
    transfer.overlapped->Internal = StatusFromError(error);
    transfer.overlapped->InternalHigh = transfer.done;
    if (transfer.event != nullptr)
        SetEvent(transfer.event);
    ended_.notify_all();
}

// A transfer that fails at once leaves its event alone, as on Windows.
DWORD SerialDevice::EndAtOnce(Transfer& transfer, DWORD error, DWORD& transferred)
{
    transferred = transfer.done;
    if (error == ERROR_SUCCESS) {
        Finish(transfer, error);
    } else {
        transfer.overlapped->Internal = StatusFromError(error);
        transfer.overlapped->InternalHigh = transfer.done;
    }
    return error;
}

template <class Queue> void SerialDevice::FinishAll(Queue& queue, DWORD error)
{
    for (Transfer& transfer : queue)
        Finish(transfer, error);
    queue.clear();
}

template <class Queue> bool SerialDevice::Abort(Queue& queue, const OVERLAPPED* overlapped)
{
    auto found = std::find_if(queue.begin(), queue.end(),
                              [&](const Transfer& transfer) { return transfer.overlapped == overlapped; });
    if (found == queue.end())
        return false;
    Finish(*found, ERROR_OPERATION_ABORTED);
    queue.erase(found);
    return true;
}

bool SerialDevice::IsRunning(const OVERLAPPED* overlapped) const
{
    for (const ReadTransfer& read : reads_)
        if (read.overlapped == overlapped)
            return true;
    for (const WriteTransfer& write : draining_)
        if (write.overlapped == overlapped)
            return true;
    return IsUnsent(overlapped);
}

bool SerialDevice::IsUnsent(const OVERLAPPED* overlapped) const
{
    for (const WriteTransfer& write : writes_)
        if (write.overlapped == overlapped)
            return true;
    return false;
}

DWORD SerialDevice::UnsentBytes() const
{
    DWORD unsent = 0;
    for (const WriteTransfer& write : writes_)
        unsent += write.length - write.done;
    return unsent;
}

std::uint32_t SerialDevice::WantedInterest() const
{
    std::uint32_t interest = 0;
    if (!reads_.empty())
        interest |= EPOLLIN;
    if (!writes_.empty() || line_->HoldsOutput())
        interest |= EPOLLOUT;
    return interest;
}

// Readiness is level-triggered and asked for only while a transfer waits for
// it, so that bytes nobody asked for yet do not keep the worker awake. A
// hung-up tty is reported whatever is asked for, until HangUp stops watching it.
void SerialDevice::Arm(std::uint32_t interest)
{
    if (hungUp_ || interest == armed_)
        return;
    epoll_event line{interest, {}};
    line.data.fd = fd_;
    epoll_ctl(epoll_, EPOLL_CTL_MOD, fd_, &line);
    armed_ = interest;
}

// -1 when nothing is due: epoll's wait for ever.
int SerialDevice::MillisecondsToDeadline(Clock::time_point now) const
{
    const int drainPoll = draining_.empty() ? -1 : MillisecondsToDrainPoll();
    if (reads_.empty())
        return drainPoll;
    const ReadTransfer& read = reads_.front();
    std::optional<Clock::time_point> deadline = ReadDeadline(read.limits, read.done, read.lastByte);
    if (!deadline)
        return drainPoll;
    if (*deadline <= now)
        return 0;
    auto left = std::chrono::ceil<std::chrono::milliseconds>(*deadline - now).count();
    const int readLeft = left > INT_MAX ? INT_MAX : static_cast<int>(left);
    return drainPoll < 0 ? readLeft : std::min(readLeft, drainPoll);
}

void SerialDevice::Wake()
{
    const std::uint64_t one = 1;
    static_cast<void>(write(wake_, &one, sizeof one));
}

DWORD SerialDevice::Configure(const DCB& dcb)
{
    if (DWORD invalid = CheckDcb(dcb))
        return invalid;
    std::lock_guard<std::mutex> lock(mutex_);
    if (DWORD refused = Refusal())
        return refused;
    const int error = line_->Apply(dcb);
    ServeHeldInput();
    if (error != 0)
        return Failed(error);
    state_ = dcb;
    return ERROR_SUCCESS;
}

DWORD SerialDevice::ReadState(DCB& dcb)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (DWORD refused = Refusal())
        return refused;
    dcb = state_;
    return ERROR_SUCCESS;
}

DWORD SerialDevice::SetTimeouts(const COMMTIMEOUTS& timeouts)
{
    if (!AreValidTimeouts(timeouts))
        return ERROR_INVALID_PARAMETER;
    std::lock_guard<std::mutex> lock(mutex_);
    if (DWORD refused = Refusal())
        return refused;
    timeouts_ = timeouts;
    return ERROR_SUCCESS;
}

DWORD SerialDevice::CheckUsable()
{
    std::lock_guard<std::mutex> lock(mutex_);
    return Refusal();
}

DWORD SerialDevice::Purge(DWORD flags)
{
    if (flags == 0 || (flags & ~PurgeFlags) != 0)
        return ERROR_INVALID_PARAMETER;
    std::lock_guard<std::mutex> lock(mutex_);
    if (closing_)
        return ERROR_INVALID_HANDLE;
    if (flags & PURGE_TXABORT) {
        FinishAll(writes_, ERROR_OPERATION_ABORTED);
        FinishAll(draining_, ERROR_OPERATION_ABORTED);
    }
    if (flags & PURGE_RXABORT)
        FinishAll(reads_, ERROR_OPERATION_ABORTED);
    // A hung-up line has no queues left to clear.
    const int error = hungUp_ ? 0 : line_->Discard(flags);
    if (error != 0 && !MeansHangUp(error))
        return Failed(error);
    return ERROR_SUCCESS;
}

DWORD SerialDevice::TakeErrors(DWORD& errors, COMSTAT& status)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (DWORD refused = Refusal())
        return refused;
    DWORD waitingIn = 0;
    DWORD waitingOut = 0;
    if (int error = line_->Waiting(waitingIn, waitingOut))
        return Failed(error);
    errors = line_->TakeErrors();
    status = COMSTAT{};
    status.cbInQue = waitingIn;
    status.cbOutQue = waitingOut + UnsentBytes();
    ServeHeldInput();
    return ERROR_SUCCESS;
}

DWORD SerialDevice::StartRead(void* buffer, DWORD count, OVERLAPPED* overlapped, DWORD& transferred)
{
    ReadTransfer read{{overlapped, overlapped->hEvent, count, 0}, static_cast<std::uint8_t*>(buffer), {}, {}};
    if (read.event != nullptr)
        ResetEvent(read.event);
    std::unique_lock<std::mutex> lock(mutex_);
    if (DWORD refused = Refusal())
        return refused;
    MarkStarted(*overlapped);
    if (!reads_.empty()) {
        reads_.push_back(read);
        return ERROR_IO_PENDING;
    }
    const Clock::time_point now = Clock::now();
    BeginRead(read, now);
    // An expected answer is waited for at once: the wait finds bytes already there just as well.
    const bool answerExpected =
        AnswerExpected(now, lastWriteStart_) && !IsSatisfied(read.limits, 0, read.length);
    if (!answerExpected) {
        if (int error = PullBytes(read)) {
            if (MeansHangUp(error))
                HangUp();
            return EndAtOnce(read, ReadEnd(error, read.done), transferred);
        }
        if (IsSatisfied(read.limits, read.done, read.length))
            return EndAtOnce(read, ERROR_SUCCESS, transferred);
    }
    reads_.push_back(read);
    if (answerExpected && AwaitAnswer(CallerWaitFor(lock, overlapped, true), timeouts_)) {
        transferred = static_cast<DWORD>(overlapped->InternalHigh);
        return ErrorFromStatus(overlapped->Internal);
    }
    Arm(armed_ | EPOLLIN);
    // The worker sleeps until the next deadline it knows of: tell it of this one.
    const ReadTransfer& current = reads_.front();
    if (ReadDeadline(current.limits, current.done, current.lastByte))
        Wake();
    return ERROR_IO_PENDING;
}

DWORD SerialDevice::StartWrite(const void* buffer, DWORD count, OVERLAPPED* overlapped, DWORD& transferred)
{
    WriteTransfer write{
        {overlapped, overlapped->hEvent, count, 0}, static_cast<const std::uint8_t*>(buffer), 0};
    if (write.event != nullptr)
        ResetEvent(write.event);
    std::unique_lock<std::mutex> lock(mutex_);
    if (DWORD refused = Refusal())
        return refused;
    MarkStarted(*overlapped);
    lastWriteStart_ = Clock::now();
    // Writes leave in the order they were started: a later one waits its turn,
    // and the caller helps the earlier ones along while it waits.
    if (writes_.empty()) {
        if (int error = PushBytes(write))
            return EndAtOnce(write, Failed(error), transferred);
        if (write.done == write.length && !hasOutputQueue_)
            return EndAtOnce(write, ERROR_SUCCESS, transferred);
        if (write.done == write.length) {
            AwaitDrain(write);
            Wake(); // to time its asks after the queue
            return ERROR_IO_PENDING;
        }
    }
    writes_.push_back(write);
    if (!AwaitRoom(CallerWaitFor(lock, overlapped, false))) {
        Arm(armed_ | EPOLLOUT);
        return ERROR_IO_PENDING;
    }
    if (IsRunning(overlapped)) {
        Wake();
        return ERROR_IO_PENDING;
    }
    // A write that failed after it started shows its end only in its event,
    // as one the worker ended would.
    if (ErrorFromStatus(overlapped->Internal) != ERROR_SUCCESS)
        return ERROR_IO_PENDING;
    transferred = static_cast<DWORD>(overlapped->InternalHigh);
    return ERROR_SUCCESS;
}

// Two words a part: small enough for std::function to hold without allocating.
CallerWait SerialDevice::CallerWaitFor(std::unique_lock<std::mutex>& lock, const OVERLAPPED* overlapped,
                                       bool read)
{
    // A write's caller waits only for room: its bytes' leaving is the worker's to see.
    return {lock, fd_,
            [this, overlapped, read] { return read ? IsRunning(overlapped) : IsUnsent(overlapped); },
            [this, read] { return ServeCaller(read); }};
}

// One pass of the worker's service on the caller's thread; false once the device is closing.
bool SerialDevice::ServeCaller(bool read)
{
    if (closing_)
        return false;
    if (read)
        ServiceReads(Clock::now());
    else
        ServiceWrites();
    return true;
}

DWORD SerialDevice::Cancel(const OVERLAPPED* overlapped)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (closing_)
        return ERROR_INVALID_HANDLE;
    bool found = false;
    if (overlapped == nullptr) {
        found = !reads_.empty() || !writes_.empty() || !draining_.empty();
        FinishAll(reads_, ERROR_OPERATION_ABORTED);
        FinishAll(writes_, ERROR_OPERATION_ABORTED);
        FinishAll(draining_, ERROR_OPERATION_ABORTED);
    } else {
        const bool wasCurrentRead = !reads_.empty() && reads_.front().overlapped == overlapped;
        found = Abort(reads_, overlapped) || Abort(writes_, overlapped) || Abort(draining_, overlapped);
        // The next read's time-outs run from now, as when a read ends.
        if (wasCurrentRead && !reads_.empty())
            BeginRead(reads_.front(), Clock::now());
    }
    if (found)
        Wake();
    return found ? ERROR_SUCCESS : ERROR_NOT_FOUND;
}

DWORD SerialDevice::Outcome(OVERLAPPED* overlapped, bool wait, DWORD& transferred)
{
    std::unique_lock<std::mutex> lock(mutex_);
    if (IsRunning(overlapped)) {
        if (!wait)
            return ERROR_IO_INCOMPLETE;
        ended_.wait(lock, [&] { return !IsRunning(overlapped); });
    }
    transferred = static_cast<DWORD>(overlapped->InternalHigh);
    return ErrorFromStatus(overlapped->Internal);
}

} // namespace posix_serial
