#include "device_names.h"

#include <cstdlib>
#include <cstring>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

namespace posix_serial {
namespace {

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

// A link to a network address is read for the address; any other link is
// left for open() to follow.
std::string LineOf(const std::string& link)
{
    char target[512];
    const ssize_t length = readlink(link.c_str(), target, sizeof target);
    if (length > 0 && static_cast<std::size_t>(length) < sizeof target) {
        const std::string text(target, static_cast<std::size_t>(length));
        if (IsNetworkAddress(text))
            return text;
    }
    return link;
}

} // namespace

bool IsNetworkAddress(const std::string& path)
{
    return path.compare(0, sizeof NetworkScheme - 1, NetworkScheme) == 0;
}

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

std::string ConfigLinkFolder()
{
    std::string config = ConfigFolder();
    return config.empty() ? std::string() : config + "/quorvel";
}

ResolvedName ResolvePort(unsigned long number)
{
    const std::string link = "com" + std::to_string(number);
    std::string devices = Variable("QUORVEL_DEVICES");
    if (!devices.empty() && Exists(devices + "/" + link))
        return {LineOf(devices + "/" + link), NameSource::DevicesVariable};
    std::string config = ConfigLinkFolder();
    if (!config.empty() && Exists(config + "/" + link))
        return {LineOf(config + "/" + link), NameSource::ConfigFolder};
    return {"/dev/ttyS" + std::to_string(number - 1), NameSource::Default};
}

std::string ResolveDevicePath(const char* name)
{
    if (name[0] == '/' || IsNetworkAddress(name))
        return name;
    const unsigned long number = PortNumber(name);
    return number == 0 ? std::string() : ResolvePort(number).path;
}

} // namespace posix_serial
