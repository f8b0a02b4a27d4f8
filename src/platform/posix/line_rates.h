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

// The UART's clock over 16, the rate of divisor 1, where its driver tells it
// (TIOCGSERIAL on a UART of a plain 8250 kind); 0 where none is told (USB
// adapters, pseudo-terminals, UARTs with fractional divisors).
unsigned UartBaseRate(int fd);

// The rate the divisor nearest to `rate` makes on a UART of `baseRate`, as
// the 8250 driver picks it; `rate` itself when the base is unknown (0). The
// driver keeps the rate asked for in termios, not this one.
unsigned RateOfNearestDivisor(unsigned rate, unsigned baseRate);

} // namespace posix_serial
