// Test controls and inspection of the kernel objects: faults to inject, a
// look at every wait, and what is still alive. Tests, fuzzers and benchmarks
// include this; the shipped modules do not.
#pragma once

#include "serial_api.h"

#include <cstddef>
#include <functional>

namespace kernel {

// The handles registered, and how many of them are events.
std::size_t LiveObjectCount();
std::size_t LiveEventCount();

// Makes the next `count` event creations fail (the system out of resources),
// as CreateEventA returning NULL.
void FailEventCreations(int count);

// Makes the next `count` waits fail with WAIT_FAILED, after the wait hook saw
// them.
void FailWaits(int count);

// Observes every wait as it starts, for example to complete a transfer
// "while" the module waits. Pass an empty function to remove the hook.
using WaitHook = std::function<void(const HANDLE* objects, DWORD count, BOOL waitAll, DWORD milliseconds)>;
void SetWaitHook(WaitHook hook);

} // namespace kernel
