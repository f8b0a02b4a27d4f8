#include "port_mapping.h"

#include "device_names.h"
#include "port_survey.h"
#include "tty_port.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace port_survey {
namespace {

std::string Failure(const std::string& what)
{
    return what + ": " + std::strerror(errno) + ".";
}

std::string TargetRefusal(const std::string& target)
{
    if (posix_serial::IsNetworkAddress(target))
        return target.find(':', sizeof posix_serial::NetworkScheme - 1) == std::string::npos
                   ? "Give the network port as rfc2217://host:port, not '" + target + "'."
                   : std::string();
    if (target[0] != '/')
        return "Give the device by its absolute path or as rfc2217://host:port, not '" + target + "'.";
    struct stat node;
    if (stat(target.c_str(), &node) != 0 || !S_ISCHR(node.st_mode))
        return "'" + target + "' is not a character device.";
    if (!posix_serial::IsTtyClass(node.st_rdev))
        return "'" + target + "' is a character device but not a tty: only serial ports are opened.";
    return std::string();
}

// Only a link is ours to replace or remove; anything else there was put by hand.
std::string ExistingRefusal(const std::string& link)
{
    struct stat entry;
    if (lstat(link.c_str(), &entry) == 0 && !S_ISLNK(entry.st_mode))
        return link + " is not a link; move it away first.";
    return std::string();
}

// The new link takes the old one's place in one step, so the port never
// resolves to the default device in between.
std::string ReplaceLink(const std::string& folder, const std::string& link, const std::string& target)
{
    std::error_code failed;
    std::filesystem::create_directories(folder, failed);
    if (failed)
        return "Cannot make " + folder + ": " + failed.message() + ".";
    const std::string fresh = link + ".new-" + std::to_string(getpid());
    unlink(fresh.c_str());
    if (symlink(target.c_str(), fresh.c_str()) != 0)
        return Failure("Cannot make the link " + fresh);
    if (rename(fresh.c_str(), link.c_str()) != 0) {
        std::string refusal = Failure("Cannot replace " + link);
        unlink(fresh.c_str());
        return refusal;
    }
    return std::string();
}

std::string RemoveLink(const std::string& link)
{
    if (unlink(link.c_str()) != 0 && errno != ENOENT)
        return Failure("Cannot remove " + link);
    return std::string();
}

std::string Change(unsigned long number, const std::string& target)
{
    const char* devices = std::getenv("QUORVEL_DEVICES");
    if (devices != nullptr && devices[0] != '\0')
        return "QUORVEL_DEVICES is set (" + std::string(devices) +
               ") and its links win over the config folder: change the link there, or unset it first.";
    const std::string folder = posix_serial::ConfigLinkFolder();
    if (folder.empty())
        return "Neither XDG_CONFIG_HOME nor HOME is set, so there is no config folder for the link.";
    if (!target.empty()) {
        std::string refusal = TargetRefusal(target);
        if (!refusal.empty())
            return refusal;
    }
    const std::string link = folder + "/com" + std::to_string(number);
    std::string refusal = ExistingRefusal(link);
    if (!refusal.empty())
        return refusal;
    return target.empty() ? RemoveLink(link) : ReplaceLink(folder, link, target);
}

} // namespace

Mapping MapPort(const std::string& port, const std::string& target)
{
    const unsigned long number = posix_serial::PortNumber(port.c_str());
    if (number < 1 || number > PortCount)
        return {0, "The port must be one of COM1 to COM8, not '" + port + "'."};
    return {number, Change(number, target)};
}

} // namespace port_survey
