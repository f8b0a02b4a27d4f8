#include "error_codes.h"

#include <cerrno>

namespace posix_serial {
namespace {

struct StatusOfError {
    DWORD error;
    ULONG_PTR status;
};

constexpr StatusOfError StatusTable[] = {
    {ERROR_SUCCESS, nt_status::Success},
    {ERROR_IO_INCOMPLETE, nt_status::Pending},
    {ERROR_OPERATION_ABORTED, nt_status::Cancelled},
    {ERROR_DEVICE_NOT_CONNECTED, nt_status::DeviceNotConnected},
    {ERROR_ACCESS_DENIED, nt_status::AccessDenied},
    {ERROR_NOT_ENOUGH_MEMORY, nt_status::NoMemory},
    {ERROR_INVALID_PARAMETER, nt_status::InvalidParameter},
    {ERROR_NOT_SUPPORTED, nt_status::NotSupported},
    {ERROR_GEN_FAILURE, nt_status::Unsuccessful},
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
