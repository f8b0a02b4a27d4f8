#include "port_map.h"

namespace win32_ports {
namespace {

constexpr char DevicePrefix[] = "\\\\.\\";
constexpr std::size_t PrefixLength = sizeof DevicePrefix - 1;

char Upper(char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool StartsWith(const char* text, const char* prefix)
{
    for (; *prefix != '\0'; ++text, ++prefix)
        if (Upper(*text) != Upper(*prefix))
            return false;
    return true;
}

// A device name: no separators, no spaces, nothing a path could climb with.
bool IsDeviceName(const char* name)
{
    if (*name == '\0')
        return false;
    for (; *name != '\0'; ++name)
        if (*name <= ' ' || *name == '\\' || *name == '/' || *name == ':' || *name == 0x7f)
            return false;
    return true;
}

bool Copy(const char* text, std::size_t length, char* into, std::size_t size)
{
    if (length >= size)
        return false;
    for (std::size_t k = 0; k < length; ++k)
        into[k] = text[k];
    into[length] = '\0';
    return true;
}

std::size_t Length(const char* text)
{
    std::size_t length = 0;
    while (text[length] != '\0')
        ++length;
    return length;
}

// Writes "\\.\COMn".
bool ComPath(unsigned number, char* path, std::size_t size)
{
    char digits[12];
    std::size_t count = 0;
    for (; number > 0; number /= 10)
        digits[count++] = static_cast<char>('0' + number % 10);
    if (PrefixLength + 3 + count >= size)
        return false;
    Copy(DevicePrefix, PrefixLength, path, size);
    Copy("COM", 3, path + PrefixLength, size - PrefixLength);
    for (std::size_t k = 0; k < count; ++k)
        path[PrefixLength + 3 + k] = digits[count - 1 - k];
    path[PrefixLength + 3 + count] = '\0';
    return true;
}

} // namespace

unsigned ComNumber(const char* name)
{
    if (StartsWith(name, DevicePrefix))
        name += PrefixLength;
    if (!StartsWith(name, "COM") || name[3] < '1' || name[3] > '9')
        return 0;
    unsigned long number = 0;
    for (const char* digit = name + 3; *digit != '\0'; ++digit) {
        if (*digit < '0' || *digit > '9' || number > 100000)
            return 0;
        number = number * 10 + static_cast<unsigned long>(*digit - '0');
    }
    return static_cast<unsigned>(number);
}

bool DevicePath(const char* target, char* path, std::size_t size)
{
    if (size > 0)
        path[0] = '\0';
    const unsigned number = ComNumber(target);
    if (number > 0)
        return ComPath(number, path, size);
    if (!StartsWith(target, DevicePrefix) || !IsDeviceName(target + PrefixLength))
        return false;
    return Copy(target, Length(target), path, size);
}

bool ListedTarget(const char* list, unsigned number, char* target, std::size_t size)
{
    for (const char* entry = list; *entry != '\0';) {
        const char* end = entry;
        while (*end != '\0' && *end != ';')
            ++end;
        const char* equals = entry;
        while (equals < end && *equals != '=')
            ++equals;
        char slot[16];
        if (equals < end && Copy(entry, static_cast<std::size_t>(equals - entry), slot, sizeof slot) &&
            ComNumber(slot) == number)
            return Copy(equals + 1, static_cast<std::size_t>(end - equals - 1), target, size);
        entry = *end == ';' ? end + 1 : end;
    }
    return false;
}

} // namespace win32_ports
