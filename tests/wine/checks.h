// Expectations of the Wine test cases. A failed one is reported with its
// place and the case goes on, so that one run shows every difference.
#pragma once

#include <sstream>
#include <string>

namespace wine_test {

void ReportFailure(const char* file, int line, const std::string& what);
int FailureCount();

template <class Value> std::string Describe(const Value& value)
{
    std::ostringstream text;
    text << value;
    return text.str();
}

template <class Actual, class Expected>
void ExpectEqual(const Actual& actual, const Expected& expected, const char* expression, const char* file,
                 int line)
{
    if (actual == expected)
        return;
    ReportFailure(file, line,
                  std::string(expression) + " is " + Describe(actual) + ", expected " + Describe(expected));
}

// Byte strings: where they first differ, and the bytes from there on.
void ExpectEqual(const std::string& actual, const std::string& expected, const char* expression,
                 const char* file, int line);

template <class Value>
void ExpectWithin(const Value& value, const Value& low, const Value& high, const char* expression,
                  const char* file, int line)
{
    if (low <= value && value <= high)
        return;
    ReportFailure(file, line,
                  std::string(expression) + " is " + Describe(value) + ", expected between " + Describe(low) +
                      " and " + Describe(high));
}

} // namespace wine_test

#define EXPECT_EQUAL(actual, expected)                                                                       \
    ::wine_test::ExpectEqual((actual), (expected), #actual, __FILE__, __LINE__)
#define EXPECT_WITHIN(value, low, high)                                                                      \
    ::wine_test::ExpectWithin<double>((value), (low), (high), #value, __FILE__, __LINE__)
#define EXPECT_TRUE(condition)                                                                               \
    ((condition) ? void() : ::wine_test::ReportFailure(__FILE__, __LINE__, #condition " is false"))
