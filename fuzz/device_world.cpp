#include "device_world.h"

#include "kernel_testing.h"

#include <algorithm>
#include <limits>

namespace fuzz {
namespace {

// A read time-out up to this long is waited for in earnest.
constexpr DWORD RealWaitMilliseconds = 1;
// The simulation's own wait inside GetOverlappedResult for a transfer that
// has not ended.
constexpr DWORD SimulationHangLimit = 5000;

WaitScript* activeScript = nullptr;

void DuringReadWait(DWORD milliseconds)
{
    // Every reap tests each write's event with a zero wait: keep those cheap.
    if (milliseconds <= RealWaitMilliseconds && activeScript->arrivingInput.empty())
        return;
    for (int slot = 0; slot < 8; ++slot) {
        const std::string& device = DeviceName(slot);
        if (!sim::ReadPending(device))
            continue;
        if (!activeScript->arrivingInput.empty()) {
            sim::QueueInput(device, activeScript->arrivingInput);
            activeScript->arrivingInput.clear();
        }
        if (milliseconds > RealWaitMilliseconds && sim::ReadPending(device))
            sim::ExpireRead(device);
    }
}

void EndStuckRead()
{
    for (int slot = 0; slot < 8; ++slot) {
        const std::string& device = DeviceName(slot);
        if (sim::ReadPending(device)) {
            sim::ExpireRead(device);
            ++activeScript->stuckReadsEnded;
        }
    }
}

void DuringDrainSlice()
{
    if (activeScript->slowSlicesAllowed > 0) {
        --activeScript->slowSlicesAllowed;
        ++activeScript->slowSlicesTaken;
        return;
    }
    for (int slot = 0; slot < 8; ++slot) {
        const std::string& device = DeviceName(slot);
        if (sim::PendingWriteCount(device) == 0)
            continue;
        sim::SetWriteCompletion(device, sim::WriteCompletion::Later);
        sim::CompleteWrites(device, std::numeric_limits<int>::max());
    }
}

} // namespace

const std::string& DeviceName(int slot)
{
    static const std::string names[] = {"COM1", "COM2", "COM3", "COM4", "COM5", "COM6", "COM7", "COM8"};
    return names[slot];
}

void FaultMirror::Arm(const std::string& function, DWORD error, int count, int skip)
{
    sim::FailCall(function, error, count, skip);
    faults_.push_back({function, count, skip});
}

bool FaultMirror::Armed(const std::string& function) const
{
    return std::any_of(faults_.begin(), faults_.end(),
                       [&](const Fault& fault) { return fault.function == function; });
}

bool FaultMirror::Take(const std::string& function)
{
    auto due = std::find_if(faults_.begin(), faults_.end(),
                            [&](const Fault& fault) { return fault.function == function; });
    if (due == faults_.end())
        return false;
    if (due->skip > 0) {
        --due->skip;
        return false;
    }
    if (--due->count == 0)
        faults_.erase(due);
    return true;
}

std::vector<bool> FaultMirror::Consume(const std::vector<sim::CallRecord>& calls)
{
    std::vector<bool> failed;
    for (const sim::CallRecord& call : calls) {
        // CreateFileA meets its faults first; other calls only on a live device.
        const bool faultable =
            call.function == "CreateFileA" || (!call.device.empty() && call.function != "CloseHandle");
        failed.push_back(faultable && Take(call.function));
    }
    return failed;
}

void InstallWaitHook(WaitScript* script)
{
    activeScript = script;
    kernel::SetWaitHook([](const HANDLE*, DWORD count, BOOL waitAll, DWORD milliseconds) {
        if (waitAll)
            DuringDrainSlice();
        else if (count == 1 && milliseconds == SimulationHangLimit)
            EndStuckRead();
        else if (count == 1)
            DuringReadWait(milliseconds);
    });
}

void RemoveWaitHook()
{
    kernel::SetWaitHook({});
    activeScript = nullptr;
}

} // namespace fuzz
