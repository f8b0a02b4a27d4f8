// Arguments of module calls decoded from fuzz input: command texts, port
// arguments and settings structures of every shape, write data, read counts,
// drain modes and arrays of any class the test host supports.
#pragma once

#include "byte_source.h"
#include "test_host.h"

#include <string>
#include <vector>

namespace fuzz {

using test_host::ArrayPtr;

ArrayPtr TextArray(const std::string& text);
ArrayPtr NumberArray(double value);

// The command text (or not-text); `intended` is the command it was made from.
ArrayPtr CommandArgument(ByteSource& source, int& intended);
ArrayPtr PortArgument(ByteSource& source);
ArrayPtr WriteData(ByteSource& source);
ArrayPtr ReadCount(ByteSource& source);
ArrayPtr FlushMode(ByteSource& source);
ArrayPtr AnyArray(ByteSource& source, int depth = 0);

// A well-formed settings structure for the slot, as a script holds one.
ArrayPtr SettingsFor(const std::string& port);

} // namespace fuzz
