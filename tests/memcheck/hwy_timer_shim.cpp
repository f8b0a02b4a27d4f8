// Preloaded into Octave under valgrind. libhwy, which Octave loads, measures
// its timer's resolution with rdtscp when it is loaded; on some processors
// valgrind 3.19 stops the process there with SIGILL. The measurement only
// serves libhwy's own benchmarking, so a fixed resolution of one tick does.
#include <cstdint>

namespace hwy::platform {

__attribute__((visibility("default"))) std::uint64_t TimerResolution()
{
    return 1;
}

} // namespace hwy::platform
