// The settings structure that describes a port record, as Open, GetParams and
// SetParams return it.
#pragma once

#include "common/port_record.h"
#include "platform/host.h"

mxArray* ReportSettings(const PortRecord& record);
