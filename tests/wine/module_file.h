// The module's file, opened and closed by the system's loader as the host
// does it: LoadLibrary on Windows (module_file_win32.cpp), dlopen on Linux.
#pragma once

#include <string>

namespace wine_test {

bool OpenModuleFile(const std::string& path);
// An exported symbol of the open module; null when it has none of that name.
void* ModuleSymbol(const char* name);
void CloseModuleFile();

} // namespace wine_test
