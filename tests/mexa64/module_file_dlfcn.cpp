#include "module_file.h"

#include <dlfcn.h>

namespace wine_test {

namespace {
void* module = nullptr;
}

// As the host opens a module: its symbols resolved at once and kept to itself.
bool OpenModuleFile(const std::string& path)
{
    module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    return module != nullptr;
}

void* ModuleSymbol(const char* name)
{
    return dlsym(module, name);
}

void CloseModuleFile()
{
    dlclose(module);
    module = nullptr;
}

} // namespace wine_test
