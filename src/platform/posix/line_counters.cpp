#include "line_counters.h"

#include <cerrno>
#include <linux/serial.h>
#include <sys/ioctl.h>

namespace posix_serial {

bool LineCounters::Read(int fd, Counts& counts)
{
    struct serial_icounter_struct kernelCounts {};
    if (!supported_)
        return false;
    if (ioctl(fd, TIOCGICOUNT, &kernelCounts) != 0) {
        // A device without counters refuses for good: it is not asked again.
        supported_ = errno != ENOTTY && errno != EINVAL;
        return false;
    }
    counts = {kernelCounts.frame, kernelCounts.overrun, kernelCounts.parity, kernelCounts.brk,
              kernelCounts.buf_overrun};
    return true;
}

void LineCounters::Start(int fd)
{
    Read(fd, last_);
}

DWORD LineCounters::TakeNewErrors(int fd)
{
    Counts now;
    if (!Read(fd, now))
        return 0;
    DWORD errors = 0;
    errors |= now.parity != last_.parity ? CE_RXPARITY : 0;
    errors |= now.frame != last_.frame ? CE_FRAME : 0;
    errors |= now.brk != last_.brk ? CE_BREAK : 0;
    errors |= now.overrun != last_.overrun ? CE_OVERRUN : 0;
    errors |= now.bufferOverrun != last_.bufferOverrun ? CE_RXOVER : 0;
    last_ = now;
    return errors;
}

} // namespace posix_serial
