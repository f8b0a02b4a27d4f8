// What the test program's own process holds, as Linux shows it under /proc.
#pragma once

#include <cstddef>
#include <string>

namespace mexa64_test {

std::size_t ThreadCount();
// Whether any part of the file is mapped into the process.
bool IsMapped(const std::string& path);

} // namespace mexa64_test
