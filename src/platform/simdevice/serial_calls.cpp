// The Win32 device calls of serial_api.h, answered by the simulated devices.
// Every call is recorded first, even one that then fails.
#include "dcb_rules.h"
#include "kernel_objects.h"
#include "sim_state.h"

#include <memory>

using sim::CallRecord;
using sim::detail::Device;
using sim::detail::world;

namespace {

// GetOverlappedResult(wait = TRUE) gives up after this long; see WouldHangCount.
constexpr DWORD HangLimitMilliseconds = 5000;

using Guard = std::lock_guard<std::mutex>;

// The kernel object behind a device handle. The registry forgets the handle
// before calling Close, so later calls with it fail as invalid.
class PortHandle : public kernel::Object {
  public:
    explicit PortHandle(std::size_t index) : index(index) {}
    void Close() override;
    const std::size_t index;
};

void PortHandle::Close()
{
    Guard lock(sim::detail::mutex);
    Device& device = world.devices[index];
    world.calls.push_back(CallRecord{"CloseHandle", device.name, {}});
    sim::detail::EndPendingRead(device, ERROR_OPERATION_ABORTED);
    sim::detail::AbortWrites(device);
    device.open = false;
}

BOOL Fail(DWORD error)
{
    SetLastError(error);
    return FALSE;
}

HANDLE FailOpen(DWORD error)
{
    SetLastError(error);
    return INVALID_HANDLE_VALUE;
}

// Records the call and finds its device. Null, with the last error set, when
// the handle is no open device or an injected fault is due.
Device* BeginCall(HANDLE handle, CallRecord record)
{
    auto port = kernel::LookupAs<PortHandle>(handle);
    Device* device = port ? &world.devices[port->index] : nullptr;
    if (device != nullptr)
        record.device = device->name;
    const std::string function = record.function;
    world.calls.push_back(std::move(record));
    if (device == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    DWORD injected = ERROR_SUCCESS;
    if (sim::detail::TakeFault(function, injected)) {
        SetLastError(injected);
        return nullptr;
    }
    return device;
}

// The simulation needs an event per transfer: it is what the waits watch.
bool ValidTransfer(const Device& device, const void* buffer, DWORD count, const OVERLAPPED* overlapped)
{
    if (overlapped == nullptr || overlapped->hEvent == nullptr)
        return false;
    if (buffer == nullptr && count > 0)
        return false;
    return !sim::detail::TransferInFlight(device, overlapped);
}

BOOL ReportResult(const sim::detail::TransferResult& result, LPDWORD transferred)
{
    *transferred = result.transferred;
    return result.error == ERROR_SUCCESS ? TRUE : Fail(result.error);
}

} // namespace

HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES, DWORD creation,
                   DWORD flags, HANDLE)
{
    Guard lock(sim::detail::mutex);
    const std::string given = name != nullptr ? name : "";
    Device* device = sim::detail::FindDevice(given);
    world.calls.push_back(
        CallRecord{"CreateFileA", device ? device->name : given, {access, shareMode, creation, flags}});
    DWORD injected = ERROR_SUCCESS;
    if (sim::detail::TakeFault("CreateFileA", injected))
        return FailOpen(injected);
    if (device == nullptr || device->presence == sim::Presence::Absent)
        return FailOpen(ERROR_FILE_NOT_FOUND);
    if (device->presence == sim::Presence::Busy || device->open)
        return FailOpen(ERROR_ACCESS_DENIED);
    device->open = true;
    device->transfers.clear();
    return kernel::Register(std::make_shared<PortHandle>(sim::detail::IndexOf(*device)));
}

BOOL SetupComm(HANDLE handle, DWORD inQueue, DWORD outQueue)
{
    Guard lock(sim::detail::mutex);
    return BeginCall(handle, CallRecord{"SetupComm", "", {inQueue, outQueue}}) ? TRUE : FALSE;
}

BOOL GetCommState(HANDLE handle, LPDCB dcb)
{
    Guard lock(sim::detail::mutex);
    Device* device = BeginCall(handle, CallRecord{"GetCommState", "", {}});
    if (device == nullptr)
        return FALSE;
    if (dcb == nullptr)
        return Fail(ERROR_INVALID_PARAMETER);
    *dcb = device->accepted;
    return TRUE;
}

BOOL SetCommState(HANDLE handle, LPDCB dcb)
{
    Guard lock(sim::detail::mutex);
    Device* device = BeginCall(handle, CallRecord{"SetCommState", "", {}, dcb ? *dcb : DCB{}});
    if (device == nullptr)
        return FALSE;
    if (dcb == nullptr || !win32compat::IsDcbAccepted(*dcb))
        return Fail(ERROR_INVALID_PARAMETER);
    device->accepted = *dcb;
    return TRUE;
}

BOOL SetCommTimeouts(HANDLE handle, LPCOMMTIMEOUTS timeouts)
{
    Guard lock(sim::detail::mutex);
    CallRecord record{"SetCommTimeouts", "", {}, {}, timeouts ? *timeouts : COMMTIMEOUTS{}};
    if (BeginCall(handle, std::move(record)) == nullptr)
        return FALSE;
    return timeouts != nullptr ? TRUE : Fail(ERROR_INVALID_PARAMETER);
}

BOOL PurgeComm(HANDLE handle, DWORD flags)
{
    Guard lock(sim::detail::mutex);
    Device* device = BeginCall(handle, CallRecord{"PurgeComm", "", {flags}});
    if (device == nullptr)
        return FALSE;
    if ((flags & ~(PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR)) != 0)
        return Fail(ERROR_INVALID_PARAMETER);
    if (flags & PURGE_TXABORT)
        sim::detail::AbortWrites(*device);
    if (flags & PURGE_RXABORT)
        sim::detail::EndPendingRead(*device, ERROR_OPERATION_ABORTED);
    if (flags & PURGE_RXCLEAR)
        device->input.clear();
    return TRUE;
}

BOOL ClearCommError(HANDLE handle, LPDWORD errors, LPCOMSTAT status)
{
    Guard lock(sim::detail::mutex);
    Device* device = BeginCall(handle, CallRecord{"ClearCommError", "", {}});
    if (device == nullptr)
        return FALSE;
    if (errors != nullptr)
        *errors = device->errors;
    device->errors = 0;
    if (status != nullptr) {
        *status = COMSTAT{};
        status->cbInQue = static_cast<DWORD>(device->input.size());
        status->cbOutQue = sim::detail::PendingWriteBytes(*device);
    }
    return TRUE;
}

BOOL ReadFile(HANDLE handle, LPVOID buffer, DWORD count, LPDWORD transferred, LPOVERLAPPED overlapped)
{
    Guard lock(sim::detail::mutex);
    Device* device = BeginCall(handle, CallRecord{"ReadFile", "", {count}});
    if (device == nullptr)
        return FALSE;
    // One read at a time: the module never queues a second one.
    if (!ValidTransfer(*device, buffer, count, overlapped) || device->read)
        return Fail(ERROR_INVALID_PARAMETER);
    if (transferred != nullptr)
        *transferred = 0;
    if (!sim::detail::BeginTransfer(*device, overlapped))
        return FALSE;
    device->read = sim::detail::PendingRead{overlapped, static_cast<std::uint8_t*>(buffer), count, 0};
    sim::detail::FillPendingRead(*device);
    if (device->read)
        return Fail(ERROR_IO_PENDING);
    if (transferred != nullptr)
        *transferred = device->transfers[overlapped].transferred;
    return TRUE;
}

BOOL WriteFile(HANDLE handle, LPCVOID buffer, DWORD count, LPDWORD transferred, LPOVERLAPPED overlapped)
{
    Guard lock(sim::detail::mutex);
    Device* device = BeginCall(handle, CallRecord{"WriteFile", "", {count}});
    if (device == nullptr)
        return FALSE;
    if (!ValidTransfer(*device, buffer, count, overlapped))
        return Fail(ERROR_INVALID_PARAMETER);
    if (transferred != nullptr)
        *transferred = 0;
    if (!sim::detail::BeginTransfer(*device, overlapped))
        return FALSE;
    device->writes.push_back({overlapped, static_cast<const std::uint8_t*>(buffer), count});
    // Behind writes still pending, even an immediate device must keep order.
    const bool first = device->writes.size() == 1;
    if (device->writeCompletion != sim::WriteCompletion::Immediate || !first)
        return Fail(ERROR_IO_PENDING);
    sim::detail::CompleteOldestWrites(*device, 1);
    if (transferred != nullptr)
        *transferred = count;
    return TRUE;
}

BOOL GetOverlappedResult(HANDLE handle, LPOVERLAPPED overlapped, LPDWORD transferred, BOOL wait)
{
    std::unique_lock<std::mutex> lock(sim::detail::mutex);
    Device* device =
        BeginCall(handle, CallRecord{"GetOverlappedResult", "", {static_cast<std::uint64_t>(wait)}});
    if (device == nullptr)
        return FALSE;
    auto found = device->transfers.find(overlapped);
    if (found == device->transfers.end() || transferred == nullptr)
        return Fail(ERROR_INVALID_PARAMETER);
    *transferred = 0;
    if (found->second.finished)
        return ReportResult(found->second, transferred);
    if (!wait)
        return Fail(ERROR_IO_INCOMPLETE);

    // Unlocked while waiting: the wait hook or another thread finishes the transfer.
    const HANDLE event = found->second.event;
    lock.unlock();
    const DWORD waited = WaitForSingleObject(event, HangLimitMilliseconds);
    lock.lock();
    if (waited == WAIT_FAILED)
        return FALSE;
    found = device->transfers.find(overlapped);
    if (found != device->transfers.end() && found->second.finished)
        return ReportResult(found->second, transferred);
    if (waited == WAIT_TIMEOUT)
        ++world.wouldHang;
    return Fail(ERROR_IO_INCOMPLETE);
}

// Without an OVERLAPPED every transfer of the handle ends, as on Windows.
BOOL CancelIoEx(HANDLE handle, LPOVERLAPPED overlapped)
{
    Guard lock(sim::detail::mutex);
    Device* device = BeginCall(handle, CallRecord{"CancelIoEx", "", {}});
    if (device == nullptr)
        return FALSE;
    if (overlapped != nullptr)
        return sim::detail::AbortTransfer(*device, overlapped) ? TRUE : Fail(ERROR_NOT_FOUND);
    const bool running = device->read || !device->writes.empty();
    sim::detail::EndPendingRead(*device, ERROR_OPERATION_ABORTED);
    sim::detail::AbortWrites(*device);
    return running ? TRUE : Fail(ERROR_NOT_FOUND);
}
