// The operating system's serial device and event interface as the module
// uses it, under the Win32 names. The build picks the backend by include
// path: <windows.h> itself, or our own declarations of the same subset.
#pragma once

#include "serial_api.h"
