// The rows quorvel_ports answers with, on every platform: one per port
// COM1-COM8 and one per serial device present.
#pragma once

#include <string>

namespace port_survey {

constexpr unsigned long PortCount = 8;

// BrokenLink, NotATty and Network (a serial port on another machine, never
// connected to by a survey) arise on Linux, TargetMissing on Windows.
enum class PortStatus { Ready, Missing, BrokenLink, NotATty, NoAccess, Busy, TargetMissing, Network };

const char* StatusName(PortStatus status);

struct PortRow {
    std::string port;   // "COM3"
    std::string device; // what the name resolves to: a path, or a Windows device name
    std::string source; // the rule that gave it, "default" when no mapping did
    PortStatus status = PortStatus::Missing;
    std::string advice;      // one sentence on what to do
    std::string description; // maker, product, serial number and VID:PID of a USB adapter
};

struct SerialDevice {
    std::string path;
    std::string stableName; // a name that survives replugging, or ""
    std::string description;
    std::string mappedAs; // the ports that resolve to it, "COM3" or "COM3, COM5"; or ""
};

struct Mapping {
    unsigned long number; // the port, 1 to PortCount; 0 when refused before it was known
    std::string refusal;  // why nothing was changed, or "" when done
};

} // namespace port_survey
