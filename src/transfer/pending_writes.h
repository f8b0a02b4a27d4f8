// The per-port list of writes in flight. Nodes and buffers are persistent
// host memory so that they outlive the call that started the write.
#pragma once

#include "common/port_record.h"

#include <cstdint>

// The most events one wait can take; the drain and the exit hook wait for
// the newest writes in flight, this many at a time.
constexpr int MaxWaitedEvents = 64;

struct PendingWrite {
    PendingWrite* Next; // older
    void* Buffer;
    OVERLAPPED Overlapped; // its hEvent is signalled when the write completes
    DWORD Length;          // bytes queued, to tell a write that ended short
    bool Discarded;        // aborted by FlushWrite's purge: its loss is asked for
};

// Frees the writes whose events are signalled, without waiting. While the
// port is open, a write that ended failed or short (and was not discarded)
// marks the record's WritesLost.
void ReapWrites(PortRecord& record);

// Waits for the writes in flight in 500 ms slices; gives up with TimedOut
// once more than WriteTimeout/500 slices have timed out, or at once when the
// user interrupts.
std::int32_t DrainWrites(PortRecord& record);

// As DrainWrites, with room for the waited events provided by the caller
// instead of the host: the exit hook must not depend on host memory.
std::int32_t DrainWritesInto(PortRecord& record, HANDLE* events);

// After the handle is closed (which ends their transfers): waits a bounded
// time for the remaining writes and frees those that ended. The rest become
// orphans, leaving the record's list empty.
void ReleaseWrites(PortRecord& record);

// Frees the orphans whose transfers have ended since; never waits.
void ReapOrphans();
// Orphans still held because the OS may yet write into them.
std::int32_t OrphanCount();

void AddPendingWrite(PortRecord& record, PendingWrite* write);
// Closes a write's event (when it has one) and frees its node and buffer;
// only for a write the OS has ended or never started.
void FreeWrite(PendingWrite* write);
// The writes in flight are about to be aborted on purpose.
void MarkDiscarded(PortRecord& record);
// IoFailed once for writes lost since the last report, else 0.
std::int32_t TakeLostWrites(PortRecord& record);
