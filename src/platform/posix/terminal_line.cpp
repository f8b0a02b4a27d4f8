#include "terminal_line.h"

#include "error_codes.h"
#include "line_rates.h"
#include "line_settings.h"
#include "tty_port.h"

#include <cerrno>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace posix_serial {
namespace {

// The tcflush queue selector for the CLEAR flags, or -1 for none.
int FlushedQueues(DWORD flags)
{
    const bool output = flags & PURGE_TXCLEAR;
    const bool input = flags & PURGE_RXCLEAR;
    if (output && input)
        return TCIOFLUSH;
    return output ? TCOFLUSH : input ? TCIFLUSH : -1;
}

} // namespace

std::unique_ptr<TerminalLine> TerminalLine::Open(const std::string& path, DWORD access, DCB& state,
                                                 DWORD& error)
{
    const int fd = OpenExclusive(path, access, error);
    if (fd < 0)
        return nullptr;
    std::unique_ptr<TerminalLine> line(new TerminalLine(fd));
    if (int failure = StartRawPort(fd, state)) {
        error = ErrorFromErrno(failure);
        return nullptr;
    }
    line->queuesOutput_ = !IsPseudoTerminal(fd);
    // Only a UART's own driver reads the transmitter's state off the chip:
    // a USB adapter's driver answers from status packets that need not come.
    line->asksTransmitter_ = line->queuesOutput_ && UartBaseRate(fd) != 0;
    line->counters_.Start(fd);
    return line;
}

TerminalLine::~TerminalLine()
{
    CloseExclusive(fd_);
}

// One read per call: a tty hands over all it has in one go. End of file
// comes only from a hung-up tty.
int TerminalLine::Receive(std::uint8_t* into, std::size_t room, std::size_t& got)
{
    got = 0;
    ssize_t read;
    do
        read = ::read(fd_, into, room);
    while (read < 0 && errno == EINTR);
    if (read > 0)
        got = static_cast<std::size_t>(read);
    if (read == 0)
        return EIO;
    return read < 0 && errno != EAGAIN ? errno : 0;
}

int TerminalLine::Send(const std::uint8_t* from, std::size_t count, std::size_t& sent)
{
    sent = 0;
    ssize_t written;
    do
        written = ::write(fd_, from, count);
    while (written < 0 && errno == EINTR);
    if (written < 0)
        return errno == EAGAIN ? 0 : errno;
    sent = static_cast<std::size_t>(written);
    kernelOutputMayWait_ = kernelOutputMayWait_ || sent > 0;
    return 0;
}

int TerminalLine::Apply(const DCB& dcb)
{
    return ApplyDcb(fd_, dcb);
}

int TerminalLine::Discard(DWORD purgeFlags)
{
    const int queues = FlushedQueues(purgeFlags);
    if (queues >= 0 && tcflush(fd_, queues) != 0)
        return errno;
    return 0;
}

// close() waits for the kernel's output to drain, up to 30 s on a UART
// whose output is held: output the caller gave up on is discarded, as
// Windows' close discards it.
void TerminalLine::Abandon()
{
    tcflush(fd_, TCOFLUSH);
}

int TerminalLine::Waiting(DWORD& input, DWORD& output)
{
    int waitingIn = 0;
    int waitingOut = 0;
    if (ioctl(fd_, FIONREAD, &waitingIn) != 0 ||
        (kernelOutputMayWait_ && ioctl(fd_, TIOCOUTQ, &waitingOut) != 0))
        return errno;
    kernelOutputMayWait_ = waitingOut > 0;
    input = static_cast<DWORD>(waitingIn);
    output = static_cast<DWORD>(waitingOut);
    return 0;
}

// The kernel's output queue, and a UART's transmitter still sending the last
// byte, so that a caller may turn an RS-485 transceiver round after a write.
int TerminalLine::Unsent(std::size_t& bytes)
{
    int queued = 0;
    if (ioctl(fd_, TIOCOUTQ, &queued) != 0)
        return errno;
    bytes = static_cast<std::size_t>(queued);
    if (queued == 0 && TransmitterBusy())
        bytes = 1;
    return 0;
}

bool TerminalLine::TransmitterBusy()
{
    if (!asksTransmitter_)
        return false;
    unsigned lineStatus = 0;
    if (ioctl(fd_, TIOCSERGETLSR, &lineStatus) != 0) {
        asksTransmitter_ = false;
        return false;
    }
    return (lineStatus & TIOCSER_TEMT) == 0;
}

DWORD TerminalLine::TakeErrors()
{
    return counters_.TakeNewErrors(fd_);
}

} // namespace posix_serial
