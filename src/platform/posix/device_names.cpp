#include "device_names.h"

#include <cstdlib>
#include <cstring>
#include <strings.h>
#include <sys/stat.h>

namespace posix_serial {
namespace {

// The n of "COMn" (any case, with or without the "\\.\" prefix); 0 for other names.
unsigned long PortNumber(const char* name)
{
    if (std::strncmp(name, "\\\\.\\", 4) == 0)
        name += 4;
    if (strncasecmp(name, "COM", 3) != 0 || name[3] < '1' || name[3] > '9')
        return 0;
    char* end = nullptr;
    unsigned long number = std::strtoul(name + 3, &end, 10);
    return *end == '\0' ? number : 0;
}

std::string Variable(const char* name)
{
    const char* value = std::getenv(name);
    return value == nullptr ? std::string() : std::string(value);
}

std::string ConfigFolder()
{
    std::string folder = Variable("XDG_CONFIG_HOME");
    if (!folder.empty())
        return folder;
    std::string home = Variable("HOME");
    return home.empty() ? std::string() : home + "/.config";
}

// A link that exists counts even when its target is gone: an unplugged
// adapter must not fall through to some other port.
bool Exists(const std::string& path)
{
    struct stat entry;
    return lstat(path.c_str(), &entry) == 0;
}

} // namespace

std::string ResolveDevicePath(const char* name)
{
    if (name[0] == '/')
        return name;
    const unsigned long number = PortNumber(name);
    if (number == 0)
        return std::string();
    const std::string link = "com" + std::to_string(number);
    std::string devices = Variable("QUORVEL_DEVICES");
    if (!devices.empty() && Exists(devices + "/" + link))
        return devices + "/" + link;
    std::string config = ConfigFolder();
    if (!config.empty() && Exists(config + "/quorvel/" + link))
        return config + "/quorvel/" + link;
    return "/dev/ttyS" + std::to_string(number - 1);
}

} // namespace posix_serial
