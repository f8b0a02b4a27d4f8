#include "com_ports.h"

#include "natural_order.h"
#include "port_map.h"

#include <algorithm>
#include <cctype>

namespace port_survey {
namespace {

std::string Upper(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

// The name Windows lists a device by: no "\\.\" prefix, in capitals.
std::string Bare(const std::string& device)
{
    const std::string upper = Upper(device);
    return upper.compare(0, 4, "\\\\.\\") == 0 ? upper.substr(4) : upper;
}

std::string Quoted(const std::string& text)
{
    return "'" + text + "'";
}

std::string Joined(const std::vector<std::string>& names)
{
    std::string text;
    for (const std::string& name : names)
        text += (text.empty() ? "" : ", ") + name;
    return text;
}

std::string Slot(unsigned long number)
{
    return "COM" + std::to_string(number);
}

const PortDevice* DeviceNamed(const ComFacts& facts, const std::string& device)
{
    for (const PortDevice& known : facts.devices)
        if (Bare(known.portName) == Bare(device))
            return &known;
    return nullptr;
}

bool IsPresent(const ComFacts& facts, const std::string& name)
{
    for (const std::string& present : facts.present)
        if (Bare(present) == Bare(name))
            return true;
    return false;
}

// The four hex digits after key ("VID_") in id, in lower case, or "".
std::string HexAfter(const std::string& id, const char* key)
{
    const std::size_t at = Upper(id).find(key);
    if (at == std::string::npos || at + 4 + 4 > id.size())
        return std::string();
    std::string digits = id.substr(at + 4, 4);
    for (char& c : digits) {
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            return std::string();
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return digits;
}

// "0403:6001" from the first ID that carries both, or "".
std::string UsbIds(const PortDevice& device)
{
    std::vector<std::string> ids{device.instanceId};
    ids.insert(ids.end(), device.hardwareIds.begin(), device.hardwareIds.end());
    for (const std::string& id : ids) {
        const std::string vendor = HexAfter(id, "VID_"), product = HexAfter(id, "PID_");
        if (!vendor.empty() && !product.empty())
            return vendor + ":" + product;
    }
    return std::string();
}

// A USB device's instance ID ends in its serial number; Windows makes up one
// with '&' in it for a device that has none.
std::string UsbSerial(const std::string& instanceId)
{
    const std::size_t first = instanceId.find('\\');
    const std::size_t last = instanceId.rfind('\\');
    if (Upper(instanceId.substr(0, first)) != "USB" || first == last)
        return std::string();
    const std::string serial = instanceId.substr(last + 1);
    return serial.find('&') == std::string::npos ? serial : std::string();
}

// The ports at COM9 and above that no slot reaches.
std::vector<std::string> OutOfReach(const ComFacts& facts)
{
    std::vector<std::string> names;
    for (const std::string& present : facts.present) {
        bool reached = false;
        for (const SlotTarget& slot : facts.slots)
            reached = reached || Bare(slot.device) == Bare(present);
        if (!reached && win32_ports::ComNumber(present.c_str()) > PortCount)
            names.push_back(Bare(present));
    }
    std::sort(names.begin(), names.end(), NaturalLess);
    names.erase(std::unique(names.begin(), names.end()), names.end());
    return names;
}

// The numbers of COM1-COM8 that no port present holds.
std::vector<std::string> FreeNumbers(const ComFacts& facts)
{
    std::vector<std::string> free;
    for (unsigned long number = 1; number <= PortCount; ++number)
        if (!IsPresent(facts, Slot(number)))
            free.push_back(Slot(number));
    return free;
}

// Both ways to reach an adapter Windows numbered COM9 or above, or "".
std::string ReachHint(const ComFacts& facts, const std::string& port)
{
    const std::vector<std::string> far = OutOfReach(facts);
    if (far.empty())
        return std::string();
    const std::vector<std::string> free = FreeNumbers(facts);
    return " " + Joined(far) + (far.size() == 1 ? " is" : " are") +
           " present but out of reach: map it with quorvel_ports(" + Quoted(port) + ", " +
           Quoted(far.front()) +
           "), or give it a number from COM1 to COM8 in Device Manager (Ports > the adapter > Port Settings "
           "> "
           "Advanced > COM Port Number), which needs administrator rights; " +
           (free.empty() ? "none of COM1 to COM8 is free now." : "free now: " + Joined(free) + ".");
}

struct Decision {
    PortStatus status;
    std::string advice;
};

Decision Opened(const PortRow& row)
{
    const std::string open = "quorvel('Open', vantrel(" + Quoted(row.port) + "))";
    if (row.source == "default")
        return {PortStatus::Ready, "Nothing to do: " + open + " can open it."};
    return {PortStatus::Ready, "Nothing to do: " + open + " opens " + row.device + "."};
}

Decision NotThere(const ComFacts& facts, const PortRow& row)
{
    const std::string hint = ReachHint(facts, row.port);
    if (row.source == "default")
        return {PortStatus::Missing,
                "There is no " + row.port + " now (unplugged?): plug the adapter in." + hint};
    return {PortStatus::TargetMissing,
            row.port + " is mapped to " + row.device +
                ", which is not present now (unplugged?): plug it in, map " + row.port +
                " to another port with quorvel_ports(" + Quoted(row.port) +
                ", 'COMn'), or remove the mapping with quorvel_ports(" + Quoted(row.port) + ", '')." + hint};
}

Decision Decide(const ComFacts& facts, const PortRow& row, unsigned long error)
{
    switch (error) {
    case win32_error::Success:
        return Opened(row);
    case win32_error::FileNotFound:
    case win32_error::PathNotFound:
        return NotThere(facts, row);
    case win32_error::AccessDenied:
    case win32_error::SharingViolation:
        return {PortStatus::Busy,
                "Another program, or this session, has it open (Windows does not say which): close it there, "
                "or here with quorvel('Close', s) or quorvel('CloseAll')."};
    default:
        break;
    }
    return {PortStatus::NoAccess,
            "Windows refuses to open it (error " + std::to_string(error) +
                "): look at the adapter in Device Manager (Ports), where a driver problem "
                "shows, or plug it in again."};
}

std::string MappedAs(const std::string& name, const std::vector<PortRow>& rows)
{
    std::vector<std::string> ports;
    for (const PortRow& row : rows)
        if (Bare(row.device) == Bare(name))
            ports.push_back(row.port);
    return Joined(ports);
}

std::string SharedDeviceRefusal(unsigned long number, const std::string& path,
                                const std::vector<SlotTarget>& slots)
{
    for (unsigned long other = 1; other <= slots.size(); ++other) {
        const SlotTarget& slot = slots[other - 1];
        if (other == number || Bare(slot.device) != Bare(path))
            continue;
        const std::string port = Slot(other);
        const std::string remedy =
            slot.source == "default"
                ? "map " + port + " to another device first."
                : "remove that mapping first with quorvel_ports(" + Quoted(port) + ", '').";
        return port + " already reaches " + path +
               ", and a port opens for one owner only, so the second Open would fail: " + remedy;
    }
    return std::string();
}

} // namespace

std::string ComDescription(const PortDevice& device)
{
    std::string text = device.friendlyName;
    if (!device.maker.empty())
        text += text.empty() ? device.maker : " by " + device.maker;
    const std::string serial = UsbSerial(device.instanceId);
    if (!serial.empty())
        text += (text.empty() ? "serial " : ", serial ") + serial;
    const std::string ids = UsbIds(device);
    if (!ids.empty())
        text += (text.empty() ? "" : ", ") + ids;
    return text;
}

PortRow ComPortRow(const ComFacts& facts, unsigned long number)
{
    PortRow row;
    row.port = Slot(number);
    row.device = facts.slots.at(number - 1).device;
    row.source = facts.slots.at(number - 1).source;
    const Decision decision = Decide(facts, row, facts.openError(row.device));
    row.status = decision.status;
    row.advice = decision.advice;
    const PortDevice* device = DeviceNamed(facts, row.device);
    row.description = device == nullptr ? std::string() : ComDescription(*device);
    return row;
}

std::vector<PortRow> ComPortRows(const ComFacts& facts)
{
    std::vector<PortRow> rows;
    for (unsigned long number = 1; number <= PortCount; ++number)
        rows.push_back(ComPortRow(facts, number));
    return rows;
}

std::vector<SerialDevice> ComDevices(const ComFacts& facts, const std::vector<PortRow>& rows)
{
    std::vector<std::string> names;
    for (const std::string& present : facts.present)
        names.push_back(Bare(present));
    std::sort(names.begin(), names.end(), NaturalLess);
    names.erase(std::unique(names.begin(), names.end()), names.end());
    std::vector<SerialDevice> devices;
    for (const std::string& name : names) {
        const PortDevice* device = DeviceNamed(facts, name);
        devices.push_back(
            {name, "", device == nullptr ? std::string() : ComDescription(*device), MappedAs(name, rows)});
    }
    return devices;
}

MappingPlan PlanMapping(unsigned long number, const std::string& target, const std::vector<SlotTarget>& slots)
{
    char path[win32_ports::PathSize];
    if (!win32_ports::DevicePath(target.c_str(), path, sizeof path))
        return {"", "The device must be a COM port such as 'COM12' or a device path such as '\\\\.\\CNCA0', "
                    "not " +
                        Quoted(target) + "."};
    return {path, SharedDeviceRefusal(number, path, slots)};
}

} // namespace port_survey
