#pragma once

#include "slot_devices.h"

#include <windows.h>

// The module's ports open through the user's mapping: the core's CreateFileA
// is this backend's, which hands every name on to Windows' own.
#define CreateFileA win32_ports::CreateMappedFileA
