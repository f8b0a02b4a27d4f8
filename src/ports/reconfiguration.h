// Handing a record's settings to its open device, group by group.
#pragma once

#include "common/port_record.h"

#include <cstdint>

enum ChangeMask : unsigned { BuffersChanged = 1, StateChanged = 2, TimeoutsChanged = 4 };

// Applies the changed groups to the device in a fixed order, stopping at the
// first one the device rejects.
std::int32_t ApplyChanges(PortRecord& record, unsigned mask);
