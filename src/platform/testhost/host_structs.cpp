// Structure arrays and old-style objects: field names, and field values
// owned by the array.
#include "host_state.h"

#include <algorithm>

using namespace host_internal;

namespace {

const mxArray* StructureOrAbort(const mxArray* structure, const char* function)
{
    if (!IsLive(structure) || structure->classId != mxSTRUCT_CLASS)
        AbortForMisuse(std::string(function) + ": not a structure");
    return structure;
}

// The array whose fields a lookup reads, or null for a live array without
// fields: MATLAB answers that lookup with 0 or null, a strict host with an
// error. Only MATLAB has objects with fields.
const mxArray* FieldHolderOrNull(const mxArray* array, const char* function)
{
    if (State().mode == test_host::HostMode::Strict)
        return StructureOrAbort(array, function);
    if (!IsLive(array))
        AbortForMisuse(std::string(function) + ": not a live array");
    return array->classId == mxSTRUCT_CLASS || array->classId == ObjectClassId ? array : nullptr;
}

int FieldCount(const mxArray* structure)
{
    return static_cast<int>(structure->fieldNames.size());
}

// The slot of a field value, or null (logged) for an index the host would not check.
mxArray** FieldSlotOrLogged(const mxArray* structure, mwIndex element, int field, const char* function)
{
    if (element >= ElementCount(structure)) {
        LogMisuse(std::string(function) + ": element index out of range");
        return nullptr;
    }
    if (field < 0 || field >= FieldCount(structure)) {
        LogMisuse(std::string(function) + ": field number out of range");
        return nullptr;
    }
    auto* slots = const_cast<mxArray**>(structure->fieldValues.data());
    return &slots[element * structure->fieldNames.size() + static_cast<std::size_t>(field)];
}

bool IsAncestorOrSelf(const mxArray* candidate, const mxArray* array)
{
    for (; array != nullptr; array = array->container)
        if (array == candidate)
            return true;
    return false;
}

// A field value must be a free-standing array the caller may give away.
bool AdoptableOrLogged(mxArray* value, const mxArray* structure)
{
    if (value == nullptr)
        return true;
    if (LiveOrLogged(value, "mxSetFieldByNumber") == nullptr)
        return false;
    const char* problem = nullptr;
    if (value->container != nullptr)
        problem = "value already belongs to a structure";
    else if (InCall() && value->ownerCall != State().currentCall)
        problem = "value was not created by this call";
    else if (IsAncestorOrSelf(value, structure))
        problem = "value contains the structure";
    if (problem != nullptr)
        LogMisuse(std::string("mxSetFieldByNumber: ") + problem);
    return problem == nullptr;
}

} // namespace

mxArray* mxCreateStructMatrix(mwSize rows, mwSize columns, int fieldCount, const char** fieldNames)
{
    if (!CreationGoesAhead())
        return NoMemory();
    if (fieldCount < 0 || (fieldCount > 0 && fieldNames == nullptr) ||
        std::find(fieldNames, fieldNames + fieldCount, nullptr) != fieldNames + fieldCount)
        return RefuseCreation("mxCreateStructMatrix: bad field names");
    mxArray* structure = NewArray(mxSTRUCT_CLASS, {rows, columns}, mxREAL);
    if (structure == nullptr)
        return nullptr;
    structure->fieldNames.assign(fieldNames, fieldNames + fieldCount);
    structure->fieldValues.assign(ElementCount(structure) * static_cast<std::size_t>(fieldCount), nullptr);
    return structure;
}

int FieldCountOf(const mxArray* structure)
{
    if (structure == nullptr || (State().mode == test_host::HostMode::Strict && !mxIsStruct(structure)))
        return 0;
    return mxGetNumberOfFields(structure);
}

int mxGetNumberOfFields(const mxArray* structure)
{
    const mxArray* holder = FieldHolderOrNull(structure, "mxGetNumberOfFields");
    return holder != nullptr ? FieldCount(holder) : 0;
}

const char* mxGetFieldNameByNumber(const mxArray* structure, int field)
{
    const mxArray* holder = FieldHolderOrNull(structure, "mxGetFieldNameByNumber");
    if (holder == nullptr || field < 0 || field >= FieldCount(holder))
        return nullptr;
    return holder->fieldNames[static_cast<std::size_t>(field)].c_str();
}

mxArray* mxGetFieldByNumber(const mxArray* structure, mwIndex element, int field)
{
    const mxArray* holder = FieldHolderOrNull(structure, "mxGetFieldByNumber");
    mxArray** slot =
        holder != nullptr ? FieldSlotOrLogged(holder, element, field, "mxGetFieldByNumber") : nullptr;
    return slot != nullptr ? *slot : nullptr;
}

void mxSetFieldByNumber(mxArray* structure, mwIndex element, int field, mxArray* value)
{
    StructureOrAbort(structure, "mxSetFieldByNumber");
    if (ChangeableOrLogged(structure, "mxSetFieldByNumber") == nullptr)
        return;
    mxArray** slot = FieldSlotOrLogged(structure, element, field, "mxSetFieldByNumber");
    if (slot == nullptr || !AdoptableOrLogged(value, structure))
        return;
    // The value it replaces is not destroyed, as on real hosts: the caller owns it again.
    if (*slot != nullptr) {
        (*slot)->container = nullptr;
        (*slot)->ownerCall = State().currentCall;
        if (InCall())
            State().callArrays.push_back(*slot);
    }
    *slot = value;
    if (value != nullptr)
        value->container = structure;
}
