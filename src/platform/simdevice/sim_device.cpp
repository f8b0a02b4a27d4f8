// The test's side of the simulated devices: scripting and inspection.
#include "sim_device.h"

#include "sim_state.h"

#include <algorithm>
#include <stdexcept>

namespace sim {
namespace {

using Guard = std::lock_guard<std::mutex>;
using detail::Device;
using detail::world;

// Transfers and settings of an open device belong to the handle the module
// holds, so they survive a reset; everything the test scripted does not.
void ResetDevice(Device& device)
{
    device.presence = Presence::Present;
    device.input.clear();
    device.errors = 0;
    device.writeCompletion = WriteCompletion::Immediate;
    device.shortReads = ShortReads::WaitForCount;
    device.sent.clear();
    if (!device.open)
        device.accepted = detail::DefaultDcb();
}

} // namespace

void Reset()
{
    Guard lock(detail::mutex);
    for (Device& device : world.devices)
        ResetDevice(device);
    world.calls.clear();
    world.faults.clear();
    world.wouldHang = 0;
}

void SetPresence(const std::string& device, Presence presence)
{
    Guard lock(detail::mutex);
    detail::DeviceNamed(device).presence = presence;
}

void FailCall(const std::string& function, DWORD lastError, int count, int skip)
{
    if (!detail::IsFaultableFunction(function))
        throw std::invalid_argument("the simulated devices cannot fail " + function);
    Guard lock(detail::mutex);
    if (count > 0)
        world.faults.push_back({function, lastError, count, std::max(skip, 0)});
}

void QueueInput(const std::string& device, const std::vector<std::uint8_t>& bytes)
{
    Guard lock(detail::mutex);
    Device& target = detail::DeviceNamed(device);
    target.input.insert(target.input.end(), bytes.begin(), bytes.end());
    detail::FillPendingRead(target);
}

void RaiseErrors(const std::string& device, DWORD errors)
{
    Guard lock(detail::mutex);
    detail::DeviceNamed(device).errors |= errors;
}

void SetWriteCompletion(const std::string& device, WriteCompletion mode)
{
    Guard lock(detail::mutex);
    detail::DeviceNamed(device).writeCompletion = mode;
}

void SetShortReads(const std::string& device, ShortReads mode)
{
    Guard lock(detail::mutex);
    Device& target = detail::DeviceNamed(device);
    target.shortReads = mode;
    // A pending read already holding bytes now meets an expired interval.
    detail::FillPendingRead(target);
}

int CompleteWrites(const std::string& device, int count)
{
    Guard lock(detail::mutex);
    Device& target = detail::DeviceNamed(device);
    if (target.writeCompletion == WriteCompletion::Never)
        return 0;
    return detail::CompleteOldestWrites(target, count);
}

int EndWritesEarly(const std::string& device, int count, DWORD error, DWORD sent)
{
    Guard lock(detail::mutex);
    return detail::EndOldestWrites(detail::DeviceNamed(device), count, error, sent);
}

void ExpireRead(const std::string& device)
{
    Guard lock(detail::mutex);
    detail::EndPendingRead(detail::DeviceNamed(device), ERROR_SUCCESS);
}

std::vector<std::uint8_t> Sent(const std::string& device)
{
    Guard lock(detail::mutex);
    return detail::DeviceNamed(device).sent;
}

int PendingWriteCount(const std::string& device)
{
    Guard lock(detail::mutex);
    return static_cast<int>(detail::DeviceNamed(device).writes.size());
}

bool IsOpen(const std::string& device)
{
    Guard lock(detail::mutex);
    return detail::DeviceNamed(device).open;
}

bool ReadPending(const std::string& device)
{
    Guard lock(detail::mutex);
    return detail::DeviceNamed(device).read.has_value();
}

DCB AcceptedState(const std::string& device)
{
    Guard lock(detail::mutex);
    return detail::DeviceNamed(device).accepted;
}

int WouldHangCount()
{
    Guard lock(detail::mutex);
    return world.wouldHang;
}

std::vector<CallRecord> Calls()
{
    Guard lock(detail::mutex);
    return world.calls;
}

int CountCalls(const std::string& function)
{
    Guard lock(detail::mutex);
    return static_cast<int>(std::count_if(world.calls.begin(), world.calls.end(),
                                          [&](const CallRecord& call) { return call.function == function; }));
}

void ClearCalls()
{
    Guard lock(detail::mutex);
    world.calls.clear();
}

} // namespace sim
