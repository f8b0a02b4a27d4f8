#include "module_file.h"

#include <windows.h>

namespace wine_test {

namespace {
HMODULE module = nullptr;
}

bool OpenModuleFile(const std::string& path)
{
    module = LoadLibraryA(path.c_str());
    return module != nullptr;
}

void* ModuleSymbol(const char* name)
{
    return reinterpret_cast<void*>(GetProcAddress(module, name));
}

void CloseModuleFile()
{
    FreeLibrary(module);
    module = nullptr;
}

} // namespace wine_test
