// Control and inspection of the in-process test host. Tests run one module
// call at a time through Call(), exactly as a host would: memory from mxCalloc
// that was neither made persistent nor handed to an output is freed when the
// call ends, mexErrMsgTxt aborts the call, and the exit hook runs on unload.
#pragma once

#include "host_api.h"

#include <memory>
#include <string>
#include <vector>

namespace test_host {

// Which host the test host plays. Strict (the default) is the union of every
// host's traps, for unit tests: a field call on a non-structure aborts the
// call, an allocation that fails returns null. Matlab behaves as MATLAB
// documents for a MEX file: field calls on an array without fields answer 0
// or null, old-style class objects hold fields without being structures, and
// an allocation that fails inside a call ends the call from inside the
// allocating function with HostOutOfMemoryMessage (outside a call, as in an
// engine program, it returns null). The mode is host configuration: Reset()
// keeps it.
enum class HostMode { Strict, Matlab };
void SetHostMode(HostMode mode);
HostMode CurrentHostMode();

// The text with which the host itself ends a call that ran out of memory.
constexpr const char* HostOutOfMemoryMessage = "Out of memory. Type \"help memory\" for your options.";

// Turns a structure the test made into an old-style object of class
// className (as class(s, className) does), in place: its fields stay readable,
// mxIsStruct is false and mxGetClassID gives a value outside mxClassID.
void MakeObjectOf(mxArray* structure, const char* className);

using MexEntry = void (*)(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);

struct ArrayDeleter {
    void operator()(mxArray* array) const { mxDestroyArray(array); }
};
using ArrayPtr = std::unique_ptr<mxArray, ArrayDeleter>;

struct CallResult {
    bool aborted = false;
    std::string message;           // the text given to mexErrMsgTxt when aborted
    std::vector<ArrayPtr> outputs; // max(nlhs, 1) slots; a slot the module left unset is null
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
long AllocationsMade();    // since the last Reset()
long ArrayCreationsMade(); // since the last Reset()

// The user presses Ctrl-C: the module sees it through HostInterruptRequested
// until the running (or next) call returns, which the host then interrupts.
void RequestInterrupt();

// Inspection.
long LiveBlockCount();       // mxCalloc/mxMalloc blocks not yet freed, persistent or not
long PersistentBlockCount(); // live blocks made persistent
long LiveArrayCount();       // arrays not yet destroyed, test-owned ones included
int LockCount();
bool ExitHookRegistered();
long ExitHookRegistrations(); // number of mexAtExit calls since the last Reset()
long ExitHookRuns();
// What the module printed with mexPrintf since the last Reset(), where a
// host shows it in its command window.
std::string PrintedText();

// Host misuse by the module: a field lookup on a non-structure, an element
// index out of range, an unlock below zero, freeing a block twice or one the
// host never gave out, mexErrMsgTxt outside a call... Each is logged here; in
// strict mode a field lookup on a non-structure also aborts the call.
long MisuseCount();
std::vector<std::string> MisuseLog();

// "clear quorvel": runs the exit hook and forgets it, unless the module is
// locked. Returns whether the module was unloaded.
bool ClearModule();
// The host exits: the hook runs even while locked.
void ExitHost();

// Clears fault injection, counters, the misuse log and the printed text.
// Module state (locks, the registered hook, persistent blocks) is the
// module's and stays, and so does the host mode.
void Reset();

} // namespace test_host
