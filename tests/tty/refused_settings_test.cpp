// Settings a device does not keep, played by a stand-in line that drops them:
// no real adapter is needed to show that they are refused, not reported as set.
#include "dcb_rules.h"
#include "posix/line_settings.h"
#include "posix/tty_port.h"
#include "pty_fixture.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

namespace tty_test {
namespace {

using posix_serial::LineState;

// The line's settings held by the stand-in: what it was given, less what
// `drop` takes away. `failingWrites` writes keep the frame only and fail, as a
// tty that took the termios and then refused the speed.
struct StandInLine {
    LineState held;
    void (*drop)(LineState&);
    int failingWrites;
};

StandInLine line;

int ReadStandIn(int, LineState& state)
{
    state = line.held;
    return 0;
}

int WriteStandIn(int, const LineState& state)
{
    if (line.failingWrites > 0) {
        --line.failingWrites;
        line.held.settings = state.settings;
        return EIO;
    }
    line.held = state;
    line.drop(line.held);
    return 0;
}

constexpr posix_serial::LineAccess StandInAccess{ReadStandIn, WriteStandIn};

// 8N1 at 9600 baud, as the stand-in holds it before each case.
LineState Previous()
{
    LineState state{};
    posix_serial::ComposeTermios(state.settings, win32compat::BinaryLineDcb(9600, 8, NOPARITY, ONESTOPBIT));
    state.inputRate = state.outputRate = 9600;
    return state;
}

bool SameLine(const LineState& a, const LineState& b)
{
    const termios& x = a.settings;
    const termios& y = b.settings;
    return x.c_iflag == y.c_iflag && x.c_oflag == y.c_oflag && x.c_cflag == y.c_cflag &&
           x.c_lflag == y.c_lflag && std::memcmp(x.c_cc, y.c_cc, sizeof x.c_cc) == 0 &&
           a.inputRate == b.inputRate && a.outputRate == b.outputRate;
}

void KeepsAll(LineState&) {}

void SetRates(LineState& state, unsigned rate)
{
    state.inputRate = state.outputRate = rate;
}

// A divisor that makes 9600 exactly but 250000 only as `nearest`.
template <unsigned nearest> void Round250000(LineState& state)
{
    if (state.outputRate == 250000)
        SetRates(state, nearest);
}

void OnUart115200(LineState& state)
{
    state.uartBaseRate = 115200;
}

struct DropCase {
    const char* name;
    void (*ask)(DCB&);
    void (*drop)(LineState&);
    bool refusedOnLine;
    bool refusedOnPseudoTerminal;
};

const DropCase DropCases[] = {
    {"keeps everything",
     [](DCB& d) {
         d.BaudRate = 250000;
         d.ByteSize = 7;
         d.Parity = EVENPARITY;
         d.fParity = 1;
     },
     KeepsAll, false, false},
    {"no mark parity (CMSPAR)", [](DCB& d) { d.Parity = MARKPARITY; },
     [](LineState& s) { s.settings.c_cflag &= ~CMSPAR; }, true, false},
    {"no 5 data bits",
     [](DCB& d) {
         d.ByteSize = 5;
         d.StopBits = ONE5STOPBITS;
     },
     [](LineState& s) { s.settings.c_cflag = (s.settings.c_cflag & ~CSIZE) | CS8; }, true, false},
    {"8 data bits and no parity forced",
     [](DCB& d) {
         d.ByteSize = 7;
         d.Parity = SPACEPARITY;
     },
     [](LineState& s) { s.settings.c_cflag = (s.settings.c_cflag & ~(CSIZE | PARENB)) | CS8; }, true, false},
    {"no 2 stop bits", [](DCB& d) { d.StopBits = TWOSTOPBITS; },
     [](LineState& s) { s.settings.c_cflag &= ~CSTOPB; }, true, true},
    {"no RTS/CTS handshake", [](DCB& d) { d.fOutxCtsFlow = 1; },
     [](LineState& s) { s.settings.c_cflag &= ~CRTSCTS; }, true, true},
    {"no XON/XOFF on input", [](DCB& d) { d.fInX = 1; }, [](LineState& s) { s.settings.c_iflag &= ~IXOFF; },
     true, true},
    {"an unsupported rate falls back to 9600", [](DCB& d) { d.BaudRate = 3000000; },
     [](LineState& s) { SetRates(s, 9600); }, true, true},
    {"the input speed left behind", [](DCB& d) { d.BaudRate = 250000; },
     [](LineState& s) { s.inputRate = 9600; }, true, true},
    {"a rate the divisor rounds by 0.2%", [](DCB& d) { d.BaudRate = 250000; }, Round250000<249600>, false,
     false},
    {"a rate the divisor rounds by 2.4%", [](DCB& d) { d.BaudRate = 250000; }, Round250000<256000>, true,
     true},
    // The 8250 driver keeps the rate asked for in termios, whatever its divisor makes.
    {"a UART whose divisor makes 28800 for 31250", [](DCB& d) { d.BaudRate = 31250; }, OnUart115200, true,
     true},
    {"a UART whose divisor makes 19200 exactly", [](DCB& d) { d.BaudRate = 19200; }, OnUart115200, false,
     false},
};

TEST(RefusedSettingsTest, ADeviceThatDropsASettingRefusesItAndKeepsItsPreviousSettings)
{
    for (const DropCase& c : DropCases) {
        for (bool pseudoTerminal : {false, true}) {
            const char* kind = pseudoTerminal ? "pseudo-terminal" : "line";
            const bool refused = pseudoTerminal ? c.refusedOnPseudoTerminal : c.refusedOnLine;
            line = {Previous(), c.drop, 0};
            DCB dcb = win32compat::BinaryLineDcb(9600, 8, NOPARITY, ONESTOPBIT);
            c.ask(dcb);
            LineState kept = Previous();
            posix_serial::ComposeTermios(kept.settings, dcb);
            SetRates(kept, dcb.BaudRate);
            c.drop(kept);

            EXPECT_EQ(posix_serial::ApplyLine(-1, dcb, pseudoTerminal, StandInAccess), refused ? EINVAL : 0)
                << c.name << " on a " << kind;
            EXPECT_TRUE(SameLine(line.held, refused ? Previous() : kept))
                << c.name << " on a " << kind << (refused ? ": not put back" : ": not kept as set");
        }
    }
}

TEST(RefusedSettingsTest, AWriteThatFailsHalfWayIsAnsweredWithItsErrorAndPutBack)
{
    line = {Previous(), KeepsAll, 1};
    DCB dcb = win32compat::BinaryLineDcb(250000, 8, NOPARITY, ONESTOPBIT);
    dcb.Parity = ODDPARITY;
    EXPECT_EQ(posix_serial::ApplyLine(-1, dcb, false, StandInAccess), EIO);
    EXPECT_TRUE(SameLine(line.held, Previous()));
}

TEST(RefusedSettingsTest, OnlyPseudoTerminalSlavesAreTakenForPseudoTerminals)
{
    PseudoTerminal pty;
    EXPECT_TRUE(posix_serial::IsPseudoTerminal(pty.Slave()));
    const int null = open("/dev/null", O_RDWR | O_CLOEXEC);
    ASSERT_GE(null, 0);
    EXPECT_FALSE(posix_serial::IsPseudoTerminal(null)) << "a character device of another kind";
    close(null);
    EXPECT_FALSE(posix_serial::IsPseudoTerminal(-1));
}

} // namespace
} // namespace tty_test
