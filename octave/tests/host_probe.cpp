// A MEX file for the Octave tests: it runs the helpers of host.h (and the
// adapted calls of the Octave host backend) on arrays that a script passes,
// so that the tests can check them against the running Octave.
//   [rc, text] = host_probe('text', value, bufferSize)   buffer prefilled 'X'
//   [rc, text] = host_probe('moduletext', number)        on a module array
//   name = host_probe('fieldname', value, index)         [] when none
//   value = host_probe('field', value, index)            [] when none
//   row = host_probe('grow', n)                          1..n via a 1x0 row
//   host_probe('lock') / host_probe('unlock')
// Every call registers an exit hook that appends a line to the file named by
// $QUORVEL_PROBE_LOG.
#include "platform/host.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

void LogExit()
{
    const char* path = std::getenv("QUORVEL_PROBE_LOG");
    if (path == nullptr)
        return;
    if (std::FILE* log = std::fopen(path, "a")) {
        std::fputs("exit hook\n", log);
        std::fclose(log);
    }
}

mxArray* NewNumber(double value)
{
    mxArray* number = mxCreateDoubleMatrix(1, 1, mxREAL);
    *mxGetPr(number) = value;
    return number;
}

mxArray* NewEmpty()
{
    return mxCreateDoubleMatrix(0, 0, mxREAL);
}

// The buffer as the caller would see it: up to its terminator, or all of it
// when the copy left none.
void CopyText(const mxArray* value, std::size_t size, mxArray* outputs[])
{
    char buffer[32];
    if (size > sizeof buffer)
        HostAbort("host_probe: buffer size above 32");
    std::memset(buffer, 'X', sizeof buffer);
    int rc = mxGetString(value, buffer, static_cast<mwSize>(size));
    outputs[0] = NewNumber(rc);
    outputs[1] = mxCreateString(std::string(buffer, strnlen(buffer, size)).c_str());
}

void Grow(std::size_t columns, mxArray* outputs[])
{
    mxArray* row = mxCreateDoubleMatrix(1, 0, mxREAL);
    auto* block = static_cast<double*>(mxCalloc(columns, sizeof(double)));
    for (std::size_t index = 0; index < columns; ++index)
        block[index] = static_cast<double>(index + 1);
    GrowRowWithBlock(row, block, columns);
    outputs[0] = row;
}

void Probe(const std::string& command, int argumentCount, const mxArray* arguments[], mxArray* outputs[])
{
    auto number = [&](int index) { return static_cast<int>(ScalarOf(arguments[index])); };
    if (command == "text" && argumentCount == 3) {
        CopyText(arguments[1], static_cast<std::size_t>(number(2)), outputs);
    } else if (command == "moduletext" && argumentCount == 2) {
        mxArray* made = NewNumber(ScalarOf(arguments[1]));
        CopyText(made, 8, outputs);
        mxDestroyArray(made);
    } else if (command == "fieldname" && argumentCount == 3) {
        const char* name = FieldNameOf(arguments[1], number(2));
        outputs[0] = name != nullptr ? mxCreateString(name) : NewEmpty();
    } else if (command == "field" && argumentCount == 3) {
        const mxArray* value = FieldOfFirstElement(arguments[1], number(2));
        outputs[0] = value != nullptr ? mxDuplicateArray(value) : NewEmpty();
    } else if (command == "grow" && argumentCount == 2) {
        Grow(static_cast<std::size_t>(number(1)), outputs);
    } else if (command == "lock") {
        mexLock();
    } else if (command == "unlock") {
        mexUnlock();
    } else {
        HostAbort("unknown probe");
    }
}

} // namespace

extern "C" void mexFunction(int, mxArray* plhs[], int nrhs, const mxArray* prhs[])
{
    mexAtExit(LogExit);
    char command[16];
    if (nrhs < 1 || mxGetString(prhs[0], command, sizeof command) != 0)
        HostAbort("unknown probe");
    Probe(command, nrhs, prhs, plhs);
}
