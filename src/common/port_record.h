// The per-port state record and the status bits every command returns.
#pragma once

#include "platform/serial.h"

#include <cstdint>

enum StatusBits : std::int32_t {
    LineError = 1,     // parity, framing or break error recorded on the line
    NotOpen = 2,       // the port is not open, or could not be opened
    Pending = 4,       // bytes waiting, or writes in flight
    TimedOut = 8,      // fewer bytes than requested, or writes not finished in time
    ConfigFailed = 16, // the device rejected buffer sizes, control settings or time-outs
    Overrun = 32,      // the driver's input buffer overflowed
    IoFailed = 64      // an operating-system call on the device failed
};

struct PendingWrite;

struct PortRecord {
    char Name[8];
    DCB Dcb;
    std::int32_t InBufferSize;
    std::int32_t OutBufferSize;
    DWORD ReadTimeout;  // milliseconds
    DWORD WriteTimeout; // milliseconds
    HANDLE Handle;      // INVALID_HANDLE_VALUE while the port is closed
    DWORD ErrorFlags;   // CE_ bits seen since Read last consumed them
    std::int32_t PendingCount;
    PendingWrite* PendingHead; // newest first
    bool WritesLost;           // a write ended failed or short since FlushWrite or Close reported one
    // Setting groups (ChangeMask bits) the open device refused, or never got
    // because an earlier one was refused: applied again by the next SetParams.
    unsigned RefusedGroups;
};

inline bool IsOpen(const PortRecord& record)
{
    return record.Handle != INVALID_HANDLE_VALUE;
}
