// Handing a record's settings to its open device, group by group.
#pragma once

#include "common/port_record.h"

#include <cstdint>

enum ChangeMask : unsigned { BuffersChanged = 1, StateChanged = 2, TimeoutsChanged = 4 };

// Applies the changed groups, and those refused before, to the device in a
// fixed order, stopping at the first one the device rejects; that group and
// the ones after it stay refused until a later call applies them.
std::int32_t ApplyChanges(PortRecord& record, unsigned mask);
