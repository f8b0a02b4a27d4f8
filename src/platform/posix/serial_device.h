// One open serial device: its line (a tty or a network port), its settings and the overlapped transfers
// in flight. Transfers that can finish at once do so on the caller's thread;
// the rest are carried on by the device's worker thread, which also ends
// reads on their time-outs. Everything below runs under the device's mutex.
#pragma once

#include "caller_waits.h"
#include "kernel_objects.h"
#include "line.h"
#include "read_limits.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace posix_serial {

class SerialDevice : public kernel::Object {
  public:
    // The device opened, claimed, raw and running; null with `error` set.
    static std::shared_ptr<SerialDevice> Open(const std::string& path, DWORD access, DWORD& error);
    ~SerialDevice() override;

    // Ends every transfer as aborted (events signalled), then closes the line.
    void Close() override;

    // Each returns ERROR_SUCCESS or the failure.
    DWORD Configure(const DCB& dcb);
    DWORD ReadState(DCB& dcb);
    DWORD SetTimeouts(const COMMTIMEOUTS& timeouts);
    DWORD CheckUsable();
    DWORD Purge(DWORD flags);
    DWORD TakeErrors(DWORD& errors, COMSTAT& status);

    // ERROR_SUCCESS when done at once (`transferred` set), ERROR_IO_PENDING
    // when it goes on in the background, or the failure. The buffer and the
    // OVERLAPPED stay the caller's and must outlive the transfer.
    DWORD StartRead(void* buffer, DWORD count, OVERLAPPED* overlapped, DWORD& transferred);
    DWORD StartWrite(const void* buffer, DWORD count, OVERLAPPED* overlapped, DWORD& transferred);

    // Ends the transfer of `overlapped` (every transfer when null) as
    // aborted; ERROR_NOT_FOUND when there is none.
    DWORD Cancel(const OVERLAPPED* overlapped);

    // How a transfer ended; ERROR_IO_INCOMPLETE while it runs, unless `wait`.
    DWORD Outcome(OVERLAPPED* overlapped, bool wait, DWORD& transferred);

  private:
    struct Transfer {
        OVERLAPPED* overlapped;
        HANDLE event;
        DWORD length;
        DWORD done;
    };
    struct ReadTransfer : Transfer {
        std::uint8_t* into;
        ReadLimits limits;
        Clock::time_point lastByte;
    };
    struct WriteTransfer : Transfer {
        const std::uint8_t* from;
        std::uint64_t lastByteMark; // handedToKernel_ once its last byte was handed over
    };

    SerialDevice() = default;
    DWORD Start(const std::string& path, DWORD access);
    DWORD StartWorker();
    void ServeHeldInput();
    void Run();

    DWORD Refusal() const;
    DWORD Failed(int error);
    void HangUp();

    int PullBytes(ReadTransfer& read);
    int PushBytes(WriteTransfer& write);
    void BeginRead(ReadTransfer& read, Clock::time_point now);
    bool HasTimedOut(const ReadTransfer& read, Clock::time_point now) const;
    void ServiceReads(Clock::time_point now);
    void ServiceWrites();
    void AwaitDrain(WriteTransfer& write);
    void ServiceDraining();
    int BytesSentByKernel(std::uint64_t& sent);
    int MillisecondsToDrainPoll() const;
    void FinishCurrentRead(DWORD error, Clock::time_point now);
    // The caller's wait for the read or write of `overlapped`.
    CallerWait CallerWaitFor(std::unique_lock<std::mutex>& lock, const OVERLAPPED* overlapped, bool read);
    bool ServeCaller(bool read);

    void Finish(Transfer& transfer, DWORD error);
    DWORD EndAtOnce(Transfer& transfer, DWORD error, DWORD& transferred);
    template <class Queue> void FinishAll(Queue& queue, DWORD error);
    template <class Queue> bool Abort(Queue& queue, const OVERLAPPED* overlapped);
    bool IsRunning(const OVERLAPPED* overlapped) const;
    bool IsUnsent(const OVERLAPPED* overlapped) const;
    DWORD UnsentBytes() const;

    std::uint32_t WantedInterest() const;
    void Arm(std::uint32_t interest);
    int MillisecondsToDeadline(Clock::time_point now) const;
    void Wake();

    // Set before the worker starts, constant after.
    std::unique_ptr<Line> line_;
    int fd_ = -1; // the line's descriptor
    int epoll_ = -1;
    int wake_ = -1;

    std::mutex mutex_;
    std::condition_variable ended_;
    std::thread worker_;
    DCB state_{};
    COMMTIMEOUTS timeouts_{};
    std::deque<ReadTransfer> reads_;
    std::deque<WriteTransfer> writes_;
    // Writes whose bytes the kernel holds, not yet sent; a write ends when
    // they have left, as on Windows, and not when the kernel took them.
    std::deque<WriteTransfer> draining_;
    std::uint64_t handedToKernel_ = 0;
    std::uint64_t sentByKernel_ = 0; // as last asked
    bool hasOutputQueue_ = false;    // pseudo-terminals keep none
    std::uint32_t armed_ = 0;        // the readiness the worker is told about
    Clock::time_point lastWriteStart_{};
    bool hungUp_ = false;
    bool closing_ = false;
};

} // namespace posix_serial
