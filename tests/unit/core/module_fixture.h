// The module as a script sees it: calls through the test host against the
// simulated devices, with every test ending in a clean module state.
#pragma once

#include "arrays.h"
#include "common/port_record.h"
#include "kernel_testing.h"
#include "sim_device.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace quorvel_test {

using namespace test_host;
using Bytes = std::vector<std::uint8_t>;

// quorvel(arguments...) with nlhs requested outputs.
template <class... Arguments> CallResult Quorvel(int nlhs, const Arguments&... arguments)
{
    return Call(mexFunction, nlhs, {arguments.get()...});
}

// Move-only arrays for a range-for loop.
template <class... Arrays> std::vector<ArrayPtr> ArrayList(Arrays... arrays)
{
    std::vector<ArrayPtr> list;
    (list.push_back(std::move(arrays)), ...);
    return list;
}

// The status a command delivered at output position `position` (1-based).
double StatusAt(const CallResult& result, int position);

// The default settings structure with Port set; COM8 is never opened by any
// test, so that a never-opened slot can be inspected.
ArrayPtr PortSettings(const std::string& port = "COM1");
void Set(const ArrayPtr& settings, const std::string& property, ArrayPtr value);

// The names of the device calls made since the simulation's log was cleared.
std::vector<std::string> DeviceCallNames();

class ModuleTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Opens a port and expects status 0.
    void OpenPort(const ArrayPtr& settings);
    // The outcome of a one-output command such as Close or Write.
    double StatusOf(const CallResult& result) { return StatusAt(result, 1); }
};

} // namespace quorvel_test
