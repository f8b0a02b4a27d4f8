// The eleven commands, their handlers and argument limits, and the lookup of
// a command name by unique case-insensitive prefix.
#pragma once

#include "common/command_handlers.h"

#include <cstdint>

struct CommandEntry {
    const char* Name;
    CommandHandler Handler;
    std::int32_t MinInputs; // arguments after the command string
    std::int32_t MaxInputs;
    std::int32_t MaxOutputs; // also the output position of the status
};

constexpr int CommandCount = 11;
extern const CommandEntry CommandTable[CommandCount];

// Resolves the command text and checks the call's counts against its limits;
// aborts the call with the matching message.
const CommandEntry& LookupCommand(const char* text, std::int32_t inputCount, std::int32_t outputCount);
