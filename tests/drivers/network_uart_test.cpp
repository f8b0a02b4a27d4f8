// A network serial port on a real UART: ser2net in front of the first UART,
// reached over the guest's loopback, applies the frames and modem lines that
// a pseudo-terminal cannot carry, and the far UART sees them.
#include "driver_fixture.h"
#include "servers.h"

#include <arpa/inet.h>
#include <cstring>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace driver_test {
namespace {

using test_host::ArrayPtr;

constexpr std::uint8_t DtrBit = 0x01, RtsBit = 0x02;
constexpr std::uint8_t ParityEnable = 0x08;

struct Frame {
    const char* name;
    double byteSize;
    const char* parity;
    double stopBits;
    std::uint8_t lineControl; // word length, stop bits, parity enable, even and stick parity
    tcflag_t controlFlags;
    unsigned values; // the byte values the frame carries
};

const Frame Frames[] = {
    {"8N1", 8, "none", 1, 0x03, CS8, 256},
    {"7E1", 7, "even", 1, 0x1a, CS7 | PARENB, 128},
    {"7O2", 7, "odd", 2, 0x0e, CS7 | PARENB | PARODD | CSTOPB, 128},
    {"8M1", 8, "mark", 1, 0x2b, CS8 | PARENB | PARODD | CMSPAR, 256},
    {"8S1", 8, "space", 1, 0x3b, CS8 | PARENB | CMSPAR, 256},
    {"5N1", 5, "none", 1, 0x00, CS5, 32},
    {"8N2", 8, "none", 2, 0x07, CS8 | CSTOPB, 256},
};

// The guest boots with its loopback down and no other address; ser2net finds
// its accepter's 127.0.0.1 only on a machine with an IPv4 address besides it
// (getaddrinfo's AI_ADDRCONFIG), so the loopback gets one from TEST-NET-1.
void RaiseLoopback()
{
    const int probe = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ifreq request{};
    std::snprintf(request.ifr_name, sizeof request.ifr_name, "lo");
    ASSERT_EQ(ioctl(probe, SIOCGIFFLAGS, &request), 0);
    request.ifr_flags |= IFF_UP;
    ASSERT_EQ(ioctl(probe, SIOCSIFFLAGS, &request), 0);
    ifreq alias{};
    std::snprintf(alias.ifr_name, sizeof alias.ifr_name, "lo:1");
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(0xc0000201); // 192.0.2.1
    std::memcpy(&alias.ifr_addr, &address, sizeof address);
    ASSERT_EQ(ioctl(probe, SIOCSIFADDR, &alias), 0);
    close(probe);
}

// Word length, stop bits and parity enable; the kind of parity only where
// parity is on (the driver sets even parity's bit for "none" too).
std::uint8_t FrameOf(std::uint8_t lineControl)
{
    return lineControl & ((lineControl & ParityEnable) ? 0x3f : 0x0f);
}

Bytes EveryValue(unsigned count)
{
    Bytes values(count);
    for (unsigned v = 0; v < count; ++v)
        values[v] = static_cast<std::uint8_t>(v);
    return values;
}

// COM4 is the first UART through ser2net; the test plays the far end on the second.
class NetworkUartTest : public UartTest {
  protected:
    void SetUp() override
    {
        UartTest::SetUp();
        if (IsSkipped())
            return;
        RaiseLoopback();
        server_ = std::make_unique<network_test::Ser2netServer>(near_);
        folder_.Link(4, server_->Address());
    }

    ArrayPtr NetworkPort() const
    {
        ArrayPtr settings = Settings("COM4");
        Set(settings, "BaudRate", test_host::Number(9600));
        Set(settings, "ReadTimeout", test_host::Number(2));
        return settings;
    }

    std::unique_ptr<network_test::Ser2netServer> server_;
};

TEST_F(NetworkUartTest, EachFrameReachesTheUartAndCarriesEveryValueItHolds)
{
    const ArrayPtr settings = NetworkPort();
    bool opened = false;
    for (const Frame& frame : Frames) {
        SCOPED_TRACE(frame.name);
        SetFrame(settings, frame.byteSize, frame.parity, frame.stopBits);
        ASSERT_EQ(opened ? SetParams(settings) : Open(settings), 0);
        opened = true;
        if (registers_->Available()) {
            EXPECT_EQ(FrameOf(registers_->LineControl()), frame.lineControl);
        }
        far_->Configure(B9600, frame.controlFlags);
        far_->DiscardInput();
        const Bytes values = EveryValue(frame.values);
        EXPECT_EQ(Write(settings, values) & ~4, 0);
        EXPECT_EQ(far_->Receive(values.size(), milliseconds(5000)), values);
        far_->Send(values);
        const tty_test::ReadOutcome read = Read(settings, static_cast<double>(values.size()));
        EXPECT_EQ(read.status, 0);
        EXPECT_EQ(read.bytes, values);
    }
}

// On a real UART ser2net answers DTR and RTS, and the lines follow.
TEST_F(NetworkUartTest, RtsLineAndDtrLineReachTheModemControlRegister)
{
    if (!registers_->Available())
        GTEST_SKIP() << "needs the UART's registers through /dev/port: root and an I/O-port UART";
    const ArrayPtr settings = NetworkPort();
    bool opened = false;
    for (const bool rts : {false, true}) {
        for (const bool dtr : {false, true}) {
            Set(settings, "RtsLine", test_host::Text(rts ? "on" : "off"));
            Set(settings, "DtrLine", test_host::Text(dtr ? "on" : "off"));
            EXPECT_EQ(opened ? SetParams(settings) : Open(settings), 0);
            opened = true;
            // Modem lines are not waited for: ser2net's answer is.
            const bool settled = tty_test::WaitUntil(
                [&] {
                    const std::uint8_t lines = registers_->ModemControl();
                    return ((lines & RtsBit) != 0) == rts && ((lines & DtrBit) != 0) == dtr;
                },
                milliseconds(2000));
            EXPECT_TRUE(settled) << "RtsLine " << rts << ", DtrLine " << dtr << ", MCR "
                                 << int(registers_->ModemControl());
        }
    }
}

} // namespace
} // namespace driver_test
