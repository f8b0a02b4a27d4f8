// RtsLine and DtrLine in the UART's modem control register, and the RTS/CTS
// handshake holding output while CTS is low.
#include "driver_fixture.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <thread>
#include <unistd.h>

namespace driver_test {
namespace {

using test_host::ArrayPtr;

constexpr std::uint8_t DtrBit = 0x01, RtsBit = 0x02;
constexpr int Pending = 4;
// TIOCM_LOOP of <asm/termios.h>, which cannot be included beside <termios.h>.
constexpr int LoopbackLine = 0x8000;

TEST_F(UartTest, RtsLineAndDtrLineReachTheModemControlRegister)
{
    if (!registers_->Available())
        GTEST_SKIP() << "needs the UART's registers through /dev/port: root and an I/O-port UART";
    const ArrayPtr settings = Settings("COM1");
    bool opened = false;
    for (const bool rts : {false, true}) {
        for (const bool dtr : {false, true}) {
            Set(settings, "RtsLine", test_host::Text(rts ? "on" : "off"));
            Set(settings, "DtrLine", test_host::Text(dtr ? "on" : "off"));
            EXPECT_EQ(opened ? SetParams(settings) : Open(settings), 0);
            opened = true;
            const std::uint8_t modemControl = registers_->ModemControl();
            EXPECT_EQ((modemControl & RtsBit) != 0, rts)
                << "RtsLine " << rts << ", MCR " << int(modemControl);
            EXPECT_EQ((modemControl & DtrBit) != 0, dtr)
                << "DtrLine " << dtr << ", MCR " << int(modemControl);
        }
    }
}

// The UART's own descriptor, put in loopback mode with RTS low: its CTS then
// follows its RTS, which a cable without modem lines could not make low.
class LoopedBack {
  public:
    explicit LoopedBack(const std::string& device) : fd_(open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK))
    {
        EXPECT_GE(fd_, 0);
        Change(TIOCMBIS, LoopbackLine);
        LowerRts();
    }
    ~LoopedBack()
    {
        Change(TIOCMBIC, LoopbackLine);
        close(fd_);
    }
    LoopedBack(const LoopedBack&) = delete;
    LoopedBack& operator=(const LoopedBack&) = delete;

    void LowerRts() { Change(TIOCMBIC, TIOCM_RTS); }
    int OutputQueued() const
    {
        int queued = -1;
        EXPECT_EQ(ioctl(fd_, TIOCOUTQ, &queued), 0);
        return queued;
    }

  private:
    void Change(unsigned long request, int lines) { EXPECT_EQ(ioctl(fd_, request, &lines), 0); }
    int fd_;
};

TEST_F(UartTest, RtsCtsHandshakeHoldsOutputWhileCtsIsLow)
{
    const ArrayPtr settings = Settings("COM1");
    Set(settings, "ReadTimeout", test_host::Number(1));
    ASSERT_EQ(Open(settings), 0);
    LoopedBack loop(near_);
    Set(settings, "RtsCtsEnable", test_host::Text("on"));
    ASSERT_EQ(SetParams(settings), 0);
    loop.LowerRts(); // the handshake raised it

    const Bytes sent = tty_test::Pattern(100, 3);
    EXPECT_EQ(Write(settings, sent), Pending);
    std::this_thread::sleep_for(milliseconds(300));
    EXPECT_EQ(loop.OutputQueued(), 100) << "CTS low did not hold the output";
    EXPECT_EQ(ReadStatus(settings).waiting, 0) << "held bytes looped back";

    Set(settings, "RtsCtsEnable", test_host::Text("off"));
    ASSERT_EQ(SetParams(settings), 0);
    const tty_test::ReadOutcome got = Read(settings, sent.size());
    EXPECT_EQ(got.bytes, sent) << "the output did not flow once the handshake was off";
}

} // namespace
} // namespace driver_test
