// Telnet framing (RFC 854, 855) as a network serial port speaks it: data with
// IAC doubled, option negotiation and subnegotiation. Everything read comes
// from the network and is untrusted: a subnegotiation longer than any this
// side understands is dropped whole, and nothing else is kept.
#pragma once

#include <cstddef>
#include <cstdint>

namespace telnet {

constexpr std::uint8_t Iac = 255;
constexpr std::uint8_t Dont = 254;
constexpr std::uint8_t Do = 253;
constexpr std::uint8_t Wont = 252;
constexpr std::uint8_t Will = 251;
constexpr std::uint8_t SubnegotiationBegin = 250;
constexpr std::uint8_t SubnegotiationEnd = 240;

constexpr std::uint8_t BinaryOption = 0;
constexpr std::uint8_t SuppressGoAheadOption = 3;
constexpr std::uint8_t ComPortOption = 44;

// The longest subnegotiation payload kept, after its option byte; the longest
// that the COM port option defines is a command byte and a 4-byte value.
constexpr std::size_t MostSubnegotiation = 32;

class Receiver {
  public:
    virtual void Data(const std::uint8_t* bytes, std::size_t count) = 0;
    virtual void Negotiation(std::uint8_t verb, std::uint8_t option) = 0;
    virtual void Subnegotiation(std::uint8_t option, const std::uint8_t* payload, std::size_t length) = 0;

  protected:
    ~Receiver() = default;
};

// Splits a received stream into what `receiver` is told, across any number
// of pieces; at most as many data bytes come out as went in.
class StreamParser {
  public:
    void Feed(const std::uint8_t* bytes, std::size_t count, Receiver& receiver);

  private:
    enum class State { Data, Command, Option, Subnegotiation, SubnegotiationIac };
    void Command(std::uint8_t byte, Receiver& receiver);
    void Subnegotiated(std::uint8_t byte, Receiver& receiver);

    State state_ = State::Data;
    std::uint8_t verb_ = 0;
    std::uint8_t sub_[1 + MostSubnegotiation] = {};
    std::size_t subLength_ = 0;
    bool subTooLong_ = false;
};

// How much of `from` fits into `room` bytes once each IAC is doubled.
struct Escaped {
    std::size_t taken;   // bytes of `from`
    std::size_t written; // bytes of `into`
};
Escaped EscapeData(const std::uint8_t* from, std::size_t count, std::uint8_t* into, std::size_t room);

} // namespace telnet
