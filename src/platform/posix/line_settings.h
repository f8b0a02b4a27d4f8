// The DCB in termios terms: checked as a Windows serial driver checks it, then
// applied as far as Linux can express it (see README.md for what it cannot).
#pragma once

#include "serial_api.h"

#include <termios.h>

namespace posix_serial {

// ERROR_SUCCESS, or ERROR_INVALID_PARAMETER for a DCB Windows refuses.
DWORD CheckDcb(const DCB& dcb);

// The frame, flow control and flow characters of a checked DCB, written over
// those of `settings`; the speed and everything else stay.
void ComposeTermios(termios& settings, const DCB& dcb);

// Applies a checked DCB; 0 or the errno. Modem-line requests that the device
// does not support (pseudo-terminals) are skipped, not failed.
int ApplyDcb(int fd, const DCB& dcb);

// Raw mode, 8N1, no flow control, DTR and RTS raised, the output speed kept
// and the input speed made to follow it; fills `state` with the DCB of that
// setting. 0 or the errno.
int StartRawPort(int fd, DCB& state);

} // namespace posix_serial
