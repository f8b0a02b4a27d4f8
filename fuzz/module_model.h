// The module's state as its promises fix it, kept beside the module by the
// fuzzer and compared with what can be seen from outside after every call:
// which ports are open, how many writes each holds in flight, the host lock
// count, and the host memory, events and devices those imply.
#pragma once

#include "call_oracle.h"
#include "sim_device.h"

#include <array>
#include <string>
#include <vector>

namespace fuzz {

// A module call and everything observed around it.
struct CallFacts {
    int nlhs = 0;
    std::vector<const mxArray*> args;
    // What the arguments alone promise (see call_oracle.h).
    const char* routingMessage = nullptr;
    int command = 0, slot = 0;
    std::string parseMessage; // for Open and SetParams
    test_host::CallResult result;
    std::vector<sim::CallRecord> deviceCalls;
    std::vector<bool> failed;         // per device call: an injected fault failed it
    bool reapFailed = false;          // a reap could not learn how a write ended: it counts as lost
    bool allocationFailed = false;    // an armed mxCalloc/mxMalloc failure went off
    bool arrayCreationFailed = false; // an armed mxCreate* failure went off
    bool eventFaultArmed = false;     // event creations were set to fail during the call
    int slowSlices = 0;               // drain slices the devices let run out
    int stuckReadsEnded = 0;          // reads waited on without limit that only the devices' mercy ended
    std::array<int, SlotCount> devicePendingBefore{};

    bool HostFaultFired() const { return allocationFailed || arrayCreationFailed; }
};

class ModuleModel {
  public:
    ModuleModel();
    bool IsOpen(int slot) const { return slot >= 0 && open_[slot]; }
    void SetPresence(int slot, sim::Presence presence) { presence_[slot] = presence; }
    // Checks a call's outcome against the module's promises and advances the state.
    void CheckCall(const CallFacts& facts);
    void CheckClearModule(bool unloaded) const;
    void AfterHostExit();
    // What must hold between any two calls.
    void CheckInvariants() const;

  private:
    void CheckOpen(const CallFacts& facts, int slot);
    void CheckClose(const CallFacts& facts, int slot);
    void CheckCloseAll(const CallFacts& facts);
    void CheckSetParams(const CallFacts& facts, int slot);
    void CheckWrite(const CallFacts& facts, int slot);
    void CheckRead(const CallFacts& facts, int slot) const;
    void CheckGetWriteStatus(const CallFacts& facts, int slot);
    void CheckGetReadStatus(const CallFacts& facts, int slot) const;
    void CheckFlushWrite(const CallFacts& facts, int slot);
    bool ConfigurationFailed(const CallFacts& facts, std::size_t first, int slot, bool everyGroup) const;

    std::array<bool, SlotCount> open_{};
    std::array<int, SlotCount> held_{};     // writes in flight the module holds
    std::array<bool, SlotCount> lost_{};    // a lost write not yet reported by FlushWrite or Close
    std::array<bool, SlotCount> refused_{}; // the open device refused settings not applied since
    std::array<sim::Presence, SlotCount> presence_{};
    int locks_ = 0;
};

// Reports a broken promise with the steps that led to it, and stops.
[[noreturn]] void Fail(const std::string& what);
inline void Require(bool condition, const char* what)
{
    if (!condition)
        Fail(what);
}
void SetTrace(const std::vector<std::string>* trace);

} // namespace fuzz
