#include "network_line.h"

#include "interrupt_hook.h"

#include <cerrno>
#include <cstdlib>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace posix_serial {
namespace {

// Long waits go in slices, so that a Ctrl-C ends a connection attempt soon.
constexpr auto WaitSlice = std::chrono::milliseconds(50);
constexpr std::size_t ReceiveChunk = 16 * 1024;
constexpr std::size_t SendChunk = 16 * 1024;

struct Endpoint {
    std::string host;
    std::string port;
};

// host:port or [v6 address]:port after the scheme; false for anything else.
bool ParseAddress(const std::string& address, Endpoint& endpoint)
{
    const std::string rest = address.substr(sizeof NetworkScheme - 1);
    const std::size_t colon = rest.rfind(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 == rest.size())
        return false;
    endpoint.host = rest.substr(0, colon);
    endpoint.port = rest.substr(colon + 1);
    if (endpoint.host.front() == '[' && endpoint.host.back() == ']')
        endpoint.host = endpoint.host.substr(1, endpoint.host.size() - 2);
    char* end = nullptr;
    const unsigned long port = std::strtoul(endpoint.port.c_str(), &end, 10);
    return *end == '\0' && port >= 1 && port <= 65535 && !endpoint.host.empty();
}

// 0 once `fd` is ready for `events`; ETIMEDOUT at the deadline; ECANCELED
// when the host asks to stop an interruptible wait.
int AwaitReady(int fd, short events, Clock::time_point deadline, bool interruptible)
{
    for (;;) {
        const Clock::time_point now = Clock::now();
        if (now >= deadline)
            return ETIMEDOUT;
        if (interruptible && InterruptRequested())
            return ECANCELED;
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(
            std::min<Clock::duration>(deadline - now, WaitSlice));
        pollfd watched{fd, events, 0};
        const int ready = poll(&watched, 1, static_cast<int>(left.count()));
        if (ready > 0)
            return 0;
        if (ready < 0 && errno != EINTR)
            return errno;
    }
}

DWORD ConnectError(int error)
{
    switch (error) {
    case ECANCELED:
        return ERROR_OPERATION_ABORTED;
    case ENOMEM:
    case EMFILE:
    case ENFILE:
        return ERROR_NOT_ENOUGH_MEMORY;
    default: // refused, unreachable, no answer
        return ERROR_FILE_NOT_FOUND;
    }
}

// A connected socket, or -1 with `error` set.
int ConnectTo(const addrinfo& address, Clock::time_point deadline, int& error)
{
    const int fd =
        socket(address.ai_family, address.ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, address.ai_protocol);
    if (fd < 0) {
        error = errno;
        return -1;
    }
    // Questions and answers are small: each goes out at once.
    const int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    error = connect(fd, address.ai_addr, address.ai_addrlen) == 0 ? 0 : errno;
    if (error == EINPROGRESS) {
        error = AwaitReady(fd, POLLOUT, deadline, true);
        socklen_t length = sizeof error;
        if (error == 0 && getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0)
            error = errno;
    }
    if (error == 0)
        return fd;
    close(fd);
    return -1;
}

int Connected(const Endpoint& endpoint, Clock::time_point deadline, int& error)
{
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* found = nullptr;
    if (getaddrinfo(endpoint.host.c_str(), endpoint.port.c_str(), &hints, &found) != 0) {
        error = ENOENT;
        return -1;
    }
    int fd = -1;
    for (const addrinfo* address = found; address != nullptr && fd < 0 && error != ECANCELED;
         address = address->ai_next)
        fd = ConnectTo(*address, deadline, error);
    freeaddrinfo(found);
    return fd;
}

std::uint32_t ParityCode(BYTE parity)
{
    return parity + 1u; // NOPARITY..SPACEPARITY are 0..4, the option's 1..5
}

std::uint32_t StopSizeCode(BYTE stopBits)
{
    return stopBits == ONESTOPBIT ? 1 : stopBits == TWOSTOPBITS ? 2 : 3;
}

// One flag per direction is all the option has: RTS/CTS wins, as CRTSCTS does on a tty.
std::uint32_t FlowCode(const DCB& dcb)
{
    if (dcb.fOutxCtsFlow || dcb.fRtsControl == RTS_CONTROL_HANDSHAKE)
        return 3;
    return dcb.fOutX || dcb.fInX ? 2 : 1;
}

// Within 2%, as the tty line takes a rate a divisor can only come near.
bool IsRateKept(std::uint32_t asked, std::uint32_t kept)
{
    const unsigned long long difference = asked > kept ? asked - kept : kept - asked;
    return difference * 50 <= asked;
}

} // namespace

std::unique_ptr<NetworkLine> NetworkLine::Connect(const std::string& address, DWORD& error)
{
    const Clock::time_point deadline = Clock::now() + ConnectLimit;
    Endpoint endpoint;
    if (!ParseAddress(address, endpoint)) {
        error = ERROR_FILE_NOT_FOUND;
        return nullptr;
    }
    int failure = 0;
    const int fd = Connected(endpoint, deadline, failure);
    if (fd < 0) {
        error = ConnectError(failure);
        return nullptr;
    }
    std::unique_ptr<NetworkLine> line(new NetworkLine(fd));
    error = line->Negotiate(deadline);
    return error == ERROR_SUCCESS ? std::move(line) : nullptr;
}

NetworkLine::~NetworkLine()
{
    close(socket_);
}

// Until the server agrees to the option; one that declines, closes or stays
// silent (a plain TCP port) is not a network serial port.
DWORD NetworkLine::Negotiate(Clock::time_point deadline)
{
    while (session_.ComPort() == OptionState::Asked) {
        if (Flush() != 0 || Pump() != 0)
            return ERROR_NOT_SUPPORTED;
        if (session_.ComPort() != OptionState::Asked)
            break;
        if (int error = AwaitReady(socket_, POLLIN, deadline, true))
            return error == ECANCELED ? ERROR_OPERATION_ABORTED : ERROR_NOT_SUPPORTED;
    }
    if (session_.ComPort() != OptionState::Agreed)
        return ERROR_NOT_SUPPORTED;
    session_.AskNotifications();
    return Flush() == 0 ? ERROR_SUCCESS : ERROR_NOT_SUPPORTED;
}

// Takes what the network has, as far as the input buffer has room.
int NetworkLine::Pump()
{
    if (closed_)
        return EIO;
    std::uint8_t chunk[ReceiveChunk];
    const std::size_t room = std::min(sizeof chunk, session_.InputRoom());
    if (room == 0)
        return 0;
    ssize_t got;
    do
        got = recv(socket_, chunk, room, MSG_DONTWAIT);
    while (got < 0 && errno == EINTR);
    if (got > 0) {
        session_.Receive(chunk, static_cast<std::size_t>(got));
        return 0;
    }
    if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
        return 0;
    closed_ = true; // end of stream, reset or any other failure of the connection
    return EIO;
}

// Sends what the session has queued, as far as the network takes it.
int NetworkLine::Flush()
{
    std::vector<std::uint8_t>& outgoing = session_.Outgoing();
    while (!outgoing.empty() && !closed_) {
        const ssize_t sent = send(socket_, outgoing.data(), outgoing.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return 0;
        if (sent < 0)
            closed_ = true;
        else
            outgoing.erase(outgoing.begin(), outgoing.begin() + sent);
    }
    return closed_ ? EIO : 0;
}

// Bytes received before the connection closed are still read.
int NetworkLine::Receive(std::uint8_t* into, std::size_t room, std::size_t& got)
{
    if (session_.InputSize() == 0)
        Pump();
    Flush();
    got = session_.TakeInput(into, room);
    return got == 0 && closed_ ? EIO : 0;
}

int NetworkLine::Send(const std::uint8_t* from, std::size_t count, std::size_t& sent)
{
    sent = 0;
    if (int error = Flush())
        return error;
    if (!session_.Outgoing().empty() || count == 0)
        return 0; // the replies and commands queued first go first
    std::uint8_t escaped[SendChunk];
    const telnet::Escaped part = telnet::EscapeData(from, count, escaped, sizeof escaped);
    ssize_t written;
    do
        written = send(socket_, escaped, part.written, MSG_DONTWAIT | MSG_NOSIGNAL);
    while (written < 0 && errno == EINTR);
    if (written < 0) {
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return 0;
        closed_ = true;
        return EIO;
    }
    std::size_t out = 0;
    while (sent < part.taken && out < static_cast<std::size_t>(written)) {
        out += from[sent] == telnet::Iac ? 2 : 1;
        ++sent;
    }
    // Half of a doubled IAC went out: the other half goes before anything else.
    if (out > static_cast<std::size_t>(written))
        session_.Outgoing().push_back(telnet::Iac);
    return 0;
}

void NetworkLine::AskFor(const DCB& dcb)
{
    session_.Ask(Setting::Rate, dcb.BaudRate);
    session_.Ask(Setting::DataSize, dcb.ByteSize);
    session_.Ask(Setting::Parity, ParityCode(dcb.Parity));
    session_.Ask(Setting::StopSize, StopSizeCode(dcb.StopBits));
    session_.Ask(Setting::Flow, FlowCode(dcb));
    // Asked, never awaited: a far device without modem lines (a
    // pseudo-terminal behind the server) leaves them unanswered, and a tty
    // line takes that from a pseudo-terminal too.
    session_.Ask(Setting::Dtr, dcb.fDtrControl == DTR_CONTROL_DISABLE ? 9 : 8);
    if (dcb.fRtsControl != RTS_CONTROL_HANDSHAKE)
        session_.Ask(Setting::Rts, dcb.fRtsControl == RTS_CONTROL_DISABLE ? 12 : 11);
}

bool NetworkLine::IsKept(const DCB& dcb) const
{
    return IsRateKept(dcb.BaudRate, session_.Answer(Setting::Rate)) &&
           session_.Answer(Setting::DataSize) == dcb.ByteSize &&
           session_.Answer(Setting::Parity) == ParityCode(dcb.Parity) &&
           session_.Answer(Setting::StopSize) == StopSizeCode(dcb.StopBits) &&
           session_.Answer(Setting::Flow) == FlowCode(dcb);
}

int NetworkLine::AwaitAnswers(std::initializer_list<Setting> settings, Clock::time_point deadline)
{
    for (;;) {
        Flush();
        Pump();
        bool answered = true;
        for (Setting setting : settings)
            answered = answered && session_.IsAnswered(setting);
        if (answered)
            return 0;
        if (closed_)
            return EIO;
        // A full input buffer hides any answer behind it.
        if (session_.InputRoom() == 0)
            return ETIMEDOUT;
        if (int error = AwaitReady(socket_, POLLIN, deadline, false))
            return error;
    }
}

// A server that keeps another value, or does not answer in time, refuses the
// settings as a local driver does: it is asked for what it had before (if it
// ever confirmed anything), without waiting for it again.
int NetworkLine::Apply(const DCB& dcb)
{
    AskFor(dcb);
    const int error =
        AwaitAnswers({Setting::Rate, Setting::DataSize, Setting::Parity, Setting::StopSize, Setting::Flow},
                     Clock::now() + AnswerLimit);
    if (error == 0 && IsKept(dcb)) {
        applied_ = dcb;
        return 0;
    }
    if (closed_)
        return EIO;
    if (applied_) {
        AskFor(*applied_);
        Flush();
    }
    return error == 0 ? EINVAL : error;
}

// Bytes that arrive before the server's answer left its buffer before the
// purge, and go with it. A server that does not answer is not waited for longer.
int NetworkLine::Discard(DWORD purgeFlags)
{
    const bool input = purgeFlags & PURGE_RXCLEAR;
    const bool output = purgeFlags & PURGE_TXCLEAR;
    if ((!input && !output) || closed_)
        return 0;
    session_.Ask(Setting::Purge, (input ? 1u : 0u) | (output ? 2u : 0u));
    const Clock::time_point deadline = Clock::now() + AnswerLimit;
    while (!session_.IsAnswered(Setting::Purge) && !closed_) {
        Flush();
        Pump();
        if (input)
            session_.DropInput();
        if (!session_.IsAnswered(Setting::Purge) && AwaitReady(socket_, POLLIN, deadline, false) != 0)
            break;
    }
    if (input)
        session_.DropInput();
    return 0;
}

int NetworkLine::Waiting(DWORD& input, DWORD& output)
{
    Pump();
    Flush();
    if (closed_ && session_.InputSize() == 0)
        return EIO;
    int unsent = 0;
    if (!closed_ && ioctl(socket_, TIOCOUTQ, &unsent) != 0)
        unsent = 0;
    input = static_cast<DWORD>(session_.InputSize());
    output = static_cast<DWORD>(unsent) + static_cast<DWORD>(session_.Outgoing().size());
    return 0;
}

DWORD NetworkLine::TakeErrors()
{
    Pump();
    return session_.TakeErrors();
}

} // namespace posix_serial
