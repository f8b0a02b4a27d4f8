#include "slot_devices.h"

namespace win32_ports {
namespace {

constexpr DWORD ListSize = 4096;

enum class Lookup { Found, Absent, Unreadable };

Lookup FromVariable(unsigned number, char* target, std::size_t size, bool& variableSet)
{
    char list[ListSize];
    const DWORD length = GetEnvironmentVariableA(MappingVariable, list, ListSize);
    variableSet = length > 0;
    if (length == 0)
        return Lookup::Absent;
    if (length >= ListSize)
        return Lookup::Unreadable;
    return ListedTarget(list, number, target, size) ? Lookup::Found : Lookup::Absent;
}

// "COMn" of a slot, 1 to SlotCount.
bool SlotName(unsigned number, char* name, std::size_t size)
{
    if (size < 5)
        return false;
    name[0] = 'C';
    name[1] = 'O';
    name[2] = 'M';
    name[3] = static_cast<char>('0' + number);
    name[4] = '\0';
    return true;
}

Lookup FromRegistry(unsigned number, char* target, std::size_t size)
{
    char slot[8];
    SlotName(number, slot, sizeof slot);
    DWORD bytes = static_cast<DWORD>(size);
    const LSTATUS status =
        RegGetValueA(HKEY_CURRENT_USER, MappingKey, slot, RRF_RT_REG_SZ, nullptr, target, &bytes);
    if (status == ERROR_FILE_NOT_FOUND)
        return Lookup::Absent;
    return status == ERROR_SUCCESS ? Lookup::Found : Lookup::Unreadable;
}

} // namespace

bool SlotDevice(unsigned number, char* path, std::size_t size, MapSource& source)
{
    char target[PathSize] = "";
    bool variableSet = false;
    Lookup found = FromVariable(number, target, sizeof target, variableSet);
    source = MapSource::Variable;
    if (!variableSet) {
        found = FromRegistry(number, target, sizeof target);
        source = MapSource::Registry;
    }
    // "COM3=" in the variable leaves the slot unmapped, as no entry does.
    if (found == Lookup::Found && target[0] != '\0')
        return DevicePath(target, path, size);
    if (found == Lookup::Unreadable) {
        path[0] = '\0';
        return false;
    }
    source = MapSource::Default;
    return SlotName(number, path, size);
}

HANDLE CreateMappedFileA(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                         DWORD creation, DWORD flags, HANDLE model)
{
    const unsigned number = name == nullptr ? 0 : ComNumber(name);
    if (number < 1 || number > SlotCount)
        return CreateFileA(name, access, share, security, creation, flags, model);
    char path[PathSize];
    MapSource source;
    if (!SlotDevice(number, path, sizeof path, source)) {
        SetLastError(ERROR_BAD_PATHNAME);
        return INVALID_HANDLE_VALUE;
    }
    return CreateFileA(source == MapSource::Default ? name : path, access, share, security, creation, flags,
                       model);
}

} // namespace win32_ports
