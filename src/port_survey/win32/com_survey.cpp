// quorvel_ports' survey and mapping on Windows: the answers of the registry,
// SetupAPI and an instant's open of each slot's device, handed to the
// decisions of com_ports.cpp. The mapping is the module's own (slot_devices.h).
#include "com_ports.h"
#include "slot_devices.h"
#include "survey_backend.h"

// clang-format off
#include <windows.h>
#include <devguid.h>
#include <setupapi.h>
// clang-format on

namespace port_survey {
namespace {

constexpr char SerialMapKey[] = "HARDWARE\\DEVICEMAP\\SERIALCOMM";

// The port names SERIALCOMM lists, one value per port.
std::vector<std::string> PresentPorts()
{
    std::vector<std::string> names;
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, SerialMapKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return names;
    for (DWORD index = 0;; ++index) {
        char value[256], data[256];
        DWORD valueSize = sizeof value, dataSize = sizeof data - 1, type = 0;
        const LSTATUS status = RegEnumValueA(key, index, value, &valueSize, nullptr, &type,
                                             reinterpret_cast<BYTE*>(data), &dataSize);
        if (status == ERROR_NO_MORE_ITEMS)
            break;
        if (status == ERROR_SUCCESS && type == REG_SZ && dataSize > 1) {
            data[dataSize] = '\0';
            names.push_back(data);
        }
    }
    RegCloseKey(key);
    return names;
}

std::string Property(HDEVINFO set, SP_DEVINFO_DATA& info, DWORD property)
{
    char text[1024] = "";
    DWORD type = 0;
    if (!SetupDiGetDeviceRegistryPropertyA(set, &info, property, &type, reinterpret_cast<BYTE*>(text),
                                           sizeof text - 2, nullptr))
        return std::string();
    return text;
}

// A REG_MULTI_SZ property: strings each ended by a NUL, the list by another.
std::vector<std::string> Properties(HDEVINFO set, SP_DEVINFO_DATA& info, DWORD property)
{
    char text[2048] = {};
    std::vector<std::string> list;
    if (!SetupDiGetDeviceRegistryPropertyA(set, &info, property, nullptr, reinterpret_cast<BYTE*>(text),
                                           sizeof text - 2, nullptr))
        return list;
    for (const char* item = text; *item != '\0'; item += std::string(item).size() + 1)
        list.push_back(item);
    return list;
}

std::string InstanceId(HDEVINFO set, SP_DEVINFO_DATA& info)
{
    char text[512] = "";
    return SetupDiGetDeviceInstanceIdA(set, &info, text, sizeof text, nullptr) ? text : "";
}

// The PortName value of the device's own registry key.
std::string PortName(HDEVINFO set, SP_DEVINFO_DATA& info)
{
    HKEY key = SetupDiOpenDevRegKey(set, &info, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    if (key == INVALID_HANDLE_VALUE)
        return std::string();
    char text[256] = "";
    DWORD size = sizeof text - 1, type = 0;
    const bool read = RegQueryValueExA(key, "PortName", nullptr, &type, reinterpret_cast<BYTE*>(text),
                                       &size) == ERROR_SUCCESS &&
                      type == REG_SZ;
    RegCloseKey(key);
    return read ? text : "";
}

// The devices of the Ports class that are present.
std::vector<PortDevice> PortsClassDevices()
{
    std::vector<PortDevice> devices;
    HDEVINFO set = SetupDiGetClassDevsA(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
    if (set == INVALID_HANDLE_VALUE)
        return devices;
    SP_DEVINFO_DATA info;
    info.cbSize = sizeof info;
    for (DWORD index = 0; SetupDiEnumDeviceInfo(set, index, &info); ++index)
        devices.push_back({PortName(set, info), Property(set, info, SPDRP_FRIENDLYNAME),
                           Property(set, info, SPDRP_MFG), InstanceId(set, info),
                           Properties(set, info, SPDRP_HARDWAREID)});
    SetupDiDestroyDeviceInfoList(set);
    return devices;
}

const char* SourceName(win32_ports::MapSource source)
{
    switch (source) {
    case win32_ports::MapSource::Variable:
        return win32_ports::MappingVariable;
    case win32_ports::MapSource::Registry:
        return "registry";
    case win32_ports::MapSource::Default:
        break;
    }
    return "default";
}

std::vector<SlotTarget> SlotTargets()
{
    std::vector<SlotTarget> slots;
    for (unsigned number = 1; number <= PortCount; ++number) {
        char path[win32_ports::PathSize];
        win32_ports::MapSource source;
        const bool readable = win32_ports::SlotDevice(number, path, sizeof path, source);
        slots.push_back({readable ? path : "(unreadable mapping)", SourceName(source)});
    }
    return slots;
}

// Opens the device for an instant, shared with nobody and with no settings
// changed, to learn whether it is there and free.
unsigned long OpenError(const std::string& device)
{
    HANDLE handle =
        CreateFileA(device.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return GetLastError();
    CloseHandle(handle);
    return ERROR_SUCCESS;
}

ComFacts FactsNow()
{
    return {PresentPorts(), PortsClassDevices(), SlotTargets(), OpenError};
}

std::string StoreFailure(const char* what, LSTATUS status)
{
    return std::string("Cannot ") + what + " HKEY_CURRENT_USER\\" + win32_ports::MappingKey + " (error " +
           std::to_string(status) + ").";
}

std::string Store(unsigned long number, const std::string& path)
{
    const std::string slot = "COM" + std::to_string(number);
    HKEY key;
    LSTATUS status = RegCreateKeyExA(HKEY_CURRENT_USER, win32_ports::MappingKey, 0, nullptr, 0, KEY_SET_VALUE,
                                     nullptr, &key, nullptr);
    if (status != ERROR_SUCCESS)
        return StoreFailure("open", status);
    if (path.empty()) {
        status = RegDeleteValueA(key, slot.c_str());
        if (status == ERROR_FILE_NOT_FOUND)
            status = ERROR_SUCCESS;
    } else {
        status = RegSetValueExA(key, slot.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(path.c_str()),
                                static_cast<DWORD>(path.size() + 1));
    }
    RegCloseKey(key);
    return status == ERROR_SUCCESS ? std::string() : StoreFailure("write", status);
}

bool VariableSet()
{
    char probe[1];
    return GetEnvironmentVariableA(win32_ports::MappingVariable, probe, sizeof probe) > 0;
}

std::string Change(unsigned long number, const std::string& target)
{
    if (VariableSet())
        return std::string(win32_ports::MappingVariable) +
               " is set and stands in for the registry: change the mapping there, or clear it first.";
    if (target.empty())
        return Store(number, target);
    const MappingPlan plan = PlanMapping(number, target, SlotTargets());
    return plan.refusal.empty() ? Store(number, plan.path) : plan.refusal;
}

} // namespace

Survey SurveyNow()
{
    const ComFacts facts = FactsNow();
    Survey survey;
    survey.ports = ComPortRows(facts);
    survey.devices = ComDevices(facts, survey.ports);
    return survey;
}

PortRow PortNow(unsigned long number)
{
    return ComPortRow(FactsNow(), number);
}

Mapping MapPort(const std::string& port, const std::string& target)
{
    const unsigned long number = win32_ports::ComNumber(port.c_str());
    if (number < 1 || number > PortCount)
        return {0, "The port must be one of COM1 to COM8, not '" + port + "'."};
    return {number, Change(number, target)};
}

} // namespace port_survey
