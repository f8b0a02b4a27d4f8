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
// the close; they leave the slot here, freed or, while the OS has not yet
// ended them, kept as orphans.
void CloseDevice(PortRecord& record)
{
    CloseHandle(record.Handle);
    record.Handle = INVALID_HANDLE_VALUE;
    record.RefusedGroups = 0;
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
    // The drain reaps, and so may find lost writes: it goes first.
    std::int32_t status = DrainWrites(record);
    status |= TakeLostWrites(record);
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
    // Orphans that ended are freed; at unload, those the OS has still not
    // ended stay allocated on purpose (see pending_writes.cpp), unwaited.
    ReapOrphans();
    while (mexIsLocked())
        mexUnlock();
}

std::int32_t CloseAll(const CommandCall&)
{
    CloseAllPorts();
    return 0;
}
