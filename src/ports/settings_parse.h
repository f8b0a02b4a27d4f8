// Reading a settings structure into a port record: every property is
// validated first and the record is written only when all of them are valid.
#pragma once

#include "common/port_record.h"
#include "platform/host.h"

void ParseSettings(PortRecord& record, const mxArray* settings);
