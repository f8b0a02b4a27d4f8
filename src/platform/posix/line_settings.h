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

// A line's settings as the kernel keeps them; termios alone cannot hold a
// custom speed.
struct LineState {
    termios settings;
    unsigned inputRate;
    unsigned outputRate;
    unsigned uartBaseRate; // see UartBaseRate: 0 where the driver tells no clock
};

// How a line's settings are read and written: the tty's own calls, or a
// test's stand-in for a device that keeps less than it is given. 0 or the errno.
struct LineAccess {
    int (*read)(int fd, LineState& state);
    int (*write)(int fd, const LineState& state);
};

extern const LineAccess TtyLine;

// Writes the frame, flow control and speed of a checked DCB and reads back
// what the device kept. A device that dropped any of it gets its previous
// settings back and the answer is EINVAL, as a Windows driver refuses what it
// cannot do; a pseudo-terminal's forced byte size and parity are not held
// against it. 0 or the errno.
int ApplyLine(int fd, const DCB& dcb, bool pseudoTerminal, const LineAccess& line);

// Applies a checked DCB to the tty; 0 or the errno. Modem-line requests that
// the device does not support (pseudo-terminals) are skipped, not failed.
int ApplyDcb(int fd, const DCB& dcb);

// Raw mode, 8N1, no flow control, DTR and RTS raised, the output speed kept
// and the input speed made to follow it; fills `state` with the DCB of that
// setting. 0 or the errno.
int StartRawPort(int fd, DCB& state);

} // namespace posix_serial
