#include "telnet_stream.h"

#include <cstring>

namespace telnet {

void StreamParser::Feed(const std::uint8_t* bytes, std::size_t count, Receiver& receiver)
{
    std::size_t i = 0;
    while (i < count) {
        if (state_ == State::Data) {
            // Runs of plain data go out whole.
            const void* found = std::memchr(bytes + i, Iac, count - i);
            const std::size_t end =
                found ? static_cast<std::size_t>(static_cast<const std::uint8_t*>(found) - bytes) : count;
            if (end > i)
                receiver.Data(bytes + i, end - i);
            i = end;
            if (i < count) {
                state_ = State::Command;
                ++i;
            }
            continue;
        }
        const std::uint8_t byte = bytes[i++];
        if (state_ == State::Command)
            Command(byte, receiver);
        else if (state_ == State::Option) {
            receiver.Negotiation(verb_, byte);
            state_ = State::Data;
        } else {
            Subnegotiated(byte, receiver);
        }
    }
}

void StreamParser::Command(std::uint8_t byte, Receiver& receiver)
{
    switch (byte) {
    case Iac:
        receiver.Data(&byte, 1);
        state_ = State::Data;
        return;
    case Do:
    case Dont:
    case Will:
    case Wont:
        verb_ = byte;
        state_ = State::Option;
        return;
    case SubnegotiationBegin:
        subLength_ = 0;
        subTooLong_ = false;
        state_ = State::Subnegotiation;
        return;
    default: // NOP, go-ahead and the rest carry nothing for a serial line
        state_ = State::Data;
        return;
    }
}

void StreamParser::Subnegotiated(std::uint8_t byte, Receiver& receiver)
{
    if (state_ == State::SubnegotiationIac) {
        if (byte == SubnegotiationEnd) {
            if (!subTooLong_ && subLength_ > 0)
                receiver.Subnegotiation(sub_[0], sub_ + 1, subLength_ - 1);
            state_ = State::Data;
            return;
        }
        state_ = State::Subnegotiation;
        // IAC IAC is a payload 255; anything else after IAC is a broken frame,
        // kept as the byte it is.
    } else if (byte == Iac) {
        state_ = State::SubnegotiationIac;
        return;
    }
    if (subLength_ < sizeof sub_)
        sub_[subLength_++] = byte;
    else
        subTooLong_ = true;
}

Escaped EscapeData(const std::uint8_t* from, std::size_t count, std::uint8_t* into, std::size_t room)
{
    Escaped done{0, 0};
    while (done.taken < count) {
        const std::uint8_t byte = from[done.taken];
        const std::size_t size = byte == Iac ? 2 : 1;
        if (done.written + size > room)
            break;
        into[done.written++] = byte;
        if (byte == Iac)
            into[done.written++] = Iac;
        ++done.taken;
    }
    return done;
}

} // namespace telnet
