// The survey of COM1-COM8 on Windows, decided from what Windows answers: the
// ports SERIALCOMM lists, the Ports class's devices as SetupAPI describes
// them, what each slot is mapped to and how an instant's open of its device
// ends. Gathering the answers is win32/com_survey.cpp's; deciding from them
// is here, in code that runs (and is tested) on any platform.
#pragma once

#include "survey_records.h"

#include <functional>
#include <string>
#include <vector>

namespace port_survey {

// The Win32 error codes an open of a port answers with, by number.
namespace win32_error {
constexpr unsigned long Success = 0;
constexpr unsigned long FileNotFound = 2;
constexpr unsigned long PathNotFound = 3;
constexpr unsigned long AccessDenied = 5;
constexpr unsigned long SharingViolation = 32;
} // namespace win32_error

// One device of the Ports class, as SetupAPI describes it.
struct PortDevice {
    std::string portName;                 // its PortName, "COM12"
    std::string friendlyName;             // "USB Serial Port (COM12)"
    std::string maker;                    // "FTDI"
    std::string instanceId;               // "USB\VID_0403&PID_6001\A600XYZ"
    std::vector<std::string> hardwareIds; // "USB\VID_0403&PID_6001&REV_0600", ...
};

// What slot n (1 to PortCount) opens: "COM3" itself, or the device it is
// mapped to ("\\.\COM12"), and where the mapping came from.
struct SlotTarget {
    std::string device;
    std::string source; // "QUORVEL_PORTS", "registry" or "default"
};

struct ComFacts {
    std::vector<std::string> present; // the port names SERIALCOMM lists
    std::vector<PortDevice> devices;
    std::vector<SlotTarget> slots; // COM1 to COM8
    // The error an open of the device (shared with nobody, closed at once)
    // ends with; win32_error::Success when it opened.
    std::function<unsigned long(const std::string& device)> openError;
};

// "USB Serial Port (COM12) by FTDI, serial A600XYZ, 0403:6001": the
// friendly name and maker, and for a USB device its serial number and
// VID:PID, from its instance or hardware IDs.
std::string ComDescription(const PortDevice& device);

// Slot n (1 to PortCount), and all of them.
PortRow ComPortRow(const ComFacts& facts, unsigned long number);
std::vector<PortRow> ComPortRows(const ComFacts& facts);

// Each port SERIALCOMM lists, once, in natural order (COM3 before COM12).
std::vector<SerialDevice> ComDevices(const ComFacts& facts, const std::vector<PortRow>& rows);

// What mapping slot n to target (a COM name or a device path) stores: the
// device path, "\\.\COM12" for "COM12"; or why it may not. No other slot may
// reach the same device: a port opens for one owner only, so the second
// Open would fail.
struct MappingPlan {
    std::string path;
    std::string refusal; // "" when the mapping may be made
};
MappingPlan PlanMapping(unsigned long number, const std::string& target,
                        const std::vector<SlotTarget>& slots);

} // namespace port_survey
