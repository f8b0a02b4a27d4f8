// Where slot COM1-COM8 leads on Windows: the device the user mapped it to
// (port_map.h), read at each open, or the COM port of its own name.
#pragma once

#include "port_map.h"

#include <windows.h>

namespace win32_ports {

enum class MapSource { Default, Variable, Registry };

// The device slot n (1 to SlotCount) opens, "COM3" when nothing maps it, and
// where that came from. False, with path empty, when the mapping holds no
// device name or cannot be read whole.
bool SlotDevice(unsigned number, char* path, std::size_t size, MapSource& source);

// CreateFileA for the module: a slot's name opens the device it is mapped
// to; an unmapped slot and every other name open as given.
HANDLE CreateMappedFileA(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                         DWORD creation, DWORD flags, HANDLE model);

} // namespace win32_ports
