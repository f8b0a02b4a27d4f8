// Control and inspection of the simulated serial devices that stand in for
// COM1..COM8 in unit tests. Every Win32 serial call is recorded with its
// arguments, any call can be made to fail, and each device's input, line
// errors and write completion are scripted by the test. Nothing runs in the
// background: transfers complete when the test says so, on its own thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "serial_api.h"

namespace sim {

enum class Presence { Present, Absent, Busy };

// How WriteFile behaves on a device.
enum class WriteCompletion {
    Immediate,  // WriteFile returns TRUE; the event is signalled at once
    Later,      // ERROR_IO_PENDING; CompleteWrites() finishes them, oldest first
    Never,      // ERROR_IO_PENDING; only PURGE_TXABORT, CancelIoEx or CloseHandle ends them
    Stuck       // ERROR_IO_PENDING; nothing ends them, not even CloseHandle, until CompleteWrites()
};

// How a read that could not be filled at once behaves.
enum class ShortReads {
    WaitForCount,  // stays pending until enough input arrives or it is aborted
    CompleteAtOnce // the interval time-out expires at once: completes short
};

struct CallRecord {
    std::string function;  // "CreateFileA", "SetCommState", ...
    std::string device;    // "COM3"; empty for calls on a handle that is no device
    std::vector<std::uint64_t> args;  // the call's numeric arguments, in order
    DCB dcb{};                        // SetCommState's argument
    COMMTIMEOUTS timeouts{};          // SetCommTimeouts's argument
};

// Back to the start: every device present, no faults, no input, no errors,
// immediate writes, reads that wait for their count, an empty call log.
// Devices still open stay open (the module may hold them).
void Reset();

void SetPresence(const std::string& device, Presence presence);

// The next `count` calls of `function` (on any device) fail with `lastError`.
// After `skip` further calls of it have succeeded first.
void FailCall(const std::string& function, DWORD lastError = ERROR_GEN_FAILURE, int count = 1, int skip = 0);

// Input arriving on the line: fills a pending read first, the rest waits in
// the driver's input queue (cbInQue).
void QueueInput(const std::string& device, const std::vector<std::uint8_t>& bytes);
// Communication error bits (CE_...) reported by the next ClearCommError.
void RaiseErrors(const std::string& device, DWORD errors);

void SetWriteCompletion(const std::string& device, WriteCompletion mode);
void SetShortReads(const std::string& device, ShortReads mode);
// Finishes up to `count` pending writes of a device, oldest first; returns how many.
int CompleteWrites(const std::string& device, int count);
// Ends up to `count` pending writes, oldest first, as a line that fails under
// them: with `error`, having sent `sent` bytes of each (ERROR_SUCCESS: short).
int EndWritesEarly(const std::string& device, int count, DWORD error, DWORD sent);
// Completes a pending read short with what it has received so far.
void ExpireRead(const std::string& device);

// What the device has sent: the bytes of every write that completed, in order.
std::vector<std::uint8_t> Sent(const std::string& device);
int PendingWriteCount(const std::string& device);
bool IsOpen(const std::string& device);
bool ReadPending(const std::string& device);
// The settings the device accepted last.
DCB AcceptedState(const std::string& device);

// GetOverlappedResult(wait = TRUE) on a transfer that nothing will finish
// would hang a real host; the simulation gives up after a few seconds,
// fails the call with ERROR_IO_INCOMPLETE and counts it here.
int WouldHangCount();

std::vector<CallRecord> Calls();
int CountCalls(const std::string& function);
void ClearCalls();

}  // namespace sim
