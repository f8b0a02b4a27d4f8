// Opening a tty as Windows opens a COM port: for one owner at a time.
#pragma once

#include "serial_api.h"

#include <string>
#include <sys/types.h>

namespace posix_serial {

// Whether the character device is one of the kernel's ttys: its sysfs entry
// (sys/dev/char/MAJOR:MINOR) belongs to the tty class, or it is the slave of
// a pseudo-terminal, which sysfs does not list. Nothing else may be opened:
// some devices act on being opened (a watchdog, once open, reboots the
// machine unless it is closed in its own way).
bool IsTtyClass(dev_t device, const std::string& sys = "/sys");

// A non-blocking descriptor held exclusively, or -1 with `error` set:
// ERROR_FILE_NOT_FOUND (no such device), ERROR_ACCESS_DENIED (busy or
// forbidden), ERROR_NOT_SUPPORTED (not a tty, told before it is opened).
int OpenExclusive(const std::string& path, DWORD access, DWORD& error);

// Gives up the claim and closes the descriptor.
void CloseExclusive(int fd);

// True for the slave side of a pseudo-terminal, which has no line of its own.
bool IsPseudoTerminal(int fd);

} // namespace posix_serial
