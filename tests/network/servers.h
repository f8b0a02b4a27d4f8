// The network serial port servers the tests talk to, each started by the test
// on 127.0.0.1 with a bounded lifetime and ended with it: ser2net on a
// pseudo-terminal, pyserial's port manager on a loop device, and our own
// fault-injecting server (fault_server.py).
#pragma once

#include "pty_fixture.h"

#include <string>
#include <sys/types.h>
#include <vector>

namespace network_test {

using tty_test::milliseconds;

class ServerProcess {
  public:
    ServerProcess() = default;
    ~ServerProcess();
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;

    // rfc2217://127.0.0.1:<port>
    std::string Address() const;
    // The server's next line of report, or "" when none comes within `limit`.
    std::string NextLine(milliseconds limit);
    // Lines until one starts with `prefix` (that one returned), or "".
    std::string LineStartingWith(const std::string& prefix, milliseconds limit);

  protected:
    // Runs argv with its standard output piped to us.
    void Start(const std::vector<std::string>& argv);
    void AwaitListening();
    void Stop();

    pid_t pid_ = -1;
    int output_ = -1;
    int port_ = 0;
    std::string pending_;
};

// fault_server.py in one of its modes; its port is its first line.
class FaultServer : public ServerProcess {
  public:
    explicit FaultServer(const std::string& mode);
};

// pyserial's serial.rfc2217.PortManager over loop://.
class PortManagerServer : public ServerProcess {
  public:
    PortManagerServer();
};

// ser2net with a telnet(rfc2217) accepter in front of `device` (a
// pseudo-terminal's slave, whose master the test plays, or a UART).
class Ser2netServer : public ServerProcess {
  public:
    explicit Ser2netServer(const std::string& device);
    ~Ser2netServer();

  private:
    std::string folder_;
};

// A port nothing listens on.
int UnusedPort();

} // namespace network_test
