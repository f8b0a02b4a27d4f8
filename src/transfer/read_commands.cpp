#include "common/command_handlers.h"
#include "common/host_calls.h"
#include "common/truncation.h"
#include "transfer/device_queues.h"

namespace {

struct ReadOutcome {
    bool ok;
    DWORD got;
};

std::int32_t LineStatus(DWORD errors)
{
    std::int32_t status = 0;
    if (errors & CE_RXOVER)
        status |= Overrun;
    if (errors & (CE_RXPARITY | CE_FRAME | CE_BREAK))
        status |= LineError;
    return status;
}

// The count argument, or else what is waiting in the driver; false when the
// device cannot be asked.
bool DecideCount(PortRecord& record, std::int32_t inputCount, const mxArray* inputs[], std::int64_t& count)
{
    if (inputCount >= 2 && !mxIsEmpty(inputs[1])) {
        count = TruncateTowardZero<std::int32_t>(ScalarOf(inputs[1]));
        return true;
    }
    DeviceQueues queues = QueryDevice(record.Handle);
    record.ErrorFlags |= queues.errors;
    count = queues.status.cbInQue;
    return queues.ok;
}

// A read cancelled by our own purge after its time-out still delivers the
// bytes it transferred; any other failed outcome is a failed read.
ReadOutcome FetchOutcome(const PortRecord& record, OVERLAPPED& overlapped, bool cancelled)
{
    DWORD got = 0;
    if (GetOverlappedResult(record.Handle, &overlapped, &got, TRUE))
        return {true, got};
    return {cancelled && GetLastError() == ERROR_OPERATION_ABORTED, got};
}

ReadOutcome TransferRead(PortRecord& record, void* buffer, DWORD count, OVERLAPPED& overlapped)
{
    if (!ReadFile(record.Handle, buffer, count, nullptr, &overlapped) && GetLastError() != ERROR_IO_PENDING)
        return {false, 0};
    WaitForSingleObject(overlapped.hEvent, record.ReadTimeout);
    DeviceQueues queues = QueryDevice(record.Handle);
    record.ErrorFlags |= queues.errors;
    if (queues.status.cbInQue != 0)
        return FetchOutcome(record, overlapped, false);
    if (!PurgeComm(record.Handle, PURGE_RXABORT)) {
        // The read may still be writing into the buffer: let it end first.
        FetchOutcome(record, overlapped, false);
        return {false, 0};
    }
    return FetchOutcome(record, overlapped, true);
}

ReadOutcome RunRead(PortRecord& record, void* buffer, DWORD count)
{
    OVERLAPPED overlapped{};
    overlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (overlapped.hEvent == nullptr)
        return {false, 0};
    ReadOutcome outcome = TransferRead(record, buffer, count, overlapped);
    CloseHandle(overlapped.hEvent);
    return outcome;
}

// Adds what the line says after the transfer, consumes the recorded error
// bits and hands the bytes to the result (none after an I/O error).
std::int32_t DeliverRead(PortRecord& record, mxArray* row, void* buffer, std::int32_t status, DWORD got)
{
    DeviceQueues after = QueryDevice(record.Handle);
    if (after.status.cbInQue > 0)
        status |= Pending;
    DWORD errors = after.errors | record.ErrorFlags;
    record.ErrorFlags = 0;
    if (errors & CE_IOE)
        got = 0;
    if (got > 0)
        GrowRowWithBlock(row, buffer, got);
    else
        mxFree(buffer);
    return status | LineStatus(errors);
}

} // namespace

std::int32_t Read(const CommandCall& call)
{
    PortRecord& record = call.Record;
    const mwSize emptyRow[2] = {1, 0};
    call.Outputs[0] = ArrayOrAbort(mxCreateNumericArray(2, emptyRow, mxUINT8_CLASS, mxREAL));
    if (!IsOpen(record))
        return NotOpen;
    std::int64_t count = 0;
    if (!DecideCount(record, call.InputCount, call.Inputs, count))
        return IoFailed;
    if (count <= 0)
        return 0;
    void* buffer = CallocOrAbort(static_cast<std::size_t>(count), 1);
    ReadOutcome outcome = RunRead(record, buffer, static_cast<DWORD>(count));
    if (!outcome.ok)
        return IoFailed;
    return DeliverRead(record, call.Outputs[0], buffer, outcome.got != count ? TimedOut : 0, outcome.got);
}

std::int32_t GetReadStatus(const CommandCall& call)
{
    PortRecord& record = call.Record;
    call.Outputs[0] = ArrayOrAbort(mxCreateDoubleMatrix(1, 0, mxREAL));
    if (!IsOpen(record))
        return NotOpen;
    DeviceQueues queues = QueryDevice(record.Handle);
    if (!queues.ok)
        return IoFailed;
    record.ErrorFlags |= queues.errors;
    SetQueueCount(call.Outputs[0], queues.status.cbInQue);
    return (queues.status.cbInQue > 0 ? Pending : 0) | LineStatus(record.ErrorFlags);
}

std::int32_t FlushRead(const CommandCall& call)
{
    PortRecord& record = call.Record;
    if (!IsOpen(record))
        return NotOpen;
    return PurgeComm(record.Handle, PURGE_RXABORT | PURGE_RXCLEAR) ? 0 : IoFailed;
}
