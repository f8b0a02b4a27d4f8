// Where the Windows port names lead on Linux. COMn resolves, first match wins,
// through $QUORVEL_DEVICES/comn, ${XDG_CONFIG_HOME:-$HOME/.config}/quorvel/comn
// and /dev/ttyS(n-1); each comn is a link to the device. An absolute path
// names the device itself.
#pragma once

#include <string>

namespace posix_serial {

// The device path for a name given to CreateFileA; empty when it names no port.
std::string ResolveDevicePath(const char* name);

} // namespace posix_serial
