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
};

// Frees the writes whose events are signalled, without waiting.
void ReapWrites(PortRecord& record);

// Waits for the writes in flight in 500 ms slices; gives up with TimedOut
// once more than WriteTimeout/500 slices have timed out.
std::int32_t DrainWrites(PortRecord& record);

// As DrainWrites, with room for the waited events provided by the caller
// instead of the host: the exit hook must not depend on host memory.
std::int32_t DrainWritesInto(PortRecord& record, HANDLE* events);

// After the handle is closed (which ends their transfers): waits for the
// remaining writes' events and frees them, leaving an empty list.
void ReleaseWrites(PortRecord& record);

void AddPendingWrite(PortRecord& record, PendingWrite* write);
