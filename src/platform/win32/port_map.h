// The names a port mapping is written in on Windows, read without windows.h
// and without allocating, so that the module, quorvel_ports and tests on any
// platform read them alike. A mapping gives slot COMn (1 to 8) a device:
// "COM12", any case, with or without the "\\.\" prefix, stands for
// "\\.\COM12"; a device path "\\.\NAME" (a virtual port driver's "\\.\CNCA0")
// stands for itself.
#pragma once

#include <cstddef>

namespace win32_ports {

constexpr unsigned SlotCount = 8;
constexpr std::size_t PathSize = 260;
// The store: a string value per mapped slot, named "COM3", under this key of
// HKEY_CURRENT_USER. The variable, when set, stands in for it entirely.
constexpr char MappingKey[] = "Software\\quorvel";
constexpr char MappingVariable[] = "QUORVEL_PORTS";

// The n of "COMn" or "\\.\COMn" (any case, no leading zero); 0 for other names.
unsigned ComNumber(const char* name);

// The device path that target names, into path; false, with path empty, when
// it is neither a COM name nor a device path or does not fit.
bool DevicePath(const char* target, char* path, std::size_t size);

// The target that list ("COM3=COM12;COM5=\\.\CNCA0", the form of the
// QUORVEL_PORTS variable) gives slot n, into target; false when it gives none.
bool ListedTarget(const char* list, unsigned number, char* target, std::size_t size);

} // namespace win32_ports
