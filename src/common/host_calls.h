// The fixed messages of aborted calls, and host allocations that abort the
// call with "Out of memory." when the host has nothing left.
#pragma once

#include "platform/host.h"

#include <cstddef>

namespace messages {
constexpr const char* TooFewInputs = "Too few input arguments.";
constexpr const char* TooManyInputs = "Too many input arguments.";
constexpr const char* TooManyOutputs = "Too many output arguments.";
constexpr const char* NotACommand = "The first input argument must be a command string.";
constexpr const char* UnknownCommand = "Unknown command.";
constexpr const char* AmbiguousCommand = "Ambiguous command name.";
constexpr const char* OutOfMemory = "Out of memory.";
constexpr const char* NotASettingsObject = "The second input argument must be a \"vantrel\" object.";
constexpr const char* InvalidPortName = "Invalid serial port name.";
// "Invalid "BaudRate" property value.": the property's name goes between these.
constexpr const char* InvalidPropertyOpening = "Invalid \"";
constexpr const char* InvalidPropertyClosing = "\" property value.";
constexpr const char* DataNotUint8 = "Data to write must be of type \"uint8\".";
constexpr const char* DataTooLong = "Data to write must not exceed 2147483647 bytes.";
} // namespace messages

void* CallocOrAbort(std::size_t count, std::size_t size);
mxArray* ArrayOrAbort(mxArray* created);
mxArray* NewDoubleScalar(double value);
