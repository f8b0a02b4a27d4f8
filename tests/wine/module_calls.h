// The shipped module as a script sees it: loaded from its file by the
// stand-in host, called command by command, with arrays built and read in
// the tests' own terms. A call that aborts is reported as a failure.
#pragma once

#include "status_bits.h"
#include "test_host.h"

#include <chrono>
#include <string>
#include <vector>

namespace wine_test {

using namespace status_bits;

using test_host::ArrayPtr;

// Loads the module as a host does: refused when the gateway is missing or
// the module asks for another array interface than the 32-bit-dimension one.
bool LoadModule(const std::string& path);
// "clear quorvel": the exit hook runs and the module is unloaded, unless locked.
bool UnloadModule();
// A host that unloads the module without running its exit hook, whatever
// the module holds; the host's record of it (locks, blocks, hook) stays.
void DropModule();
bool ModuleLoaded();

// The message a call aborts with, the command string being the first
// argument; empty when the call does not abort.
std::string AbortMessage(const std::vector<const mxArray*>& arguments, int nlhs = 1);

ArrayPtr Text(const std::string& text);
ArrayPtr Number(double value);
ArrayPtr Uint8Row(const std::string& bytes);
double NumberOf(const mxArray* array);

// The default settings with Port = "COMn", and a property changed in place.
ArrayPtr PortSettings(int port);
void SetProperty(const ArrayPtr& settings, const std::string& name, ArrayPtr value);
double NumberProperty(const ArrayPtr& settings, const std::string& name);

// Statuses are the doubles the script gets; -1 when the call aborted.
struct Settled {
    ArrayPtr settings;
    double status;
};
Settled Open(const ArrayPtr& settings);
Settled GetParams(const ArrayPtr& settings);
Settled SetParams(const ArrayPtr& settings);
double Close(const ArrayPtr& settings);
void CloseAll();

double Write(const ArrayPtr& settings, const std::string& bytes);
double FlushWrite(const ArrayPtr& settings);
double FlushRead(const ArrayPtr& settings);

struct ReadResult {
    std::string data;
    double status;
    double seconds; // how long the call took
};
ReadResult Read(const ArrayPtr& settings); // what is waiting
ReadResult Read(const ArrayPtr& settings, double count);

struct QueueState {
    double bytes;
    double status;
};
QueueState GetReadStatus(const ArrayPtr& settings);
QueueState GetWriteStatus(const ArrayPtr& settings);

// A command's status and how long it took.
struct Timed {
    double status;
    double seconds;
};
template <class Command> Timed TimedCall(Command command)
{
    auto start = std::chrono::steady_clock::now();
    double status = command();
    return {status, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count()};
}

// Asks GetReadStatus until at least `bytes` are waiting or the time is up;
// gives the last count.
double AwaitWaiting(const ArrayPtr& settings, double bytes, int timeoutMilliseconds);

} // namespace wine_test
