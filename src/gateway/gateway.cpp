// The module's entry points.
#include "common/host_calls.h"
#include "gateway/command_table.h"
#include "ports/port_lifecycle.h"
#include "ports/port_selection.h"
#include "ports/port_table.h"

namespace {

void RunCommand(int outputCount, mxArray* outputs[], int argumentCount, const mxArray* arguments[])
{
    mexAtExit(CloseAllPorts);
    if (argumentCount < 1)
        HostAbort(messages::TooFewInputs);
    char text[20];
    if (mxGetString(arguments[0], text, sizeof text) != 0)
        HostAbort(messages::NotACommand);
    const std::int32_t inputCount = argumentCount - 1;
    const CommandEntry& entry = LookupCommand(text, inputCount, outputCount);
    // Only CloseAll comes without a port argument, and it ignores the record.
    PortRecord& record = inputCount > 0 ? SelectPort(arguments[1]) : PortTable[0];
    const std::int32_t status = entry.Handler({record, outputCount, outputs, inputCount, arguments + 1});
    if (outputCount > 1 || entry.MaxOutputs == 1)
        outputs[entry.MaxOutputs - 1] = NewDoubleScalar(status);
}

} // namespace

extern "C" void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[])
{
    // A C++ exception other than the host's own would take the host down.
    RunAbortingOnBadAlloc([&] { RunCommand(nlhs, plhs, nrhs, prhs); }, messages::OutOfMemory);
}

extern "C" void mexfilerequiredapiversion(unsigned int* release, unsigned int* arrayInterface)
{
    *release = 0x2016B;
    *arrayInterface = 0x07000000;
}
