// The client's side of the Telnet COM port option (RFC 2217) over one
// connection, without the connection: what arrives is fed in, what is to be
// sent collects in Outgoing(). Received data waits in a bounded buffer; the
// caller reads no more from the network than it has room for.
#pragma once

#include "serial_api.h"
#include "telnet_stream.h"

#include <array>
#include <cstdint>
#include <vector>

namespace posix_serial {

// What the server is asked to set, each answered on its own.
enum class Setting { Rate, DataSize, Parity, StopSize, Flow, Dtr, Rts, Purge, Count };

enum class OptionState { Asked, Agreed, Refused };

class ComPortSession : private telnet::Receiver {
  public:
    static constexpr std::size_t InputCapacity = 64 * 1024;
    // Replies beyond this wait for the network to take the earlier ones; a
    // server that keeps asking faster than it reads gets no more answers.
    static constexpr std::size_t MostOutgoing = 4096;

    // Starts with the client's requests: binary and no go-ahead both ways, and
    // the COM port option, the only one that is required.
    ComPortSession();

    void Receive(const std::uint8_t* bytes, std::size_t count);
    std::size_t InputRoom() const { return InputCapacity - InputSize(); }
    std::size_t InputSize() const { return input_.size() - inputStart_; }
    std::size_t TakeInput(std::uint8_t* into, std::size_t room);
    void DropInput();

    OptionState ComPort() const { return comPort_; }
    // The CE_ bits of the line-state notifications since the last take.
    DWORD TakeErrors();

    // Asks the server to set `setting`; the value is the option's own code.
    void Ask(Setting setting, std::uint32_t value);
    // Asks for the notifications of line errors only, none of modem lines.
    void AskNotifications();
    bool IsAnswered(Setting setting) const;
    std::uint32_t Answer(Setting setting) const { return answers_[Index(setting)].value; }

    std::vector<std::uint8_t>& Outgoing() { return outgoing_; }
    const std::vector<std::uint8_t>& Outgoing() const { return outgoing_; }

  private:
    struct Answered {
        std::uint32_t asked = 0;
        std::uint32_t answered = 0;
        std::uint32_t value = 0;
    };
    static std::size_t Index(Setting setting) { return static_cast<std::size_t>(setting); }

    void Data(const std::uint8_t* bytes, std::size_t count) override;
    void Negotiation(std::uint8_t verb, std::uint8_t option) override;
    void Subnegotiation(std::uint8_t option, const std::uint8_t* payload, std::size_t length) override;
    void ServerAnswer(std::uint8_t command, const std::uint8_t* value, std::size_t length);
    void Note(Setting setting, std::uint32_t value);
    void Send(std::uint8_t verb, std::uint8_t option);
    void SendCommand(std::uint8_t command, const std::uint8_t* value, std::size_t length);

    telnet::StreamParser parser_;
    std::vector<std::uint8_t> input_;
    std::size_t inputStart_ = 0;
    std::vector<std::uint8_t> outgoing_;
    std::array<Answered, static_cast<std::size_t>(Setting::Count)> answers_{};
    OptionState comPort_ = OptionState::Asked;
    // Options by number as this side holds them: ours (WILL) and theirs (DO).
    std::array<bool, 256> ours_{};
    std::array<bool, 256> theirs_{};
    DWORD errors_ = 0;
};

} // namespace posix_serial
