// The device's error bits and queue sizes, and the byte count results.
#pragma once

#include "platform/host.h"
#include "platform/serial.h"

// A failed query reads as no error bits and empty queues; callers that must
// know check `ok`.
struct DeviceQueues {
    bool ok;
    DWORD errors;
    COMSTAT status;
};
DeviceQueues QueryDevice(HANDLE device);

// Widens a 1x0 double result to hold a queue's byte count.
void SetQueueCount(mxArray* row, DWORD bytes);
