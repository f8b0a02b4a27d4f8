#include "sim_state.h"

#include "nt_status.h"

#include <algorithm>
#include <cctype>
#include <limits>
#include <stdexcept>

namespace sim::detail {
namespace {

World MakeWorld()
{
    World made;
    for (std::size_t i = 0; i < DeviceCount; ++i) {
        made.devices[i].name = "COM" + std::to_string(i + 1);
        made.devices[i].accepted = DefaultDcb();
    }
    return made;
}

std::string Canonical(std::string name)
{
    const std::string devicePrefix = "\\\\.\\";
    if (name.compare(0, devicePrefix.size(), devicePrefix) == 0)
        name.erase(0, devicePrefix.size());
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return name;
}

void Finish(Device& device, OVERLAPPED* overlapped, DWORD error, DWORD transferred)
{
    TransferResult& result = device.transfers[overlapped];
    result.finished = true;
    result.error = error;
    result.transferred = transferred;
    overlapped->Internal = error == ERROR_SUCCESS ? nt_status::Success : nt_status::Cancelled;
    overlapped->InternalHigh = transferred;
    SetEvent(result.event);
}

} // namespace

std::mutex mutex;
World world = MakeWorld();

DCB DefaultDcb()
{
    DCB dcb{};
    dcb.DCBlength = sizeof(DCB);
    dcb.BaudRate = 9600;
    dcb.fBinary = 1;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.XonLim = 2048;
    dcb.XoffLim = 512;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.XonChar = 0x11;
    dcb.XoffChar = 0x13;
    return dcb;
}

Device* FindDevice(const std::string& name)
{
    const std::string wanted = Canonical(name);
    for (Device& device : world.devices)
        if (device.name == wanted)
            return &device;
    return nullptr;
}

Device& DeviceNamed(const std::string& name)
{
    Device* device = FindDevice(name);
    if (device == nullptr)
        throw std::invalid_argument("no simulated device is called \"" + name + "\"");
    return *device;
}

std::size_t IndexOf(const Device& device)
{
    return static_cast<std::size_t>(&device - world.devices.data());
}

bool IsFaultableFunction(const std::string& function)
{
    static const char* const faultable[] = {
        "CreateFileA", "SetupComm", "SetCommState",        "SetCommTimeouts", "PurgeComm", "ClearCommError",
        "ReadFile",    "WriteFile", "GetOverlappedResult", "GetCommState",    "CancelIoEx"};
    return std::find(std::begin(faultable), std::end(faultable), function) != std::end(faultable);
}

bool TakeFault(const std::string& function, DWORD& error)
{
    auto due = std::find_if(world.faults.begin(), world.faults.end(),
                            [&](const Fault& fault) { return fault.function == function; });
    if (due == world.faults.end())
        return false;
    if (due->skip > 0) {
        --due->skip;
        return false;
    }
    error = due->error;
    if (--due->count == 0)
        world.faults.erase(due);
    return true;
}

bool BeginTransfer(Device& device, OVERLAPPED* overlapped)
{
    // Windows resets the event when the transfer starts, so a reused event
    // cannot report the previous transfer's end.
    if (!ResetEvent(overlapped->hEvent))
        return false;
    overlapped->Internal = nt_status::Pending;
    overlapped->InternalHigh = 0;
    device.transfers[overlapped] = TransferResult{overlapped->hEvent};
    return true;
}

bool TransferInFlight(const Device& device, const OVERLAPPED* overlapped)
{
    auto found = device.transfers.find(overlapped);
    return found != device.transfers.end() && !found->second.finished;
}

void FillPendingRead(Device& device)
{
    if (!device.read)
        return;
    PendingRead& read = *device.read;
    const auto taken = std::min<std::size_t>(read.count - read.received, device.input.size());
    std::copy_n(device.input.begin(), taken, read.buffer + read.received);
    device.input.erase(device.input.begin(), device.input.begin() + taken);
    read.received += static_cast<DWORD>(taken);
    const bool full = read.received == read.count;
    const bool intervalExpired = device.shortReads == ShortReads::CompleteAtOnce && read.received > 0;
    if (full || intervalExpired)
        EndPendingRead(device, ERROR_SUCCESS);
}

void EndPendingRead(Device& device, DWORD error)
{
    if (!device.read)
        return;
    Finish(device, device.read->overlapped, error, device.read->received);
    device.read.reset();
}

int CompleteOldestWrites(Device& device, int count)
{
    return EndOldestWrites(device, count, ERROR_SUCCESS, std::numeric_limits<DWORD>::max());
}

int EndOldestWrites(Device& device, int count, DWORD error, DWORD sent)
{
    int ended = 0;
    for (; ended < count && !device.writes.empty(); ++ended) {
        const PendingWrite write = device.writes.front();
        device.writes.pop_front();
        const DWORD taken = std::min(sent, write.count);
        device.sent.insert(device.sent.end(), write.buffer, write.buffer + taken);
        Finish(device, write.overlapped, error, taken);
    }
    return ended;
}

void AbortWrites(Device& device)
{
    if (device.writeCompletion == WriteCompletion::Stuck)
        return;
    for (const PendingWrite& write : device.writes)
        Finish(device, write.overlapped, ERROR_OPERATION_ABORTED, 0);
    device.writes.clear();
}

bool AbortTransfer(Device& device, const OVERLAPPED* overlapped)
{
    if (device.read && device.read->overlapped == overlapped) {
        EndPendingRead(device, ERROR_OPERATION_ABORTED);
        return true;
    }
    auto write = std::find_if(device.writes.begin(), device.writes.end(),
                              [&](const PendingWrite& pending) { return pending.overlapped == overlapped; });
    if (write == device.writes.end() || device.writeCompletion == WriteCompletion::Stuck)
        return false;
    Finish(device, write->overlapped, ERROR_OPERATION_ABORTED, 0);
    device.writes.erase(write);
    return true;
}

DWORD PendingWriteBytes(const Device& device)
{
    DWORD bytes = 0;
    for (const PendingWrite& write : device.writes)
        bytes += write.count;
    return bytes;
}

} // namespace sim::detail
