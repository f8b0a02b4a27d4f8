// The module as a script drives it, through the test host: its commands
// (ModuleCalls), and COM1 and COM2 on pseudo-terminals whose master sides the
// test plays (ModuleTest). The real-driver tests share the commands.
#pragma once

#include "arrays.h"
#include "pty_fixture.h"

#include <gtest/gtest.h>
#include <string>

namespace tty_test {

using test_host::ArrayPtr;

struct ReadOutcome {
    Bytes bytes;
    int status;
    std::size_t rows, columns;
};

struct QueueOutcome {
    double waiting;
    int status;
};

struct ParamsOutcome {
    ArrayPtr settings;
    int status;
};

// Every test starts with a fresh host and ends with every port closed and
// nothing of the module's left behind.
class ModuleCalls : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // The defaults with Port set and a 100 ms read time-out, to keep tests fast.
    static ArrayPtr Settings(const std::string& port);
    static void Set(const ArrayPtr& settings, const std::string& property, ArrayPtr value);

    static int Open(const ArrayPtr& settings);
    static int SetParams(const ArrayPtr& settings);
    static ParamsOutcome GetParams(const ArrayPtr& settings);
    static int Close(const ArrayPtr& settings);
    static int Write(const ArrayPtr& settings, const Bytes& bytes);
    static ReadOutcome Read(const ArrayPtr& settings);
    static ReadOutcome Read(const ArrayPtr& settings, double count);
    static QueueOutcome WriteStatus(const ArrayPtr& settings);
    static QueueOutcome ReadStatus(const ArrayPtr& settings);
    static int FlushRead(const ArrayPtr& settings);
    static int FlushWrite(const ArrayPtr& settings);
    static int DiscardWrites(const ArrayPtr& settings);
};

class ModuleTest : public ModuleCalls {
  protected:
    void SetUp() override;

    // Waits until the far end's bytes reached the port's input queue.
    static void AwaitAtPort(PseudoTerminal& pty, std::size_t count);

    Watchdog watchdog_{60};
    DeviceFolder folder_;
    PseudoTerminal com1_;
    PseudoTerminal com2_;
};

} // namespace tty_test
