// The NTSTATUS values that Windows leaves in OVERLAPPED.Internal, for the
// stand-ins that put them there and the tests that read them.
#pragma once

#include "serial_api.h"

namespace nt_status {

constexpr ULONG_PTR Success = 0x0;
constexpr ULONG_PTR Pending = 0x103;
constexpr ULONG_PTR Unsuccessful = 0xC0000001;
constexpr ULONG_PTR InvalidParameter = 0xC000000D;
constexpr ULONG_PTR NoMemory = 0xC0000017;
constexpr ULONG_PTR AccessDenied = 0xC0000022;
constexpr ULONG_PTR DeviceNotConnected = 0xC000009D;
constexpr ULONG_PTR NotSupported = 0xC00000BB;
constexpr ULONG_PTR Cancelled = 0xC0000120;

} // namespace nt_status
