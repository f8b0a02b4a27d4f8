// Opening a tty as Windows opens a COM port: for one owner at a time.
#pragma once

#include "serial_api.h"

#include <string>

namespace posix_serial {

// A non-blocking descriptor held exclusively, or -1 with `error` set:
// ERROR_FILE_NOT_FOUND (no such device), ERROR_ACCESS_DENIED (busy or
// forbidden), ERROR_NOT_SUPPORTED (not a tty).
int OpenExclusive(const std::string& path, DWORD access, DWORD& error);

// Gives up the claim and closes the descriptor.
void CloseExclusive(int fd);

// True for the slave side of a pseudo-terminal, which has no line of its own.
bool IsPseudoTerminal(int fd);

} // namespace posix_serial
