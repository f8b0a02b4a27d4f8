// The settings structure that describes a port record, as Open, GetParams and
// SetParams return it.
#pragma once

#include "platform/host.h"
#include "ports/port_record.h"

#include <cstdint>

mxArray* ReportSettings(const PortRecord& record);

std::int32_t GetParams(PortRecord& record, std::int32_t outputCount, mxArray* outputs[],
                       std::int32_t inputCount, const mxArray* inputs[]);
