#include "transfer/waits.h"

#include "platform/host.h"

#include <algorithm>

namespace {

// Ctrl-C answered within this long is felt as at once.
constexpr DWORD PieceMilliseconds = 100;

} // namespace

WaitEnd WaitInterruptibly(DWORD count, const HANDLE* events, BOOL waitAll, DWORD milliseconds)
{
    DWORD left = milliseconds;
    for (;;) {
        const DWORD piece = std::min(left, PieceMilliseconds);
        const DWORD waited = WaitForMultipleObjects(count, events, waitAll, piece);
        if (waited == WAIT_FAILED)
            return WaitEnd::Failed;
        if (waited != WAIT_TIMEOUT)
            return WaitEnd::Signalled;
        if (milliseconds != INFINITE)
            left -= piece;
        if (left == 0)
            return WaitEnd::TimedOut;
        if (HostInterruptRequested())
            return WaitEnd::Interrupted;
    }
}
