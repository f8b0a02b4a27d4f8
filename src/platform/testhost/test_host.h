// Control and inspection of the in-process test host. Tests run one module
// call at a time through Call(), exactly as a host would: memory from mxCalloc
// that was neither made persistent nor handed to an output is freed when the
// call ends, mexErrMsgTxt aborts the call, and the exit hook runs on unload.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "host_api.h"

namespace test_host {

using MexEntry = void (*)(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);

struct ArrayDeleter {
    void operator()(mxArray* array) const { mxDestroyArray(array); }
};
using ArrayPtr = std::unique_ptr<mxArray, ArrayDeleter>;

struct CallResult {
    bool aborted = false;
    std::string message;            // the text given to mexErrMsgTxt when aborted
    std::vector<ArrayPtr> outputs;  // max(nlhs, 1) slots; a slot the module left unset is null
    // The host raised an interrupt as the call returned: a script would not
    // see the outputs, which are kept here for the test to inspect.
    bool interrupted = false;
};

// Runs one call of the module's gateway. Arguments stay owned by the caller.
CallResult Call(MexEntry entry, int nlhs, const std::vector<const mxArray*>& args);

// Fault injection, counted from now over the following calls; 0 switches off.
// An "allocation" is mxCalloc or mxMalloc; an "array creation" is any mxCreate*.
void FailNthAllocation(long n);
void FailNthArrayCreation(long n);
long AllocationsMade();     // since the last Reset()
long ArrayCreationsMade();  // since the last Reset()

// The user presses Ctrl-C: the module sees it through HostInterruptRequested
// until the running (or next) call returns, which the host then interrupts.
void RequestInterrupt();

// Inspection.
long LiveBlockCount();        // mxCalloc/mxMalloc blocks not yet freed, persistent or not
long PersistentBlockCount();  // live blocks made persistent
long LiveArrayCount();        // arrays not yet destroyed, test-owned ones included
int LockCount();
bool ExitHookRegistered();
long ExitHookRegistrations();  // number of mexAtExit calls since the last Reset()
long ExitHookRuns();

// Host misuse by the module: a field lookup on a non-structure, an element
// index out of range, an unlock below zero, freeing a block twice or one the
// host never gave out, mexErrMsgTxt outside a call... Each is logged here; a
// field lookup on a non-structure also aborts the call as a strict host does.
long MisuseCount();
std::vector<std::string> MisuseLog();

// "clear quorvel": runs the exit hook and forgets it, unless the module is
// locked. Returns whether the module was unloaded.
bool ClearModule();
// The host exits: the hook runs even while locked.
void ExitHost();

// Clears fault injection, counters and the misuse log. Module state (locks,
// the registered hook, persistent blocks) is the module's and stays.
void Reset();

}  // namespace test_host
