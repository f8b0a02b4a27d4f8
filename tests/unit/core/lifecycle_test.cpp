#include "module_fixture.h"

namespace quorvel_test {
namespace {

class LifecycleTest : public ModuleTest {
  protected:
    double Open(const ArrayPtr& settings) { return StatusAt(Quorvel(2, Text("Open"), settings), 2); }
    double Close(const ArrayPtr& settings) { return StatusOf(Quorvel(0, Text("Close"), settings)); }
};

TEST_F(LifecycleTest, OpenCreatesAndConfiguresTheDeviceInOrder)
{
    ArrayPtr settings = PortSettings("COM2");
    Set(settings, "ReadTimeout", Number(0.25));
    Set(settings, "InBufferSize", Number(4096));
    EXPECT_EQ(Open(settings), 0);
    EXPECT_EQ(DeviceCallNames(),
              (std::vector<std::string>{"CreateFileA", "SetupComm", "SetCommState", "SetCommTimeouts"}));
    std::vector<sim::CallRecord> calls = sim::Calls();
    EXPECT_EQ(calls[0].device, "COM2");
    EXPECT_EQ(calls[0].args, (std::vector<std::uint64_t>{GENERIC_READ | GENERIC_WRITE, 0, OPEN_EXISTING,
                                                         FILE_FLAG_OVERLAPPED}));
    EXPECT_EQ(calls[1].args, (std::vector<std::uint64_t>{4096, 1024}));
    const COMMTIMEOUTS& timeouts = calls[3].timeouts;
    EXPECT_EQ(timeouts.ReadIntervalTimeout, 250u);
    EXPECT_EQ(timeouts.ReadTotalTimeoutMultiplier + timeouts.ReadTotalTimeoutConstant +
                  timeouts.WriteTotalTimeoutMultiplier + timeouts.WriteTotalTimeoutConstant,
              0u);
    EXPECT_EQ(LockCount(), 1);
}

TEST_F(LifecycleTest, AnAbsentOrBusyDeviceIsNotOpenedAndTakesNoLock)
{
    sim::SetPresence("COM2", sim::Presence::Absent);
    sim::SetPresence("COM3", sim::Presence::Busy);
    for (const char* port : {"COM2", "COM3"}) {
        CallResult result = Quorvel(2, Text("Open"), PortSettings(port));
        EXPECT_EQ(StatusAt(result, 2), NotOpen) << port;
        EXPECT_EQ(TextOf(FieldOf(result.outputs[0].get(), "Port")), port);
    }
    EXPECT_EQ(LockCount(), 0);
    EXPECT_EQ(sim::CountCalls("SetupComm"), 0);
}

TEST_F(LifecycleTest, ARejectedConfigurationLeavesThePortOpenAndLocked)
{
    ArrayPtr settings = PortSettings("COM2");
    Set(settings, "StopBits", Number(3));
    CallResult result = Quorvel(2, Text("Open"), settings);
    EXPECT_EQ(StatusAt(result, 2), ConfigFailed);
    EXPECT_EQ(NumberOf(FieldOf(result.outputs[0].get(), "StopBits")), 3);
    EXPECT_TRUE(sim::IsOpen("COM2"));
    EXPECT_EQ(LockCount(), 1);
    EXPECT_EQ(StatusAt(Quorvel(2, Text("GetParams"), settings), 2), ConfigFailed)
        << "the settings reported were asked for, not taken";
    EXPECT_EQ(Close(settings), 0);
    EXPECT_EQ(StatusAt(Quorvel(2, Text("GetParams"), settings), 2), NotOpen) << "Close lifts the refusal";
}

TEST_F(LifecycleTest, ConfigurationStopsAtTheFirstRejectedCall)
{
    for (const char* failing : {"SetupComm", "SetCommState", "SetCommTimeouts"}) {
        sim::ClearCalls();
        sim::FailCall(failing);
        ArrayPtr settings = PortSettings("COM2");
        EXPECT_EQ(Open(settings), ConfigFailed) << failing;
        std::vector<std::string> names = DeviceCallNames();
        EXPECT_EQ(names.back(), failing);
        EXPECT_EQ(Close(settings), 0);
    }
}

TEST_F(LifecycleTest, LocksFollowOpensAndCloses)
{
    ArrayPtr settings = PortSettings("COM2");
    EXPECT_EQ(Open(settings), 0);
    EXPECT_EQ(Open(settings), 0) << "a second Open reconfigures the open port";
    EXPECT_EQ(sim::CountCalls("CreateFileA"), 1);
    EXPECT_EQ(sim::CountCalls("SetCommState"), 2);
    EXPECT_EQ(LockCount(), 2);
    EXPECT_EQ(Close(settings), 0);
    EXPECT_FALSE(sim::IsOpen("COM2"));
    EXPECT_EQ(LockCount(), 1) << "the module stays loaded";
    EXPECT_EQ(Close(settings), NotOpen);
    EXPECT_EQ(LockCount(), 1);
    Quorvel(0, Text("CloseAll"));
    EXPECT_EQ(LockCount(), 0);
}

TEST_F(LifecycleTest, CloseAllClosesEveryPort)
{
    OpenPort(PortSettings("COM1"));
    OpenPort(PortSettings("COM5"));
    CallResult result = Quorvel(0, Text("CloseAll"));
    EXPECT_FALSE(result.aborted);
    EXPECT_EQ(result.outputs[0], nullptr);
    EXPECT_FALSE(sim::IsOpen("COM1"));
    EXPECT_FALSE(sim::IsOpen("COM5"));
    EXPECT_EQ(LockCount(), 0);
}

TEST_F(LifecycleTest, TheSettingsOutliveCloseUntilTheNextOpen)
{
    ArrayPtr settings = PortSettings("COM2");
    Set(settings, "BaudRate", Number(57600));
    OpenPort(settings);
    Close(settings);
    CallResult closed = Quorvel(2, Text("GetParams"), PortSettings("COM2"));
    EXPECT_EQ(NumberOf(FieldOf(closed.outputs[0].get(), "BaudRate")), 57600);
    EXPECT_EQ(StatusAt(closed, 2), NotOpen);
}

TEST_F(LifecycleTest, AReopenedSlotStartsFromTheDefaults)
{
    ArrayPtr settings = PortSettings("COM2");
    OpenPort(settings);
    sim::RaiseErrors("COM2", CE_RXPARITY);
    EXPECT_EQ(StatusAt(Quorvel(2, Text("GetReadStatus"), settings), 2), LineError);
    Close(settings);
    OpenPort(settings);
    EXPECT_EQ(StatusAt(Quorvel(2, Text("GetReadStatus"), settings), 2), 0) << "the error bits were cleared";
}

TEST_F(LifecycleTest, TheExitHookClosesEverythingWhenTheHostLeaves)
{
    OpenPort(PortSettings("COM3"));
    EXPECT_FALSE(ClearModule()) << "a locked module is not unloaded";
    EXPECT_TRUE(sim::IsOpen("COM3"));
    ExitHost();
    EXPECT_FALSE(sim::IsOpen("COM3"));
    EXPECT_EQ(LockCount(), 0);
    EXPECT_EQ(ExitHookRuns(), 1);
}

// The hook runs while the host shuts down, when it may have no memory left.
TEST_F(LifecycleTest, CloseAllAndTheExitHookNeedNoHostMemory)
{
    kernel::SetWaitHook([](const HANDLE*, DWORD, BOOL waitAll, DWORD) {
        if (waitAll)
            sim::CompleteWrites("COM2", 1);
    });
    for (bool hostExits : {false, true}) {
        ArrayPtr settings = PortSettings("COM2");
        OpenPort(settings);
        sim::SetWriteCompletion("COM2", sim::WriteCompletion::Later);
        ASSERT_EQ(StatusOf(Quorvel(1, Text("Write"), settings, Uint8Row({1, 2}))), Pending);
        ArrayPtr closeAll = Text("CloseAll");
        Reset();
        FailNthAllocation(1);
        FailNthArrayCreation(1);
        if (hostExits)
            ExitHost();
        else
            EXPECT_FALSE(Quorvel(0, closeAll).aborted);
        EXPECT_EQ(AllocationsMade() + ArrayCreationsMade(), 0) << hostExits;
        EXPECT_EQ(sim::Sent("COM2"), (Bytes{1, 2})) << "the write was drained, not cut off";
        EXPECT_FALSE(sim::IsOpen("COM2"));
        EXPECT_EQ(LockCount(), 0);
        EXPECT_EQ(PersistentBlockCount(), 0);
        Reset();
        sim::Reset();
    }
}

TEST_F(LifecycleTest, ClearingAnUnlockedModuleRunsTheHook)
{
    ArrayPtr settings = PortSettings("COM3");
    OpenPort(settings);
    Close(settings);
    EXPECT_TRUE(ClearModule());
    EXPECT_EQ(ExitHookRuns(), 1);
}

TEST_F(LifecycleTest, OutOfMemoryAfterTheLockKeepsThePortOpen)
{
    ArrayPtr command = Text("Open"), settings = PortSettings("COM2");
    FailNthArrayCreation(1);
    EXPECT_EQ(Quorvel(2, command, settings).message, "Out of memory.");
    EXPECT_TRUE(sim::IsOpen("COM2"));
    EXPECT_EQ(LockCount(), 1);
    EXPECT_EQ(LiveBlockCount(), 0);
}

} // namespace
} // namespace quorvel_test
