#include "dcb_rules.h"
#include "device_fixture.h"
#include "posix/line_settings.h"
#include "refused_dcbs.h"

#include <cstring>
#include <termios.h>

namespace tty_test {
namespace {

class SettingsTest : public DeviceTest {
  protected:
    void SetUp() override
    {
        DeviceTest::SetUp();
        keepsFrame_ = KeepsFrameBits();
        OpenPort();
    }

    // Pseudo-terminals of some kernels force CS8 and clear PARENB whatever is asked.
    bool KeepsFrameBits()
    {
        termios settings = Termios();
        settings.c_cflag = (settings.c_cflag & ~CSIZE) | CS7 | PARENB;
        tcsetattr(pty_.Slave(), TCSANOW, &settings);
        return (Termios().c_cflag & (CSIZE | PARENB)) == (CS7 | PARENB);
    }

    termios Termios()
    {
        termios settings{};
        EXPECT_EQ(tcgetattr(pty_.Slave(), &settings), 0);
        return settings;
    }

    bool keepsFrame_ = true;
};

DCB Default8N1()
{
    DCB dcb = win32compat::BinaryLineDcb(9600, 8, NOPARITY, ONESTOPBIT);
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    return dcb;
}

TEST_F(SettingsTest, DcbsWindowsRefusesAreRefusedAndChangeNothing)
{
    const termios before = Termios();
    for (const test_support::DcbChange& c : test_support::DcbsWindowsRefuses) {
        DCB dcb = Default8N1();
        dcb.BaudRate = 4800;
        c.edit(dcb);
        SetLastError(0);
        EXPECT_FALSE(SetCommState(port_, &dcb)) << c.name;
        EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER) << c.name;
        termios after = Termios();
        EXPECT_EQ(std::memcmp(&before, &after, sizeof before), 0) << c.name << " changed the tty";
    }
}

struct TermiosCase {
    const char* name;
    void (*edit)(DCB&);
    tcflag_t cflagMask, cflag;
    tcflag_t iflagMask, iflag;
};

// Each case is checked twice: the termios composed from the DCB in full, and
// the tty's own settings after SetCommState wherever the tty keeps them.
TEST_F(SettingsTest, TheDcbReachesTheTermiosOfTheTty)
{
    constexpr tcflag_t Frame = CSIZE | PARENB | PARODD | CMSPAR | CSTOPB;
    constexpr tcflag_t InputFlow = IXON | IXOFF | INPCK;
    const TermiosCase cases[] = {
        {"8N1", [](DCB&) {}, Frame | CRTSCTS, CS8, InputFlow, 0},
        {"7E1",
         [](DCB& d) {
             d.ByteSize = 7;
             d.Parity = EVENPARITY;
             d.fParity = 1;
         },
         Frame, CS7 | PARENB, INPCK, INPCK},
        {"8O2",
         [](DCB& d) {
             d.Parity = ODDPARITY;
             d.StopBits = TWOSTOPBITS;
         },
         Frame, CS8 | PARENB | PARODD | CSTOPB, 0, 0},
        {"mark", [](DCB& d) { d.Parity = MARKPARITY; }, Frame, CS8 | PARENB | PARODD | CMSPAR, 0, 0},
        {"space",
         [](DCB& d) {
             d.ByteSize = 6;
             d.Parity = SPACEPARITY;
         },
         Frame, CS6 | PARENB | CMSPAR, 0, 0},
        {"5 data, 1.5 stop",
         [](DCB& d) {
             d.ByteSize = 5;
             d.StopBits = ONE5STOPBITS;
         },
         Frame, CS5 | CSTOPB, 0, 0},
        {"CTS output flow", [](DCB& d) { d.fOutxCtsFlow = 1; }, CRTSCTS, CRTSCTS, 0, 0},
        {"RTS handshake", [](DCB& d) { d.fRtsControl = RTS_CONTROL_HANDSHAKE; }, CRTSCTS, CRTSCTS, 0, 0},
        {"XON/XOFF out", [](DCB& d) { d.fOutX = 1; }, 0, 0, InputFlow, IXON},
        {"XON/XOFF in", [](DCB& d) { d.fInX = 1; }, 0, 0, InputFlow, IXOFF},
        {"lines off",
         [](DCB& d) {
             d.fDtrControl = DTR_CONTROL_DISABLE;
             d.fRtsControl = RTS_CONTROL_DISABLE;
         },
         CRTSCTS, 0, 0, 0},
    };
    const tcflag_t forcedByTty = keepsFrame_ ? 0 : CSIZE | PARENB;
    for (const TermiosCase& c : cases) {
        DCB dcb = Default8N1();
        c.edit(dcb);
        termios composed = Termios();
        posix_serial::ComposeTermios(composed, dcb);
        EXPECT_EQ(composed.c_cflag & c.cflagMask, c.cflag) << c.name;
        EXPECT_EQ(composed.c_iflag & c.iflagMask, c.iflag) << c.name;

        ASSERT_TRUE(SetCommState(port_, &dcb)) << c.name << ": error " << GetLastError();
        termios applied = Termios();
        const tcflag_t kept = c.cflagMask & ~forcedByTty;
        EXPECT_EQ(applied.c_cflag & kept, c.cflag & kept) << c.name;
        EXPECT_EQ(applied.c_iflag & c.iflagMask, c.iflag) << c.name;
    }
}

TEST_F(SettingsTest, FlowControlCharactersComeFromTheDcb)
{
    Reconfigure([](DCB& d) {
        d.fOutX = 1;
        d.fInX = 1;
        d.XonChar = 'Q';
        d.XoffChar = 'S';
    });
    termios settings = Termios();
    EXPECT_EQ(settings.c_cc[VSTART], 'Q');
    EXPECT_EQ(settings.c_cc[VSTOP], 'S');
    EXPECT_EQ(settings.c_iflag & (IXON | IXOFF), static_cast<tcflag_t>(IXON | IXOFF));
}

TEST_F(SettingsTest, StandardAndCustomRatesReachTheKernel)
{
    for (DWORD rate : {115200u, 123457u, 300u, 250000u, 9600u}) {
        DCB dcb = Default8N1();
        dcb.BaudRate = rate;
        ASSERT_TRUE(SetCommState(port_, &dcb)) << rate << ": error " << GetLastError();
        EXPECT_EQ(OutputRateOf(pty_.Slave()), rate);
        EXPECT_EQ(InputRateOf(pty_.Slave()), rate) << "the input speed follows the output speed";
        DCB state{};
        ASSERT_TRUE(GetCommState(port_, &state));
        EXPECT_EQ(state.BaudRate, rate);
    }
    termios last = Termios();
    EXPECT_EQ(cfgetospeed(&last), static_cast<speed_t>(B9600)) << "a standard rate is set by its own code";
}

TEST_F(SettingsTest, GetCommStateReturnsTheDcbLastSet)
{
    DCB dcb = Default8N1();
    dcb.BaudRate = 57600;
    dcb.ByteSize = 7;
    dcb.Parity = EVENPARITY;
    dcb.fParity = 1;
    dcb.fOutX = 1;
    ASSERT_TRUE(SetCommState(port_, &dcb));
    DCB state{};
    ASSERT_TRUE(GetCommState(port_, &state));
    EXPECT_EQ(std::memcmp(&dcb, &state, sizeof dcb), 0);
}

TEST_F(SettingsTest, TimeoutsWindowsRefusesAreRefused)
{
    COMMTIMEOUTS allMaximum{Forever, Forever, Forever, 0, 0};
    EXPECT_FALSE(SetCommTimeouts(port_, &allMaximum));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    COMMTIMEOUTS firstBytes{Forever, Forever, 100, 0, 0};
    EXPECT_TRUE(SetCommTimeouts(port_, &firstBytes));
}

} // namespace
} // namespace tty_test
