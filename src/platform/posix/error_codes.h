// Translations between errno, Win32 error codes and the NTSTATUS values that
// Windows leaves in OVERLAPPED.Internal.
#pragma once

#include "nt_status.h"
#include "serial_api.h"

namespace posix_serial {

DWORD ErrorFromErrno(int error);

// The device is gone: a tty that was hung up or a USB adapter that was unplugged.
bool MeansHangUp(int error);

ULONG_PTR StatusFromError(DWORD error);
DWORD ErrorFromStatus(ULONG_PTR status);

} // namespace posix_serial
