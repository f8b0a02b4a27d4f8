// The MATLAB host's extension (mex) and array (mx) interface as the Windows
// module uses it, declared from the host's documented C interface. The module
// asks for the array interface with 32-bit dimensions (see
// mexfilerequiredapiversion): there mwSize and mwIndex are int, and the
// functions that take or give dimensions or indices are exported with a _700
// suffix. The core calls the usual names; the macros below map them.
// Only what the module and its helper quorvel_ports call is declared, so that
// a new host call fails to compile here until it is added, and to
// windows/libmx.def or libmex.def (or, called by the helper alone, to
// linux/quorvel_ports_libmex.def).
#pragma once

#include <cstddef>

struct mxArray_tag;
typedef struct mxArray_tag mxArray;

typedef int mwSize;
typedef int mwIndex;

typedef enum {
    mxUNKNOWN_CLASS = 0,
    mxCELL_CLASS,
    mxSTRUCT_CLASS,
    mxLOGICAL_CLASS,
    mxCHAR_CLASS,
    mxVOID_CLASS,
    mxDOUBLE_CLASS,
    mxSINGLE_CLASS,
    mxINT8_CLASS,
    mxUINT8_CLASS,
    mxINT16_CLASS,
    mxUINT16_CLASS,
    mxINT32_CLASS,
    mxUINT32_CLASS,
    mxINT64_CLASS,
    mxUINT64_CLASS,
    mxFUNCTION_CLASS
} mxClassID;

typedef enum { mxREAL = 0, mxCOMPLEX } mxComplexity;

#define mxGetString mxGetString_700
#define mxCreateDoubleMatrix mxCreateDoubleMatrix_700
#define mxCreateNumericArray mxCreateNumericArray_700
#define mxCreateStructMatrix mxCreateStructMatrix_700
#define mxSetFieldByNumber mxSetFieldByNumber_700
#define mxGetFieldByNumber mxGetFieldByNumber_700
#define mxSetN mxSetN_700

extern "C" {
void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);

// libmex.dll
int mexAtExit(void (*hook)(void));
void mexErrMsgTxt(const char* message);
void mexLock(void);
void mexUnlock(void);
bool mexIsLocked(void);
void mexMakeMemoryPersistent(void* block);
int mexPrintf(const char* format, ...); // quorvel_ports only

// libmx.dll
void* mxCalloc(std::size_t count, std::size_t size);
void mxFree(void* block);

mxArray* mxCreateDoubleMatrix_700(mwSize rows, mwSize columns, mxComplexity complexity);
mxArray* mxCreateNumericArray_700(mwSize dimensionCount, const mwSize* dimensions, mxClassID classId,
                                  mxComplexity complexity);
mxArray* mxCreateString(const char* text);
mxArray* mxCreateStructMatrix_700(mwSize rows, mwSize columns, int fieldCount, const char** fieldNames);

mxClassID mxGetClassID(const mxArray* array);
bool mxIsDouble(const mxArray* array);
bool mxIsEmpty(const mxArray* array);
std::size_t mxGetNumberOfElements(const mxArray* array);
void mxSetN_700(mxArray* array, mwSize columns);

double* mxGetPr(const mxArray* array);
void* mxGetData(const mxArray* array);
void mxSetPr(mxArray* array, double* data);
double mxGetScalar(const mxArray* array);
int mxGetString_700(const mxArray* array, char* buffer, mwSize bufferSize);

int mxGetNumberOfFields(const mxArray* structure);
const char* mxGetFieldNameByNumber(const mxArray* structure, int field);
mxArray* mxGetFieldByNumber_700(const mxArray* structure, mwIndex element, int field);
void mxSetFieldByNumber_700(mxArray* structure, mwIndex element, int field, mxArray* value);
}

// Runs one call of the module. MATLAB ends a call itself when its memory runs
// out, so nothing is thrown into the module, which is built without an
// exception runtime.
template <typename Call> void RunAbortingOnBadAlloc(Call call, const char*)
{
    call();
}

// MATLAB answers 0 for an array without fields, and an old-style class object
// (a vantrel) holds fields without being a structure: mxIsStruct would refuse
// it, so the count is asked of any array.
inline int FieldCountOf(const mxArray* structure)
{
    return structure != nullptr ? mxGetNumberOfFields(structure) : 0;
}

// MATLAB documents no way for a MEX file to learn of a Ctrl-C while it runs
// (the only known one is in an undocumented library), so waits here end only
// by their own time-outs.
inline bool HostInterruptRequested()
{
    return false;
}
