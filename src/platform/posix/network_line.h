// A serial port on another machine, reached over TCP with the Telnet COM port
// option (RFC 2217): rfc2217://host:port. Settings are asked of the server and
// confirmed by its answers; line-state notifications become line errors; a
// closed connection is a hang-up.
#pragma once

#include "com_port_session.h"
#include "device_names.h"
#include "line.h"
#include "read_limits.h"

#include <chrono>
#include <optional>

namespace posix_serial {

class NetworkLine : public Line {
  public:
    // How long a connection and the option's agreement may take, and how long
    // the server's answers to settings and purges are waited for.
    static constexpr auto ConnectLimit = std::chrono::seconds(5);
    static constexpr auto AnswerLimit = std::chrono::seconds(1);

    // Connected and agreed on the option; null with `error` set:
    // ERROR_FILE_NOT_FOUND for an address that names no host,
    // ERROR_NOT_SUPPORTED for a server that will not speak the option, and
    // ERROR_OPERATION_ABORTED when the host asked to stop.
    static std::unique_ptr<NetworkLine> Connect(const std::string& address, DWORD& error);
    ~NetworkLine() override;

    int Descriptor() const override { return socket_; }
    bool HoldsInput() const override { return session_.InputSize() > 0; }
    bool HoldsOutput() const override { return !session_.Outgoing().empty(); }
    bool QueuesOutput() const override { return false; }
    int Receive(std::uint8_t* into, std::size_t room, std::size_t& got) override;
    int Send(const std::uint8_t* from, std::size_t count, std::size_t& sent) override;
    int Apply(const DCB& dcb) override;
    int Discard(DWORD purgeFlags) override;
    // Closing the connection drops what it still held.
    void Abandon() override {}
    int Waiting(DWORD& input, DWORD& output) override;
    // A network write ends once the socket has taken it (see QueuesOutput).
    int Unsent(std::size_t& bytes) override
    {
        bytes = 0;
        return 0;
    }
    DWORD TakeErrors() override;

  private:
    explicit NetworkLine(int socket) : socket_(socket) {}
    DWORD Negotiate(Clock::time_point deadline);
    int Pump();
    int Flush();
    int AwaitAnswers(std::initializer_list<Setting> settings, Clock::time_point deadline);
    void AskFor(const DCB& dcb);
    bool IsKept(const DCB& dcb) const;

    const int socket_;
    ComPortSession session_;
    bool closed_ = false;
    // The settings the server last confirmed, if any.
    std::optional<DCB> applied_;
};

} // namespace posix_serial
