// Translations between errno, Win32 error codes and the NTSTATUS values that
// Windows leaves in OVERLAPPED.Internal.
#pragma once

#include "serial_api.h"

namespace posix_serial {

DWORD ErrorFromErrno(int error);

// The device is gone: a tty that was hung up or a USB adapter that was unplugged.
bool MeansHangUp(int error);

ULONG_PTR StatusFromError(DWORD error);
DWORD ErrorFromStatus(ULONG_PTR status);

constexpr ULONG_PTR StatusPending = 0x103;

} // namespace posix_serial
