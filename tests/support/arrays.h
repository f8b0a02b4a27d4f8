// Builders and readers of test host arrays for tests. Builders make arrays
// owned by the test; readers record a test failure (not a crash) when an
// array is not of the kind asked for.
#pragma once

#include "test_host.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace test_host {

ArrayPtr Text(const std::string& text); // 1xN char; 0x0 when empty, as hosts make it
ArrayPtr CharMatrix(mwSize rows, mwSize columns, const std::string& columnMajorText);
ArrayPtr Number(double value);
ArrayPtr ComplexNumber(double real, double imaginary);
ArrayPtr DoubleRow(const std::vector<double>& values);
ArrayPtr EmptyDouble(); // 0x0
ArrayPtr Int32Scalar(std::int32_t value);
ArrayPtr Logical(bool value);
ArrayPtr Uint8Row(const std::vector<std::uint8_t>& bytes);
ArrayPtr Uint8Matrix(mwSize rows, mwSize columns, const std::vector<std::uint8_t>& columnMajorBytes);
ArrayPtr Numeric(mxClassID classId, mwSize rows, mwSize columns); // zero-filled
ArrayPtr Cell(mwSize rows, mwSize columns);

// Structures: a multi-element or empty one with every field unset, filled by
// SetField; or a 1x1 one from names and values, Struct({"a", "b"}, Number(1), Text("x")).
ArrayPtr StructArray(mwSize rows, mwSize columns, const std::vector<std::string>& names);
// Replaces the field's value; the old value is destroyed.
void SetField(mxArray* structure, mwIndex element, const std::string& name, ArrayPtr value);
ArrayPtr StructOfFields(const std::vector<std::string>& names, std::vector<ArrayPtr> values);

template <typename... Values> ArrayPtr Struct(const std::vector<std::string>& names, Values... values)
{
    std::vector<ArrayPtr> fields;
    (fields.push_back(std::move(values)), ...);
    return StructOfFields(names, std::move(fields));
}

std::string TextOf(const mxArray* array); // the low 8 bits of each character, column-major
double NumberOf(const mxArray* array);    // the value of a one-element numeric or logical array
std::vector<std::uint8_t> BytesOf(const mxArray* array); // uint8 data, column-major
std::vector<std::string> FieldNamesOf(const mxArray* structure);
// Null when the structure has no such field.
const mxArray* FieldOf(const mxArray* structure, const std::string& name, mwIndex element = 0);

} // namespace test_host
