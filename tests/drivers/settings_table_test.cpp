// Each frame and rate the module is asked for, against what the driver and
// the device really hold afterwards: an answer of 0 is a frame the device
// runs, at a rate within 2 % of the one asked; a refusal (16) leaves the
// device as it was, reads back as "asked for, not in force" and stands when
// asked again.
#include "driver_fixture.h"

#include <cmath>
#include <fcntl.h>
#include <filesystem>
#include <iostream>
#include <sstream>
#include <unistd.h>

namespace driver_test {
namespace {

using test_host::ArrayPtr;

struct Frame {
    const char* name;
    double byteSize;
    const char* parity;
    double stopBits;
    std::uint8_t lineControl; // word length, stop bits, parity enable, even and stick parity
    tcflag_t controlFlags;
};

const Frame Frames[] = {
    {"8N1", 8, "none", 1, 0x03, CS8},
    {"7E1", 7, "even", 1, 0x1a, CS7 | PARENB},
    {"7O2", 7, "odd", 2, 0x0e, CS7 | PARENB | PARODD | CSTOPB},
    {"6M1", 6, "mark", 1, 0x29, CS6 | PARENB | PARODD | CMSPAR},
    {"5S1.5", 5, "space", 1.5, 0x3c, CS5 | PARENB | CMSPAR | CSTOPB},
    {"8N2", 8, "none", 2, 0x07, CS8 | CSTOPB},
};

const double Rates[] = {110,   300,   1200,   2400,   9600,   19200,  31250,
                        38400, 57600, 115200, 230400, 250000, 460800, 1000000};

constexpr std::uint8_t FrameBits = 0x3f, ParityEnable = 0x08, ParityKind = 0x30;
constexpr tcflag_t FrameFlags = CSIZE | PARENB | PARODD | CMSPAR | CSTOPB;
constexpr int Refused = 16;

bool WithinTwoPercent(double made, double asked)
{
    return std::abs(made - asked) <= 0.02 * asked;
}

// The rate of the divisor nearest to the one `rate` needs.
double NearestRate(unsigned baudBase, double rate)
{
    return baudBase / std::max(1.0, std::round(baudBase / rate));
}

ArrayPtr Asking(ArrayPtr settings, const Frame& frame, double rate)
{
    SetFrame(settings, frame.byteSize, frame.parity, frame.stopBits);
    test_host::SetField(settings.get(), 0, "BaudRate", test_host::Number(rate));
    return settings;
}

void ExpectReportsAsked(const ArrayPtr& report, const Frame& frame, double rate)
{
    ASSERT_TRUE(report);
    EXPECT_EQ(test_host::NumberOf(test_host::FieldOf(report.get(), "BaudRate")), rate);
    EXPECT_EQ(test_host::NumberOf(test_host::FieldOf(report.get(), "ByteSize")), frame.byteSize);
    EXPECT_EQ(test_host::TextOf(test_host::FieldOf(report.get(), "Parity")), frame.parity);
    EXPECT_EQ(test_host::NumberOf(test_host::FieldOf(report.get(), "StopBits")), frame.stopBits);
}

struct UartState {
    std::uint8_t frame;
    unsigned divisor;
};

tcflag_t FrameHeldBy(const std::string& device)
{
    const int fd = open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    termios settings{};
    const bool read = fd >= 0 && tcgetattr(fd, &settings) == 0;
    if (fd >= 0)
        close(fd);
    EXPECT_TRUE(read) << "termios of " << device;
    return settings.c_cflag & FrameFlags;
}

std::string DriverOf(const std::string& device)
{
    const std::string name = std::filesystem::path(std::filesystem::canonical(device)).filename();
    std::error_code missing;
    return std::filesystem::read_symlink("/sys/class/tty/" + name + "/device/driver", missing).filename();
}

class UartTableTest : public UartTest {
  protected:
    // The driver sets the even-parity bit for every frame not odd, with
    // parity disabled too, where it means nothing.
    UartState Held() const
    {
        std::uint8_t frame = registers_->LineControl() & FrameBits;
        if (!(frame & ParityEnable))
            frame &= ~ParityKind;
        return {frame, registers_->Divisor()};
    }

    // Asks for one frame and rate over 9600 8N1 and checks the UART against
    // the answer, which it returns for the table.
    int Try(const Frame& frame, double rate, const UartState& before)
    {
        const ArrayPtr asked = Asking(Settings("COM1"), frame, rate);
        const int answer = SetParams(asked);
        const UartState held = Held();
        const tty_test::ParamsOutcome report = GetParams(asked);
        EXPECT_EQ(answer, WithinTwoPercent(NearestRate(info_.baudBase, rate), rate) ? 0 : Refused)
            << "the UART's nearest divisor makes " << NearestRate(info_.baudBase, rate) << " baud";
        ExpectReportsAsked(report.settings, frame, rate);
        if (answer == 0) {
            EXPECT_EQ(held.frame, frame.lineControl) << "line control register";
            EXPECT_TRUE(held.divisor != 0 && WithinTwoPercent(double(info_.baudBase) / held.divisor, rate))
                << "divisor " << held.divisor;
            EXPECT_EQ(report.status, 0);
        } else {
            EXPECT_EQ(answer, Refused);
            EXPECT_EQ(held.frame, before.frame) << "a refused frame reached the UART";
            EXPECT_EQ(held.divisor, before.divisor) << "a refused rate reached the UART";
            EXPECT_EQ(report.status, Refused) << "a refusal reads back as settings in force";
            EXPECT_EQ(SetParams(asked), Refused) << "asked again, a refusal passes for success";
        }
        return answer;
    }
};

TEST_F(UartTableTest, EachFrameAndRateIsAnsweredAsTheUartRunsIt)
{
    if (!registers_->Available() || info_.baudBase == 0)
        GTEST_SKIP() << "needs the UART's registers through /dev/port: root and an I/O-port UART";
    const ArrayPtr previous = Settings("COM1");
    ASSERT_EQ(Open(previous), 0);
    const UartState before = Held();
    ASSERT_EQ(before.frame, Frames[0].lineControl);
    ASSERT_EQ(before.divisor, info_.baudBase / 9600);

    std::ostringstream table;
    table << "answers on the UART (baud_base " << info_.baudBase << "):\n";
    for (const double rate : Rates) {
        table << "  " << static_cast<long>(rate);
        for (const Frame& frame : Frames) {
            SCOPED_TRACE(std::string(frame.name) + " at " + std::to_string(static_cast<long>(rate)));
            table << " " << frame.name << ":" << Try(frame, rate, before);
            ASSERT_EQ(SetParams(previous), 0) << "9600 8N1 again";
            EXPECT_EQ(GetParams(previous).status, 0) << "a good SetParams lifts the refusal";
        }
        table << "\n";
    }
    std::cout << table.str();
}

TEST_F(UsbTest, EachFrameIsAnsweredAsTheAdapterDriverKeepsIt)
{
    const ArrayPtr previous = Settings("COM3");
    ASSERT_EQ(Open(previous), 0);
    ASSERT_EQ(FrameHeldBy(adapter_), CS8);
    std::ostringstream table;
    table << "answers on " << DriverOf(adapter_) << " at 9600:";
    for (const Frame& frame : Frames) {
        SCOPED_TRACE(frame.name);
        const ArrayPtr asked = Asking(Settings("COM3"), frame, 9600);
        const int answer = SetParams(asked);
        const tty_test::ParamsOutcome report = GetParams(asked);
        ExpectReportsAsked(report.settings, frame, 9600);
        EXPECT_EQ(FrameHeldBy(adapter_), answer == 0 ? frame.controlFlags : CS8);
        EXPECT_EQ(report.status, answer);
        if (answer != 0) {
            EXPECT_EQ(SetParams(asked), Refused) << "asked again";
        }
        table << " " << frame.name << ":" << answer;
        ASSERT_EQ(SetParams(previous), 0);
        EXPECT_EQ(GetParams(previous).status, 0);
    }
    std::cout << table.str() << "\n";
}

TEST_F(UsbTest, AnFtdiAdapterRefusesSixDataBitsUntilAskedForEight)
{
    if (DriverOf(adapter_) != "ftdi_sio")
        GTEST_SKIP() << "the adapter's driver is " << DriverOf(adapter_) << ", not ftdi_sio";
    const ArrayPtr settings = Settings("COM3");
    SetFrame(settings, 6, "none", 1);
    EXPECT_EQ(Open(settings), Refused);
    EXPECT_EQ(FrameHeldBy(adapter_), CS8);
    EXPECT_EQ(GetParams(settings).status, Refused);
    EXPECT_EQ(SetParams(settings), Refused);
    SetFrame(settings, 8, "none", 1);
    EXPECT_EQ(SetParams(settings), 0);
    EXPECT_EQ(GetParams(settings).status, 0);
}

} // namespace
} // namespace driver_test
