// The one place that picks a port's line from what its name resolved to.
#include "dcb_rules.h"
#include "device_names.h"
#include "line.h"
#include "network_line.h"
#include "terminal_line.h"

namespace posix_serial {

std::unique_ptr<Line> OpenLine(const std::string& path, DWORD access, DCB& state, DWORD& error)
{
    if (!IsNetworkAddress(path))
        return TerminalLine::Open(path, access, state, error);
    // What the server's port holds is not known until the first SetCommState,
    // which the module makes as it opens a port.
    state = win32compat::BinaryLineDcb(9600, 8, NOPARITY, ONESTOPBIT);
    state.fDtrControl = DTR_CONTROL_ENABLE;
    state.fRtsControl = RTS_CONTROL_ENABLE;
    return NetworkLine::Connect(path, error);
}

} // namespace posix_serial
