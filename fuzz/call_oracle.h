// What the module promises to answer a call with, worked out from the call's
// arguments alone: the gateway's and port selection's messages, the settings
// parse's verdict, Read's count and FlushWrite's mode.
//
// This is a second, independent statement of those rules, written from what
// a script is promised and not from the module's code: it shares nothing with
// src/ (no command table, no parser), so that a fault in the module cannot
// hide by being copied here. Keep it that way when the rules change.
#pragma once

#include "test_host.h"

#include <cstdint>
#include <string>
#include <vector>

namespace fuzz {

struct CommandLimits {
    const char* name;
    int minInputs, maxInputs, maxOutputs;
};

enum Command {
    Open,
    Close,
    CloseAll,
    GetParams,
    SetParams,
    Write,
    Read,
    GetWriteStatus,
    GetReadStatus,
    FlushRead,
    FlushWrite
};
constexpr int CommandCount = 11;
extern const CommandLimits Commands[CommandCount];

constexpr int SlotCount = 8;
constexpr int PropertyCount = 18;
extern const char* const PropertyNames[PropertyCount];
constexpr int DefaultsSelected = -1;

extern const char* const OutOfMemory;
extern const char* const DataNotUint8;

// The gateway's message for the call, or null with `command` resolved.
const char* GatewayMessage(int nlhs, const std::vector<const mxArray*>& args, int& command);
// Port selection's message, or null with `slot` set (DefaultsSelected for "default").
const char* SelectionMessage(const mxArray* portArgument, int& slot);
// The property message of the first invalid property, or empty when all are valid.
std::string ParseMessage(const mxArray* settings);
// The gateway's or port selection's message, or null with the command and
// the slot (when the call has a port argument) that the handler gets.
const char* RoutingMessage(int nlhs, const std::vector<const mxArray*>& args, int& command, int& slot);
bool IsFixedMessage(const std::string& message);

// Read's count argument as the module reads it; false when there is none
// and the module asks the device instead.
bool ReadCountGiven(const std::vector<const mxArray*>& args, std::int64_t& count);
bool AsksToDiscard(const std::vector<const mxArray*>& args);

} // namespace fuzz
