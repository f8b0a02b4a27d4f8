// The GNU Octave host: Octave's own mex.h, with the calls adapted whose
// behaviour in Octave 7 differs from what the module relies on. The rest of
// Octave's differences are covered by host.h's guarded helpers: field lookups
// on a non-structure raise a host error there, and element 0 of an empty
// structure array is not bounds-checked.
#pragma once

#include <mex.h>

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

// Whether the user pressed Ctrl-C during this call (interrupt_state.cpp).
// Octave raises the interrupt itself once the call returns.
bool HostInterruptRequested();

#define mxGetString octave_host::GetString
#define mxGetFieldNameByNumber octave_host::FieldNameByNumber
#define mxGetFieldByNumber octave_host::FieldByNumber
