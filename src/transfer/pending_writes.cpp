#include "transfer/pending_writes.h"

#include "common/host_calls.h"

namespace {

constexpr DWORD SliceMilliseconds = 500;

// A closed handle has ended every transfer; its event is signalled within
// this time on any system, so the release never hangs.
constexpr DWORD ReleaseWaitMilliseconds = 5000;

void FreeWrite(PendingWrite* write)
{
    CloseHandle(write->Overlapped.hEvent);
    mxFree(write->Buffer);
    mxFree(write);
}

int CollectNewestEvents(const PortRecord& record, HANDLE* events)
{
    int count = 0;
    for (PendingWrite* write = record.PendingHead; write != nullptr && count < MaxWaitedEvents;
         write = write->Next)
        events[count++] = write->Overlapped.hEvent;
    return count;
}

} // namespace

void AddPendingWrite(PortRecord& record, PendingWrite* write)
{
    write->Next = record.PendingHead;
    record.PendingHead = write;
    ++record.PendingCount;
}

void ReapWrites(PortRecord& record)
{
    PendingWrite** link = &record.PendingHead;
    while (*link != nullptr) {
        PendingWrite* write = *link;
        if (WaitForSingleObject(write->Overlapped.hEvent, 0) != WAIT_OBJECT_0) {
            link = &write->Next;
            continue;
        }
        *link = write->Next;
        FreeWrite(write);
        --record.PendingCount;
    }
}

std::int32_t DrainWritesInto(PortRecord& record, HANDLE* events)
{
    const DWORD limit = record.WriteTimeout / SliceMilliseconds;
    DWORD timedOutSlices = 0;
    // Slices that end early (all waited writes done) do not count. A failed
    // wait counts only when nothing could be reaped after it, so that a wait
    // that keeps failing cannot keep the drain spinning.
    while (record.PendingCount > 0 && timedOutSlices <= limit) {
        int count = CollectNewestEvents(record, events);
        DWORD waited = WaitForMultipleObjects(count, events, TRUE, SliceMilliseconds);
        std::int32_t before = record.PendingCount;
        ReapWrites(record);
        if (waited == WAIT_TIMEOUT || (waited == WAIT_FAILED && record.PendingCount == before))
            ++timedOutSlices;
    }
    return timedOutSlices > limit ? TimedOut : 0;
}

std::int32_t DrainWrites(PortRecord& record)
{
    if (record.PendingCount <= 0)
        return 0;
    auto* events = static_cast<HANDLE*>(CallocOrAbort(MaxWaitedEvents, sizeof(HANDLE)));
    std::int32_t status = DrainWritesInto(record, events);
    mxFree(events);
    return status;
}

void ReleaseWrites(PortRecord& record)
{
    while (record.PendingHead != nullptr) {
        PendingWrite* write = record.PendingHead;
        record.PendingHead = write->Next;
        WaitForSingleObject(write->Overlapped.hEvent, ReleaseWaitMilliseconds);
        FreeWrite(write);
    }
    record.PendingCount = 0;
}
