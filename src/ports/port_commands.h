// The handlers that open, close and reconfigure ports.
#pragma once

#include "platform/host.h"
#include "ports/port_record.h"

#include <cstdint>

std::int32_t Open(PortRecord& record, std::int32_t outputCount, mxArray* outputs[], std::int32_t inputCount,
                  const mxArray* inputs[]);
std::int32_t Close(PortRecord& record, std::int32_t outputCount, mxArray* outputs[], std::int32_t inputCount,
                   const mxArray* inputs[]);
std::int32_t CloseAll(PortRecord& record, std::int32_t outputCount, mxArray* outputs[],
                      std::int32_t inputCount, const mxArray* inputs[]);
std::int32_t SetParams(PortRecord& record, std::int32_t outputCount, mxArray* outputs[],
                       std::int32_t inputCount, const mxArray* inputs[]);

// Closes every open port and releases every host lock; CloseAll's body and
// the module's exit hook.
void CloseAllPorts();

enum ChangeMask : unsigned { BuffersChanged = 1, StateChanged = 2, TimeoutsChanged = 4 };

// Applies the changed groups to the device in a fixed order, stopping at the
// first one the device rejects.
std::int32_t ApplyChanges(PortRecord& record, unsigned mask);
