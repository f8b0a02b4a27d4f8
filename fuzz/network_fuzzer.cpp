// The network line's parser fed what a hostile server might send: Telnet
// commands, negotiations and subnegotiations of any length, cut anywhere.
// Input: one byte choosing the size of the pieces the stream arrives in, then
// the stream. Promises checked: memory stays within its bounds, at most as
// many data bytes come out as went in, only line-error bits are reported, and
// data escaped by this side comes through a fresh parser exactly.
#include "com_port_session.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

using posix_serial::ComPortSession;

namespace {

constexpr DWORD LineErrorBits = CE_RXOVER | CE_OVERRUN | CE_RXPARITY | CE_FRAME | CE_BREAK;

void Require(bool promise, const char* what)
{
    if (!promise) {
        std::fprintf(stderr, "broken promise: %s\n", what);
        std::abort();
    }
}

// Feeds `stream` in pieces of `piece` bytes, as far as the input has room,
// taking the data out after each; returns the data.
std::vector<std::uint8_t> Parse(ComPortSession& session, const std::uint8_t* stream, std::size_t size,
                                std::size_t piece)
{
    std::vector<std::uint8_t> data;
    std::uint8_t taken[256];
    for (std::size_t at = 0; at < size;) {
        const std::size_t count = std::min<std::size_t>({piece, size - at, session.InputRoom()});
        session.Receive(stream + at, count);
        at += count;
        Require(session.InputSize() <= ComPortSession::InputCapacity, "input within its capacity");
        Require(session.Outgoing().size() <= ComPortSession::MostOutgoing, "replies within their bound");
        Require((session.TakeErrors() & ~LineErrorBits) == 0, "only line errors reported");
        while (std::size_t got = session.TakeInput(taken, sizeof taken))
            data.insert(data.end(), taken, taken + got);
        session.Outgoing().clear();
    }
    return data;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* input, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::size_t piece = input[0] % 64 + 1;
    const std::uint8_t* stream = input + 1;
    const std::size_t length = size - 1;

    ComPortSession hostile;
    Require(Parse(hostile, stream, length, piece).size() <= length, "no more data out than in");

    std::vector<std::uint8_t> escaped(2 * length);
    const telnet::Escaped done = telnet::EscapeData(stream, length, escaped.data(), escaped.size());
    Require(done.taken == length, "room for every byte escaped");
    ComPortSession fresh;
    const std::vector<std::uint8_t> data = Parse(fresh, escaped.data(), done.written, piece);
    Require(data == std::vector<std::uint8_t>(stream, stream + length), "escaped data comes through exactly");
    return 0;
}
