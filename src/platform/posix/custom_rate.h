// Line speeds through the kernel's termios2 interface, which takes any rate
// (BOTHER). Its header clashes with <termios.h>, so it lives in its own file.
#pragma once

namespace posix_serial {

// Sets both directions to `rate` bits per second; 0 or the errno.
int SetCustomRate(int fd, unsigned rate);

// The output rate in bits per second, custom or standard; 0 or the errno.
int ReadOutputRate(int fd, unsigned& rate);

} // namespace posix_serial
