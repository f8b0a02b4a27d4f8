#include "module_model.h"

#include "device_world.h"
#include "kernel_testing.h"
#include "status_bits.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <numeric>

namespace fuzz {
namespace {

using namespace status_bits;

const std::vector<std::string>* activeTrace = nullptr;

// The status a command delivered, or -1 when the call does not deliver one.
int DeliveredStatus(const CallFacts& facts, int command)
{
    const int position = Commands[command].maxOutputs;
    if (!(facts.nlhs > 1 || position == 1))
        return -1;
    const mxArray* status = facts.result.outputs.at(position - 1).get();
    Require(status != nullptr && mxIsDouble(status) && mxGetNumberOfElements(status) == 1,
            "the status output is not a 1x1 double");
    const double value = *mxGetPr(status);
    Require(value >= 0 && value < 128 && value == std::floor(value), "the status is not a status code");
    return static_cast<int>(value);
}

void ExpectAbort(const CallFacts& facts, const std::string& message)
{
    if (!facts.result.aborted || facts.result.message != message)
        Fail("expected the message \"" + message + "\", got " +
             (facts.result.aborted ? "\"" + facts.result.message + "\"" : "no abort"));
    Require(facts.deviceCalls.empty(), "a rejected call reached the device");
}

// The status must be one of `allowed`; only exhausted host memory may abort instead.
void ExpectStatus(const CallFacts& facts, int command, std::initializer_list<int> allowed)
{
    if (facts.result.aborted) {
        Require(facts.result.message == OutOfMemory, "a call aborted where a status was promised");
        return;
    }
    const int status = DeliveredStatus(facts, command);
    if (status >= 0 && std::find(allowed.begin(), allowed.end(), status) == allowed.end())
        Fail(std::string(Commands[command].name) + " returned the status " + std::to_string(status));
}

void ExpectNoDeviceCalls(const CallFacts& facts)
{
    Require(facts.deviceCalls.empty(), "a call on a closed port reached a device");
}

bool CallFailed(const CallFacts& facts, const char* function)
{
    for (std::size_t i = 0; i < facts.deviceCalls.size(); ++i)
        if (facts.deviceCalls[i].function == function && facts.failed[i])
            return true;
    return false;
}

bool AnyFailed(const CallFacts& facts)
{
    return std::find(facts.failed.begin(), facts.failed.end(), true) != facts.failed.end();
}

// A lost write adds IoFailed to what FlushWrite and Close answer.
int WithLost(int status, bool lost)
{
    return lost ? status | IoFailed : status;
}

bool OnlyCall(const CallFacts& facts, const char* function)
{
    return facts.deviceCalls.size() == 1 && facts.deviceCalls[0].function == function;
}

// Output 1 of a command on a closed port or after a failed query: an empty row.
void ExpectEmptyRow(const CallFacts& facts, mxClassID classId)
{
    if (facts.result.aborted)
        return;
    const mxArray* row = facts.result.outputs.at(0).get();
    Require(row != nullptr && mxGetClassID(row) == classId && mxGetM(row) == 1 && mxGetN(row) == 0,
            "output 1 is not an empty row");
}

void ExpectQueueCount(const CallFacts& facts)
{
    if (facts.result.aborted)
        return;
    const mxArray* count = facts.result.outputs.at(0).get();
    Require(count != nullptr && mxIsDouble(count) && mxGetM(count) == 1 && mxGetN(count) == 1,
            "a queue count is not a 1x1 double");
    Require(*mxGetPr(count) >= 0, "a negative queue count");
}

void ExpectSettingsReport(const CallFacts& facts, int slot)
{
    if (facts.result.aborted)
        return;
    const mxArray* report = facts.result.outputs.at(0).get();
    Require(report != nullptr && mxIsStruct(report) && mxGetNumberOfElements(report) == 1 &&
                mxGetNumberOfFields(report) == PropertyCount,
            "the settings output is not a 1x1 settings structure");
    for (int field = 0; field < PropertyCount; ++field) {
        Require(std::strcmp(mxGetFieldNameByNumber(report, field), PropertyNames[field]) == 0,
                "a misnamed settings field");
        Require(mxGetFieldByNumber(report, 0, field) != nullptr, "a settings field without a value");
    }
    char port[8] = "";
    mxGetString(mxGetFieldByNumber(report, 0, 0), port, sizeof port);
    Require(DeviceName(slot < 0 ? 0 : slot) == port, "a slot reported another port's name");
}

// Every device call goes to the addressed port's device.
void ExpectCallsOnSlot(const CallFacts& facts, int slot)
{
    for (const sim::CallRecord& call : facts.deviceCalls)
        if (slot < 0 || call.device != DeviceName(slot))
            Fail(call.function + " reached " + (call.device.empty() ? "a dead handle" : call.device) +
                 " on a call addressed to " + (slot < 0 ? "the defaults" : DeviceName(slot)));
}

} // namespace

void SetTrace(const std::vector<std::string>* trace)
{
    activeTrace = trace;
}

void Fail(const std::string& what)
{
    std::fprintf(stderr, "\nquorvel: broken promise: %s\nsteps:\n", what.c_str());
    if (activeTrace != nullptr)
        for (const std::string& step : *activeTrace)
            std::fprintf(stderr, "  %s\n", step.c_str());
    std::abort();
}

ModuleModel::ModuleModel()
{
    presence_.fill(sim::Presence::Present);
}

void ModuleModel::CheckCall(const CallFacts& facts)
{
    const test_host::CallResult& result = facts.result;
    if (result.aborted && !IsFixedMessage(result.message))
        Fail("the call aborted with a message the module does not have: \"" + result.message + "\"");
    Require(facts.HostFaultFired() == (result.aborted && result.message == OutOfMemory),
            "exhausted host memory and \"Out of memory.\" do not go together");
    if (facts.routingMessage != nullptr) {
        ExpectAbort(facts, facts.routingMessage);
        return;
    }
    const int command = facts.command, slot = facts.slot;
    if (command != CloseAll)
        ExpectCallsOnSlot(facts, slot);
    if (facts.reapFailed && slot >= 0)
        lost_[slot] = true;
    // Known: after both cancels failed Read waits for its read to end, with
    // no limit, because the read still writes into the call's buffer.
    if (facts.stuckReadsEnded > 0)
        Require(command == Read && CallFailed(facts, "PurgeComm"),
                "a call waited for a transfer nothing would end");
    const bool open = IsOpen(slot);
    switch (command) {
    case Open:
        CheckOpen(facts, slot);
        break;
    case Close:
        CheckClose(facts, slot);
        break;
    case CloseAll:
        CheckCloseAll(facts);
        break;
    case GetParams:
        ExpectNoDeviceCalls(facts);
        ExpectStatus(facts, command, {!open ? NotOpen : refused_[slot] ? ConfigFailed : 0});
        ExpectSettingsReport(facts, slot);
        break;
    case SetParams:
        CheckSetParams(facts, slot);
        break;
    case Write:
        CheckWrite(facts, slot);
        break;
    case Read:
        CheckRead(facts, slot);
        break;
    case GetWriteStatus:
        CheckGetWriteStatus(facts, slot);
        break;
    case GetReadStatus:
        CheckGetReadStatus(facts, slot);
        break;
    case FlushRead:
        if (!open) {
            ExpectNoDeviceCalls(facts);
            ExpectStatus(facts, command, {NotOpen});
            break;
        }
        Require(OnlyCall(facts, "PurgeComm"), "FlushRead made other calls than one purge");
        ExpectStatus(facts, command, {facts.failed[0] ? IoFailed : 0});
        break;
    default:
        CheckFlushWrite(facts, slot);
        break;
    }
}

// Configuration calls come in their fixed order and stop at the first that
// fails; Open makes all three, SetParams those of the groups that changed.
bool ModuleModel::ConfigurationFailed(const CallFacts& facts, std::size_t first, int slot,
                                      bool everyGroup) const
{
    static const char* const order[] = {"SetupComm", "SetCommState", "SetCommTimeouts"};
    std::size_t step = 0;
    for (std::size_t i = first; i < facts.deviceCalls.size(); ++i) {
        const sim::CallRecord& call = facts.deviceCalls[i];
        while (step < 3 && call.function != order[step]) {
            Require(!everyGroup, "Open skipped a configuration call");
            ++step;
        }
        Require(step < 3, "a configuration call out of order or repeated");
        ++step;
        const DCB accepted = sim::AcceptedState(DeviceName(slot));
        const bool rejected =
            call.function == "SetCommState" && std::memcmp(&accepted, &call.dcb, sizeof(DCB)) != 0;
        if (facts.failed[i] || rejected) {
            Require(i + 1 == facts.deviceCalls.size(), "configuration went on after a call failed");
            return true;
        }
    }
    Require(!everyGroup || step == 3, "Open left out a configuration call");
    return false;
}

void ModuleModel::CheckOpen(const CallFacts& facts, int slot)
{
    if (!facts.parseMessage.empty()) {
        ExpectAbort(facts, facts.parseMessage);
        return;
    }
    bool opened = open_[slot];
    std::size_t configurationStart = 0;
    if (!opened) {
        Require(!facts.deviceCalls.empty() && facts.deviceCalls[0].function == "CreateFileA",
                "Open of a closed port did not open the device");
        opened = !facts.failed[0] && presence_[slot] == sim::Presence::Present;
        configurationStart = 1;
    }
    if (!opened) {
        Require(facts.deviceCalls.size() == 1, "Open configured a device it could not open");
        ExpectStatus(facts, Open, {NotOpen});
    } else {
        const bool failed = ConfigurationFailed(facts, configurationStart, slot, true);
        Require(facts.deviceCalls.size() > configurationStart, "Open did not configure the device");
        ExpectStatus(facts, Open, {failed ? ConfigFailed : 0});
        refused_[slot] = failed;
        open_[slot] = true;
        ++locks_;
    }
    ExpectSettingsReport(facts, slot);
}

void ModuleModel::CheckClose(const CallFacts& facts, int slot)
{
    if (!IsOpen(slot)) {
        ExpectNoDeviceCalls(facts);
        ExpectStatus(facts, Close, {NotOpen});
        return;
    }
    // Memory for the drain is taken before the port is closed; the status
    // array is made after.
    if (facts.allocationFailed) {
        Require(held_[slot] > 0, "Close ran out of memory with nothing to drain");
        Require(facts.deviceCalls.empty(), "Close that ran out of memory still closed the device");
        return;
    }
    Require(OnlyCall(facts, "CloseHandle"), "Close made other device calls than closing the handle");
    const bool lost = lost_[slot];
    if (facts.slowSlices > 0)
        ExpectStatus(facts, Close, {WithLost(0, lost), WithLost(TimedOut, lost)});
    else
        ExpectStatus(facts, Close, {WithLost(0, lost)});
    open_[slot] = false;
    held_[slot] = 0;
    lost_[slot] = false;
    refused_[slot] = false;
    --locks_;
}

void ModuleModel::CheckCloseAll(const CallFacts& facts)
{
    Require(!facts.result.aborted, "CloseAll aborted");
    std::vector<std::string> closed;
    for (const sim::CallRecord& call : facts.deviceCalls) {
        Require(call.function == "CloseHandle", "CloseAll made other device calls than closing handles");
        closed.push_back(call.device);
    }
    std::vector<std::string> expected;
    for (int slot = 0; slot < SlotCount; ++slot)
        if (open_[slot])
            expected.push_back(DeviceName(slot));
    Require(closed == expected, "CloseAll did not close exactly the open ports, in slot order");
    AfterHostExit();
}

void ModuleModel::CheckSetParams(const CallFacts& facts, int slot)
{
    if (!facts.parseMessage.empty()) {
        ExpectAbort(facts, facts.parseMessage);
        return;
    }
    if (!IsOpen(slot)) {
        ExpectNoDeviceCalls(facts);
        ExpectStatus(facts, SetParams, {NotOpen});
    } else {
        // Groups refused before are applied again, changed or not.
        const bool failed = ConfigurationFailed(facts, 0, slot, false);
        Require(!refused_[slot] || !facts.deviceCalls.empty(), "SetParams left a refusal standing untried");
        ExpectStatus(facts, SetParams, {failed ? ConfigFailed : 0});
        refused_[slot] = failed;
    }
    ExpectSettingsReport(facts, slot);
}

void ModuleModel::CheckWrite(const CallFacts& facts, int slot)
{
    if (!IsOpen(slot)) {
        ExpectNoDeviceCalls(facts);
        ExpectStatus(facts, Write, {NotOpen});
        return;
    }
    const int reaped = facts.devicePendingBefore[slot];
    held_[slot] = reaped;
    const mxArray* data = facts.args[2];
    if (mxIsEmpty(data)) {
        ExpectNoDeviceCalls(facts);
        ExpectStatus(facts, Write, {0});
    } else if (mxGetClassID(data) != mxUINT8_CLASS) {
        ExpectAbort(facts, DataNotUint8);
    } else if (facts.allocationFailed) {
        Require(facts.deviceCalls.empty(), "a write out of memory was started");
    } else if (facts.deviceCalls.empty()) {
        Require(facts.eventFaultArmed, "a write was neither started nor refused for a reason");
        ExpectStatus(facts, Write, {IoFailed});
    } else {
        Require(OnlyCall(facts, "WriteFile"), "Write made other device calls than one WriteFile");
        ExpectStatus(facts, Write, {facts.failed[0] ? IoFailed : Pending});
        if (!facts.failed[0])
            held_[slot] = reaped + 1;
    }
}

void ModuleModel::CheckRead(const CallFacts& facts, int slot) const
{
    if (!IsOpen(slot)) {
        ExpectNoDeviceCalls(facts);
        ExpectStatus(facts, Read, {NotOpen});
        ExpectEmptyRow(facts, mxUINT8_CLASS);
        return;
    }
    if (facts.result.aborted)
        return;
    const mxArray* data = facts.result.outputs.at(0).get();
    Require(data != nullptr && mxGetClassID(data) == mxUINT8_CLASS && mxGetM(data) == 1,
            "Read's data is not a uint8 row");
    const std::size_t got = mxGetN(data);
    const int status = DeliveredStatus(facts, Read);
    std::int64_t count = 0;
    if (ReadCountGiven(facts.args, count)) {
        if (count <= 0) {
            ExpectNoDeviceCalls(facts);
            Require(status <= 0 && got == 0, "a read of nothing returned something");
            return;
        }
        Require(got <= static_cast<std::size_t>(count), "Read returned more bytes than asked for");
    } else {
        Require(!facts.deviceCalls.empty() && facts.deviceCalls[0].function == "ClearCommError",
                "Read without a count did not ask the device");
        if (facts.failed[0]) {
            Require(facts.deviceCalls.size() == 1 && got == 0 && (status < 0 || status == IoFailed),
                    "a failed query still read");
            return;
        }
    }
    const bool faulted = AnyFailed(facts) || facts.eventFaultArmed;
    if (status == IoFailed)
        Require(faulted && got == 0, "Read failed with nothing failing, or failed with data");
    else if (status >= 0)
        Require((status & ~(TimedOut | Pending | Overrun | LineError)) == 0,
                "Read returned bits it cannot return");
    if (CallFailed(facts, "ReadFile") || CallFailed(facts, "PurgeComm"))
        Require(status < 0 || status == IoFailed, "a read that could not start or be cancelled did not fail");
}

void ModuleModel::CheckGetWriteStatus(const CallFacts& facts, int slot)
{
    if (!IsOpen(slot)) {
        ExpectNoDeviceCalls(facts);
        ExpectStatus(facts, GetWriteStatus, {NotOpen});
        ExpectEmptyRow(facts, mxDOUBLE_CLASS);
        return;
    }
    if (facts.deviceCalls.empty()) {
        Require(facts.result.aborted, "GetWriteStatus did not ask the device");
        return;
    }
    held_[slot] = facts.devicePendingBefore[slot];
    Require(OnlyCall(facts, "ClearCommError"), "GetWriteStatus made other calls than one query");
    if (facts.failed[0]) {
        ExpectStatus(facts, GetWriteStatus, {IoFailed});
        ExpectEmptyRow(facts, mxDOUBLE_CLASS);
        return;
    }
    ExpectStatus(facts, GetWriteStatus, {held_[slot] > 0 ? Pending : 0});
    ExpectQueueCount(facts);
}

void ModuleModel::CheckGetReadStatus(const CallFacts& facts, int slot) const
{
    if (!IsOpen(slot)) {
        ExpectNoDeviceCalls(facts);
        ExpectStatus(facts, GetReadStatus, {NotOpen});
        ExpectEmptyRow(facts, mxDOUBLE_CLASS);
        return;
    }
    if (facts.deviceCalls.empty()) {
        Require(facts.result.aborted, "GetReadStatus did not ask the device");
        return;
    }
    Require(OnlyCall(facts, "ClearCommError"), "GetReadStatus made other calls than one query");
    if (facts.failed[0]) {
        ExpectStatus(facts, GetReadStatus, {IoFailed});
        ExpectEmptyRow(facts, mxDOUBLE_CLASS);
        return;
    }
    const int status = facts.result.aborted ? -1 : DeliveredStatus(facts, GetReadStatus);
    if (status >= 0)
        Require((status & ~(Pending | Overrun | LineError)) == 0,
                "GetReadStatus returned bits it cannot return");
    ExpectQueueCount(facts);
}

void ModuleModel::CheckFlushWrite(const CallFacts& facts, int slot)
{
    if (!IsOpen(slot)) {
        ExpectNoDeviceCalls(facts);
        ExpectStatus(facts, FlushWrite, {NotOpen});
        return;
    }
    const int pendingAfter = sim::PendingWriteCount(DeviceName(slot));
    // Out of memory in the drain ends the call before the lost writes are told.
    const bool lost = lost_[slot];
    lost_[slot] = lost && facts.allocationFailed;
    if (AsksToDiscard(facts.args)) {
        Require(OnlyCall(facts, "PurgeComm"), "a discard made other calls than one purge");
        ExpectStatus(facts, FlushWrite, {WithLost(facts.failed[0] ? IoFailed : 0, lost)});
        held_[slot] = pendingAfter;
        return;
    }
    ExpectNoDeviceCalls(facts);
    held_[slot] = pendingAfter;
    if (facts.allocationFailed)
        Require(facts.devicePendingBefore[slot] > 0, "a drain with nothing to wait for ran out of memory");
    if (facts.slowSlices > 0)
        ExpectStatus(facts, FlushWrite, {WithLost(0, lost), WithLost(TimedOut, lost)});
    else
        ExpectStatus(facts, FlushWrite, {WithLost(0, lost)});
}

void ModuleModel::CheckClearModule(bool unloaded) const
{
    Require(unloaded == (locks_ == 0), "the module unloaded while locked, or stayed while unlocked");
}

void ModuleModel::AfterHostExit()
{
    open_.fill(false);
    held_.fill(0);
    lost_.fill(false);
    refused_.fill(false);
    locks_ = 0;
}

void ModuleModel::CheckInvariants() const
{
    int openPorts = 0;
    for (int slot = 0; slot < SlotCount; ++slot) {
        const std::string& device = DeviceName(slot);
        Require(sim::IsOpen(device) == open_[slot],
                "a port's device is open while the slot is closed, or the reverse");
        Require(!sim::ReadPending(device), "a read outlived its call");
        const int pending = sim::PendingWriteCount(device);
        if (!open_[slot])
            Require(held_[slot] == 0 && pending == 0, "a closed slot still has writes in flight");
        else
            Require(held_[slot] >= pending, "the module let go of a write the device is still sending");
        openPorts += open_[slot];
    }
    const long held = std::accumulate(held_.begin(), held_.end(), 0L);
    if (test_host::LockCount() != locks_)
        Fail("host locks: " + std::to_string(test_host::LockCount()) + ", expected " +
             std::to_string(locks_));
    Require(locks_ >= openPorts, "fewer host locks than open ports");
    if (test_host::PersistentBlockCount() != 2 * held)
        Fail("persistent host blocks: " + std::to_string(test_host::PersistentBlockCount()) + " for " +
             std::to_string(held) + " writes in flight");
    Require(test_host::LiveBlockCount() == test_host::PersistentBlockCount(),
            "host memory outlived its call");
    Require(kernel::LiveEventCount() == static_cast<std::size_t>(held), "an event outlived its transfer");
    Require(kernel::LiveObjectCount() == static_cast<std::size_t>(held + openPorts), "a handle leaked");
    if (test_host::MisuseCount() != 0)
        Fail("host misuse: " + test_host::MisuseLog().front());
    Require(sim::WouldHangCount() == 0, "a wait would have hung the host");
}

} // namespace fuzz
