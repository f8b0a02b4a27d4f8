// The handlers of the output and input directions of an open port.
#pragma once

#include "platform/host.h"
#include "ports/port_record.h"

#include <cstdint>

std::int32_t Write(PortRecord& record, std::int32_t outputCount, mxArray* outputs[], std::int32_t inputCount,
                   const mxArray* inputs[]);
std::int32_t GetWriteStatus(PortRecord& record, std::int32_t outputCount, mxArray* outputs[],
                            std::int32_t inputCount, const mxArray* inputs[]);
std::int32_t FlushWrite(PortRecord& record, std::int32_t outputCount, mxArray* outputs[],
                        std::int32_t inputCount, const mxArray* inputs[]);

std::int32_t Read(PortRecord& record, std::int32_t outputCount, mxArray* outputs[], std::int32_t inputCount,
                  const mxArray* inputs[]);
std::int32_t GetReadStatus(PortRecord& record, std::int32_t outputCount, mxArray* outputs[],
                           std::int32_t inputCount, const mxArray* inputs[]);
std::int32_t FlushRead(PortRecord& record, std::int32_t outputCount, mxArray* outputs[],
                       std::int32_t inputCount, const mxArray* inputs[]);

// The device's error bits and queue sizes. A failed query reads as no error
// bits and empty queues; callers that must know check the result.
struct DeviceQueues {
    bool ok;
    DWORD errors;
    COMSTAT status;
};
DeviceQueues QueryDevice(HANDLE device);

// Widens a 1x0 double result to hold a queue's byte count.
void SetQueueCount(mxArray* row, DWORD bytes);
