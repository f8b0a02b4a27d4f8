#include "ports/reconfiguration.h"

#include "common/command_handlers.h"
#include "ports/settings_parse.h"
#include "ports/settings_report.h"

#include <cstring>
#include <initializer_list>

namespace {

unsigned ChangedGroups(const PortRecord& before, const PortRecord& after)
{
    unsigned mask = 0;
    if (before.ReadTimeout != after.ReadTimeout)
        mask |= TimeoutsChanged;
    if (std::memcmp(&before.Dcb, &after.Dcb, sizeof(DCB)) != 0)
        mask |= StateChanged;
    if (before.InBufferSize != after.InBufferSize || before.OutBufferSize != after.OutBufferSize)
        mask |= BuffersChanged;
    return mask;
}

// Only the interval between bytes is limited; a read has no total time-out.
// An interval of 0 would mean no limit at all, so ReadTimeout 0 asks for the
// serial API's "return at once with what has come" (interval MAXDWORD).
BOOL ApplyReadTimeout(const PortRecord& record)
{
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = record.ReadTimeout != 0 ? record.ReadTimeout : MAXDWORD;
    return SetCommTimeouts(record.Handle, &timeouts);
}

BOOL ApplyGroup(PortRecord& record, unsigned group)
{
    switch (group) {
    case BuffersChanged:
        return SetupComm(record.Handle, static_cast<DWORD>(record.InBufferSize),
                         static_cast<DWORD>(record.OutBufferSize));
    case StateChanged:
        return SetCommState(record.Handle, &record.Dcb);
    default:
        return ApplyReadTimeout(record);
    }
}

} // namespace

std::int32_t ApplyChanges(PortRecord& record, unsigned mask)
{
    unsigned left = mask | record.RefusedGroups;
    for (unsigned group : {BuffersChanged, StateChanged, TimeoutsChanged}) {
        if ((left & group) == 0)
            continue;
        if (!ApplyGroup(record, group)) {
            record.RefusedGroups = left;
            return ConfigFailed;
        }
        left &= ~group;
    }
    record.RefusedGroups = 0;
    return 0;
}

std::int32_t SetParams(const CommandCall& call)
{
    PortRecord& record = call.Record;
    const PortRecord before = record;
    ParseSettings(record, call.Inputs[0]);
    std::int32_t status = IsOpen(record) ? ApplyChanges(record, ChangedGroups(before, record)) : NotOpen;
    call.Outputs[0] = ReportSettings(record);
    return status;
}
