#include "device_probe.h"

#include "device_names.h"
#include "tty_port.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <grp.h>
#include <limits.h>
#include <pwd.h>
#include <unistd.h>

namespace port_survey {
namespace {

std::string Quoted(const std::string& text)
{
    return "'" + text + "'";
}

// How to point the port at `device` ("it", "another device"); mapping is
// refused while QUORVEL_DEVICES is set.
std::string RemapHint(const PortRow& row, const std::string& device)
{
    const char* devices = std::getenv("QUORVEL_DEVICES");
    if (devices != nullptr && devices[0] != '\0')
        return "link " + std::string(devices) + "/com" + row.port.substr(3) + " to " + device;
    return "map " + row.port + " to " + device + " with quorvel_ports(" + Quoted(row.port) + ", device)";
}

std::string LinkTarget(const std::string& link)
{
    char target[PATH_MAX];
    ssize_t length = readlink(link.c_str(), target, sizeof target - 1);
    return length <= 0 ? std::string() : std::string(target, static_cast<std::size_t>(length));
}

std::string Named(const Holder& holder)
{
    if (holder.pid == getpid())
        return "this session (PID " + std::to_string(holder.pid) + ")";
    if (holder.pid <= 0)
        return "a process that /proc does not name";
    if (holder.name.empty())
        return "PID " + std::to_string(holder.pid);
    return holder.name + " (PID " + std::to_string(holder.pid) + ")";
}

std::string NamedList(const std::vector<Holder>& holders)
{
    std::string text;
    for (const Holder& holder : holders)
        text += (text.empty() ? "" : ", ") + Named(holder);
    return text;
}

std::vector<Holder> OpenedBy(const std::string& path, const OpenFiles& openFiles)
{
    std::vector<Holder> holders;
    auto range = openFiles.equal_range(CanonicalPath(path));
    for (auto it = range.first; it != range.second; ++it)
        if (holders.empty() || holders.back().pid != it->second.pid)
            holders.push_back(it->second);
    return holders;
}

Probe Missing(const PortRow& row, bool nodeExists)
{
    std::string what =
        nodeExists ? row.device + " has no serial port behind it" : "There is no " + row.device;
    return {PortStatus::Missing, what + ": plug an adapter in and " + RemapHint(row, "it") + "."};
}

Probe BrokenLink(const PortRow& row)
{
    return {PortStatus::BrokenLink, row.device + " points to " + LinkTarget(row.device) +
                                        ", which is not there: plug the adapter in, or " +
                                        RemapHint(row, "another device") + "."};
}

Probe NotATty(const PortRow& row, const struct stat& node)
{
    const char* kind = S_ISREG(node.st_mode)   ? "a regular file"
                       : S_ISDIR(node.st_mode) ? "a folder"
                       : S_ISCHR(node.st_mode) ? "a character device but not a tty"
                                               : "not a device";
    return {PortStatus::NotATty, CanonicalPath(row.device) + " is " + kind +
                                     ", not a serial port: " + RemapHint(row, "one") + "."};
}

std::string Mode(const struct stat& node)
{
    char text[8];
    std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(node.st_mode & 07777u));
    return text;
}

bool InGroupList(const std::vector<gid_t>& groups, gid_t group)
{
    for (gid_t member : groups)
        if (member == group)
            return true;
    return false;
}

std::vector<gid_t> SessionGroups()
{
    const int size = std::max(getgroups(0, nullptr), 0);
    std::vector<gid_t> groups(static_cast<std::size_t>(size) + 1, getegid());
    const int count = getgroups(size, groups.data());
    groups.resize(static_cast<std::size_t>(std::max(count, 0)));
    groups.push_back(getegid());
    return groups;
}

// The groups the user database gives, which a new login would have.
std::vector<gid_t> AccountGroups(const passwd& user)
{
    int count = 64;
    std::vector<gid_t> groups(static_cast<std::size_t>(count));
    if (getgrouplist(user.pw_name, user.pw_gid, groups.data(), &count) < 0) {
        groups.resize(static_cast<std::size_t>(count));
        getgrouplist(user.pw_name, user.pw_gid, groups.data(), &count);
    }
    groups.resize(static_cast<std::size_t>(count));
    return groups;
}

Probe NoAccess(const PortRow& row, const struct stat& node)
{
    const std::string device = CanonicalPath(row.device);
    const group* owners = getgrgid(node.st_gid);
    const passwd* user = getpwuid(geteuid());
    const bool groupMayUse = (node.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP);
    if (owners == nullptr || user == nullptr || !groupMayUse || InGroupList(SessionGroups(), node.st_gid))
        return {PortStatus::NoAccess, device + " does not let you read and write it (mode " + Mode(node) +
                                          "): ask an administrator for access, or " +
                                          RemapHint(row, "another device") + "."};
    const std::string group = owners->gr_name;
    if (InGroupList(AccountGroups(*user), node.st_gid))
        return {PortStatus::NoAccess, "You joined group " + group + ", which may use " + device +
                                          ", after this session started: log out and in again."};
    return {PortStatus::NoAccess, device + " belongs to group " + group + ": run 'sudo usermod -aG " + group +
                                      " " + user->pw_name + "', then log out and in again."};
}

Probe Ready(const PortRow& row, const std::vector<Holder>& sharers)
{
    if (sharers.empty())
        return {PortStatus::Ready,
                "Nothing to do: quorvel('Open', vantrel(" + Quoted(row.port) + ")) can open it."};
    const char* verb = sharers.size() == 1 ? " has" : " have";
    return {PortStatus::Ready,
            "It can be opened, but " + NamedList(sharers) + verb +
                " it open too and would share the line; if Open answers 2, close it there."};
}

Probe Busy(const std::vector<Holder>& lockers)
{
    const bool here = lockers.size() == 1 && lockers.front().pid == getpid();
    if (here)
        return {PortStatus::Busy,
                "This session holds it: close it with quorvel('Close', s) or quorvel('CloseAll')."};
    return {PortStatus::Busy, "Held by " + NamedList(lockers) + ": close it there first."};
}

} // namespace

Probe ProbePort(const PortRow& row, const SurveyRoots& roots, const OpenFiles& openFiles)
{
    // Connecting would make the server open its port, and with it the far device.
    if (posix_serial::IsNetworkAddress(row.device))
        return {PortStatus::Network, "A serial port on another machine (RFC 2217), not connected to here."};
    struct stat entry, node;
    if (lstat(row.device.c_str(), &entry) != 0)
        return Missing(row, false);
    if (stat(row.device.c_str(), &node) != 0) {
        if (errno == EACCES)
            return {PortStatus::NoAccess, "A folder on the way to " + row.device +
                                              " is closed to you: " + RemapHint(row, "another device") + "."};
        return S_ISLNK(entry.st_mode) ? BrokenLink(row) : Missing(row, false);
    }
    if (!S_ISCHR(node.st_mode) || !posix_serial::IsTtyClass(node.st_rdev, roots.sys))
        return NotATty(row, node);
    if (UartBehind(node.st_rdev, roots.sys) == UartPresence::Absent)
        return Missing(row, true);
    if (faccessat(AT_FDCWD, row.device.c_str(), R_OK | W_OK, AT_EACCESS) != 0 && errno == EACCES)
        return NoAccess(row, node);
    const std::vector<Holder> lockers = LockHolders(node, roots.proc);
    if (!lockers.empty())
        return Busy(lockers);
    return Ready(row, OpenedBy(row.device, openFiles));
}

} // namespace port_survey
