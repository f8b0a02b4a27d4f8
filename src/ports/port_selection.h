// Which record a call addresses.
#pragma once

#include "common/port_record.h"
#include "platform/host.h"

// Returns the slot named by a settings structure, or a fresh copy of the
// defaults for the keyword "default"; aborts the call when the argument names
// no port.
PortRecord& SelectPort(const mxArray* portArgument);
