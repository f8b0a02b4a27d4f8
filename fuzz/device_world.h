// The fuzzer's side of the simulated devices: injected device faults,
// mirrored so that the calls they failed can be read off the call log, and
// what the devices do while the module waits.
#pragma once

#include "sim_device.h"

#include <string>
#include <vector>

namespace fuzz {

const std::string& DeviceName(int slot);

class FaultMirror {
  public:
    void Arm(const std::string& function, DWORD error, int count, int skip);
    bool Armed(const std::string& function) const;
    // For each logged call, whether an armed fault failed it; consumes the
    // faults exactly as the simulation does.
    std::vector<bool> Consume(const std::vector<sim::CallRecord>& calls);

  private:
    struct Fault {
        std::string function;
        int count, skip;
    };
    bool Take(const std::string& function);
    std::vector<Fault> faults_;
};

// While the module waits, the devices act: input scripted for a read's wait
// arrives, a read whose wait would take more than a moment ends at its
// interval time-out at once, and writes a drain waits for complete, unless
// the drain may let that many of its waits (100 ms pieces of its slices) run
// out. A read the module waits on without limit (GetOverlappedResult with
// wait) that nothing would end is ended too, and counted: only the wait
// after both cancels failed may do that.
struct WaitScript {
    std::vector<std::uint8_t> arrivingInput;
    int slowSlicesAllowed = 0;
    int slowSlicesTaken = 0;
    int stuckReadsEnded = 0;
};
void InstallWaitHook(WaitScript* script);
void RemoveWaitHook();

} // namespace fuzz
