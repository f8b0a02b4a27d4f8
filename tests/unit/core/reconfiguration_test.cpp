#include "module_fixture.h"

namespace quorvel_test {
namespace {

class ReconfigurationTest : public ModuleTest {
  protected:
    void SetUp() override
    {
        ModuleTest::SetUp();
        settings = PortSettings("COM2");
        OpenPort(settings);
        sim::ClearCalls();
    }

    double SetParams() { return StatusAt(Quorvel(2, Text("SetParams"), settings), 2); }

    ArrayPtr settings;
};

using Calls = std::vector<std::string>;

TEST_F(ReconfigurationTest, OnlyChangedGroupsReachTheDeviceInTheirOrder)
{
    struct Change {
        const char* property;
        ArrayPtr (*value)();
        Calls expected;
    };
    const Change changes[] = {
        {"WriteTimeout", [] { return Number(3); }, {}},
        {"ReadTimeout", [] { return Number(0.5); }, {"SetCommTimeouts"}},
        {"DtrLine", [] { return Text("off"); }, {"SetCommState"}},
        {"OutBufferSize", [] { return Number(2048); }, {"SetupComm"}},
        {"Port", [] { return Text("com2"); }, {}},
    };
    for (const Change& change : changes) {
        sim::ClearCalls();
        Set(settings, change.property, change.value());
        EXPECT_EQ(SetParams(), 0) << change.property;
        EXPECT_EQ(DeviceCallNames(), change.expected) << change.property;
    }
}

TEST_F(ReconfigurationTest, AReadTimeoutOfZeroAsksForReadsThatReturnAtOnce)
{
    // An interval of 0 is no limit at all: a device that kept sending would
    // keep the read going until its count was reached.
    Set(settings, "ReadTimeout", Number(0));
    EXPECT_EQ(SetParams(), 0);
    const COMMTIMEOUTS timeouts = sim::Calls().at(0).timeouts;
    EXPECT_EQ(timeouts.ReadIntervalTimeout, MAXDWORD);
    EXPECT_EQ(timeouts.ReadTotalTimeoutMultiplier + timeouts.ReadTotalTimeoutConstant, 0u);
}

TEST_F(ReconfigurationTest, BuffersAreSetBeforeTheControlBlock)
{
    Set(settings, "BaudRate", Number(19200));
    Set(settings, "InBufferSize", Number(8192));
    Set(settings, "ReadTimeout", Number(1));
    EXPECT_EQ(SetParams(), 0);
    EXPECT_EQ(DeviceCallNames(), (Calls{"SetupComm", "SetCommState", "SetCommTimeouts"}));
    EXPECT_EQ(sim::AcceptedState("COM2").BaudRate, 19200u);
}

TEST_F(ReconfigurationTest, TheFirstRejectedGroupStopsTheRest)
{
    Set(settings, "InBufferSize", Number(8192));
    Set(settings, "ByteSize", Number(9));
    Set(settings, "ReadTimeout", Number(1));
    CallResult result = Quorvel(2, Text("SetParams"), settings);
    EXPECT_EQ(StatusAt(result, 2), ConfigFailed);
    EXPECT_EQ(DeviceCallNames(), (Calls{"SetupComm", "SetCommState"}));
    EXPECT_EQ(NumberOf(FieldOf(result.outputs[0].get(), "ByteSize")), 9)
        << "the record keeps the new settings";
}

TEST_F(ReconfigurationTest, ARefusalStandsUntilTheRefusedGroupsAreApplied)
{
    auto getParams = [&] { return StatusAt(Quorvel(2, Text("GetParams"), settings), 2); };
    Set(settings, "InBufferSize", Number(8192));
    Set(settings, "ByteSize", Number(9));
    Set(settings, "ReadTimeout", Number(1));
    EXPECT_EQ(SetParams(), ConfigFailed);
    EXPECT_EQ(getParams(), ConfigFailed);

    sim::ClearCalls();
    EXPECT_EQ(SetParams(), ConfigFailed) << "the same settings again are applied again";
    EXPECT_EQ(DeviceCallNames(), (Calls{"SetCommState"}));
    EXPECT_EQ(getParams(), ConfigFailed);

    sim::ClearCalls();
    Set(settings, "ByteSize", Number(7));
    EXPECT_EQ(SetParams(), 0);
    EXPECT_EQ(DeviceCallNames(), (Calls{"SetCommState", "SetCommTimeouts"}))
        << "the time-outs the device never got go with the control block";
    EXPECT_EQ(getParams(), 0);

    sim::FailCall("SetCommTimeouts");
    Set(settings, "ReadTimeout", Number(2));
    EXPECT_EQ(SetParams(), ConfigFailed);
    EXPECT_EQ(StatusAt(Quorvel(2, Text("Open"), settings), 2), 0) << "Open of the open port applies all";
    EXPECT_EQ(getParams(), 0);
}

TEST_F(ReconfigurationTest, TheNewWriteTimeoutLimitsTheNextDrain)
{
    Set(settings, "WriteTimeout", Number(0));
    SetParams();
    sim::SetWriteCompletion("COM2", sim::WriteCompletion::Never);
    Quorvel(0, Text("Write"), settings, Uint8Row({1}));
    EXPECT_EQ(StatusOf(Quorvel(0, Text("FlushWrite"), settings)), TimedOut);
}

TEST_F(ReconfigurationTest, AClosedPortKeepsTheNewSettingsWithoutDeviceCalls)
{
    ArrayPtr closed = PortSettings("COM3");
    Set(closed, "BaudRate", Number(4800));
    CallResult result = Quorvel(2, Text("SetParams"), closed);
    EXPECT_EQ(StatusAt(result, 2), NotOpen);
    EXPECT_EQ(NumberOf(FieldOf(result.outputs[0].get(), "BaudRate")), 4800);
    EXPECT_TRUE(DeviceCallNames().empty());
}

TEST_F(ReconfigurationTest, AReportedHandshakeIsRejectedAndChangesNothing)
{
    Set(settings, "RtsCtsEnable", Text("on"));
    CallResult handshake = Quorvel(2, Text("SetParams"), settings);
    sim::ClearCalls();
    Set(handshake.outputs[0], "BaudRate", Number(300));
    EXPECT_EQ(Quorvel(2, Text("SetParams"), handshake.outputs[0]).message,
              "Invalid \"RtsLine\" property value.");
    EXPECT_TRUE(DeviceCallNames().empty());
    CallResult now = Quorvel(1, Text("GetParams"), settings);
    EXPECT_EQ(NumberOf(FieldOf(now.outputs[0].get(), "BaudRate")), 9600);
}

} // namespace
} // namespace quorvel_test
