// The Win32 serial calls over termios. Each finds its device by handle and
// hands the call on; the Win32 conventions (BOOL and last error) live here.
#include "device_names.h"
#include "serial_device.h"

#include <new>

using posix_serial::SerialDevice;

namespace {

BOOL Fail(DWORD error)
{
    SetLastError(error);
    return FALSE;
}

BOOL Report(DWORD error)
{
    return error == ERROR_SUCCESS ? TRUE : Fail(error);
}

template <class Call> BOOL OnDevice(HANDLE handle, Call call)
{
    std::shared_ptr<SerialDevice> device = kernel::LookupAs<SerialDevice>(handle);
    return device ? Report(call(*device)) : Fail(ERROR_INVALID_HANDLE);
}

HANDLE OpenDevice(LPCSTR name, DWORD access)
{
    const std::string path = posix_serial::ResolveDevicePath(name);
    if (path.empty()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    DWORD error = ERROR_SUCCESS;
    std::shared_ptr<SerialDevice> device = SerialDevice::Open(path, access, error);
    if (!device) {
        SetLastError(error);
        return INVALID_HANDLE_VALUE;
    }
    return kernel::Register(std::move(device));
}

} // namespace

// Ports are never shared, whatever the share mode asks, as on Windows. Only
// overlapped I/O is provided.
HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD, LPSECURITY_ATTRIBUTES, DWORD creation, DWORD flags,
                   HANDLE)
{
    if (name == nullptr || creation != OPEN_EXISTING || (flags & FILE_FLAG_OVERLAPPED) == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    try {
        return OpenDevice(name, access);
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return INVALID_HANDLE_VALUE;
    }
}

// Linux sizes its own queues.
BOOL SetupComm(HANDLE device, DWORD, DWORD)
{
    return OnDevice(device, [](SerialDevice& port) { return port.CheckUsable(); });
}

BOOL GetCommState(HANDLE device, LPDCB dcb)
{
    if (dcb == nullptr)
        return Fail(ERROR_INVALID_PARAMETER);
    return OnDevice(device, [&](SerialDevice& port) { return port.ReadState(*dcb); });
}

BOOL SetCommState(HANDLE device, LPDCB dcb)
{
    if (dcb == nullptr)
        return Fail(ERROR_INVALID_PARAMETER);
    return OnDevice(device, [&](SerialDevice& port) { return port.Configure(*dcb); });
}

BOOL SetCommTimeouts(HANDLE device, LPCOMMTIMEOUTS timeouts)
{
    if (timeouts == nullptr)
        return Fail(ERROR_INVALID_PARAMETER);
    return OnDevice(device, [&](SerialDevice& port) { return port.SetTimeouts(*timeouts); });
}

BOOL PurgeComm(HANDLE device, DWORD flags)
{
    return OnDevice(device, [&](SerialDevice& port) { return port.Purge(flags); });
}

BOOL ClearCommError(HANDLE device, LPDWORD errors, LPCOMSTAT status)
{
    return OnDevice(device, [&](SerialDevice& port) {
        DWORD taken = 0;
        COMSTAT queues{};
        DWORD result = port.TakeErrors(taken, queues);
        if (result == ERROR_SUCCESS && errors != nullptr)
            *errors = taken;
        if (result == ERROR_SUCCESS && status != nullptr)
            *status = queues;
        return result;
    });
}

BOOL ReadFile(HANDLE device, LPVOID buffer, DWORD count, LPDWORD transferred, LPOVERLAPPED overlapped)
{
    if (overlapped == nullptr || (buffer == nullptr && count > 0))
        return Fail(ERROR_INVALID_PARAMETER);
    return OnDevice(device, [&](SerialDevice& port) {
        DWORD done = 0;
        DWORD result = port.StartRead(buffer, count, overlapped, done);
        if (result == ERROR_SUCCESS && transferred != nullptr)
            *transferred = done;
        return result;
    });
}

BOOL WriteFile(HANDLE device, LPCVOID buffer, DWORD count, LPDWORD transferred, LPOVERLAPPED overlapped)
{
    if (overlapped == nullptr || (buffer == nullptr && count > 0))
        return Fail(ERROR_INVALID_PARAMETER);
    return OnDevice(device, [&](SerialDevice& port) {
        DWORD done = 0;
        DWORD result = port.StartWrite(buffer, count, overlapped, done);
        if (result == ERROR_SUCCESS && transferred != nullptr)
            *transferred = done;
        return result;
    });
}

BOOL GetOverlappedResult(HANDLE device, LPOVERLAPPED overlapped, LPDWORD transferred, BOOL wait)
{
    if (overlapped == nullptr)
        return Fail(ERROR_INVALID_PARAMETER);
    return OnDevice(device, [&](SerialDevice& port) {
        DWORD done = 0;
        DWORD result = port.Outcome(overlapped, wait != FALSE, done);
        if (result != ERROR_IO_INCOMPLETE && transferred != nullptr)
            *transferred = done;
        return result;
    });
}

BOOL CancelIoEx(HANDLE device, LPOVERLAPPED overlapped)
{
    return OnDevice(device, [&](SerialDevice& port) { return port.Cancel(overlapped); });
}
