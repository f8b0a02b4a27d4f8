#include "line_settings.h"

#include "dcb_rules.h"
#include "line_rates.h"
#include "tty_port.h"

#include <cerrno>
#include <sys/ioctl.h>

namespace posix_serial {
namespace {

// The termios flags ComposeTermios writes, all of which the device must keep.
constexpr tcflag_t ComposedControlFlags = CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS;
constexpr tcflag_t ComposedInputFlags = IXON | IXOFF | IXANY | INPCK | IGNPAR | PARMRK;
// A pseudo-terminal has no line to frame: it forces CS8 and no parity.
constexpr tcflag_t PseudoTerminalForced = CSIZE | PARENB | PARODD | CMSPAR;

tcflag_t ByteSizeFlag(BYTE byteSize)
{
    switch (byteSize) {
    case 5:
        return CS5;
    case 6:
        return CS6;
    case 7:
        return CS7;
    default:
        return CS8;
    }
}

tcflag_t ParityFlags(BYTE parity)
{
    switch (parity) {
    case ODDPARITY:
        return PARENB | PARODD;
    case EVENPARITY:
        return PARENB;
    case MARKPARITY:
        return PARENB | CMSPAR | PARODD;
    case SPACEPARITY:
        return PARENB | CMSPAR;
    default:
        return 0;
    }
}

int SetModemLine(int fd, int line, bool raised)
{
    if (ioctl(fd, raised ? TIOCMBIS : TIOCMBIC, &line) == 0)
        return 0;
    return errno == ENOTTY || errno == EINVAL ? 0 : errno;
}

// Handshake modes leave the line raised: the kernel drives RTS itself under
// CRTSCTS, and there is no DTR handshake to hand DTR to.
int SetModemLines(int fd, const DCB& dcb)
{
    if (int error = SetModemLine(fd, TIOCM_DTR, dcb.fDtrControl != DTR_CONTROL_DISABLE))
        return error;
    return SetModemLine(fd, TIOCM_RTS, dcb.fRtsControl != RTS_CONTROL_DISABLE);
}

DCB RawPortDcb(DWORD rate)
{
    DCB dcb = win32compat::BinaryLineDcb(rate, 8, NOPARITY, ONESTOPBIT);
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    return dcb;
}

// Drivers set the nearest rate their divisor gives, and report it or (the
// 8250 driver) the rate asked for; within the 2% the kernel itself takes for
// the same rate, the line still works.
bool IsRateKept(unsigned asked, unsigned kept)
{
    const unsigned long long difference = asked > kept ? asked - kept : kept - asked;
    return difference * 50 <= asked;
}

// What `line` becomes with the DCB's frame, flow control and speed.
LineState Asked(LineState line, const DCB& dcb)
{
    ComposeTermios(line.settings, dcb);
    line.inputRate = line.outputRate = dcb.BaudRate;
    return line;
}

bool IsLineKept(const LineState& asked, const LineState& kept, bool pseudoTerminal)
{
    const tcflag_t control = ComposedControlFlags & ~(pseudoTerminal ? PseudoTerminalForced : 0);
    const termios& want = asked.settings;
    const termios& have = kept.settings;
    return ((want.c_cflag ^ have.c_cflag) & control) == 0 &&
           ((want.c_iflag ^ have.c_iflag) & ComposedInputFlags) == 0 &&
           want.c_cc[VSTART] == have.c_cc[VSTART] && want.c_cc[VSTOP] == have.c_cc[VSTOP] &&
           IsRateKept(asked.inputRate, RateOfNearestDivisor(kept.inputRate, kept.uartBaseRate)) &&
           IsRateKept(asked.outputRate, RateOfNearestDivisor(kept.outputRate, kept.uartBaseRate));
}

int ReadTty(int fd, LineState& state)
{
    if (tcgetattr(fd, &state.settings) != 0)
        return errno;
    state.uartBaseRate = UartBaseRate(fd);
    return ReadLineRates(fd, state.inputRate, state.outputRate);
}

// The speeds go last: termios would carry the old ones along.
int WriteTty(int fd, const LineState& state)
{
    if (tcsetattr(fd, TCSANOW, &state.settings) != 0)
        return errno;
    return SetLineRates(fd, state.inputRate, state.outputRate);
}

} // namespace

void ComposeTermios(termios& settings, const DCB& dcb)
{
    settings.c_cflag &= ~ComposedControlFlags;
    settings.c_cflag |= ByteSizeFlag(dcb.ByteSize) | ParityFlags(dcb.Parity);
    // Linux has no 1.5 stop bits: CSTOPB gives 1.5 with five data bits on 8250-style UARTs.
    if (dcb.StopBits != ONESTOPBIT)
        settings.c_cflag |= CSTOPB;
    // One flag covers both directions of the RTS/CTS handshake.
    if (dcb.fOutxCtsFlow || dcb.fRtsControl == RTS_CONTROL_HANDSHAKE)
        settings.c_cflag |= CRTSCTS;
    settings.c_iflag &= ~ComposedInputFlags;
    if (dcb.fOutX)
        settings.c_iflag |= IXON;
    if (dcb.fInX)
        settings.c_iflag |= IXOFF;
    if (dcb.fParity)
        settings.c_iflag |= INPCK;
    settings.c_cc[VSTART] = static_cast<cc_t>(dcb.XonChar);
    settings.c_cc[VSTOP] = static_cast<cc_t>(dcb.XoffChar);
}

DWORD CheckDcb(const DCB& dcb)
{
    return win32compat::IsDcbAccepted(dcb) ? ERROR_SUCCESS : ERROR_INVALID_PARAMETER;
}

const LineAccess TtyLine = {ReadTty, WriteTty};

int ApplyLine(int fd, const DCB& dcb, bool pseudoTerminal, const LineAccess& line)
{
    LineState before{};
    if (int error = line.read(fd, before))
        return error;
    const LineState asked = Asked(before, dcb);
    LineState kept{};
    int error = line.write(fd, asked);
    if (error == 0)
        error = line.read(fd, kept);
    if (error == 0 && IsLineKept(asked, kept, pseudoTerminal))
        return 0;
    // Windows refuses a setting before it changes anything: put the device back.
    const int restored = line.write(fd, before);
    if (error != 0)
        return error;
    return restored != 0 ? restored : EINVAL;
}

int ApplyDcb(int fd, const DCB& dcb)
{
    if (int error = ApplyLine(fd, dcb, IsPseudoTerminal(fd), TtyLine))
        return error;
    return SetModemLines(fd, dcb);
}

int StartRawPort(int fd, DCB& state)
{
    termios settings;
    if (tcgetattr(fd, &settings) != 0)
        return errno;
    cfmakeraw(&settings);
    settings.c_cflag |= CLOCAL | CREAD;
    settings.c_cc[VMIN] = 1;
    settings.c_cc[VTIME] = 0;
    DCB raw = RawPortDcb(0);
    ComposeTermios(settings, raw);
    if (tcsetattr(fd, TCSANOW, &settings) != 0)
        return errno;
    unsigned input = 0;
    unsigned output = 0;
    if (int error = ReadLineRates(fd, input, output))
        return error;
    if (int error = SetLineRates(fd, output, output))
        return error;
    raw.BaudRate = output;
    state = raw;
    return SetModemLines(fd, state);
}

} // namespace posix_serial
