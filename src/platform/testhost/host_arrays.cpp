// Numeric, logical, char and cell arrays: creation, inspection and data.
#include "host_state.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>

using namespace host_internal;

namespace {

bool IsClass(const mxArray* array, mxClassID classId, const char* function)
{
    return LiveOrLogged(array, function) != nullptr && array->classId == classId;
}

std::size_t ElementSize(mxClassID classId)
{
    switch (classId) {
    case mxDOUBLE_CLASS:
    case mxINT64_CLASS:
    case mxUINT64_CLASS:
        return 8;
    case mxSINGLE_CLASS:
    case mxINT32_CLASS:
    case mxUINT32_CLASS:
        return 4;
    case mxINT16_CLASS:
    case mxUINT16_CLASS:
    case mxCHAR_CLASS:
        return 2;
    case mxINT8_CLASS:
    case mxUINT8_CLASS:
    case mxLOGICAL_CLASS:
        return 1;
    default:
        return 0;
    }
}

bool IsNumericClass(mxClassID classId)
{
    return classId >= mxDOUBLE_CLASS && classId <= mxUINT64_CLASS;
}

bool HasData(const mxArray* array)
{
    return ElementSize(array->classId) != 0;
}

// At least two dimensions; trailing singletons beyond the second are dropped, as hosts do.
std::vector<mwSize> NormalizedDimensions(mwSize count, const mwSize* dimensions)
{
    std::vector<mwSize> normalized(dimensions, dimensions + count);
    normalized.resize(std::max<std::size_t>(normalized.size(), 2), 1);
    while (normalized.size() > 2 && normalized.back() == 1)
        normalized.pop_back();
    return normalized;
}

// The element count, or false when it (times the element size) overflows.
bool CountElements(const std::vector<mwSize>& dimensions, std::size_t elementSize, std::size_t& count)
{
    const std::size_t limit = std::numeric_limits<std::size_t>::max() / std::max<std::size_t>(elementSize, 1);
    count = 1;
    for (mwSize dimension : dimensions) {
        if (dimension != 0 && count > limit / dimension)
            return false;
        count *= dimension;
    }
    return true;
}

template <typename Element> double FirstAsDouble(const mxArray* array)
{
    Element first;
    std::memcpy(&first, array->real, sizeof first);
    return static_cast<double>(first);
}

double ScalarValue(const mxArray* array)
{
    switch (array->classId) {
    case mxDOUBLE_CLASS:
        return FirstAsDouble<double>(array);
    case mxSINGLE_CLASS:
        return FirstAsDouble<float>(array);
    case mxINT8_CLASS:
        return FirstAsDouble<std::int8_t>(array);
    case mxUINT8_CLASS:
        return FirstAsDouble<std::uint8_t>(array);
    case mxINT16_CLASS:
        return FirstAsDouble<std::int16_t>(array);
    case mxUINT16_CLASS:
        return FirstAsDouble<std::uint16_t>(array);
    case mxINT32_CLASS:
        return FirstAsDouble<std::int32_t>(array);
    case mxUINT32_CLASS:
        return FirstAsDouble<std::uint32_t>(array);
    case mxINT64_CLASS:
        return FirstAsDouble<std::int64_t>(array);
    case mxUINT64_CLASS:
        return FirstAsDouble<std::uint64_t>(array);
    case mxCHAR_CLASS:
        return FirstAsDouble<mxChar>(array);
    default: // logical
        return FirstAsDouble<std::uint8_t>(array) != 0 ? 1.0 : 0.0;
    }
}

void SetData(mxArray* array, void* data, const char* function)
{
    if (ChangeableOrLogged(array, function) == nullptr)
        return;
    auto found = State().blocks.find(data);
    const char* problem = nullptr;
    if (!HasData(array))
        problem = "array class has no data";
    else if (data != nullptr && found == State().blocks.end())
        problem = "data not from mxCalloc or mxMalloc";
    else if (data != nullptr && found->second.holder != nullptr && found->second.holder != array)
        problem = "data belongs to another array";
    if (problem != nullptr) {
        LogMisuse(std::string(function) + ": " + problem);
        return;
    }
    if (Holds(array, data))
        return;
    ReleaseData(array, array->real);
    array->real = data;
    if (data != nullptr)
        found->second = BlockRecord{0, false, array};
}

} // namespace

namespace host_internal {

bool IsLive(const mxArray* array)
{
    HostState& state = State();
    if (array == nullptr || array == state.lastLiveArray)
        return array != nullptr;
    if (state.arrays.count(array) == 0)
        return false;
    state.lastLiveArray = array;
    return true;
}

const mxArray* LiveOrLogged(const mxArray* array, const char* function)
{
    if (IsLive(array))
        return array;
    LogMisuse(std::string(function) + ": not a live array");
    return nullptr;
}

mxArray* LiveOrLogged(mxArray* array, const char* function)
{
    return const_cast<mxArray*>(LiveOrLogged(static_cast<const mxArray*>(array), function));
}

// Inside a call the module may change only arrays it created in that call, never its arguments.
mxArray* ChangeableOrLogged(mxArray* array, const char* function)
{
    if (LiveOrLogged(array, function) == nullptr)
        return nullptr;
    if (InCall() && array->ownerCall != State().currentCall) {
        LogMisuse(std::string(function) + ": changes an array the call did not create");
        return nullptr;
    }
    return array;
}

std::size_t ElementCount(const mxArray* array)
{
    std::size_t count = 0;
    CountElements(array->dimensions, 1, count);
    return count;
}

void DestroyTree(mxArray* array)
{
    for (mxArray* value : array->fieldValues)
        if (value != nullptr)
            DestroyTree(value);
    for (void* data : {array->real, array->imaginary})
        if (Holds(array, data))
            FreeBlock(data);
    HostState& state = State();
    state.arrays.erase(array);
    if (state.lastLiveArray == array)
        state.lastLiveArray = nullptr;
    delete array;
}

// Every mxCreate* is counted and may be made to fail.
bool CreationGoesAhead()
{
    HostState& state = State();
    return !InjectedFailure(state.arrayCreationFailureCountdown, state.arrayCreationsMade);
}

mxArray* RefuseCreation(const std::string& what)
{
    LogMisuse(what);
    return nullptr;
}

// A new array belongs to the running call, or to the test outside calls.
mxArray* NewArray(mxClassID classId, std::vector<mwSize> dimensions, mxComplexity complexity)
{
    HostState& state = State();
    std::size_t count = 0;
    if (!CountElements(dimensions, ElementSize(classId), count))
        return NoMemory();
    auto* array = new mxArray_tag;
    array->classId = classId;
    array->dimensions = std::move(dimensions);
    array->ownerCall = state.currentCall;
    state.arrays.insert(array);
    if (state.currentCall != 0)
        state.callArrays.push_back(array);
    if (!HasData(array))
        return array;
    array->real = AllocateDataBlock(count * ElementSize(classId), array);
    if (complexity == mxCOMPLEX)
        array->imaginary = AllocateDataBlock(count * ElementSize(classId), array);
    if (array->real == nullptr || (complexity == mxCOMPLEX && array->imaginary == nullptr)) {
        DestroyTree(array);
        return NoMemory();
    }
    return array;
}

} // namespace host_internal

mxArray* mxCreateDoubleMatrix(mwSize rows, mwSize columns, mxComplexity complexity)
{
    return CreationGoesAhead() ? NewArray(mxDOUBLE_CLASS, {rows, columns}, complexity) : NoMemory();
}

mxArray* mxCreateDoubleScalar(double value)
{
    mxArray* scalar = mxCreateDoubleMatrix(1, 1, mxREAL);
    if (scalar != nullptr)
        *static_cast<double*>(scalar->real) = value;
    return scalar;
}

mxArray* mxCreateNumericMatrix(mwSize rows, mwSize columns, mxClassID classId, mxComplexity complexity)
{
    const mwSize dimensions[] = {rows, columns};
    return mxCreateNumericArray(2, dimensions, classId, complexity);
}

mxArray* mxCreateNumericArray(mwSize dimensionCount, const mwSize* dimensions, mxClassID classId,
                              mxComplexity complexity)
{
    if (!CreationGoesAhead())
        return NoMemory();
    if (!IsNumericClass(classId))
        return RefuseCreation("mxCreateNumericArray: not a numeric class");
    if (dimensions == nullptr && dimensionCount > 0)
        return RefuseCreation("mxCreateNumericArray: no dimensions");
    return NewArray(classId, NormalizedDimensions(dimensionCount, dimensions), complexity);
}

mxArray* mxCreateLogicalScalar(mxLogical value)
{
    mxArray* scalar = CreationGoesAhead() ? NewArray(mxLOGICAL_CLASS, {1, 1}, mxREAL) : NoMemory();
    if (scalar != nullptr)
        *static_cast<mxLogical*>(scalar->real) = value;
    return scalar;
}

mxArray* mxCreateString(const char* text)
{
    if (!CreationGoesAhead())
        return NoMemory();
    if (text == nullptr)
        return RefuseCreation("mxCreateString: no text");
    const std::size_t length = std::strlen(text);
    // An empty text makes a 0x0 char array, as hosts do.
    mxArray* string = NewArray(mxCHAR_CLASS, {length == 0 ? 0u : 1u, length}, mxREAL);
    if (string != nullptr)
        std::transform(text, text + length, static_cast<mxChar*>(string->real),
                       [](char byte) { return static_cast<mxChar>(static_cast<unsigned char>(byte)); });
    return string;
}

mxArray* mxCreateCharArray(mwSize dimensionCount, const mwSize* dimensions)
{
    if (!CreationGoesAhead())
        return NoMemory();
    if (dimensions == nullptr && dimensionCount > 0)
        return RefuseCreation("mxCreateCharArray: no dimensions");
    return NewArray(mxCHAR_CLASS, NormalizedDimensions(dimensionCount, dimensions), mxREAL);
}

mxArray* mxCreateCellMatrix(mwSize rows, mwSize columns)
{
    return CreationGoesAhead() ? NewArray(mxCELL_CLASS, {rows, columns}, mxREAL) : NoMemory();
}

void mxDestroyArray(mxArray* array)
{
    if (array == nullptr || LiveOrLogged(array, "mxDestroyArray") == nullptr)
        return;
    if (array->container != nullptr) {
        LogMisuse("mxDestroyArray: array is a field of a structure");
        return;
    }
    if (InCall() && array->ownerCall != State().currentCall) {
        LogMisuse("mxDestroyArray: array was not created by this call");
        return;
    }
    DestroyTree(array);
}

mxClassID mxGetClassID(const mxArray* array)
{
    return LiveOrLogged(array, "mxGetClassID") != nullptr ? array->classId : mxUNKNOWN_CLASS;
}

const char* mxGetClassName(const mxArray* array)
{
    static const char* const names[] = {"unknown", "cell",   "struct", "logical", "char",           "void",
                                        "double",  "single", "int8",   "uint8",   "int16",          "uint16",
                                        "int32",   "uint32", "int64",  "uint64",  "function_handle"};
    if (LiveOrLogged(array, "mxGetClassName") == nullptr)
        return names[mxUNKNOWN_CLASS];
    return array->classId == ObjectClassId ? array->className.c_str() : names[array->classId];
}

bool mxIsDouble(const mxArray* array)
{
    return IsClass(array, mxDOUBLE_CLASS, "mxIsDouble");
}

bool mxIsChar(const mxArray* array)
{
    return IsClass(array, mxCHAR_CLASS, "mxIsChar");
}

bool mxIsStruct(const mxArray* array)
{
    return IsClass(array, mxSTRUCT_CLASS, "mxIsStruct");
}

bool mxIsUint8(const mxArray* array)
{
    return IsClass(array, mxUINT8_CLASS, "mxIsUint8");
}

bool mxIsEmpty(const mxArray* array)
{
    return LiveOrLogged(array, "mxIsEmpty") != nullptr && ElementCount(array) == 0;
}

bool mxIsComplex(const mxArray* array)
{
    return LiveOrLogged(array, "mxIsComplex") != nullptr && array->imaginary != nullptr;
}

std::size_t mxGetNumberOfElements(const mxArray* array)
{
    return LiveOrLogged(array, "mxGetNumberOfElements") != nullptr ? ElementCount(array) : 0;
}

std::size_t mxGetM(const mxArray* array)
{
    return LiveOrLogged(array, "mxGetM") != nullptr ? array->dimensions[0] : 0;
}

std::size_t mxGetN(const mxArray* array)
{
    if (LiveOrLogged(array, "mxGetN") == nullptr)
        return 0;
    std::size_t columns = 1;
    CountElements({array->dimensions.begin() + 1, array->dimensions.end()}, 1, columns);
    return columns;
}

mwSize mxGetNumberOfDimensions(const mxArray* array)
{
    return LiveOrLogged(array, "mxGetNumberOfDimensions") != nullptr ? array->dimensions.size() : 0;
}

const mwSize* mxGetDimensions(const mxArray* array)
{
    return LiveOrLogged(array, "mxGetDimensions") != nullptr ? array->dimensions.data() : nullptr;
}

void mxSetN(mxArray* array, mwSize columns)
{
    if (ChangeableOrLogged(array, "mxSetN") == nullptr)
        return;
    // Resizing would orphan or invent field values; the module has no need for it.
    if (!HasData(array)) {
        LogMisuse("mxSetN: not supported for this class");
        return;
    }
    array->dimensions = {array->dimensions[0], columns};
}

double* mxGetPr(const mxArray* array)
{
    return static_cast<double*>(mxGetData(array));
}

double* mxGetPi(const mxArray* array)
{
    return LiveOrLogged(array, "mxGetPi") != nullptr ? static_cast<double*>(array->imaginary) : nullptr;
}

void* mxGetData(const mxArray* array)
{
    return LiveOrLogged(array, "mxGetData") != nullptr ? array->real : nullptr;
}

void mxSetPr(mxArray* array, double* data)
{
    SetData(array, data, "mxSetPr");
}

void mxSetData(mxArray* array, void* data)
{
    SetData(array, data, "mxSetData");
}

mxChar* mxGetChars(const mxArray* array)
{
    return IsClass(array, mxCHAR_CLASS, "mxGetChars") ? static_cast<mxChar*>(array->real) : nullptr;
}

double mxGetScalar(const mxArray* array)
{
    if (LiveOrLogged(array, "mxGetScalar") == nullptr)
        return 0;
    if (!HasData(array) || ElementCount(array) == 0) {
        LogMisuse("mxGetScalar: array has no first element");
        return 0;
    }
    return ScalarValue(array);
}

int mxGetString(const mxArray* array, char* buffer, mwSize bufferSize)
{
    if (LiveOrLogged(array, "mxGetString") == nullptr || array->classId != mxCHAR_CLASS)
        return 1;
    if (buffer == nullptr && bufferSize > 0) {
        LogMisuse("mxGetString: no buffer");
        return 1;
    }
    const std::size_t length = ElementCount(array);
    if (length >= bufferSize)
        return 1;
    const auto* characters = static_cast<const mxChar*>(array->real);
    std::transform(characters, characters + length, buffer,
                   [](mxChar character) { return static_cast<char>(character & 0xFF); });
    buffer[length] = '\0';
    return 0;
}
