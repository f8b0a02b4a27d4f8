// Opening, configuring and closing real COM ports, and the host's exit.
#include "cases.h"
#include "checks.h"
#include "far_end.h"
#include "module_calls.h"

namespace wine_test {

void OpenConfigureClose()
{
    ArrayPtr com1 = PortSettings(1);
    SetProperty(com1, "BaudRate", Number(19200));
    Settled opened = Open(com1);
    EXPECT_EQUAL(opened.status, 0.0);
    EXPECT_EQUAL(NumberProperty(opened.settings, "BaudRate"), 19200.0);
    EXPECT_EQUAL(FarLineSettings(1).baudRate, 19200);
    EXPECT_EQUAL(GetParams(com1).status, 0.0);
    EXPECT_EQUAL(test_host::LockCount(), 1);

    // Reconfiguration reaches the device without reopening it.
    SetProperty(com1, "BaudRate", Number(115200));
    SetProperty(com1, "RtsCtsEnable", Text("on"));
    SetProperty(com1, "XonXoffEnable", Text("on"));
    EXPECT_EQUAL(SetParams(com1).status, 0.0);
    FarLine line = FarLineSettings(1);
    EXPECT_EQUAL(line.baudRate, 115200);
    EXPECT_TRUE(line.rtsCts);
    EXPECT_TRUE(line.xonXoff);
    SetProperty(com1, "RtsCtsEnable", Text("off"));
    SetProperty(com1, "XonXoffEnable", Text("off"));
    EXPECT_EQUAL(SetParams(com1).status, 0.0);
    line = FarLineSettings(1);
    EXPECT_TRUE(!line.rtsCts && !line.xonXoff);

    ArrayPtr com2 = PortSettings(2);
    EXPECT_EQUAL(Open(com2).status, 0.0);
    EXPECT_EQUAL(test_host::LockCount(), 2);

    EXPECT_EQUAL(Close(com1), 0.0);
    EXPECT_EQUAL(Close(com1), NotOpen);
    EXPECT_EQUAL(GetParams(com1).status, NotOpen);
    EXPECT_EQUAL(test_host::LockCount(), 1);

    ArrayPtr refusing = PortSettings(RefusingPort);
    EXPECT_EQUAL(Open(refusing).status, NotOpen);
    EXPECT_EQUAL(test_host::LockCount(), 1);

    // A closed slot opens again, with the settings it is given.
    SetProperty(com1, "BaudRate", Number(4800));
    EXPECT_EQUAL(Open(com1).status, 0.0);
    EXPECT_EQUAL(FarLineSettings(1).baudRate, 4800);

    CloseAll();
    EXPECT_EQUAL(GetParams(com1).status, NotOpen);
    EXPECT_EQUAL(GetParams(com2).status, NotOpen);
}

void CallErrorsAbort()
{
    // The host's abort passes through the module's frames and leaves it usable.
    ArrayPtr com1 = PortSettings(1);
    EXPECT_EQUAL(AbortMessage({Text("Bogus").get(), com1.get()}), std::string("Unknown command."));
    ArrayPtr fast = PortSettings(1);
    SetProperty(fast, "BaudRate", Text("fast"));
    EXPECT_EQUAL(AbortMessage({Text("Open").get(), fast.get()}),
                 std::string("Invalid \"BaudRate\" property value."));
    EXPECT_EQUAL(test_host::LockCount(), 0);
    EXPECT_EQUAL(Open(com1).status, 0.0);
    EXPECT_EQUAL(AbortMessage({Text("Write").get(), com1.get(), Number(1).get()}),
                 std::string("Data to write must be of type \"uint8\"."));
    EXPECT_EQUAL(test_host::PersistentBlockCount(), 0);
    EXPECT_EQUAL(Write(com1, "fine"), 4.0);
    EXPECT_EQUAL(FarReceive(1, 4, 2000), std::string("fine"));
}

void HostExitClosesEverything()
{
    ArrayPtr com1 = PortSettings(1);
    ArrayPtr com2 = PortSettings(2);
    SetProperty(com1, "WriteTimeout", Number(0.5));
    EXPECT_EQUAL(Open(com1).status, 0.0);
    EXPECT_EQUAL(Open(com2).status, 0.0);
    // More than the terminal holds while the far end takes nothing: in flight.
    EXPECT_EQUAL(Write(com1, std::string(256 * 1024, 'w')), Pending);
    EXPECT_EQUAL(GetWriteStatus(com1).status, Pending);

    EXPECT_TRUE(!UnloadModule()); // "clear" is refused while ports are open
    test_host::ExitHost();
    EXPECT_EQUAL(test_host::LockCount(), 0);
    EXPECT_EQUAL(test_host::PersistentBlockCount(), 0);
    EXPECT_EQUAL(GetParams(com1).status, NotOpen);
    EXPECT_EQUAL(GetParams(com2).status, NotOpen);
}

} // namespace wine_test
