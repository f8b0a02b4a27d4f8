// What each of COM1-COM8 resolves to on this machine, whether it could be
// opened and why not, and which serial devices are present. Probing only
// looks: it reads the file system, sysfs and /proc and never opens a device,
// since opening a tty raises or drops its modem lines (a toggled DTR resets
// many boards).
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace port_survey {

constexpr unsigned long PortCount = 8;

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

enum class PortStatus { Ready, Missing, BrokenLink, NotATty, NoAccess, Busy };

const char* StatusName(PortStatus status);

struct PortRow {
    std::string port;   // "COM3"
    std::string device; // the path the name resolves to
    std::string source; // "QUORVEL_DEVICES", "config" or "default"
    PortStatus status = PortStatus::Missing;
    std::string advice;      // one sentence on what to do
    std::string description; // maker, product, serial number and VID:PID of a USB adapter
};

struct SerialDevice {
    std::string path;
    std::string stableName; // its /dev/serial/by-id link, or ""
    std::string description;
    std::string mappedAs; // the ports that resolve to it, "COM3" or "COM3, COM5"; or ""
};

// Port n (1 to PortCount) as it stands now.
PortRow SurveyPort(unsigned long number, const SurveyRoots& roots);
std::vector<PortRow> SurveyPorts(const SurveyRoots& roots);

// /dev/serial/by-id/*, /dev/ttyUSB*, /dev/ttyACM* and the /dev/ttyS* with a
// UART behind them, each once, in name order.
std::vector<SerialDevice> ListSerialDevices(const SurveyRoots& roots, const std::vector<PortRow>& ports);

} // namespace port_survey
