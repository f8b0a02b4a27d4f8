#include "com_port_session.h"

#include <algorithm>
#include <cstring>

namespace posix_serial {
namespace {

using telnet::ComPortOption;

// The option's commands as the client sends them; the server answers each
// with its code plus ServerOffset.
enum Command : std::uint8_t {
    SetBaudRate = 1,
    SetDataSize = 2,
    SetParity = 3,
    SetStopSize = 4,
    SetControl = 5,
    NotifyLineState = 6,
    SetLineStateMask = 10,
    SetModemStateMask = 11,
    PurgeData = 12,
};
constexpr std::uint8_t ServerOffset = 100;

// Line-state bits of the notification, and the masks asked for.
constexpr std::uint8_t OverrunError = 0x02;
constexpr std::uint8_t ParityError = 0x04;
constexpr std::uint8_t FramingError = 0x08;
constexpr std::uint8_t BreakDetected = 0x10;
constexpr std::uint8_t LineErrors = OverrunError | ParityError | FramingError | BreakDetected;

// SET-CONTROL carries three settings; which one an answer is about shows in its value.
struct ControlGroup {
    std::uint8_t first;
    std::uint8_t last;
    Setting setting;
};
constexpr ControlGroup ControlGroups[] = {
    {1, 3, Setting::Flow}, {17, 19, Setting::Flow}, {8, 9, Setting::Dtr}, {11, 12, Setting::Rts}};

bool IsWantedOurs(std::uint8_t option)
{
    return option == telnet::BinaryOption || option == telnet::SuppressGoAheadOption ||
           option == ComPortOption;
}

// Some servers offer the option from their side as well; taking it costs nothing.
bool IsWantedTheirs(std::uint8_t option)
{
    return option == telnet::BinaryOption || option == telnet::SuppressGoAheadOption ||
           option == ComPortOption;
}

Command CommandOf(Setting setting)
{
    switch (setting) {
    case Setting::Rate:
        return SetBaudRate;
    case Setting::DataSize:
        return SetDataSize;
    case Setting::Parity:
        return SetParity;
    case Setting::StopSize:
        return SetStopSize;
    case Setting::Purge:
        return PurgeData;
    default:
        return SetControl;
    }
}

} // namespace

ComPortSession::ComPortSession()
{
    input_.reserve(InputCapacity);
    for (std::uint8_t option : {telnet::BinaryOption, telnet::SuppressGoAheadOption}) {
        Send(telnet::Will, option);
        Send(telnet::Do, option);
    }
    Send(telnet::Will, ComPortOption);
}

void ComPortSession::Receive(const std::uint8_t* bytes, std::size_t count)
{
    parser_.Feed(bytes, count, *this);
}

std::size_t ComPortSession::TakeInput(std::uint8_t* into, std::size_t room)
{
    const std::size_t taken = std::min(room, InputSize());
    if (taken > 0)
        std::memcpy(into, input_.data() + inputStart_, taken);
    inputStart_ += taken;
    if (inputStart_ == input_.size())
        DropInput();
    return taken;
}

void ComPortSession::DropInput()
{
    input_.clear();
    inputStart_ = 0;
}

DWORD ComPortSession::TakeErrors()
{
    const DWORD errors = errors_;
    errors_ = 0;
    return errors;
}

void ComPortSession::Ask(Setting setting, std::uint32_t value)
{
    ++answers_[Index(setting)].asked;
    if (setting == Setting::Rate) {
        const std::uint8_t rate[4] = {
            static_cast<std::uint8_t>(value >> 24), static_cast<std::uint8_t>(value >> 16),
            static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)};
        SendCommand(SetBaudRate, rate, sizeof rate);
    } else {
        const std::uint8_t code = static_cast<std::uint8_t>(value);
        SendCommand(CommandOf(setting), &code, 1);
    }
}

void ComPortSession::AskNotifications()
{
    const std::uint8_t lineMask = LineErrors;
    const std::uint8_t modemMask = 0;
    SendCommand(SetLineStateMask, &lineMask, 1);
    SendCommand(SetModemStateMask, &modemMask, 1);
}

bool ComPortSession::IsAnswered(Setting setting) const
{
    const Answered& answer = answers_[Index(setting)];
    return answer.answered >= answer.asked;
}

// Data arriving beyond the buffer's room is the caller's mistake: it reads no
// more than InputRoom() from the network, and IAC framing only shrinks it.
void ComPortSession::Data(const std::uint8_t* bytes, std::size_t count)
{
    const std::size_t kept = std::min(count, InputRoom());
    if (input_.size() + kept > InputCapacity) {
        input_.erase(input_.begin(), input_.begin() + static_cast<std::ptrdiff_t>(inputStart_));
        inputStart_ = 0;
    }
    input_.insert(input_.end(), bytes, bytes + kept);
}

// Every option this side wants was asked for at the start, so an agreement
// needs no reply; one it does not want is declined, and one taken back is
// acknowledged.
void ComPortSession::Negotiation(std::uint8_t verb, std::uint8_t option)
{
    switch (verb) {
    case telnet::Do:
        if (IsWantedOurs(option))
            ours_[option] = true;
        else
            Send(telnet::Wont, option);
        if (option == ComPortOption)
            comPort_ = OptionState::Agreed;
        return;
    case telnet::Dont:
        if (ours_[option])
            Send(telnet::Wont, option);
        ours_[option] = false;
        if (option == ComPortOption)
            comPort_ = OptionState::Refused;
        return;
    case telnet::Will:
        if (IsWantedTheirs(option))
            theirs_[option] = true;
        else
            Send(telnet::Dont, option);
        return;
    default: // Wont
        if (theirs_[option])
            Send(telnet::Dont, option);
        theirs_[option] = false;
        return;
    }
}

void ComPortSession::Subnegotiation(std::uint8_t option, const std::uint8_t* payload, std::size_t length)
{
    if (option == ComPortOption && length >= 1 && payload[0] > ServerOffset)
        ServerAnswer(static_cast<std::uint8_t>(payload[0] - ServerOffset), payload + 1, length - 1);
}

void ComPortSession::ServerAnswer(std::uint8_t command, const std::uint8_t* value, std::size_t length)
{
    if (command == SetBaudRate && length == 4) {
        Note(Setting::Rate, (std::uint32_t{value[0]} << 24) | (std::uint32_t{value[1]} << 16) |
                                (std::uint32_t{value[2]} << 8) | value[3]);
        return;
    }
    if (length != 1)
        return;
    switch (command) {
    case SetDataSize:
        return Note(Setting::DataSize, value[0]);
    case SetParity:
        return Note(Setting::Parity, value[0]);
    case SetStopSize:
        return Note(Setting::StopSize, value[0]);
    case PurgeData:
        return Note(Setting::Purge, value[0]);
    case SetControl:
        for (const ControlGroup& group : ControlGroups)
            if (value[0] >= group.first && value[0] <= group.last)
                return Note(group.setting, value[0]);
        return;
    case NotifyLineState:
        // An overrun lost bytes: reported as the driver's own overrun too, the
        // loss the module shows the script.
        errors_ |= (value[0] & OverrunError ? CE_OVERRUN | CE_RXOVER : 0) |
                   (value[0] & ParityError ? CE_RXPARITY : 0) | (value[0] & FramingError ? CE_FRAME : 0) |
                   (value[0] & BreakDetected ? CE_BREAK : 0);
        return;
    default: // modem-state notices, flow-control suspend and resume, mask answers
        return;
    }
}

void ComPortSession::Note(Setting setting, std::uint32_t value)
{
    Answered& answer = answers_[Index(setting)];
    ++answer.answered;
    answer.value = value;
}

void ComPortSession::Send(std::uint8_t verb, std::uint8_t option)
{
    if (outgoing_.size() + 3 > MostOutgoing)
        return;
    outgoing_.insert(outgoing_.end(), {telnet::Iac, verb, option});
}

void ComPortSession::SendCommand(std::uint8_t command, const std::uint8_t* value, std::size_t length)
{
    std::uint8_t escaped[8];
    const telnet::Escaped done = telnet::EscapeData(value, length, escaped, sizeof escaped);
    outgoing_.insert(outgoing_.end(), {telnet::Iac, telnet::SubnegotiationBegin, ComPortOption, command});
    outgoing_.insert(outgoing_.end(), escaped, escaped + done.written);
    outgoing_.insert(outgoing_.end(), {telnet::Iac, telnet::SubnegotiationEnd});
}

} // namespace posix_serial
