// The test host under the names of the host's 32-bit-dimension array
// interface, as the Windows module imports them. Dimensions and indices are
// widened to the test host's; a negative one becomes a value the test host
// refuses or logs as out of range, as a strict host would.
#include "host_api.h"

#include <algorithm>
#include <vector>

namespace {

mwSize Widened(int value)
{
    return static_cast<mwSize>(static_cast<long long>(value));
}

} // namespace

extern "C" {

int mxGetString_700(const mxArray* array, char* buffer, int bufferSize)
{
    return mxGetString(array, buffer, Widened(bufferSize));
}

mxArray* mxCreateDoubleMatrix_700(int rows, int columns, mxComplexity complexity)
{
    return mxCreateDoubleMatrix(Widened(rows), Widened(columns), complexity);
}

mxArray* mxCreateNumericArray_700(int dimensionCount, const int* dimensions, mxClassID classId,
                                  mxComplexity complexity)
{
    if (dimensionCount < 0 || (dimensionCount > 0 && dimensions == nullptr))
        return nullptr;
    std::vector<mwSize> widened(static_cast<std::size_t>(dimensionCount));
    std::transform(dimensions, dimensions + dimensionCount, widened.begin(), Widened);
    return mxCreateNumericArray(widened.size(), widened.data(), classId, complexity);
}

mxArray* mxCreateStructMatrix_700(int rows, int columns, int fieldCount, const char** fieldNames)
{
    return mxCreateStructMatrix(Widened(rows), Widened(columns), fieldCount, fieldNames);
}

mxArray* mxGetFieldByNumber_700(const mxArray* structure, int element, int field)
{
    return mxGetFieldByNumber(structure, Widened(element), field);
}

void mxSetFieldByNumber_700(mxArray* structure, int element, int field, mxArray* value)
{
    mxSetFieldByNumber(structure, Widened(element), field, value);
}

void mxSetN_700(mxArray* array, int columns)
{
    mxSetN(array, Widened(columns));
}
}
