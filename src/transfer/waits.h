// Waits a person can interrupt: the host is asked between short pieces of a
// wait whether the user pressed Ctrl-C, so that no command holds the session
// for its whole time-out.
#pragma once

#include "platform/serial.h"

enum class WaitEnd { Signalled, TimedOut, Interrupted, Failed };

// WaitForMultipleObjects in pieces of at most 100 ms; INFINITE never times
// out. The first piece is always waited, so an interrupt still lets
// transfers that are about to end do so.
WaitEnd WaitInterruptibly(DWORD count, const HANDLE* events, BOOL waitAll, DWORD milliseconds);
