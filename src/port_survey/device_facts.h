// Facts about a character device that sysfs and /proc give without opening it.
#pragma once

#include <map>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace port_survey {

// Where sysfs, the device folder and procfs are mounted; tests point them at
// folders of their own.
struct SurveyRoots {
    std::string sys = "/sys";
    std::string dev = "/dev";
    std::string proc = "/proc";
};

// The defaults, each replaced by QUORVEL_SYS_ROOT, QUORVEL_DEV_ROOT or
// QUORVEL_PROC_ROOT when set.
SurveyRoots RootsFromEnvironment();

// The path with every link and "." or ".." resolved; "" when it does not resolve.
std::string CanonicalPath(const std::string& path);

enum class UartPresence { Present, Absent, Unknown };

// 8250-style ports exist as /dev/ttyS* whether or not a UART answers behind
// them; sysfs gives the UART type, 0 when there is none.
UartPresence UartBehind(dev_t device, const std::string& sys);

// "maker product, serial S, vvvv:pppp" of the USB device behind a tty, or "".
std::string UsbDescription(dev_t device, const std::string& sys);

struct Holder {
    long pid;         // -1 when the kernel did not say
    std::string name; // its command name, or "" when /proc does not show it
};

// The processes that hold a lock (flock, POSIX or open file description) on
// the node: the exclusive claim that makes a second open fail.
std::vector<Holder> LockHolders(const struct stat& node, const std::string& proc);

// Every open file of the processes /proc lets us see, by canonical path.
using OpenFiles = std::multimap<std::string, Holder>;
OpenFiles ScanOpenFiles(const std::string& proc);

} // namespace port_survey
