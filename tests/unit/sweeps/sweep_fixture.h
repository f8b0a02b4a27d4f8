// The module driven for the sweeps: every scenario starts from a clean
// module and clean devices, runs one call under one injected fault, and must
// leave nothing behind once CloseAll has run.
#pragma once

#include "arrays.h"
#include "common/port_record.h"
#include "kernel_testing.h"
#include "sim_device.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace sweep {

using namespace test_host;
using Bytes = std::vector<std::uint8_t>;
using Arguments = std::vector<ArrayPtr>;

// quorvel(arguments...) with nlhs requested outputs.
CallResult Quorvel(int nlhs, const Arguments& arguments);
template <class... Arrays> Arguments Args(Arrays... arrays)
{
    Arguments list;
    (list.push_back(std::move(arrays)), ...);
    return list;
}

// The defaults for a port, with a 20 ms read time-out and a 1 s write time-out.
ArrayPtr Settings(const std::string& port);
void Set(const ArrayPtr& settings, const std::string& property, ArrayPtr value);

// The status at output `position` (1-based), or -1 when the call aborted or delivered none.
double StatusAt(const CallResult& result, int position);
// Commands the scenarios use to set up and to look afterwards; each expects
// the call not to abort.
double Open(const ArrayPtr& settings);
double WriteBytes(const ArrayPtr& settings, const Bytes& bytes);
// GetParams: the reported value of a numeric property, and the status.
double ReportedNumber(const ArrayPtr& settings, const std::string& property);
double GetParamsStatus(const ArrayPtr& settings);
// GetReadStatus: the status, and the bytes waiting.
double ReadStatus(const ArrayPtr& settings, double* waiting = nullptr);

// While the module drains, the devices finish every write in flight.
void CompleteWritesWhenDrained();

// Ends a scenario: CloseAll, then nothing may be left (locks, host memory,
// events, devices, host misuse, waits that would have hung), and the devices
// and host start afresh.
void EndScenario(const std::string& context);

} // namespace sweep
