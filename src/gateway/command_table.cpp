#include "gateway/command_table.h"

#include "common/host_calls.h"
#include "common/text.h"

#include <cstring>

const CommandEntry CommandTable[CommandCount] = {
    {"Open", Open, 1, 1, 2},
    {"Close", Close, 1, 1, 1},
    {"CloseAll", CloseAll, 0, 0, 0},
    {"GetParams", GetParams, 1, 1, 2},
    {"SetParams", SetParams, 1, 1, 2},
    {"Write", Write, 2, 2, 1},
    {"Read", Read, 1, 2, 2},
    {"GetWriteStatus", GetWriteStatus, 1, 1, 2},
    {"GetReadStatus", GetReadStatus, 1, 1, 2},
    {"FlushRead", FlushRead, 1, 1, 1},
    {"FlushWrite", FlushWrite, 1, 2, 1},
};

namespace {

// An exact name wins when it comes before any second prefix match; a text
// that is a prefix of two names before that is ambiguous at once.
const CommandEntry& ResolveName(const char* text)
{
    const std::size_t length = std::strlen(text);
    const CommandEntry* found = nullptr;
    for (const CommandEntry& entry : CommandTable) {
        if (!StartsWithIgnoringCase(entry.Name, text))
            continue;
        if (std::strlen(entry.Name) == length)
            return entry;
        if (found != nullptr)
            HostAbort(messages::AmbiguousCommand);
        found = &entry;
    }
    if (found == nullptr)
        HostAbort(messages::UnknownCommand);
    return *found;
}

} // namespace

const CommandEntry& LookupCommand(const char* text, std::int32_t inputCount, std::int32_t outputCount)
{
    const CommandEntry& entry = ResolveName(text);
    if (inputCount < entry.MinInputs)
        HostAbort(messages::TooFewInputs);
    if (inputCount > entry.MaxInputs)
        HostAbort(messages::TooManyInputs);
    if (outputCount > entry.MaxOutputs)
        HostAbort(messages::TooManyOutputs);
    return entry;
}
