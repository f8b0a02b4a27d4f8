#include "ports/reconfiguration.h"

#include "common/command_handlers.h"
#include "ports/settings_parse.h"
#include "ports/settings_report.h"

#include <cstring>

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
BOOL ApplyReadTimeout(const PortRecord& record)
{
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = record.ReadTimeout;
    return SetCommTimeouts(record.Handle, &timeouts);
}

} // namespace

std::int32_t ApplyChanges(PortRecord& record, unsigned mask)
{
    if ((mask & BuffersChanged) && !SetupComm(record.Handle, static_cast<DWORD>(record.InBufferSize),
                                              static_cast<DWORD>(record.OutBufferSize)))
        return ConfigFailed;
    if ((mask & StateChanged) && !SetCommState(record.Handle, &record.Dcb))
        return ConfigFailed;
    if ((mask & TimeoutsChanged) && !ApplyReadTimeout(record))
        return ConfigFailed;
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
