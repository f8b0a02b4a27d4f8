// What every command handler receives, and the eleven handlers in the order
// of the command table. The gateway calls them; ports and transfer define them.
#pragma once

#include "common/port_record.h"
#include "platform/host.h"

#include <cstdint>

struct CommandCall {
    PortRecord& Record;       // the slot the port argument names, or a copy of the defaults
    std::int32_t OutputCount; // outputs the script requested; no handler uses it
    mxArray** Outputs;
    std::int32_t InputCount; // arguments after the command string
    const mxArray** Inputs;  // Inputs[0] is the port argument
};

using CommandHandler = std::int32_t (*)(const CommandCall& call);

// ports/port_lifecycle.cpp
std::int32_t Open(const CommandCall& call);
std::int32_t Close(const CommandCall& call);
std::int32_t CloseAll(const CommandCall& call);
// ports/settings_report.cpp
std::int32_t GetParams(const CommandCall& call);
// ports/reconfiguration.cpp
std::int32_t SetParams(const CommandCall& call);
// transfer/write_commands.cpp
std::int32_t Write(const CommandCall& call);
std::int32_t GetWriteStatus(const CommandCall& call);
std::int32_t FlushWrite(const CommandCall& call);
// transfer/read_commands.cpp
std::int32_t Read(const CommandCall& call);
std::int32_t GetReadStatus(const CommandCall& call);
std::int32_t FlushRead(const CommandCall& call);
