#include "arrays.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <gtest/gtest.h>

namespace test_host {

namespace {

// Builders are for setting up; a host refusing one (say, an armed fault) is a broken test.
ArrayPtr Made(mxArray* array, const char* builder)
{
    if (array == nullptr)
        ADD_FAILURE() << builder << ": the host refused to create the array";
    return ArrayPtr(array);
}

template <typename Element>
ArrayPtr Filled(mxClassID classId, mwSize rows, mwSize columns, const std::vector<Element>& values,
                const char* builder)
{
    if (values.size() != rows * columns) {
        ADD_FAILURE() << builder << ": " << values.size() << " values for " << rows << "x" << columns;
        return nullptr;
    }
    ArrayPtr array = Made(mxCreateNumericMatrix(rows, columns, classId, mxREAL), builder);
    if (array != nullptr && !values.empty())
        std::memcpy(mxGetData(array.get()), values.data(), values.size() * sizeof(Element));
    return array;
}

int FieldNumber(const mxArray* structure, const std::string& name)
{
    for (int field = 0; field < mxGetNumberOfFields(structure); ++field)
        if (name == mxGetFieldNameByNumber(structure, field))
            return field;
    return -1;
}

} // namespace

ArrayPtr Text(const std::string& text)
{
    return Made(mxCreateString(text.c_str()), "Text");
}

ArrayPtr CharMatrix(mwSize rows, mwSize columns, const std::string& columnMajorText)
{
    if (columnMajorText.size() != rows * columns) {
        ADD_FAILURE() << "CharMatrix: " << columnMajorText.size() << " characters for " << rows << "x"
                      << columns;
        return nullptr;
    }
    const mwSize dimensions[] = {rows, columns};
    ArrayPtr array = Made(mxCreateCharArray(2, dimensions), "CharMatrix");
    if (array != nullptr)
        std::transform(columnMajorText.begin(), columnMajorText.end(), mxGetChars(array.get()),
                       [](char byte) { return static_cast<mxChar>(static_cast<unsigned char>(byte)); });
    return array;
}

ArrayPtr Number(double value)
{
    return Made(mxCreateDoubleScalar(value), "Number");
}

ArrayPtr ComplexNumber(double real, double imaginary)
{
    ArrayPtr array = Made(mxCreateDoubleMatrix(1, 1, mxCOMPLEX), "ComplexNumber");
    if (array != nullptr) {
        *mxGetPr(array.get()) = real;
        *mxGetPi(array.get()) = imaginary;
    }
    return array;
}

ArrayPtr DoubleRow(const std::vector<double>& values)
{
    return Filled(mxDOUBLE_CLASS, 1, values.size(), values, "DoubleRow");
}

ArrayPtr EmptyDouble()
{
    return Made(mxCreateDoubleMatrix(0, 0, mxREAL), "EmptyDouble");
}

ArrayPtr Int32Scalar(std::int32_t value)
{
    return Filled(mxINT32_CLASS, 1, 1, std::vector<std::int32_t>{value}, "Int32Scalar");
}

ArrayPtr Logical(bool value)
{
    return Made(mxCreateLogicalScalar(value), "Logical");
}

ArrayPtr Uint8Row(const std::vector<std::uint8_t>& bytes)
{
    return Filled(mxUINT8_CLASS, 1, bytes.size(), bytes, "Uint8Row");
}

ArrayPtr Uint8Matrix(mwSize rows, mwSize columns, const std::vector<std::uint8_t>& columnMajorBytes)
{
    return Filled(mxUINT8_CLASS, rows, columns, columnMajorBytes, "Uint8Matrix");
}

ArrayPtr Numeric(mxClassID classId, mwSize rows, mwSize columns)
{
    return Made(mxCreateNumericMatrix(rows, columns, classId, mxREAL), "Numeric");
}

ArrayPtr Cell(mwSize rows, mwSize columns)
{
    return Made(mxCreateCellMatrix(rows, columns), "Cell");
}

ArrayPtr StructArray(mwSize rows, mwSize columns, const std::vector<std::string>& names)
{
    std::vector<const char*> pointers;
    for (const std::string& name : names)
        pointers.push_back(name.c_str());
    return Made(mxCreateStructMatrix(rows, columns, static_cast<int>(names.size()), pointers.data()),
                "StructArray");
}

void SetField(mxArray* structure, mwIndex element, const std::string& name, ArrayPtr value)
{
    if (structure == nullptr || !mxIsStruct(structure) || element >= mxGetNumberOfElements(structure)) {
        ADD_FAILURE() << "SetField: no element " << element << " in a structure";
        return;
    }
    const int field = FieldNumber(structure, name);
    if (field < 0) {
        ADD_FAILURE() << "SetField: no field " << name;
        return;
    }
    // The host does not free a replaced value; the test owns it and lets it go.
    ArrayPtr replaced(mxGetFieldByNumber(structure, element, field));
    mxSetFieldByNumber(structure, element, field, value.release());
}

ArrayPtr StructOfFields(const std::vector<std::string>& names, std::vector<ArrayPtr> values)
{
    if (names.size() != values.size()) {
        ADD_FAILURE() << "Struct: " << names.size() << " names for " << values.size() << " values";
        return nullptr;
    }
    ArrayPtr structure = StructArray(1, 1, names);
    if (structure == nullptr)
        return nullptr;
    for (std::size_t field = 0; field < names.size(); ++field)
        mxSetFieldByNumber(structure.get(), 0, static_cast<int>(field), values[field].release());
    return structure;
}

std::string TextOf(const mxArray* array)
{
    if (array == nullptr || !mxIsChar(array)) {
        ADD_FAILURE() << "TextOf: not a char array";
        return {};
    }
    const mxChar* characters = mxGetChars(array);
    std::string text;
    for (std::size_t index = 0; index < mxGetNumberOfElements(array); ++index)
        text.push_back(static_cast<char>(characters[index] & 0xFF));
    return text;
}

double NumberOf(const mxArray* array)
{
    const mxClassID classId = array != nullptr ? mxGetClassID(array) : mxUNKNOWN_CLASS;
    const bool numeric =
        classId == mxLOGICAL_CLASS || (classId >= mxDOUBLE_CLASS && classId <= mxUINT64_CLASS);
    if (!numeric || mxGetNumberOfElements(array) != 1) {
        ADD_FAILURE() << "NumberOf: not a one-element numeric array";
        return std::nan("");
    }
    return mxGetScalar(array);
}

std::vector<std::uint8_t> BytesOf(const mxArray* array)
{
    if (array == nullptr || !mxIsUint8(array)) {
        ADD_FAILURE() << "BytesOf: not a uint8 array";
        return {};
    }
    const auto* bytes = static_cast<const std::uint8_t*>(mxGetData(array));
    return std::vector<std::uint8_t>(bytes, bytes + mxGetNumberOfElements(array));
}

std::vector<std::string> FieldNamesOf(const mxArray* structure)
{
    if (structure == nullptr || !mxIsStruct(structure)) {
        ADD_FAILURE() << "FieldNamesOf: not a structure";
        return {};
    }
    std::vector<std::string> names;
    for (int field = 0; field < mxGetNumberOfFields(structure); ++field)
        names.emplace_back(mxGetFieldNameByNumber(structure, field));
    return names;
}

const mxArray* FieldOf(const mxArray* structure, const std::string& name, mwIndex element)
{
    if (structure == nullptr || !mxIsStruct(structure) || element >= mxGetNumberOfElements(structure)) {
        ADD_FAILURE() << "FieldOf: no element " << element << " in a structure";
        return nullptr;
    }
    const int field = FieldNumber(structure, name);
    return field < 0 ? nullptr : mxGetFieldByNumber(structure, element, field);
}

} // namespace test_host
