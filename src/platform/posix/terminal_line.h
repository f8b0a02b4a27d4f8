// A tty as a port's line: a UART, a USB adapter or a pseudo-terminal.
#pragma once

#include "line.h"
#include "line_counters.h"

namespace posix_serial {

class TerminalLine : public Line {
  public:
    // Opened for one owner, raw, with the DCB of that setting; null with `error` set.
    static std::unique_ptr<TerminalLine> Open(const std::string& path, DWORD access, DCB& state,
                                              DWORD& error);
    ~TerminalLine() override;

    int Descriptor() const override { return fd_; }
    bool HoldsInput() const override { return false; }
    bool HoldsOutput() const override { return false; }
    bool QueuesOutput() const override { return queuesOutput_; }
    int Receive(std::uint8_t* into, std::size_t room, std::size_t& got) override;
    int Send(const std::uint8_t* from, std::size_t count, std::size_t& sent) override;
    int Apply(const DCB& dcb) override;
    int Discard(DWORD purgeFlags) override;
    void Abandon() override;
    int Waiting(DWORD& input, DWORD& output) override;
    int Unsent(std::size_t& bytes) override;
    DWORD TakeErrors() override;

  private:
    explicit TerminalLine(int fd) : fd_(fd) {}
    bool TransmitterBusy();

    const int fd_;
    bool queuesOutput_ = false;    // pseudo-terminals keep no output queue
    bool asksTransmitter_ = false; // a UART whose driver tells its clock
    LineCounters counters_;
    // The kernel's output queue grows only by our writes (the tty is ours
    // alone): once found empty, it stays empty until the next write, and is
    // not asked again until then.
    bool kernelOutputMayWait_ = true;
};

} // namespace posix_serial
