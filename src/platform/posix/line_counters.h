// Line errors from the kernel's per-port counters (TIOCGICOUNT), reported as
// the CE_ bits of what changed since the previous look. Pseudo-terminals and
// some adapters keep no counters: they report no errors.
#pragma once

#include "serial_api.h"

namespace posix_serial {

class LineCounters {
  public:
    // Takes the counts as they stand, so that errors from before count as seen.
    void Start(int fd);
    DWORD TakeNewErrors(int fd);

  private:
    struct Counts {
        int frame, overrun, parity, brk, bufferOverrun;
    };
    bool Read(int fd, Counts& counts);

    bool supported_ = true;
    Counts last_{};
};

} // namespace posix_serial
