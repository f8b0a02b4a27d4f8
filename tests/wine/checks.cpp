#include "checks.h"

#include <cstdio>

namespace wine_test {

namespace {
int failures = 0;
}

void ReportFailure(const char* file, int line, const std::string& what)
{
    ++failures;
    std::printf("FAILED at %s:%d: %s\n", file, line, what.c_str());
    std::fflush(stdout);
}

int FailureCount()
{
    return failures;
}

namespace {

// A few bytes from `at` on, with the non-printing ones escaped.
std::string Excerpt(const std::string& bytes, std::size_t at)
{
    constexpr std::size_t Shown = 32;
    std::string text = "\"";
    for (std::size_t index = at; index < bytes.size() && index < at + Shown; ++index) {
        auto byte = static_cast<unsigned char>(bytes[index]);
        char escaped[5];
        std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
        bool plain = byte >= 0x20 && byte < 0x7F && byte != '"' && byte != '\\';
        text += plain ? std::string(1, static_cast<char>(byte)) : std::string(escaped);
    }
    return text + (bytes.size() > at + Shown ? "\"..." : "\"");
}

} // namespace

void ExpectEqual(const std::string& actual, const std::string& expected, const char* expression,
                 const char* file, int line)
{
    if (actual == expected)
        return;
    std::size_t at = 0;
    while (at < actual.size() && at < expected.size() && actual[at] == expected[at])
        ++at;
    ReportFailure(file, line,
                  std::string(expression) + " has " + std::to_string(actual.size()) + " bytes, expected " +
                      std::to_string(expected.size()) + "; from byte " + std::to_string(at) + " on it is " +
                      Excerpt(actual, at) + ", expected " + Excerpt(expected, at));
}

} // namespace wine_test
