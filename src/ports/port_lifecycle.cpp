#include "ports/port_lifecycle.h"

#include "common/command_handlers.h"
#include "common/host_calls.h"
#include "ports/port_table.h"
#include "ports/reconfiguration.h"
#include "ports/settings_parse.h"
#include "ports/settings_report.h"
#include "transfer/pending_writes.h"

#include <cstring>

namespace {

void ResetToDefaults(PortRecord& record)
{
    char name[sizeof record.Name];
    std::memcpy(name, record.Name, sizeof name);
    record = DefaultRecord;
    std::memcpy(record.Name, name, sizeof name);
}

HANDLE OpenDevice(const PortRecord& record)
{
    return CreateFileA(record.Name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                       FILE_FLAG_OVERLAPPED, nullptr);
}

// Ends the handle and its lock. Writes that outlived the drain are ended by
// the close; they are freed here so that nothing of them survives the slot.
void CloseDevice(PortRecord& record)
{
    CloseHandle(record.Handle);
    record.Handle = INVALID_HANDLE_VALUE;
    ReleaseWrites(record);
    mexUnlock();
}

} // namespace

std::int32_t Open(const CommandCall& call)
{
    PortRecord& record = call.Record;
    if (!IsOpen(record))
        ResetToDefaults(record);
    ParseSettings(record, call.Inputs[0]);
    if (!IsOpen(record))
        record.Handle = OpenDevice(record);
    std::int32_t status = NotOpen;
    if (IsOpen(record)) {
        status = ApplyChanges(record, BuffersChanged | StateChanged | TimeoutsChanged);
        mexLock();
    }
    call.Outputs[0] = ReportSettings(record);
    return status;
}

std::int32_t Close(const CommandCall& call)
{
    PortRecord& record = call.Record;
    if (!IsOpen(record))
        return NotOpen;
    std::int32_t status = DrainWrites(record);
    CloseDevice(record);
    return status;
}

void CloseAllPorts()
{
    // No host memory here: the exit hook runs while the host shuts down.
    HANDLE events[MaxWaitedEvents];
    for (PortRecord& record : PortTable) {
        if (!IsOpen(record))
            continue;
        DrainWritesInto(record, events);
        CloseDevice(record);
    }
    while (mexIsLocked())
        mexUnlock();
}

std::int32_t CloseAll(const CommandCall&)
{
    CloseAllPorts();
    return 0;
}
