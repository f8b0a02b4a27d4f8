// Settings: which DCBs the simulated driver accepts, and the order calls are logged in.
#include "dcb_rules.h"
#include "device_test_support.h"
#include "refused_dcbs.h"

#include <cstring>
#include <functional>

namespace {

using win32compat::BinaryLineDcb;

bool SameBytes(const DCB& a, const DCB& b)
{
    return std::memcmp(&a, &b, sizeof(DCB)) == 0;
}

struct DcbCase {
    const char* what;
    std::function<void(DCB&)> change;
};

class SimSettingsTest : public SimDeviceTest {
  protected:
    void SetUp() override
    {
        SimDeviceTest::SetUp();
        device = Open("COM1");
        DCB start = BinaryLineDcb(19200, 7, EVENPARITY, ONESTOPBIT);
        ASSERT_TRUE(SetCommState(device, &start));
    }

    HANDLE device = nullptr;
};

TEST_F(SimSettingsTest, InvalidSettingsAreRejectedAndLeaveTheAcceptedOnesInPlace)
{
    const DCB accepted = sim::AcceptedState("COM1");
    for (const test_support::DcbChange& c : test_support::DcbsWindowsRefuses) {
        SCOPED_TRACE(c.name);
        DCB rejected = BinaryLineDcb(9600, 8, NOPARITY, ONESTOPBIT);
        c.edit(rejected);
        Outcome outcome = Capture([&] { return SetCommState(device, &rejected); });
        EXPECT_EQ(outcome.result, FALSE);
        EXPECT_EQ(outcome.error, ERROR_INVALID_PARAMETER);
        EXPECT_TRUE(SameBytes(sim::AcceptedState("COM1"), accepted));
        EXPECT_TRUE(SameBytes(sim::Calls().back().dcb, rejected)) << "the rejected DCB is recorded";
    }
}

TEST_F(SimSettingsTest, SettingsAtTheEdgesAreAcceptedAndReadBack)
{
    const DcbCase cases[] = {
        {"5 data bits, 1.5 stop bits",
         [](DCB& d) {
             d.ByteSize = 5;
             d.StopBits = ONE5STOPBITS;
         }},
        {"6 data bits, 2 stop bits",
         [](DCB& d) {
             d.ByteSize = 6;
             d.StopBits = TWOSTOPBITS;
         }},
        {"space parity", [](DCB& d) { d.Parity = SPACEPARITY; }},
        {"XON = XOFF without XON/XOFF flow", [](DCB& d) { d.XoffChar = d.XonChar; }},
        {"XON/XOFF flow both ways",
         [](DCB& d) {
             d.fOutX = 1;
             d.fInX = 1;
         }},
        {"odd baud rate", [](DCB& d) { d.BaudRate = 12345; }},
    };
    for (const DcbCase& c : cases) {
        SCOPED_TRACE(c.what);
        DCB wanted = BinaryLineDcb(9600, 8, NOPARITY, ONESTOPBIT);
        c.change(wanted);
        ASSERT_TRUE(SetCommState(device, &wanted));
        DCB readBack{};
        ASSERT_TRUE(GetCommState(device, &readBack));
        EXPECT_TRUE(SameBytes(readBack, wanted));
        EXPECT_TRUE(SameBytes(sim::AcceptedState("COM1"), wanted));
    }
}

TEST_F(SimSettingsTest, CallsAreLoggedInOrderWithTheirArgumentsAndCopies)
{
    sim::ClearCalls();
    DCB dcb = BinaryLineDcb(57600, 8, ODDPARITY, TWOSTOPBITS);
    COMMTIMEOUTS timeouts{1, 2, 3, 4, 5};
    ASSERT_TRUE(SetupComm(device, 8192, 1024));
    ASSERT_TRUE(SetCommState(device, &dcb));
    ASSERT_TRUE(SetCommTimeouts(device, &timeouts));
    ASSERT_TRUE(PurgeComm(device, PURGE_RXABORT | PURGE_RXCLEAR));
    timeouts.ReadIntervalTimeout = 99; // the log keeps what was passed, not the caller's variable

    const std::vector<sim::CallRecord> calls = sim::Calls();
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_EQ(calls[0].function, "SetupComm");
    EXPECT_EQ(calls[0].args, (std::vector<std::uint64_t>{8192, 1024}));
    EXPECT_EQ(calls[1].function, "SetCommState");
    EXPECT_TRUE(SameBytes(calls[1].dcb, dcb));
    EXPECT_EQ(calls[2].function, "SetCommTimeouts");
    EXPECT_EQ(calls[2].timeouts.ReadIntervalTimeout, 1u);
    EXPECT_EQ(calls[2].timeouts.WriteTotalTimeoutConstant, 5u);
    EXPECT_EQ(calls[3].function, "PurgeComm");
    EXPECT_EQ(calls[3].args, (std::vector<std::uint64_t>{PURGE_RXABORT | PURGE_RXCLEAR}));
    for (const sim::CallRecord& call : calls)
        EXPECT_EQ(call.device, "COM1");
    EXPECT_EQ(sim::CountCalls("SetCommTimeouts"), 1);
    EXPECT_EQ(sim::CountCalls("WriteFile"), 0);

    sim::ClearCalls();
    EXPECT_TRUE(sim::Calls().empty());
}

TEST_F(SimSettingsTest, ResetRestoresTheDefaultsOfClosedPortsOnly)
{
    const DCB openPortState = sim::AcceptedState("COM1");
    HANDLE other = CreateFileA("COM2", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    DCB changed = BinaryLineDcb(300, 7, MARKPARITY, TWOSTOPBITS);
    ASSERT_TRUE(SetCommState(other, &changed));
    ASSERT_TRUE(CloseHandle(other));
    const DCB defaults = sim::AcceptedState("COM3");

    sim::Reset();
    EXPECT_TRUE(SameBytes(sim::AcceptedState("COM1"), openPortState));
    EXPECT_TRUE(SameBytes(sim::AcceptedState("COM2"), defaults));
}

} // namespace
