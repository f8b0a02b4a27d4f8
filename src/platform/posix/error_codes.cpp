#include "error_codes.h"

#include <cerrno>

namespace posix_serial {
namespace {

struct StatusOfError {
    DWORD error;
    ULONG_PTR status;
};

constexpr StatusOfError StatusTable[] = {
    {ERROR_SUCCESS, 0x0},
    {ERROR_IO_INCOMPLETE, StatusPending},
    {ERROR_OPERATION_ABORTED, 0xC0000120},    // STATUS_CANCELLED
    {ERROR_DEVICE_NOT_CONNECTED, 0xC000009D}, // STATUS_DEVICE_NOT_CONNECTED
    {ERROR_ACCESS_DENIED, 0xC0000022},        // STATUS_ACCESS_DENIED
    {ERROR_NOT_ENOUGH_MEMORY, 0xC0000017},    // STATUS_NO_MEMORY
    {ERROR_INVALID_PARAMETER, 0xC000000D},    // STATUS_INVALID_PARAMETER
    {ERROR_NOT_SUPPORTED, 0xC00000BB},        // STATUS_NOT_SUPPORTED
    {ERROR_GEN_FAILURE, 0xC0000001},          // STATUS_UNSUCCESSFUL
};

} // namespace

DWORD ErrorFromErrno(int error)
{
    switch (error) {
    case 0:
        return ERROR_SUCCESS;
    case ENOENT:
    case ENOTDIR:
    case ELOOP:
        return ERROR_FILE_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EBUSY:
    case EWOULDBLOCK:
    case EROFS:
    case EBADF:
        return ERROR_ACCESS_DENIED;
    case EIO:
    case ENXIO:
    case ENODEV:
        return ERROR_DEVICE_NOT_CONNECTED;
    case ENOMEM:
    case EMFILE:
    case ENFILE:
        return ERROR_NOT_ENOUGH_MEMORY;
    case EINVAL:
        return ERROR_INVALID_PARAMETER;
    case ENOTTY:
        return ERROR_NOT_SUPPORTED;
    default:
        return ERROR_GEN_FAILURE;
    }
}

bool MeansHangUp(int error)
{
    return error == EIO || error == ENXIO || error == ENODEV;
}

ULONG_PTR StatusFromError(DWORD error)
{
    for (const StatusOfError& entry : StatusTable)
        if (entry.error == error)
            return entry.status;
    return StatusFromError(ERROR_GEN_FAILURE);
}

DWORD ErrorFromStatus(ULONG_PTR status)
{
    for (const StatusOfError& entry : StatusTable)
        if (entry.status == status)
            return entry.error;
    return ERROR_GEN_FAILURE;
}

} // namespace posix_serial
