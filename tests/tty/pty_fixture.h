// Pseudo-terminal pairs for the tty tests. The test plays the instrument on
// the master side; the code under test opens the slave as COMn through a
// temporary folder of links that QUORVEL_DEVICES names.
#pragma once

#include "scoped_variable.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tty_test {

using Bytes = std::vector<std::uint8_t>;
using std::chrono::milliseconds;

class PseudoTerminal {
  public:
    PseudoTerminal();
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    const std::string& SlavePath() const { return slavePath_; }
    // A descriptor the test keeps on the slave, to read back settings and
    // queues; termios calls on the master would change the slave too.
    int Slave() const { return slave_; }

    void Send(const Bytes& bytes);
    // Up to `count` bytes from the master, waiting at most `limit` in all.
    Bytes Receive(std::size_t count, milliseconds limit);
    // Bytes that reached the slave's input queue and were not read yet.
    std::size_t WaitingAtSlave() const;
    void CloseMaster();

  private:
    int master_ = -1;
    int slave_ = -1;
    std::string slavePath_;
};

// A temporary folder named by QUORVEL_DEVICES, and an empty configuration
// folder as XDG_CONFIG_HOME so that no user's links leak into a test.
class DeviceFolder {
  public:
    DeviceFolder();
    ~DeviceFolder();
    DeviceFolder(const DeviceFolder&) = delete;
    DeviceFolder& operator=(const DeviceFolder&) = delete;

    void Link(int port, const std::string& target);
    void LinkInConfig(int port, const std::string& target);
    std::string TempFile(const std::string& name);

  private:
    std::string root_;
    ScopedVariable devices_{"QUORVEL_DEVICES"};
    ScopedVariable config_{"XDG_CONFIG_HOME"};
};

// Ends the test program when a test blocks for longer than `seconds`: a hang
// fails the run instead of stalling it.
class Watchdog {
  public:
    explicit Watchdog(unsigned seconds);
    ~Watchdog();
};

bool WaitUntil(const std::function<bool()>& condition, milliseconds limit);

// All of `bytes` written to the non-blocking `fd`, waiting for room as needed.
void SendAll(int fd, const Bytes& bytes);
// Up to `count` bytes read from the non-blocking `fd`, waiting at most `limit` in all.
Bytes ReceiveUpTo(int fd, std::size_t count, milliseconds limit);

// Distinct bytes for a stream, so that a lost, doubled or reordered block shows.
Bytes Pattern(std::size_t count, std::uint8_t seed);

// The output and input rates the kernel keeps for the tty, custom rates included.
unsigned OutputRateOf(int fd);
unsigned InputRateOf(int fd);
// Gives the tty an input rate apart from its output rate, as another program may.
void SplitRates(int fd, unsigned input, unsigned output);

} // namespace tty_test
