// The in-process test host: calls, the module's lifetime, and the control and
// inspection API. It is as strict as the strictest real host; misuse is logged
// rather than crashing, and nothing is dereferenced before it is known to be live.
#include "test_host.h"

#include "host_state.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <exception>

using namespace host_internal;

namespace host_internal {

// Never destroyed, so arrays the tests release during static destruction still find it.
HostState& State()
{
    static HostState* state = new HostState;
    return *state;
}

void LogMisuse(const std::string& what)
{
    State().misuse.push_back(what);
}

bool InCall()
{
    return State().currentCall != 0;
}

[[noreturn]] void AbortForMisuse(const std::string& what)
{
    LogMisuse(what);
    throw HostError{what};
}

bool InjectedFailure(long& countdown, long& attempts)
{
    ++attempts;
    return countdown > 0 && --countdown == 0;
}

// MATLAB's out-of-memory handler ends the MEX call; the end of the call then
// frees its memory as after any abort.
std::nullptr_t NoMemory()
{
    if (State().mode == test_host::HostMode::Matlab && InCall())
        throw HostError{test_host::HostOutOfMemoryMessage};
    return nullptr;
}

} // namespace host_internal

namespace {

void BeginCallScope()
{
    HostState& state = State();
    state.currentCall = ++state.lastCallSerial;
}

// Frees what the call neither returned nor kept: its free-standing arrays and
// its blocks. An address freed and given out again in the call is listed twice.
void EndCallScope()
{
    HostState& state = State();
    std::vector<mxArray*> temporaries;
    for (mxArray* array : state.callArrays)
        if (IsLive(array) && array->ownerCall == state.currentCall && array->container == nullptr)
            temporaries.push_back(array);
    std::sort(temporaries.begin(), temporaries.end());
    temporaries.erase(std::unique(temporaries.begin(), temporaries.end()), temporaries.end());
    for (mxArray* array : temporaries)
        DestroyTree(array);
    std::vector<void*> blocks;
    for (void* block : state.callBlocks) {
        auto found = state.blocks.find(block);
        if (found != state.blocks.end() && found->second.call == state.currentCall &&
            !found->second.persistent && found->second.holder == nullptr)
            blocks.push_back(block);
    }
    std::sort(blocks.begin(), blocks.end());
    blocks.erase(std::unique(blocks.begin(), blocks.end()), blocks.end());
    for (void* block : blocks)
        FreeBlock(block);
    state.callArrays.clear();
    state.callBlocks.clear();
    state.currentCall = 0;
}

bool ReturnableOrLogged(const mxArray* output, const std::vector<test_host::ArrayPtr>& taken)
{
    const char* problem = nullptr;
    if (!IsLive(output))
        problem = "output is not a live array";
    else if (output->ownerCall != State().currentCall)
        problem = "output was not created by this call";
    else if (output->container != nullptr)
        problem = "output is a field of a structure";
    else if (std::any_of(taken.begin(), taken.end(), [&](const auto& kept) { return kept.get() == output; }))
        problem = "the same array is returned twice";
    if (problem != nullptr)
        LogMisuse(std::string("Call: ") + problem);
    return problem == nullptr;
}

// Hands the outputs to the test; anything it could not own safely stays with the call.
std::vector<test_host::ArrayPtr> TakeOutputs(const std::vector<mxArray*>& plhs)
{
    std::vector<test_host::ArrayPtr> outputs;
    for (mxArray* output : plhs) {
        if (output == nullptr || !ReturnableOrLogged(output, outputs)) {
            outputs.emplace_back();
            continue;
        }
        output->ownerCall = 0;
        outputs.emplace_back(output);
    }
    return outputs;
}

void RunExitHook()
{
    HostState& state = State();
    void (*hook)() = state.exitHook;
    state.exitHook = nullptr;
    if (hook == nullptr)
        return;
    ++state.exitHookRuns;
    BeginCallScope();
    try {
        hook();
    } catch (const HostError& error) {
        LogMisuse("exit hook raised an error: " + error.message);
    } catch (...) {
        LogMisuse("exception escaped the exit hook");
    }
    EndCallScope();
}

} // namespace

int mexAtExit(void (*hook)(void))
{
    State().exitHook = hook;
    ++State().exitHookRegistrations;
    return 0;
}

void mexErrMsgTxt(const char* message)
{
    const std::string text = message != nullptr ? message : "";
    if (!InCall())
        LogMisuse("mexErrMsgTxt: called outside a call: " + text);
    throw HostError{text};
}

void mexLock(void)
{
    ++State().lockCount;
}

void mexUnlock(void)
{
    if (State().lockCount == 0) {
        LogMisuse("mexUnlock: not locked");
        return;
    }
    --State().lockCount;
}

bool mexIsLocked(void)
{
    return State().lockCount > 0;
}

int mexPrintf(const char* format, ...)
{
    std::va_list arguments;
    va_start(arguments, format);
    std::va_list measuring;
    va_copy(measuring, arguments);
    const int length = std::vsnprintf(nullptr, 0, format, measuring);
    va_end(measuring);
    if (length > 0) {
        std::string text(static_cast<std::size_t>(length) + 1, '\0');
        std::vsnprintf(&text[0], text.size(), format, arguments);
        text.pop_back();
        State().printed += text;
    }
    va_end(arguments);
    return length;
}

bool HostInterruptRequested()
{
    return State().interruptRequested;
}

namespace test_host {

CallResult Call(MexEntry entry, int nlhs, const std::vector<const mxArray*>& args)
{
    CallResult result;
    const std::size_t slots = static_cast<std::size_t>(std::max(nlhs, 1));
    if (InCall()) {
        LogMisuse("Call: calls are not re-entrant");
        result.aborted = true;
        result.message = "re-entrant call refused";
        result.outputs.resize(slots);
        return result;
    }
    std::vector<mxArray*> plhs(slots, nullptr);
    std::vector<const mxArray*> prhs(args);
    BeginCallScope();
    try {
        entry(nlhs, plhs.data(), static_cast<int>(prhs.size()), prhs.data());
        result.outputs = TakeOutputs(plhs);
    } catch (const HostError& error) {
        result.aborted = true;
        result.message = error.message;
    } catch (const std::exception& error) {
        LogMisuse(std::string("exception escaped mexFunction: ") + error.what());
        result.aborted = true;
        result.message = error.what();
    } catch (...) {
        LogMisuse("exception escaped mexFunction");
        result.aborted = true;
        result.message = "unknown exception";
    }
    EndCallScope();
    result.outputs.resize(slots);
    result.interrupted = State().interruptRequested;
    State().interruptRequested = false;
    return result;
}

void SetHostMode(HostMode mode)
{
    State().mode = mode;
}

HostMode CurrentHostMode()
{
    return State().mode;
}

void MakeObjectOf(mxArray* structure, const char* className)
{
    if (LiveOrLogged(structure, "MakeObjectOf") == nullptr)
        return;
    if (structure->classId != mxSTRUCT_CLASS || className == nullptr || *className == '\0') {
        LogMisuse("MakeObjectOf: needs a structure and a class name");
        return;
    }
    structure->classId = ObjectClassId;
    structure->className = className;
}

void RequestInterrupt()
{
    State().interruptRequested = true;
}

void FailNthAllocation(long n)
{
    State().allocationFailureCountdown = std::max(n, 0L);
}
void FailNthArrayCreation(long n)
{
    State().arrayCreationFailureCountdown = std::max(n, 0L);
}
long AllocationsMade()
{
    return State().allocationsMade;
}
long ArrayCreationsMade()
{
    return State().arrayCreationsMade;
}

long LiveBlockCount()
{
    const auto& blocks = State().blocks;
    return std::count_if(blocks.begin(), blocks.end(),
                         [](const auto& entry) { return entry.second.holder == nullptr; });
}

long PersistentBlockCount()
{
    const auto& blocks = State().blocks;
    return std::count_if(blocks.begin(), blocks.end(),
                         [](const auto& entry) { return entry.second.persistent; });
}

long LiveArrayCount()
{
    return static_cast<long>(State().arrays.size());
}
int LockCount()
{
    return State().lockCount;
}
bool ExitHookRegistered()
{
    return State().exitHook != nullptr;
}
long ExitHookRegistrations()
{
    return State().exitHookRegistrations;
}
long ExitHookRuns()
{
    return State().exitHookRuns;
}
long MisuseCount()
{
    return static_cast<long>(State().misuse.size());
}
std::vector<std::string> MisuseLog()
{
    return State().misuse;
}
std::string PrintedText()
{
    return State().printed;
}

bool ClearModule()
{
    if (InCall()) {
        LogMisuse("ClearModule: called during a call");
        return false;
    }
    if (State().lockCount > 0)
        return false;
    RunExitHook();
    return true;
}

void ExitHost()
{
    if (InCall()) {
        LogMisuse("ExitHost: called during a call");
        return;
    }
    RunExitHook();
    State().lockCount = 0;
}

void Reset()
{
    HostState& state = State();
    state.allocationFailureCountdown = 0;
    state.arrayCreationFailureCountdown = 0;
    state.allocationsMade = 0;
    state.arrayCreationsMade = 0;
    state.exitHookRegistrations = 0;
    state.exitHookRuns = 0;
    state.interruptRequested = false;
    state.misuse.clear();
    state.printed.clear();
}

} // namespace test_host
