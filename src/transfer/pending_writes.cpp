#include "transfer/pending_writes.h"

#include "common/host_calls.h"
#include "transfer/waits.h"

namespace {

constexpr DWORD SliceMilliseconds = 500;

// A closed handle has ended every transfer and drivers signal them at once.
// The release gives up after more than this many timed-out slices (1 s) and
// keeps what is left as orphans rather than hold Close any longer.
constexpr DWORD ReleaseSliceLimit = 1;

// Writes whose port was closed before the OS ended them, newest first. Their
// node (holding the OVERLAPPED), buffer and event are freed by a later call
// once the event is signalled. The exit hook frees only those that ended:
// if the module is unloaded, the others are leaked on purpose (OrphanCount
// of them), since the OS may still write into them after the host reuses
// memory it was given back.
PendingWrite* Orphans = nullptr;
std::int32_t OrphansHeld = 0;

bool HasEnded(const PendingWrite& write)
{
    return WaitForSingleObject(write.Overlapped.hEvent, 0) == WAIT_OBJECT_0;
}

// Only an open port can say how its writes ended; those ended by closing it
// were given up on purpose, as were discarded ones.
bool WasLost(const PortRecord& record, PendingWrite& write)
{
    if (!IsOpen(record) || write.Discarded)
        return false;
    DWORD sent = 0;
    return !GetOverlappedResult(record.Handle, &write.Overlapped, &sent, FALSE) || sent < write.Length;
}

// Unlinks and frees the ended writes of a list, keeping the order of the
// rest; returns how many it freed. `owner`, when given, learns of lost ones.
std::int32_t FreeEndedWrites(PendingWrite*& head, PortRecord* owner)
{
    std::int32_t freed = 0;
    PendingWrite** link = &head;
    while (*link != nullptr) {
        PendingWrite* write = *link;
        if (!HasEnded(*write)) {
            link = &write->Next;
            continue;
        }
        if (owner != nullptr && WasLost(*owner, *write))
            owner->WritesLost = true;
        *link = write->Next;
        FreeWrite(write);
        ++freed;
    }
    return freed;
}

int CollectNewestEvents(const PortRecord& record, HANDLE* events)
{
    int count = 0;
    for (PendingWrite* write = record.PendingHead; write != nullptr && count < MaxWaitedEvents;
         write = write->Next)
        events[count++] = write->Overlapped.hEvent;
    return count;
}

// Slices that end early (all waited writes done) do not count. A failed
// wait counts only when nothing could be reaped after it, so that a wait
// that keeps failing cannot keep the drain spinning. An interrupt ends the
// wait as if its time had run out.
std::int32_t WaitForWrites(PortRecord& record, HANDLE* events, DWORD limit)
{
    DWORD timedOutSlices = 0;
    while (record.PendingCount > 0 && timedOutSlices <= limit) {
        int count = CollectNewestEvents(record, events);
        WaitEnd waited = WaitInterruptibly(count, events, TRUE, SliceMilliseconds);
        std::int32_t before = record.PendingCount;
        ReapWrites(record);
        if (waited == WaitEnd::Interrupted)
            return TimedOut;
        if (waited == WaitEnd::TimedOut || (waited == WaitEnd::Failed && record.PendingCount == before))
            ++timedOutSlices;
    }
    return timedOutSlices > limit ? TimedOut : 0;
}

} // namespace

void FreeWrite(PendingWrite* write)
{
    if (write->Overlapped.hEvent != nullptr)
        CloseHandle(write->Overlapped.hEvent);
    mxFree(write->Buffer);
    mxFree(write);
}

void AddPendingWrite(PortRecord& record, PendingWrite* write)
{
    write->Next = record.PendingHead;
    record.PendingHead = write;
    ++record.PendingCount;
}

void MarkDiscarded(PortRecord& record)
{
    for (PendingWrite* write = record.PendingHead; write != nullptr; write = write->Next)
        write->Discarded = true;
}

std::int32_t TakeLostWrites(PortRecord& record)
{
    const bool lost = record.WritesLost;
    record.WritesLost = false;
    return lost ? IoFailed : 0;
}

void ReapWrites(PortRecord& record)
{
    record.PendingCount -= FreeEndedWrites(record.PendingHead, &record);
}

std::int32_t DrainWritesInto(PortRecord& record, HANDLE* events)
{
    return WaitForWrites(record, events, record.WriteTimeout / SliceMilliseconds);
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
    HANDLE events[MaxWaitedEvents];
    WaitForWrites(record, events, ReleaseSliceLimit);
    while (record.PendingHead != nullptr) {
        PendingWrite* write = record.PendingHead;
        record.PendingHead = write->Next;
        write->Next = Orphans;
        Orphans = write;
        ++OrphansHeld;
    }
    record.PendingCount = 0;
}

void ReapOrphans()
{
    OrphansHeld -= FreeEndedWrites(Orphans, nullptr);
}

std::int32_t OrphanCount()
{
    return OrphansHeld;
}
