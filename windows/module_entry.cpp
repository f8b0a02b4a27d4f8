// The module's load-time entry, in place of the C runtime's start-up, which
// would install thread-local storage callbacks in the host's process and run
// constructors there. The module needs neither: its tables are constant data
// and it starts no threads.
#include <windows.h>

extern "C" BOOL WINAPI QuorvelModuleEntry(HINSTANCE module, DWORD reason, LPVOID)
{
    // The host's other threads have no business with the module.
    if (reason == DLL_PROCESS_ATTACH)
        DisableThreadLibraryCalls(module);
    return TRUE;
}
