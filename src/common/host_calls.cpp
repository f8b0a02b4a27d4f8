#include "common/host_calls.h"

void* CallocOrAbort(std::size_t count, std::size_t size)
{
    void* block = mxCalloc(count, size);
    if (block == nullptr)
        HostAbort(messages::OutOfMemory);
    return block;
}

mxArray* ArrayOrAbort(mxArray* created)
{
    if (created == nullptr)
        HostAbort(messages::OutOfMemory);
    return created;
}

mxArray* NewDoubleScalar(double value)
{
    mxArray* scalar = ArrayOrAbort(mxCreateDoubleMatrix(1, 1, mxREAL));
    *mxGetPr(scalar) = value;
    return scalar;
}
