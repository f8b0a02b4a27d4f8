// Where the Windows port names lead on Linux. COMn resolves, first match wins,
// through $QUORVEL_DEVICES/comn, ${XDG_CONFIG_HOME:-$HOME/.config}/quorvel/comn
// and /dev/ttyS(n-1); each comn is a link to the device, or a link whose
// target is the address of a network serial port (rfc2217://host:port). An
// absolute path or such an address names the line itself.
#pragma once

#include <string>

namespace posix_serial {

constexpr char NetworkScheme[] = "rfc2217://";

bool IsNetworkAddress(const std::string& path);

// Which of the three rules gave a port its device.
enum class NameSource { DevicesVariable, ConfigFolder, Default };

struct ResolvedName {
    std::string path;
    NameSource source;
};

// The n of "COMn" (any case, with or without the "\\.\" prefix); 0 for other names.
unsigned long PortNumber(const char* name);

// The device (or network address) of port n (n >= 1) and the rule that gave it.
ResolvedName ResolvePort(unsigned long number);

// ${XDG_CONFIG_HOME:-$HOME/.config}/quorvel, or empty when neither is set.
std::string ConfigLinkFolder();

// The device path or network address for a name given to CreateFileA; empty
// when it names no port.
std::string ResolveDevicePath(const char* name);

} // namespace posix_serial
