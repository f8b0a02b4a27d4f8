// The module's status bits as the checks that see it only from outside (the
// loader tests, the fuzzer's model) expect them: written down apart from the
// module's own, so that a changed bit shows.
#pragma once

namespace status_bits {

enum Status {
    LineError = 1,
    NotOpen = 2,
    Pending = 4,
    TimedOut = 8,
    ConfigFailed = 16,
    Overrun = 32,
    IoFailed = 64
};

} // namespace status_bits
