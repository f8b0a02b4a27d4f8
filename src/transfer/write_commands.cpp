#include "common/command_handlers.h"
#include "common/host_calls.h"
#include "common/text.h"
#include "transfer/device_queues.h"
#include "transfer/pending_writes.h"

#include <cstring>
#include <limits>

namespace {

bool AsksToDiscard(std::int32_t inputCount, const mxArray* inputs[])
{
    char mode[8];
    return inputCount >= 2 && mxGetString(inputs[1], mode, sizeof mode) == 0 &&
           EqualIgnoringCase(mode, "discard");
}

// The element count travels to WriteFile as a 32-bit count: longer data is
// refused whole rather than sent short.
std::size_t CheckedWriteLength(const mxArray* data)
{
    if (mxGetClassID(data) != mxUINT8_CLASS)
        HostAbort(messages::DataNotUint8);
    std::size_t length = mxGetNumberOfElements(data);
    if (length > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max()))
        HostAbort(messages::DataTooLong);
    return length;
}

bool StartWrite(const PortRecord& record, PendingWrite* write, std::size_t length)
{
    return WriteFile(record.Handle, write->Buffer, static_cast<DWORD>(length), nullptr, &write->Overlapped) ||
           GetLastError() == ERROR_IO_PENDING;
}

std::int32_t DiscardWrites(PortRecord& record)
{
    if (!PurgeComm(record.Handle, PURGE_TXABORT | PURGE_TXCLEAR))
        return IoFailed;
    MarkDiscarded(record);
    return 0;
}

} // namespace

std::int32_t Write(const CommandCall& call)
{
    PortRecord& record = call.Record;
    if (!IsOpen(record))
        return NotOpen;
    ReapWrites(record);
    const mxArray* data = call.Inputs[1];
    if (mxIsEmpty(data))
        return 0;
    std::size_t length = CheckedWriteLength(data);
    // Host memory before the event: a host may end the call inside a failed
    // allocation, and an event made before it would be lost.
    auto* write = static_cast<PendingWrite*>(CallocOrAbort(1, sizeof(PendingWrite)));
    write->Buffer = CallocOrAbort(length, 1);
    std::memcpy(write->Buffer, mxGetPr(data), length);
    write->Length = static_cast<DWORD>(length);
    // A write without an event could never be waited for: it is not started.
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    write->Overlapped.hEvent = event;
    if (event == nullptr || !StartWrite(record, write, length)) {
        // A write that never started holds nothing the OS uses.
        FreeWrite(write);
        return IoFailed;
    }
    mexMakeMemoryPersistent(write->Buffer);
    mexMakeMemoryPersistent(write);
    AddPendingWrite(record, write);
    return Pending;
}

std::int32_t GetWriteStatus(const CommandCall& call)
{
    PortRecord& record = call.Record;
    call.Outputs[0] = ArrayOrAbort(mxCreateDoubleMatrix(1, 0, mxREAL));
    if (!IsOpen(record))
        return NotOpen;
    ReapWrites(record);
    DeviceQueues queues = QueryDevice(record.Handle);
    if (!queues.ok)
        return IoFailed;
    // The query clears the device's error bits: keep them for the read side.
    record.ErrorFlags |= queues.errors;
    SetQueueCount(call.Outputs[0], queues.status.cbOutQue);
    return record.PendingCount > 0 ? Pending : 0;
}

std::int32_t FlushWrite(const CommandCall& call)
{
    PortRecord& record = call.Record;
    if (!IsOpen(record))
        return NotOpen;
    ReapWrites(record);
    std::int32_t status;
    if (AsksToDiscard(call.InputCount, call.Inputs))
        status = DiscardWrites(record);
    else
        status = DrainWrites(record);
    ReapWrites(record);
    return status | TakeLostWrites(record);
}
