#include "interrupt_hook.h"

// The host backend linked beside this one defines it, when it can tell; a
// host that cannot (MATLAB documents no way) and the backend's own tests
// leave it undefined. Hidden, so that a module never asks the dynamic linker
// for it.
__attribute__((weak, visibility("hidden"))) bool HostInterruptRequested();

namespace posix_serial {

bool InterruptRequested()
{
    return HostInterruptRequested != nullptr && HostInterruptRequested();
}

} // namespace posix_serial
