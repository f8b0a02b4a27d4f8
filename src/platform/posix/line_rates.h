// Line speeds through the kernel's termios2 interface, which takes any rate
// (BOTHER) and holds the input speed apart from the output speed. Its header
// clashes with <termios.h>, so it lives in its own file.
#pragma once

namespace posix_serial {

// Sets both speeds in bits per second, a standard rate by its own code and
// any other as BOTHER; 0 or the errno.
int SetLineRates(int fd, unsigned input, unsigned output);

// The input and output speeds the kernel keeps; 0 or the errno.
int ReadLineRates(int fd, unsigned& input, unsigned& output);

} // namespace posix_serial
