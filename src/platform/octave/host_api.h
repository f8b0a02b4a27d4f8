// The GNU Octave host: Octave's own mex.h, with the calls adapted whose
// behaviour in Octave 7 differs from what the module relies on. Element 0 of
// an empty structure array is not bounds-checked there: host.h's field
// helpers cover that.
#pragma once

#include <mex.h>
#include <new>

namespace octave_host {

// Octave leaves the buffer untouched when the copy fails, and on arrays made
// inside the module it copies numeric data as text without a class check.
// Here only character arrays are copied, and a failed copy leaves an empty
// text.
inline int GetString(const mxArray* array, char* buffer, mwSize size)
{
    if (size > 0)
        buffer[0] = '\0';
    if (array == nullptr || !mxIsChar(array))
        return 1;
    return mxGetString(array, buffer, size);
}

// mxGetFieldNameByNumber and mxGetFieldByNumber without Octave's conversion
// of the whole structure (struct_fields.cpp).
const char* FieldNameByNumber(const mxArray* structure, int field);
mxArray* FieldByNumber(const mxArray* structure, mwIndex element, int field);

} // namespace octave_host

// Runs one call of the module. Octave's array constructors throw
// std::bad_alloc when memory runs out; the module aborts with its own message.
template <typename Call> void RunAbortingOnBadAlloc(Call call, const char* outOfMemory)
{
    try {
        call();
    } catch (const std::bad_alloc&) {
        mexErrMsgTxt(outOfMemory);
    }
}

// Octave raises a host error for a field lookup on a non-structure, so only
// structures are asked.
inline int FieldCountOf(const mxArray* structure)
{
    return structure != nullptr && mxIsStruct(structure) ? mxGetNumberOfFields(structure) : 0;
}

#define mxGetString octave_host::GetString
#define mxGetFieldNameByNumber octave_host::FieldNameByNumber
#define mxGetFieldByNumber octave_host::FieldByNumber
