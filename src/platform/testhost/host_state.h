// The test host's shared state and the helpers its source files share. Only
// the test host's own files include this.
#pragma once

#include "host_api.h"
#include "test_host.h"

#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

struct mxArray_tag {
    mxClassID classId = mxUNKNOWN_CLASS;
    std::vector<mwSize> dimensions;
    void* real = nullptr; // numeric, logical and char data
    void* imaginary = nullptr;
    std::vector<std::string> fieldNames;
    std::vector<mxArray*> fieldValues; // element-major: element * fieldCount + field
    long ownerCall = 0;                // serial of the call that created it; 0 once the test owns it
    mxArray* container = nullptr;      // the structure holding it as a field value
    std::string className;             // an old-style object's class; empty otherwise
};

namespace host_internal {

struct BlockRecord {
    long call = 0; // serial of the call whose end frees it; 0 for test-owned or leaked blocks
    bool persistent = false;
    mxArray* holder = nullptr; // the array whose data this block is
};

struct HostState {
    std::unordered_map<void*, BlockRecord> blocks;
    std::unordered_set<const mxArray*> arrays;
    // The array last found live: a call asks about the same array many times
    // in a row (a structure's field names one after another).
    const mxArray* lastLiveArray = nullptr;
    long currentCall = 0; // 0 outside a call
    // What the running call made, or handed back to it: the end of the call
    // looks only here, not through every live array and block.
    std::vector<mxArray*> callArrays;
    std::vector<void*> callBlocks;
    long lastCallSerial = 0;
    long allocationFailureCountdown = 0;
    long arrayCreationFailureCountdown = 0;
    long allocationsMade = 0;
    long arrayCreationsMade = 0;
    int lockCount = 0;
    void (*exitHook)() = nullptr;
    long exitHookRegistrations = 0;
    long exitHookRuns = 0;
    bool interruptRequested = false;
    std::string printed; // by mexPrintf
    std::vector<std::string> misuse;
    test_host::HostMode mode = test_host::HostMode::Strict;
};

HostState& State();

// The host's own error type, deliberately unrelated to std::exception so that
// a module catching std::exception cannot swallow an abort.
struct HostError {
    std::string message;
};

void LogMisuse(const std::string& what);
bool InCall();
// Misuse that a strict host answers with an error, aborting the call.
[[noreturn]] void AbortForMisuse(const std::string& what);
// Counts one attempt and tells whether the armed fault fires on it.
bool InjectedFailure(long& countdown, long& attempts);
// What a host allocation that failed gives: null, or in MATLAB mode during a
// call, no return at all.
std::nullptr_t NoMemory();

// Outside mxClassID, yet a value its type can hold, so that no sanitizer
// takes the load of an object's class for undefined behaviour.
constexpr mxClassID ObjectClassId = static_cast<mxClassID>(mxFUNCTION_CLASS + 8);

void* AllocateDataBlock(std::size_t bytes, mxArray* holder);
bool Holds(const mxArray* array, void* block);
void FreeBlock(void* block);
void ReleaseData(mxArray* array, void*& data);

bool IsLive(const mxArray* array);
const mxArray* LiveOrLogged(const mxArray* array, const char* function);
mxArray* LiveOrLogged(mxArray* array, const char* function);
mxArray* ChangeableOrLogged(mxArray* array, const char* function);
std::size_t ElementCount(const mxArray* array);
bool CreationGoesAhead();
mxArray* RefuseCreation(const std::string& what);
mxArray* NewArray(mxClassID classId, std::vector<mwSize> dimensions, mxComplexity complexity);
void DestroyTree(mxArray* array);

} // namespace host_internal
