#include "ports/port_selection.h"

#include "common/host_calls.h"
#include "common/text.h"
#include "ports/port_table.h"

#include <cstring>

namespace {

bool IsDefaultKeyword(const mxArray* portArgument)
{
    char text[8];
    return mxGetString(portArgument, text, sizeof text) == 0 && EqualIgnoringCase(text, "default");
}

bool HasPropertyNames(const mxArray* settings)
{
    if (FieldCountOf(settings) < PropertyCount)
        return false;
    for (int index = 0; index < PropertyCount; ++index) {
        const char* name = mxGetFieldNameByNumber(settings, index);
        // Names as vantrel writes them match exactly, which the library compares fastest.
        if (name == nullptr ||
            (std::strcmp(name, PropertyNames[index]) != 0 && !EqualIgnoringCase(name, PropertyNames[index])))
            return false;
    }
    return true;
}

// Only "COM" and the fourth character count: "COM10" names COM1.
int SlotOfPortName(const mxArray* portValue)
{
    char name[8];
    if (portValue == nullptr || mxGetString(portValue, name, sizeof name) != 0)
        return -1;
    if (!StartsWithIgnoringCase(name, "COM"))
        return -1;
    int digit = name[3] - '0';
    return digit >= 1 && digit <= PortCount ? digit - 1 : -1;
}

} // namespace

PortRecord& SelectPort(const mxArray* portArgument)
{
    // Handlers get a fresh copy of the defaults, so no command can change them.
    static PortRecord selectedDefaults;
    if (IsDefaultKeyword(portArgument)) {
        selectedDefaults = DefaultRecord;
        return selectedDefaults;
    }
    if (!HasPropertyNames(portArgument))
        HostAbort(messages::NotASettingsObject);
    int slot = SlotOfPortName(FieldOfFirstElement(portArgument, PortProperty));
    if (slot < 0)
        HostAbort(messages::InvalidPortName);
    return PortTable[slot];
}
