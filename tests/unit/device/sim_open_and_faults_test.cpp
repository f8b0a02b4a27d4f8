// Opening the simulated ports, the call log, invalid handles and injected faults.
#include "device_test_support.h"

#include <functional>
#include <iterator>
#include <stdexcept>
#include <string>

namespace {

using SimOpenTest = SimDeviceTest;

HANDLE OpenRaw(const char* name)
{
    return CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED,
                       nullptr);
}

TEST_F(SimOpenTest, EveryComPortOpensAndTheOpenIsRecordedWithItsArguments)
{
    for (int port = 1; port <= 8; ++port) {
        const std::string name = "COM" + std::to_string(port);
        Open(name.c_str());
        EXPECT_TRUE(sim::IsOpen(name)) << name;
        const sim::CallRecord call = sim::Calls().back();
        EXPECT_EQ(call.function, "CreateFileA");
        EXPECT_EQ(call.device, name);
        EXPECT_EQ(call.args, (std::vector<std::uint64_t>{GENERIC_READ | GENERIC_WRITE, 0, OPEN_EXISTING,
                                                         FILE_FLAG_OVERLAPPED}));
    }
}

TEST_F(SimOpenTest, RefusedOpensGiveInvalidHandleAndTheWindowsError)
{
    Open("COM5");
    sim::SetPresence("COM2", sim::Presence::Absent);
    sim::SetPresence("COM3", sim::Presence::Busy);
    struct Case {
        const char* name;
        DWORD error;
    };
    const Case cases[] = {{"COM2", ERROR_FILE_NOT_FOUND}, {"COM3", ERROR_ACCESS_DENIED},
                          {"COM5", ERROR_ACCESS_DENIED},  {"\\\\.\\com5", ERROR_ACCESS_DENIED},
                          {"COM9", ERROR_FILE_NOT_FOUND}, {"COM0", ERROR_FILE_NOT_FOUND},
                          {"LPT1", ERROR_FILE_NOT_FOUND}, {"", ERROR_FILE_NOT_FOUND}};
    for (const Case& c : cases) {
        SetLastError(ERROR_SUCCESS);
        EXPECT_EQ(OpenRaw(c.name), INVALID_HANDLE_VALUE) << c.name;
        EXPECT_EQ(GetLastError(), c.error) << c.name;
    }
    EXPECT_EQ(sim::CountCalls("CreateFileA"), 1 + static_cast<int>(std::size(cases)));
    EXPECT_FALSE(sim::IsOpen("COM2"));
    EXPECT_FALSE(sim::IsOpen("COM3"));
}

TEST_F(SimOpenTest, AClosedPortOpensAgainWithTheSettingsItAccepted)
{
    HANDLE first = OpenRaw("COM4");
    DCB dcb{};
    ASSERT_TRUE(GetCommState(first, &dcb));
    dcb.BaudRate = 115200;
    ASSERT_TRUE(SetCommState(first, &dcb));
    ASSERT_TRUE(CloseHandle(first));
    EXPECT_FALSE(sim::IsOpen("COM4"));
    EXPECT_EQ(sim::Calls().back().function, "CloseHandle");
    EXPECT_EQ(sim::Calls().back().device, "COM4");

    HANDLE second = Open("COM4");
    DCB reopened{};
    ASSERT_TRUE(GetCommState(second, &reopened));
    EXPECT_EQ(reopened.BaudRate, 115200u);
}

TEST_F(SimOpenTest, ResetRestoresTheScriptButLeavesOpenDevicesUsable)
{
    HANDLE device = Open("COM1");
    sim::SetPresence("COM2", sim::Presence::Absent);
    sim::FailCall("SetupComm");
    sim::Reset();

    EXPECT_TRUE(sim::IsOpen("COM1"));
    EXPECT_TRUE(sim::Calls().empty());
    EXPECT_TRUE(SetupComm(device, 4096, 4096)) << "a fault scheduled before Reset must be gone";
    Open("COM2");
}

TEST_F(SimOpenTest, AnInjectedOpenFaultLeavesThePortClosed)
{
    sim::FailCall("CreateFileA", ERROR_SHARING_VIOLATION);
    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(OpenRaw("COM1"), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
    EXPECT_FALSE(sim::IsOpen("COM1"));
    Open("COM1");
}

TEST_F(SimOpenTest, OnlyTheSimulatedFunctionsAndDevicesCanBeScripted)
{
    EXPECT_THROW(sim::FailCall("CreateEventA"), std::invalid_argument);
    EXPECT_THROW(sim::QueueInput("COM9", {1}), std::invalid_argument);
}

// Arguments that make each device call succeed on an open device.
struct CallArgs {
    Bytes buffer = Bytes(4, 0x55);
    OVERLAPPED finished{}; // a transfer that has completed, for GetOverlappedResult
    OVERLAPPED fresh{};
    DCB dcb{};
    COMMTIMEOUTS timeouts{};
    DWORD transferred = 0;
    DWORD errors = 0;
    COMSTAT status{};
};

struct DeviceCall {
    const char* function;
    std::function<BOOL(HANDLE, CallArgs&)> call;
};

const DeviceCall DeviceCalls[] = {
    {"SetupComm", [](HANDLE h, CallArgs&) { return SetupComm(h, 4096, 4096); }},
    {"GetCommState", [](HANDLE h, CallArgs& a) { return GetCommState(h, &a.dcb); }},
    {"SetCommState", [](HANDLE h, CallArgs& a) { return SetCommState(h, &a.dcb); }},
    {"SetCommTimeouts", [](HANDLE h, CallArgs& a) { return SetCommTimeouts(h, &a.timeouts); }},
    {"PurgeComm", [](HANDLE h, CallArgs&) { return PurgeComm(h, PURGE_RXCLEAR | PURGE_TXCLEAR); }},
    {"ClearCommError", [](HANDLE h, CallArgs& a) { return ClearCommError(h, &a.errors, &a.status); }},
    {"ReadFile", [](HANDLE h, CallArgs& a) { return ReadFile(h, a.buffer.data(), 0, nullptr, &a.fresh); }},
    {"WriteFile", [](HANDLE h, CallArgs& a) { return WriteFile(h, a.buffer.data(), 4, nullptr, &a.fresh); }},
    {"GetOverlappedResult",
     [](HANDLE h, CallArgs& a) { return GetOverlappedResult(h, &a.finished, &a.transferred, FALSE); }},
};

class SimDeviceCallTest : public SimDeviceTest {
  protected:
    // An open COM1 with one finished write behind `args.finished`.
    HANDLE OpenWithArgs()
    {
        HANDLE device = Open("COM1");
        args.dcb = sim::AcceptedState("COM1");
        args.fresh.hEvent = NewEvent();
        args.finished.hEvent = NewEvent();
        EXPECT_TRUE(WriteFile(device, args.buffer.data(), 4, nullptr, &args.finished));
        sim::ClearCalls();
        return device;
    }

    CallArgs args;
};

TEST_F(SimDeviceCallTest, CallsOnHandlesThatAreNoOpenDeviceFailAsInvalidAndAreRecorded)
{
    HANDLE closedDevice = OpenRaw("COM2");
    ASSERT_TRUE(CloseHandle(closedDevice));
    const HANDLE handles[] = {closedDevice, NewEvent(), nullptr, INVALID_HANDLE_VALUE};
    args.fresh.hEvent = NewEvent();
    for (const DeviceCall& row : DeviceCalls) {
        for (HANDLE handle : handles) {
            SCOPED_TRACE(row.function);
            sim::ClearCalls();
            Outcome outcome = Capture([&] { return row.call(handle, args); });
            EXPECT_EQ(outcome.result, FALSE);
            EXPECT_EQ(outcome.error, ERROR_INVALID_HANDLE);
            ASSERT_EQ(sim::Calls().size(), 1u);
            EXPECT_EQ(sim::Calls()[0].function, row.function);
            EXPECT_EQ(sim::Calls()[0].device, "");
        }
    }
}

TEST_F(SimDeviceCallTest, EachDeviceCallCanBeMadeToFailWithAChosenError)
{
    HANDLE device = OpenWithArgs();
    for (const DeviceCall& row : DeviceCalls) {
        SCOPED_TRACE(row.function);
        sim::FailCall(row.function, ERROR_NOT_ENOUGH_MEMORY);
        Outcome failed = Capture([&] { return row.call(device, args); });
        EXPECT_EQ(failed.result, FALSE);
        EXPECT_EQ(failed.error, ERROR_NOT_ENOUGH_MEMORY);
        EXPECT_TRUE(row.call(device, args)) << "only one call was to fail";
        EXPECT_EQ(sim::CountCalls(row.function), 2) << "failed calls are recorded too";
    }
    EXPECT_EQ(sim::PendingWriteCount("COM1"), 0);
    EXPECT_EQ(sim::Sent("COM1").size(), 8u) << "the failed WriteFile must have sent nothing";
}

TEST_F(SimDeviceCallTest, FaultsFollowTheirCountAfterSkippingCalls)
{
    struct Case {
        int count;
        int skip;
        const char* outcomes; // 'T' succeeded, 'F' failed, call after call
    };
    const Case cases[] = {{1, 0, "FTT"}, {2, 1, "TFFT"}, {1, 2, "TTFT"}, {3, 0, "FFFT"}};
    HANDLE device = Open("COM1");
    for (const Case& c : cases) {
        sim::FailCall("SetupComm", ERROR_GEN_FAILURE, c.count, c.skip);
        std::string seen;
        for (std::size_t i = 0; c.outcomes[i] != '\0'; ++i)
            seen += SetupComm(device, 64, 64) ? 'T' : 'F';
        EXPECT_EQ(seen, c.outcomes) << "count " << c.count << ", skip " << c.skip;
    }
}

} // namespace
