#include "module_fixture.h"
#include "servers.h"
#include "status_bits.h"

#include <sys/ioctl.h>
#include <termios.h>

extern "C" void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);

namespace network_test {
namespace {

using test_host::ArrayPtr;
using test_host::Number;
using test_host::Text;
using tty_test::Bytes;
using tty_test::ReadOutcome;

Bytes EveryByteValue()
{
    Bytes bytes(256);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<std::uint8_t>(i);
    return bytes;
}

class NetworkPortTest : public tty_test::ModuleTest {
  protected:
    // COM3 led to the server, with a read time-out that a loaded machine meets.
    ArrayPtr PortAt(const ServerProcess& server)
    {
        folder_.Link(3, server.Address());
        ArrayPtr settings = Settings("COM3");
        Set(settings, "ReadTimeout", Number(2));
        return settings;
    }

    // Written, then read back whole from an echoing device.
    ReadOutcome Echoed(const ArrayPtr& port, const Bytes& bytes)
    {
        EXPECT_EQ(Write(port, bytes) & ~status_bits::Pending, 0);
        return Read(port, static_cast<double>(bytes.size()));
    }
};

using Ser2netTest = NetworkPortTest;

TEST_F(Ser2netTest, EveryByteValueCrossesBothWaysAndTheFarTtyKeepsTheSettingsAsked)
{
    Ser2netServer server(com1_.SlavePath());
    ArrayPtr port = PortAt(server);
    Set(port, "BaudRate", Number(57600));
    Set(port, "StopBits", Number(2));
    Set(port, "RtsCtsEnable", Text("on"));
    ASSERT_EQ(Open(port), 0);

    termios far{};
    ASSERT_EQ(tcgetattr(com1_.Slave(), &far), 0);
    EXPECT_EQ(tty_test::OutputRateOf(com1_.Slave()), 57600u);
    EXPECT_TRUE(far.c_cflag & CSTOPB);
    EXPECT_TRUE(far.c_cflag & CRTSCTS);

    const Bytes all = EveryByteValue();
    EXPECT_EQ(Write(port, all) & ~status_bits::Pending, 0);
    EXPECT_EQ(com1_.Receive(all.size(), milliseconds(5000)), all);
    com1_.Send(all);
    ReadOutcome read = Read(port, static_cast<double>(all.size()));
    EXPECT_EQ(read.status, 0);
    EXPECT_EQ(read.bytes, all);
}

TEST_F(Ser2netTest, AClosedConnectionIsAnIoFailureForEveryCommand)
{
    auto server = std::make_unique<Ser2netServer>(com1_.SlavePath());
    ArrayPtr port = PortAt(*server);
    ASSERT_EQ(Open(port), 0);
    server.reset();
    EXPECT_EQ(Read(port, 1).status, status_bits::IoFailed);
    EXPECT_EQ(ReadStatus(port).status, status_bits::IoFailed);
    EXPECT_EQ(Write(port, {'x'}), status_bits::IoFailed);
    Set(port, "BaudRate", Number(4800));
    EXPECT_EQ(SetParams(port), status_bits::ConfigFailed) << "as on a local port that hung up";
}

TEST_F(NetworkPortTest, OpeningWhatIsNoNetworkSerialPortFailsNotOpen)
{
    struct Case {
        const char* name;
        std::string mode; // of the fault server; "" for none at all
    } cases[] = {
        {"server declines the option", "decline"},
        {"plain TCP port that never speaks Telnet", "silent"},
        {"nothing listening", ""},
    };
    int port = 3;
    for (const Case& c : cases) {
        std::unique_ptr<FaultServer> server =
            c.mode.empty() ? nullptr : std::make_unique<FaultServer>(c.mode);
        const std::string address =
            server ? server->Address() : "rfc2217://127.0.0.1:" + std::to_string(UnusedPort());
        folder_.Link(port, address);
        ArrayPtr settings = Settings("COM" + std::to_string(port++));
        EXPECT_EQ(Open(settings), status_bits::NotOpen) << c.name;
    }
}

TEST_F(NetworkPortTest, CtrlCEndsTheWaitForAServerThatDoesNotAnswer)
{
    FaultServer server("silent");
    ArrayPtr port = PortAt(server);
    test_host::RequestInterrupt();
    const auto start = std::chrono::steady_clock::now();
    test_host::CallResult open = test_host::Call(mexFunction, 2, {Text("Open").get(), port.get()});
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_TRUE(open.interrupted);
    EXPECT_LT(waited, std::chrono::seconds(2)) << "the wait would last its full 5 s";
    EXPECT_EQ(ReadStatus(port).status, status_bits::NotOpen);
}

TEST_F(NetworkPortTest, SettingsTheServerDoesNotConfirmFailConfiguration)
{
    struct Case {
        const char* mode;
        bool opens; // the open's own settings are confirmed
    } cases[] = {{"refuse", true}, {"late", false}, {"never", false}};
    int number = 3;
    for (const Case& c : cases) {
        FaultServer server(c.mode);
        folder_.Link(number, server.Address());
        ArrayPtr port = Settings("COM" + std::to_string(number++));
        Set(port, "BaudRate", Number(9600));
        EXPECT_EQ(Open(port), c.opens ? 0 : status_bits::ConfigFailed) << c.mode;
        Set(port, "BaudRate", Number(230400));
        EXPECT_EQ(SetParams(port), status_bits::ConfigFailed) << c.mode;
        if (c.opens) {
            EXPECT_EQ(server.LineStartingWith("asked 1 230400", milliseconds(2000)), "asked 1 230400");
            EXPECT_EQ(server.LineStartingWith("asked 1 ", milliseconds(2000)), "asked 1 9600")
                << "the confirmed rate was asked back";
        }
        EXPECT_EQ(Close(port), 0) << c.mode;
    }
}

TEST_F(NetworkPortTest, LineStateNotificationsBecomeTheLineErrorsOfALocalPort)
{
    FaultServer server("linestate");
    ArrayPtr port = PortAt(server);
    ASSERT_EQ(Open(port), 0);
    struct Case {
        std::uint8_t trigger;
        int status;
    } cases[] = {{'P', status_bits::LineError},
                 {'F', status_bits::LineError},
                 {'B', status_bits::LineError},
                 {'O', status_bits::Overrun},
                 {'x', 0}};
    for (const Case& c : cases) {
        ReadOutcome read = Echoed(port, {c.trigger});
        EXPECT_EQ(read.bytes, Bytes{c.trigger});
        EXPECT_EQ(read.status, c.status) << c.trigger;
    }
    EXPECT_EQ(Write(port, {'P'}) & ~status_bits::Pending, 0);
    EXPECT_TRUE(tty_test::WaitUntil([&] { return ReadStatus(port).waiting > 0; }, milliseconds(2000)));
    EXPECT_EQ(ReadStatus(port).status, status_bits::Pending | status_bits::LineError);
}

TEST_F(NetworkPortTest, NothingOfTelnetButTheDataReachesTheScript)
{
    FaultServer server("garbage");
    ArrayPtr port = PortAt(server);
    ASSERT_EQ(Open(port), 0);
    const Bytes all = EveryByteValue();
    ReadOutcome read = Echoed(port, all);
    EXPECT_EQ(read.status, 0);
    EXPECT_EQ(read.bytes, all);
}

TEST_F(NetworkPortTest, FlushReadPurgesTheServersBufferAndOursAndAReadThenTimesOut)
{
    FaultServer server("agree");
    ArrayPtr port = PortAt(server);
    ASSERT_EQ(Open(port), 0);
    EXPECT_EQ(Write(port, {'a', 'b', 'c'}) & ~status_bits::Pending, 0);
    EXPECT_TRUE(tty_test::WaitUntil([&] { return ReadStatus(port).waiting == 3; }, milliseconds(2000)));
    EXPECT_EQ(FlushRead(port), 0);
    EXPECT_EQ(server.LineStartingWith("asked 12 ", milliseconds(2000)), "asked 12 1");
    EXPECT_EQ(ReadStatus(port).waiting, 0);
    Set(port, "ReadTimeout", Number(0.2));
    ASSERT_EQ(SetParams(port), 0);
    EXPECT_EQ(Read(port, 1).status, status_bits::TimedOut) << "nothing purged came back";
}

TEST_F(NetworkPortTest, WritesTheClosedConnectionLostAreReportedAsOnALocalPort)
{
    FaultServer server("hangup");
    ArrayPtr port = PortAt(server);
    ASSERT_EQ(Open(port), 0);
    // More than the connection's buffers hold, so that the close catches it unsent.
    EXPECT_EQ(Write(port, tty_test::Pattern(16 << 20, 1)), status_bits::Pending);
    EXPECT_EQ(server.LineStartingWith("closed", milliseconds(10000)), "closed");
    EXPECT_EQ(FlushWrite(port), status_bits::IoFailed);
    EXPECT_EQ(Read(port, 1).status, status_bits::IoFailed);
    EXPECT_EQ(Close(port), 0);
}

TEST_F(NetworkPortTest, PyserialsServerConfirmsEveryFrameAndModemLine)
{
    PortManagerServer server;
    ArrayPtr port = PortAt(server);
    Set(port, "BaudRate", Number(1200));
    Set(port, "ByteSize", Number(5));
    Set(port, "Parity", Text("mark"));
    Set(port, "StopBits", Number(1.5));
    Set(port, "XonXoffEnable", Text("on"));
    Set(port, "DtrLine", Text("off"));
    ASSERT_EQ(Open(port), 0);
    Set(port, "ByteSize", Number(7));
    Set(port, "Parity", Text("space"));
    Set(port, "StopBits", Number(2));
    Set(port, "RtsLine", Text("off"));
    EXPECT_EQ(SetParams(port), 0);
    const Bytes all = EveryByteValue();
    ReadOutcome read = Echoed(port, all);
    EXPECT_EQ(read.status, 0);
    EXPECT_EQ(read.bytes, all);
}

} // namespace
} // namespace network_test
