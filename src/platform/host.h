// The host's extension (mex) and array (mx) interface as the module uses it.
// The build picks the backend by include path: each backend folder provides
// its own host_api.h (the real host's mex.h, or the in-process test host).
#pragma once

#include "host_api.h"

#include <cstddef>
#include <cstdlib>

// mexErrMsgTxt never returns on any host; the abort only satisfies the
// compiler and would stop a host that broke that promise.
[[noreturn]] inline void HostAbort(const char* message)
{
    mexErrMsgTxt(message);
    std::abort();
}

// Every field lookup goes through these helpers, or asks for fields below
// FieldCountOf only. Each backend's FieldCountOf knows what its host allows
// a lookup on (some raise an error for a non-structure); none checks the
// element index.
inline const char* FieldNameOf(const mxArray* structure, int field)
{
    return field < FieldCountOf(structure) ? mxGetFieldNameByNumber(structure, field) : nullptr;
}

inline const mxArray* FieldOfFirstElement(const mxArray* structure, int field)
{
    if (field >= FieldCountOf(structure) || mxGetNumberOfElements(structure) == 0)
        return nullptr;
    return mxGetFieldByNumber(structure, 0, field);
}

// The first number of an array. Hosts read past the data of an empty array
// or refuse arrays that hold no numbers; those count as 0 here.
inline double ScalarOf(const mxArray* array)
{
    mxClassID classId = mxGetClassID(array);
    bool holdsNumbers = classId == mxLOGICAL_CLASS || classId == mxCHAR_CLASS ||
                        (classId >= mxDOUBLE_CLASS && classId <= mxUINT64_CLASS);
    return holdsNumbers && !mxIsEmpty(array) ? mxGetScalar(array) : 0.0;
}

// Widens an empty 1x0 result to 1xcolumns and hands it a host block as data.
// The empty array's own data block is freed first: hosts do not free it when
// the data pointer is replaced.
inline void GrowRowWithBlock(mxArray* row, void* block, std::size_t columns)
{
    mxFree(mxGetData(row));
    mxSetN(row, static_cast<mwSize>(columns));
    mxSetPr(row, static_cast<double*>(block));
}
