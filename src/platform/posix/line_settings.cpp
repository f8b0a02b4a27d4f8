#include "line_settings.h"

#include "dcb_rules.h"
#include "line_rates.h"

#include <cerrno>
#include <sys/ioctl.h>

namespace posix_serial {
namespace {

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
    DCB dcb{};
    dcb.DCBlength = sizeof(DCB);
    dcb.BaudRate = rate;
    dcb.fBinary = 1;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.XonChar = 0x11;
    dcb.XoffChar = 0x13;
    return dcb;
}

} // namespace

void ComposeTermios(termios& settings, const DCB& dcb)
{
    settings.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    settings.c_cflag |= ByteSizeFlag(dcb.ByteSize) | ParityFlags(dcb.Parity);
    // Linux has no 1.5 stop bits: CSTOPB gives 1.5 with five data bits on 8250-style UARTs.
    if (dcb.StopBits != ONESTOPBIT)
        settings.c_cflag |= CSTOPB;
    // One flag covers both directions of the RTS/CTS handshake.
    if (dcb.fOutxCtsFlow || dcb.fRtsControl == RTS_CONTROL_HANDSHAKE)
        settings.c_cflag |= CRTSCTS;
    settings.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK | IGNPAR | PARMRK);
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

// The speeds go last: termios would carry the old ones along.
int ApplyDcb(int fd, const DCB& dcb)
{
    termios settings;
    if (tcgetattr(fd, &settings) != 0)
        return errno;
    ComposeTermios(settings, dcb);
    if (tcsetattr(fd, TCSANOW, &settings) != 0)
        return errno;
    if (int error = SetLineRates(fd, dcb.BaudRate, dcb.BaudRate))
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
