#include "natural_order.h"

namespace port_survey {
namespace {

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// The run of digits at `at`, without its leading zeros: [start, end).
struct Run {
    std::size_t start, end;
    std::size_t Length() const { return end - start; }
};

Run DigitsAt(const std::string& text, std::size_t at)
{
    while (at + 1 < text.size() && text[at] == '0' && IsDigit(text[at + 1]))
        ++at;
    std::size_t end = at;
    while (end < text.size() && IsDigit(text[end]))
        ++end;
    return {at, end};
}

// <0, 0 or >0 as the run at a[i] is less than, equal to or greater than the
// one at b[j] by value; i and j move past them.
int CompareRuns(const std::string& a, std::size_t& i, const std::string& b, std::size_t& j)
{
    const Run x = DigitsAt(a, i), y = DigitsAt(b, j);
    i = x.end;
    j = y.end;
    if (x.Length() != y.Length())
        return x.Length() < y.Length() ? -1 : 1;
    return a.compare(x.start, x.Length(), b, y.start, y.Length());
}

} // namespace

bool NaturalLess(const std::string& a, const std::string& b)
{
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (IsDigit(a[i]) && IsDigit(b[j])) {
            const int order = CompareRuns(a, i, b, j);
            if (order != 0)
                return order < 0;
            continue;
        }
        if (a[i] != b[j])
            return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]);
        ++i;
        ++j;
    }
    if ((i < a.size()) != (j < b.size()))
        return j < b.size();
    return a < b;
}

} // namespace port_survey
