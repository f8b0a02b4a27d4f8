// What an open port reaches: a tty, or a serial port on another machine
// spoken to over the network. The device's transfers and waits are the same
// for both; only these calls differ. Each answers 0 or an errno, and a line
// that is gone for good answers EIO.
#pragma once

#include "serial_api.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace posix_serial {

class Line {
  public:
    virtual ~Line() = default;

    // What the device's worker waits on for input and room.
    virtual int Descriptor() const = 0;
    // Input that waits beside the descriptor, which therefore may not show it.
    virtual bool HoldsInput() const = 0;
    // Output that waits beside the descriptor for room: Send sends it first.
    virtual bool HoldsOutput() const = 0;
    // Whether sent bytes wait in the kernel's output queue (TIOCOUTQ) before
    // they reach the wire.
    virtual bool QueuesOutput() const = 0;

    virtual int Receive(std::uint8_t* into, std::size_t room, std::size_t& got) = 0;
    virtual int Send(const std::uint8_t* from, std::size_t count, std::size_t& sent) = 0;

    // A checked DCB applied and confirmed, or refused with the line left as it was.
    virtual int Apply(const DCB& dcb) = 0;
    // The queues named by PURGE_TXCLEAR and PURGE_RXCLEAR emptied.
    virtual int Discard(DWORD purgeFlags) = 0;
    // Output the caller gave up on, dropped before the line closes.
    virtual void Abandon() = 0;
    // Bytes received and not yet read, and bytes given and not yet sent.
    virtual int Waiting(DWORD& input, DWORD& output) = 0;
    // Of the bytes Send took, those not on the wire yet, on a line that
    // QueuesOutput; the last byte counts as sent only once it is on the wire.
    virtual int Unsent(std::size_t& bytes) = 0;
    // The CE_ bits of line errors since the last take.
    virtual DWORD TakeErrors() = 0;
};

// The line that `path` names (a device, or a network address), open, with the
// DCB it starts with; null with `error` set.
std::unique_ptr<Line> OpenLine(const std::string& path, DWORD access, DCB& state, DWORD& error);

} // namespace posix_serial
