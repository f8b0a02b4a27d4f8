// The Win32 serial calls driven directly against a pseudo-terminal on COM1.
#pragma once

#include "kernel_testing.h"
#include "pty_fixture.h"

#include <deque>
#include <gtest/gtest.h>

namespace tty_test {

constexpr DWORD Forever = 0xFFFFFFFFu;

// One overlapped transfer: its OVERLAPPED, event and buffer, owned by the
// fixture so that they outlive the device that may still write into them.
struct Transfer {
    OVERLAPPED overlapped{};
    Bytes buffer;
};

struct Outcome {
    bool ok;
    DWORD error; // GetLastError() when not ok
    DWORD transferred;
};

class DeviceTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    HANDLE OpenPort(const char* name = "COM1");
    void ClosePort();
    void SetReadTimeouts(DWORD interval, DWORD multiplier, DWORD constant);
    // Applies the port's current DCB as changed by `edit`; expects success.
    void Reconfigure(void (*edit)(DCB&));

    Transfer& NewTransfer(std::size_t bufferSize = 0);
    Outcome StartRead(Transfer& transfer, DWORD count);
    Outcome StartWrite(Transfer& transfer, const Bytes& bytes);
    Outcome ResultOf(Transfer& transfer, bool wait);
    bool Signalled(const Transfer& transfer, DWORD milliseconds);
    COMSTAT Queues();

    Watchdog watchdog_{30};
    DeviceFolder folder_;
    PseudoTerminal pty_;
    HANDLE port_ = INVALID_HANDLE_VALUE;
    std::deque<Transfer> transfers_;
};

} // namespace tty_test
