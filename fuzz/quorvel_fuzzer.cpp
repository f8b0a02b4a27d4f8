// libFuzzer entry: each input is a script of module calls through the test
// host and of what the simulated devices and the host do between them. After
// every step the module's promises are checked; after the last, CloseAll
// must release everything.
#include "byte_source.h"
#include "call_arguments.h"
#include "device_world.h"
#include "kernel_testing.h"
#include "module_model.h"

#include <array>

namespace fuzz {
namespace {

constexpr int MaxSteps = 96;
// Every Write reaps the whole list of writes in flight: bursts of calls are
// capped so that an input cannot pile up thousands of them.
constexpr int MaxCalls = 200;
// A drain slice that runs out takes 500 ms: at most one input in this many
// may have one, so that the run keeps its pace.
constexpr long ExecutionsPerSlowSlice = 4096;
long executionsSinceSlowSlice = ExecutionsPerSlowSlice;
// The drain waits out a slice in 100 ms pieces, each seen by the wait hook.
constexpr int PiecesPerSlice = 5;

const char* const DeviceFunctions[] = {
    "CreateFileA", "SetupComm", "SetCommState",        "SetCommTimeouts", "PurgeComm", "ClearCommError",
    "ReadFile",    "WriteFile", "GetOverlappedResult", "GetCommState",    "CancelIoEx"};
const DWORD DeviceErrors[] = {ERROR_GEN_FAILURE,       ERROR_ACCESS_DENIED,        ERROR_INVALID_HANDLE,
                              ERROR_OPERATION_ABORTED, ERROR_DEVICE_NOT_CONNECTED, ERROR_FILE_NOT_FOUND};

// A settings structure reported by GetParams, field by field.
using Report = std::vector<std::string>;

Report Rendered(const mxArray* report)
{
    Report fields;
    for (int field = 0; report != nullptr && field < mxGetNumberOfFields(report); ++field) {
        const mxArray* value = mxGetFieldByNumber(report, 0, field);
        const char* data = static_cast<const char*>(mxGetData(value));
        const std::size_t bytes =
            mxGetNumberOfElements(value) * (mxIsChar(value) ? sizeof(mxChar) : sizeof(double));
        fields.push_back(std::string(mxIsChar(value) ? "t" : "n") + std::string(data, bytes));
    }
    return fields;
}

// A reap asks how each ended write went (GetOverlappedResult without
// waiting); the checks of the command proper see the other calls only.
void SetReapsApart(CallFacts& facts)
{
    std::vector<sim::CallRecord> calls;
    std::vector<bool> failed;
    for (std::size_t i = 0; i < facts.deviceCalls.size(); ++i) {
        const sim::CallRecord& call = facts.deviceCalls[i];
        if (call.function == "GetOverlappedResult" && call.args == std::vector<std::uint64_t>{FALSE}) {
            facts.reapFailed = facts.reapFailed || facts.failed[i];
            continue;
        }
        calls.push_back(call);
        failed.push_back(facts.failed[i]);
    }
    facts.deviceCalls = std::move(calls);
    facts.failed = std::move(failed);
}

// Arguments the checks between calls use over and over, built once.
const ArrayPtr& Selector(int slot)
{
    static ArrayPtr selectors[SlotCount + 1];
    ArrayPtr& selector = selectors[slot + 1];
    if (!selector)
        selector = slot == DefaultsSelected ? TextArray("default") : SettingsFor(DeviceName(slot));
    return selector;
}

Report ReportOf(int slot)
{
    static const ArrayPtr command = TextArray("GetParams");
    test_host::CallResult result = test_host::Call(mexFunction, 1, {command.get(), Selector(slot).get()});
    Require(!result.aborted, "GetParams aborted with nothing armed");
    return Rendered(result.outputs[0].get());
}

const Report& DefaultsReport()
{
    static const Report defaults = ReportOf(DefaultsSelected);
    return defaults;
}

// What GetParams must show after a parse that failed: an open port keeps
// its settings; a closed one was reset to the defaults before the parse.
Report ExpectedAfterFailedParse(int slot, bool open)
{
    if (open)
        return ReportOf(slot);
    Report expected = DefaultsReport();
    expected[0] = Rendered(Selector(slot).get())[0];
    return expected;
}

// "Read COM1 [ClearCommError ReadFile! ...]: message", failed device calls marked.
std::string Described(const CallFacts& facts, const char* command, int slot)
{
    std::string text = std::string(command) + " " + (slot >= 0 ? DeviceName(slot) : "default") + " [";
    for (std::size_t i = 0; i < facts.deviceCalls.size(); ++i)
        text += (i > 0 ? " " : "") + facts.deviceCalls[i].function + (facts.failed[i] ? "!" : "");
    return text + "]" + (facts.result.aborted ? ": " + facts.result.message : "");
}

void Foresee(CallFacts& facts)
{
    facts.routingMessage = RoutingMessage(facts.nlhs, facts.args, facts.command, facts.slot);
    if (facts.routingMessage == nullptr && (facts.command == Open || facts.command == SetParams))
        facts.parseMessage = ParseMessage(facts.args[1]);
}

class Session {
  public:
    explicit Session(ByteSource& source);
    ~Session();
    void Run();

  private:
    void Step();
    void CallModule();
    void CallWithLastArguments();
    std::vector<ArrayPtr> CallArguments(int& nlhs);
    void RunCall(CallFacts& facts);
    void ScriptDevice(unsigned action);
    void ActAsHost();
    int AnySlot();
    void Finish();

    ByteSource& source_;
    ModuleModel model_;
    FaultMirror faults_;
    WaitScript waits_;
    long failingAllocation_ = 0;
    long failingArrayCreation_ = 0;
    int failingEventCreations_ = 0;
    std::vector<std::string> trace_;
    std::array<bool, SlotCount> reset_{}; // slots an Open may have reset to the defaults
    std::vector<ArrayPtr> lastArguments_;
    int lastNlhs_ = 0;
    int calls_ = 0;
    long arraysBefore_ = 0;
};

Session::Session(ByteSource& source) : source_(source)
{
    DefaultsReport();
    for (int slot = 0; slot < SlotCount; ++slot)
        Selector(slot);
    arraysBefore_ = test_host::LiveArrayCount();
    sim::Reset();
    test_host::Reset();
    kernel::FailEventCreations(0);
    SetTrace(&trace_);
    InstallWaitHook(&waits_);
    // The first byte sets the scene: whether a drain may wait out a slice,
    // and how the two ports most calls address complete writes and reads.
    const std::uint8_t scene = source_.Byte();
    if ((scene & 1) != 0 && executionsSinceSlowSlice >= ExecutionsPerSlowSlice)
        waits_.slowSlicesAllowed = PiecesPerSlice;
    for (const char* device : {"COM1", "COM2"}) {
        sim::SetWriteCompletion(device, static_cast<sim::WriteCompletion>((scene >> 1 & 3) % 3));
        sim::SetShortReads(device, static_cast<sim::ShortReads>(scene >> 3 & 1));
    }
    ++executionsSinceSlowSlice;
    model_.CheckInvariants();
}

Session::~Session()
{
    RemoveWaitHook();
    SetTrace(nullptr);
    if (waits_.slowSlicesTaken > 0)
        executionsSinceSlowSlice = 0;
}

void Session::Run()
{
    for (int step = 0; step < MaxSteps && !source_.Exhausted(); ++step)
        Step();
    Finish();
}

void Session::Step()
{
    const unsigned action = source_.Choice(16);
    if (action < 9)
        CallModule();
    else if (action < 15)
        ScriptDevice(action);
    else
        ActAsHost();
}

std::vector<ArrayPtr> Session::CallArguments(int& nlhs)
{
    int intended = 0;
    std::vector<ArrayPtr> arguments;
    arguments.push_back(CommandArgument(source_, intended));
    const CommandLimits& limits = Commands[intended];
    const unsigned countChoice = source_.Choice(8);
    const int count = countChoice == 7   ? static_cast<int>(source_.Choice(5))
                      : countChoice == 6 ? 1 + limits.minInputs
                                         : 1 + limits.maxInputs;
    for (int position = 1; position < count; ++position) {
        if (position == 1)
            arguments.push_back(PortArgument(source_));
        else if (position == 2 && intended == Write)
            arguments.push_back(WriteData(source_));
        else if (position == 2 && intended == Read)
            arguments.push_back(ReadCount(source_));
        else if (position == 2 && intended == FlushWrite)
            arguments.push_back(FlushMode(source_));
        else
            arguments.push_back(AnyArray(source_));
    }
    if (count == 0)
        arguments.clear();
    const unsigned outputs = source_.Choice(8);
    nlhs = outputs < 5    ? limits.maxOutputs
           : outputs == 7 ? static_cast<int>(source_.Choice(4))
                          : static_cast<int>(outputs) - 5;
    return arguments;
}

void Session::CallModule()
{
    lastArguments_ = CallArguments(lastNlhs_);
    CallWithLastArguments();
}

void Session::CallWithLastArguments()
{
    ++calls_;
    CallFacts facts;
    facts.nlhs = lastNlhs_;
    for (const ArrayPtr& argument : lastArguments_)
        facts.args.push_back(argument.get());
    Foresee(facts);
    const int command = facts.command, slot = facts.slot;
    const bool routed = facts.routingMessage == nullptr;
    const bool parseFails = routed && !facts.parseMessage.empty() && slot >= 0;
    Report expected;
    if (parseFails)
        expected = ExpectedAfterFailedParse(slot, command == SetParams || model_.IsOpen(slot));
    RunCall(facts);
    trace_.push_back(Described(facts, routed ? Commands[command].name : "(rejected)", slot));
    model_.CheckCall(facts);
    model_.CheckInvariants();
    if (parseFails)
        Require(ReportOf(slot) == expected, "a failed parse changed the stored settings");
    if (routed && command == Open && slot >= 0)
        reset_[slot] = true;
}

// The call itself, with the armed host faults on for exactly its duration.
void Session::RunCall(CallFacts& facts)
{
    for (int slot = 0; slot < SlotCount; ++slot)
        facts.devicePendingBefore[slot] = sim::PendingWriteCount(DeviceName(slot));
    sim::ClearCalls();
    const int slowBefore = waits_.slowSlicesTaken;
    const int stuckBefore = waits_.stuckReadsEnded;
    const long allocationsBefore = test_host::AllocationsMade();
    const long creationsBefore = test_host::ArrayCreationsMade();
    test_host::FailNthAllocation(failingAllocation_);
    test_host::FailNthArrayCreation(failingArrayCreation_);
    kernel::FailEventCreations(failingEventCreations_);
    facts.result = test_host::Call(mexFunction, facts.nlhs, facts.args);
    test_host::FailNthAllocation(0);
    test_host::FailNthArrayCreation(0);
    kernel::FailEventCreations(0);
    facts.allocationFailed =
        failingAllocation_ > 0 && test_host::AllocationsMade() - allocationsBefore >= failingAllocation_;
    facts.arrayCreationFailed = failingArrayCreation_ > 0 &&
                                test_host::ArrayCreationsMade() - creationsBefore >= failingArrayCreation_;
    facts.eventFaultArmed = failingEventCreations_ > 0;
    failingAllocation_ = failingArrayCreation_ = failingEventCreations_ = 0;
    facts.deviceCalls = sim::Calls();
    facts.failed = faults_.Consume(facts.deviceCalls);
    SetReapsApart(facts);
    facts.slowSlices = waits_.slowSlicesTaken - slowBefore;
    facts.stuckReadsEnded = waits_.stuckReadsEnded - stuckBefore;
    waits_.arrivingInput.clear();
}

// Mostly the ports the calls mostly address.
int Session::AnySlot()
{
    const unsigned pick = source_.Choice(8);
    return pick < 5 ? 0 : pick < 7 ? 1 : static_cast<int>(source_.Choice(SlotCount));
}

void Session::ScriptDevice(unsigned action)
{
    const int slot = AnySlot();
    const std::string device = DeviceName(slot);
    switch (action) {
    case 9: {
        const std::string function = DeviceFunctions[source_.Choice(std::size(DeviceFunctions))];
        const DWORD error = DeviceErrors[source_.Choice(std::size(DeviceErrors))];
        const int count = 1 + static_cast<int>(source_.Choice(3)), skip = static_cast<int>(source_.Choice(4));
        // Known fault, reported: a read that neither cancel (PurgeComm, then
        // CancelIoEx) ended and whose outcome cannot be fetched either is left
        // running on the call's buffer.
        if ((function == "PurgeComm" && faults_.Armed("GetOverlappedResult")) ||
            (function == "GetOverlappedResult" && faults_.Armed("PurgeComm")))
            break;
        faults_.Arm(function, error, count, skip);
        trace_.push_back("fail " + function);
        break;
    }
    case 10: {
        const auto presence = static_cast<sim::Presence>(source_.Choice(3));
        sim::SetPresence(device, presence);
        model_.SetPresence(slot, presence);
        trace_.push_back(device + " presence " + std::to_string(static_cast<int>(presence)));
        break;
    }
    case 11:
        sim::QueueInput(device, source_.Bytes(source_.Choice(48)));
        trace_.push_back(device + " input");
        break;
    case 12:
        sim::RaiseErrors(device, source_.Byte() | (source_.Byte() & 0x07u) << 8);
        trace_.push_back(device + " line errors");
        break;
    case 13:
        if (source_.Flag())
            sim::SetWriteCompletion(device, static_cast<sim::WriteCompletion>(source_.Choice(3)));
        else
            sim::SetShortReads(device, static_cast<sim::ShortReads>(source_.Choice(2)));
        trace_.push_back(device + " completion mode");
        break;
    default:
        sim::CompleteWrites(device, static_cast<int>(source_.Choice(4)));
        trace_.push_back(device + " completes writes");
        break;
    }
}

void Session::ActAsHost()
{
    switch (source_.Choice(7)) {
    case 0:
        failingAllocation_ = 1 + source_.Choice(6);
        break;
    case 1:
        failingArrayCreation_ = 1 + source_.Choice(24);
        break;
    case 2:
        failingEventCreations_ = 1 + static_cast<int>(source_.Choice(2));
        break;
    case 3:
        waits_.arrivingInput = source_.Bytes(1 + source_.Choice(16));
        break;
    case 4:
        trace_.push_back("clear quorvel");
        model_.CheckClearModule(test_host::ClearModule());
        model_.CheckInvariants();
        break;
    case 5:
        // Bursts: more than 64 writes in flight, opens piling up locks.
        for (unsigned repeat = 1 + source_.Choice(72);
             repeat > 0 && calls_ < MaxCalls && !lastArguments_.empty(); --repeat)
            CallWithLastArguments();
        break;
    default:
        trace_.push_back("host exits");
        sim::ClearCalls();
        test_host::ExitHost();
        faults_.Consume(sim::Calls());
        model_.AfterHostExit();
        model_.CheckInvariants();
        break;
    }
}

// CloseAll ends every input: after it nothing of the module may remain,
// every slot still carries its own name and the defaults are unchanged.
void Session::Finish()
{
    failingAllocation_ = failingArrayCreation_ = failingEventCreations_ = 0;
    {
        CallFacts facts;
        ArrayPtr command = TextArray("CloseAll");
        facts.args = {command.get()};
        Foresee(facts);
        RunCall(facts);
        trace_.push_back("CloseAll (end)");
        model_.CheckCall(facts);
    }
    model_.CheckInvariants();
    Require(test_host::LockCount() == 0 && test_host::PersistentBlockCount() == 0 &&
                test_host::LiveBlockCount() == 0 && kernel::LiveObjectCount() == 0,
            "CloseAll left locks, host memory or handles behind");
    for (int slot = 0; slot < SlotCount; ++slot)
        if (reset_[slot])
            Require(ReportOf(slot)[0] == Rendered(Selector(slot).get())[0], "a slot lost its name");
    Require(ReportOf(DefaultsSelected) == DefaultsReport(), "the defaults changed");
    lastArguments_.clear();
    Require(test_host::LiveArrayCount() == arraysBefore_, "an array outlived the calls");
}

} // namespace
} // namespace fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    ByteSource source(data, size);
    fuzz::Session session(source);
    session.Run();
    return 0;
}
