#include "transfer/device_queues.h"

#include "common/host_calls.h"

DeviceQueues QueryDevice(HANDLE device)
{
    DeviceQueues queues{};
    queues.ok = ClearCommError(device, &queues.errors, &queues.status) != FALSE;
    if (!queues.ok)
        queues = DeviceQueues{};
    return queues;
}

void SetQueueCount(mxArray* row, DWORD bytes)
{
    auto* count = static_cast<double*>(CallocOrAbort(1, sizeof(double)));
    *count = bytes;
    GrowRowWithBlock(row, count, 1);
}
