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

    sim::ClearCalls();
    EXPECT_EQ(SetParams(), 0) << "the same settings again find no difference";
    EXPECT_TRUE(DeviceCallNames().empty());
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
