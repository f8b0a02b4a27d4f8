#include "line_rates.h"

#include <algorithm>
#include <asm/termbits.h>
#include <cerrno>
#include <linux/serial.h>
#include <sys/ioctl.h>

namespace posix_serial {
namespace {

struct StandardRate {
    unsigned rate;
    speed_t code;
};

constexpr StandardRate StandardRates[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},         {150, B150},
    {200, B200},         {300, B300},         {600, B600},         {1200, B1200},       {1800, B1800},
    {2400, B2400},       {4800, B4800},       {9600, B9600},       {19200, B19200},     {38400, B38400},
    {57600, B57600},     {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000}, {1500000, B1500000},
    {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000}, {3500000, B3500000}, {4000000, B4000000},
};

// A standard rate keeps its own code, so that termios callers still read it.
speed_t RateCode(unsigned rate)
{
    for (const StandardRate& entry : StandardRates)
        if (entry.rate == rate)
            return entry.code;
    return BOTHER;
}

// UART kinds whose rate is the base rate over a whole divisor; others
// (16C950, Exar and the like) also have fractional or prescaled clocks.
bool HasWholeDivisor(int type)
{
    switch (type) {
    case PORT_8250:
    case PORT_16450:
    case PORT_16550:
    case PORT_16550A:
    case PORT_16750:
        return true;
    default:
        return false;
    }
}

} // namespace

// Both codes are written: left alone, CIBAUD would hold the input at an
// earlier custom rate while the output moved on.
int SetLineRates(int fd, unsigned input, unsigned output)
{
    struct termios2 settings;
    if (ioctl(fd, TCGETS2, &settings) != 0)
        return errno;
    settings.c_cflag &= ~(CBAUD | CIBAUD);
    settings.c_cflag |= RateCode(output) | (RateCode(input) << IBSHIFT);
    settings.c_ispeed = input;
    settings.c_ospeed = output;
    return ioctl(fd, TCSETS2, &settings) == 0 ? 0 : errno;
}

int ReadLineRates(int fd, unsigned& input, unsigned& output)
{
    struct termios2 settings;
    if (ioctl(fd, TCGETS2, &settings) != 0)
        return errno;
    input = settings.c_ispeed;
    output = settings.c_ospeed;
    return 0;
}

unsigned UartBaseRate(int fd)
{
    serial_struct uart{};
    if (ioctl(fd, TIOCGSERIAL, &uart) != 0 || !HasWholeDivisor(uart.type) || uart.baud_base <= 0 ||
        (uart.flags & ASYNC_SPD_MASK) != 0)
        return 0;
    return static_cast<unsigned>(uart.baud_base);
}

unsigned RateOfNearestDivisor(unsigned rate, unsigned baseRate)
{
    if (baseRate == 0 || rate == 0)
        return rate;
    const unsigned long long divisor = std::max((2ull * baseRate + rate) / (2ull * rate), 1ull);
    return static_cast<unsigned>(baseRate / divisor);
}

} // namespace posix_serial
