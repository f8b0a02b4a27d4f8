#include "kernel_testing.h"
#include "module_fixture.h"

#include <termios.h>

namespace tty_test {
namespace {

using test_host::Number;
using test_host::Text;

using ModuleOpenTest = ModuleTest;

termios TermiosOf(const PseudoTerminal& pty)
{
    termios settings{};
    EXPECT_EQ(tcgetattr(pty.Slave(), &settings), 0);
    return settings;
}

TEST_F(ModuleOpenTest, OpenAndSetParamsConfigureTheTtyAndCloseReleasesIt)
{
    ArrayPtr settings = Settings("COM1");
    Set(settings, "BaudRate", Number(57600));
    Set(settings, "Parity", Text("odd"));
    Set(settings, "StopBits", Number(2));
    Set(settings, "XonXoffEnable", Text("on"));
    ASSERT_EQ(Open(settings), 0);
    termios opened = TermiosOf(com1_);
    EXPECT_EQ(cfgetospeed(&opened), static_cast<speed_t>(B57600));
    EXPECT_EQ(opened.c_cflag & (PARODD | CSTOPB), static_cast<tcflag_t>(PARODD | CSTOPB));
    EXPECT_EQ(opened.c_iflag & (IXON | IXOFF | INPCK), static_cast<tcflag_t>(IXON | IXOFF | INPCK));

    Set(settings, "BaudRate", Number(115200));
    Set(settings, "XonXoffEnable", Text("off"));
    EXPECT_EQ(SetParams(settings), 0);
    termios changed = TermiosOf(com1_);
    EXPECT_EQ(cfgetospeed(&changed), static_cast<speed_t>(B115200));
    EXPECT_EQ(changed.c_iflag & (IXON | IXOFF), 0u);

    EXPECT_EQ(Close(settings), 0);
    EXPECT_EQ(Close(settings), 2);
    EXPECT_EQ(Open(settings), 0) << "the first close left the device claimed";
}

TEST_F(ModuleOpenTest, BusyMissingAndForeignDevicesAreNotOpen)
{
    folder_.Link(3, "/nonexistent/quorvel-device");
    folder_.Link(4, folder_.TempFile("plain-file"));
    HANDLE holder = CreateFileA("COM1", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                FILE_FLAG_OVERLAPPED, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    for (const char* port : {"COM1", "COM3", "COM4"}) {
        ArrayPtr settings = Settings(port);
        EXPECT_EQ(Open(settings), 2) << port;
        EXPECT_EQ(Write(settings, {1}), 2) << port;
    }
    CloseHandle(holder);
}

TEST_F(ModuleOpenTest, SettingsTheDeviceRefusesReportConfigFailed)
{
    struct Case {
        const char* name;
        double byteSize;
        const char* property;
        ArrayPtr (*value)();
    } cases[] = {
        {"5 data bits, 2 stop bits", 5, "StopBits", [] { return Number(2); }},
        {"1.5 stop bits with 8 data bits", 8, "StopBits", [] { return Number(1.5); }},
        {"baud rate 0", 8, "BaudRate", [] { return Number(0); }},
        {"XON = XOFF with XON/XOFF on", 8, "XoffChar", [] { return Text("\x11"); }},
    };
    for (const Case& c : cases) {
        ArrayPtr settings = Settings("COM1");
        Set(settings, "ByteSize", Number(c.byteSize));
        Set(settings, "XonXoffEnable", Text("on"));
        Set(settings, c.property, c.value());
        EXPECT_EQ(Open(settings), 16) << c.name;
        EXPECT_EQ(Close(settings), 0) << c.name << ": the port stays open to be reconfigured";
    }
}

} // namespace
} // namespace tty_test
