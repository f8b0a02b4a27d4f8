// State of the simulated devices, shared by the Win32 calls and the test's
// control functions. Everything here is guarded by `mutex`; the functions
// below expect it held. Lock order: this mutex, then the kernel registry's.
#pragma once

#include "sim_device.h"

#include <array>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace sim::detail {

// What GetOverlappedResult reports for one OVERLAPPED.
struct TransferResult {
    HANDLE event = nullptr;
    bool finished = false;
    DWORD error = ERROR_SUCCESS;
    DWORD transferred = 0;
};

// Bytes land in the caller's buffer as they arrive, as the driver does.
struct PendingRead {
    OVERLAPPED* overlapped;
    std::uint8_t* buffer;
    DWORD count;
    DWORD received;
};

// The driver reads a write's bytes only when it sends them, so the caller's
// buffer must stay valid until the write ends, as on Windows.
struct PendingWrite {
    OVERLAPPED* overlapped;
    const std::uint8_t* buffer;
    DWORD count;
};

struct Device {
    std::string name;
    Presence presence = Presence::Present;
    bool open = false;
    DCB accepted{};
    std::deque<std::uint8_t> input;
    DWORD errors = 0;
    WriteCompletion writeCompletion = WriteCompletion::Immediate;
    ShortReads shortReads = ShortReads::WaitForCount;
    std::optional<PendingRead> read;
    std::deque<PendingWrite> writes;
    std::vector<std::uint8_t> sent;
    // Kept until the device is opened again, so that a wait interrupted by
    // CloseHandle still learns that its transfer was aborted.
    std::unordered_map<const OVERLAPPED*, TransferResult> transfers;
};

struct Fault {
    std::string function;
    DWORD error;
    int count;
    int skip;
};

constexpr std::size_t DeviceCount = 8;

struct World {
    std::array<Device, DeviceCount> devices;
    std::vector<CallRecord> calls;
    std::vector<Fault> faults;
    int wouldHang = 0;
};

extern std::mutex mutex;
extern World world;

DCB DefaultDcb();

// "COM1".."COM8", also as "\\.\COM1" and in any letter case; null otherwise.
Device* FindDevice(const std::string& name);
// Like FindDevice, for the test's own calls: an unknown name is a test bug.
Device& DeviceNamed(const std::string& name);
std::size_t IndexOf(const Device& device);

bool IsFaultableFunction(const std::string& function);
// Consumes the next scheduled fault of `function`, if one is due now.
bool TakeFault(const std::string& function, DWORD& error);

// False, with ERROR_INVALID_HANDLE, when the OVERLAPPED's event is no event.
bool BeginTransfer(Device& device, OVERLAPPED* overlapped);
bool TransferInFlight(const Device& device, const OVERLAPPED* overlapped);

// Moves queued input into the pending read and completes it once it is full
// (or, with ShortReads::CompleteAtOnce, once it holds anything).
void FillPendingRead(Device& device);
void EndPendingRead(Device& device, DWORD error);
int CompleteOldestWrites(Device& device, int count);
int EndOldestWrites(Device& device, int count, DWORD error, DWORD sent);
// Ends every pending write as aborted, unless the device's writes are stuck.
void AbortWrites(Device& device);
// Ends the read or write of `overlapped` as aborted; false when none runs.
bool AbortTransfer(Device& device, const OVERLAPPED* overlapped);
DWORD PendingWriteBytes(const Device& device);

} // namespace sim::detail
