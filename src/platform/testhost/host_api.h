// The in-process test host's mex/mx interface: the same names and shapes as
// a real host's, implemented by test_host.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>

struct mxArray_tag;
typedef struct mxArray_tag mxArray;

typedef std::size_t mwSize;
typedef std::size_t mwIndex;
typedef char16_t mxChar;
typedef bool mxLogical;

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

extern "C" {
void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);

int mexAtExit(void (*hook)(void));
void mexErrMsgTxt(const char* message);
void mexLock(void);
void mexUnlock(void);
bool mexIsLocked(void);
void mexMakeMemoryPersistent(void* block);
int mexPrintf(const char* format, ...);

void* mxCalloc(std::size_t count, std::size_t size);
void* mxMalloc(std::size_t size);
void mxFree(void* block);

mxArray* mxCreateDoubleMatrix(mwSize rows, mwSize columns, mxComplexity complexity);
mxArray* mxCreateDoubleScalar(double value);
mxArray* mxCreateNumericMatrix(mwSize rows, mwSize columns, mxClassID classId, mxComplexity complexity);
mxArray* mxCreateNumericArray(mwSize dimensionCount, const mwSize* dimensions, mxClassID classId,
                              mxComplexity complexity);
mxArray* mxCreateLogicalScalar(mxLogical value);
mxArray* mxCreateString(const char* text);
mxArray* mxCreateCharArray(mwSize dimensionCount, const mwSize* dimensions);
mxArray* mxCreateStructMatrix(mwSize rows, mwSize columns, int fieldCount, const char** fieldNames);
mxArray* mxCreateCellMatrix(mwSize rows, mwSize columns);
void mxDestroyArray(mxArray* array);

mxClassID mxGetClassID(const mxArray* array);
const char* mxGetClassName(const mxArray* array);
bool mxIsDouble(const mxArray* array);
bool mxIsChar(const mxArray* array);
bool mxIsStruct(const mxArray* array);
bool mxIsUint8(const mxArray* array);
bool mxIsEmpty(const mxArray* array);
bool mxIsComplex(const mxArray* array);
std::size_t mxGetNumberOfElements(const mxArray* array);
std::size_t mxGetM(const mxArray* array);
std::size_t mxGetN(const mxArray* array);
mwSize mxGetNumberOfDimensions(const mxArray* array);
const mwSize* mxGetDimensions(const mxArray* array);
void mxSetN(mxArray* array, mwSize columns);

double* mxGetPr(const mxArray* array);
double* mxGetPi(const mxArray* array);
void* mxGetData(const mxArray* array);
void mxSetPr(mxArray* array, double* data);
void mxSetData(mxArray* array, void* data);
mxChar* mxGetChars(const mxArray* array);
double mxGetScalar(const mxArray* array);
int mxGetString(const mxArray* array, char* buffer, mwSize bufferSize);

int mxGetNumberOfFields(const mxArray* structure);
const char* mxGetFieldNameByNumber(const mxArray* structure, int field);
mxArray* mxGetFieldByNumber(const mxArray* structure, mwIndex element, int field);
void mxSetFieldByNumber(mxArray* structure, mwIndex element, int field, mxArray* value);
}

// Runs one call of the module. The test host's own containers throw
// std::bad_alloc when memory runs out, as Octave's do; the module then aborts
// with its own message.
template <typename Call> void RunAbortingOnBadAlloc(Call call, const char* outOfMemory)
{
    try {
        call();
    } catch (const std::bad_alloc&) {
        mexErrMsgTxt(outOfMemory);
    }
}

// The core built against the test host stands in for the Octave and the
// MATLAB builds alike, so it guards field lookups as the backend of the host
// being played does (test_host::SetHostMode): strict mode asks mxIsStruct
// first, as the Octave backend must; MATLAB mode asks mxGetNumberOfFields of
// any array, as the MATLAB backend does, so that unit tests prove the core
// with objects and with the 0 and null MATLAB gives for other arrays.
int FieldCountOf(const mxArray* structure);

// Whether the user asked to interrupt the running call (test_host::RequestInterrupt).
bool HostInterruptRequested();
