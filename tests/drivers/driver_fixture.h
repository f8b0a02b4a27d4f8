// The module on real serial drivers. QUORVEL_DRIVER_UARTS names two UARTs
// joined by a null-modem cable, "/dev/ttyS1:/dev/ttyS2": the first is COM1,
// the test plays the far end on the second. QUORVEL_DRIVER_USB names a USB
// adapter, COM3, whose far end echoes (a loopback plug, or the lane's host).
// QUORVEL_DRIVER_CONTROL names the line to the lane's host, which puts a
// break on the first UART's input and unplugs and replugs the adapter.
// A test skips when what it needs is not named.
#pragma once

#include "module_fixture.h"

#include <cstdint>
#include <memory>
#include <string>
#include <termios.h>

namespace driver_test {

using tty_test::Bytes;
using tty_test::milliseconds;

// What the driver tells of a UART (TIOCGSERIAL); read with a short open.
struct SerialInfo {
    unsigned ioBase = 0; // 0 for a memory-mapped UART or a USB adapter
    unsigned baudBase = 0;
    int type = 0;
};
SerialInfo SerialInfoOf(const std::string& device);

// An 8250-style UART's registers at its I/O ports, through /dev/port.
class UartRegisters {
  public:
    explicit UartRegisters(unsigned base);
    ~UartRegisters();
    UartRegisters(const UartRegisters&) = delete;
    UartRegisters& operator=(const UartRegisters&) = delete;

    bool Available() const { return fd_ >= 0; }
    std::uint8_t LineControl() const;
    std::uint8_t ModemControl() const;
    // Sets the divisor latch access bit for the moment it reads the latch:
    // read it only while the port sends and receives nothing.
    unsigned Divisor() const;

  private:
    std::uint8_t Get(unsigned offset) const;
    void Put(unsigned offset, std::uint8_t value) const;

    int fd_ = -1;
    unsigned base_;
};

// A tty the test holds itself, raw and non-blocking.
class RawTty {
  public:
    explicit RawTty(const std::string& path);
    ~RawTty();
    RawTty(const RawTty&) = delete;
    RawTty& operator=(const RawTty&) = delete;

    int Fd() const { return fd_; }
    // The speed (a B* code) and the frame's CSIZE, PARENB, PARODD, CMSPAR and CSTOPB.
    void Configure(speed_t speed, tcflag_t frame);
    void Send(const Bytes& bytes);
    // Up to `count` bytes, waiting at most `limit` in all.
    Bytes Receive(std::size_t count, milliseconds limit);
    void DiscardInput();

  private:
    int fd_ = -1;
};

// The lane host's control line: one request a line, answered "ok" or "error ...".
class LaneControl {
  public:
    explicit LaneControl(const std::string& path) : line_(path) {}
    // Null when QUORVEL_DRIVER_CONTROL is not set.
    static std::unique_ptr<LaneControl> FromEnvironment();
    // "break", "unplug-after <bytes>", "replug", "sink" or "echo"; the answer.
    std::string Ask(const std::string& request);

  private:
    RawTty line_;
};

class DriverTest : public tty_test::ModuleCalls {
  protected:
    void SetUp() override;

    tty_test::Watchdog watchdog_{90};
    tty_test::DeviceFolder folder_;
    std::unique_ptr<LaneControl> control_;
};

// COM1 on the first UART, the far end held raw at 9600 8N1 on the second.
class UartTest : public DriverTest {
  protected:
    void SetUp() override;

    std::string near_;
    SerialInfo info_;
    std::unique_ptr<UartRegisters> registers_;
    std::unique_ptr<RawTty> far_;
};

// COM3 on the USB adapter.
class UsbTest : public DriverTest {
  protected:
    void SetUp() override;

    std::string adapter_;
};

// Sets the frame of a settings structure: 8, "none", 1 and so on.
void SetFrame(const test_host::ArrayPtr& settings, double byteSize, const char* parity, double stopBits);

} // namespace driver_test
