// Names in the order a person expects: ttyS2 before ttyS10, COM3 before COM12.
#pragma once

#include <string>

namespace port_survey {

// Runs of digits compare by their value, everything else character by
// character; names that tie so ("COM03", "COM3") fall back to their plain
// order. A strict weak order, as std::sort needs.
bool NaturalLess(const std::string& a, const std::string& b);

} // namespace port_survey
