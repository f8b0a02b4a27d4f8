// The shared event objects and handle registry behave as the Win32 ones do.
#include "device_test_support.h"

#include <chrono>
#include <string>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
using KernelObjectsTest = SimDeviceTest;

long ElapsedMs(Clock::time_point since)
{
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count());
}

TEST_F(KernelObjectsTest, ManualResetEventReleasesEveryWaitUntilReset)
{
    HANDLE event = NewEvent(true, false);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
    ASSERT_TRUE(SetEvent(event));
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
    ASSERT_TRUE(ResetEvent(event));
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
}

TEST_F(KernelObjectsTest, AutoResetEventReleasesOneWaitPerSignal)
{
    HANDLE event = NewEvent(false, true);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
    ASSERT_TRUE(SetEvent(event));
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
}

TEST_F(KernelObjectsTest, WaitAnyReportsLowestSignalledIndexAndConsumesOnlyThatSignal)
{
    HANDLE events[] = {NewEvent(false), NewEvent(false), NewEvent(false)};
    SetEvent(events[1]);
    SetEvent(events[2]);
    EXPECT_EQ(WaitForMultipleObjects(3, events, FALSE, 0), WAIT_OBJECT_0 + 1);
    EXPECT_EQ(WaitForMultipleObjects(3, events, FALSE, 0), WAIT_OBJECT_0 + 2);
    EXPECT_EQ(WaitForMultipleObjects(3, events, FALSE, 0), WAIT_TIMEOUT);
}

TEST_F(KernelObjectsTest, WaitAllNeedsEverySignalAndConsumesAutoResetOnes)
{
    HANDLE manual = NewEvent(true);
    HANDLE automatic = NewEvent(false);
    HANDLE both[] = {manual, automatic};
    SetEvent(automatic);
    EXPECT_EQ(WaitForMultipleObjects(2, both, TRUE, 0), WAIT_TIMEOUT);
    EXPECT_TRUE(Signalled(automatic)) << "a wait-all that failed must not consume signals";

    SetEvent(manual);
    SetEvent(automatic);
    EXPECT_EQ(WaitForMultipleObjects(2, both, TRUE, 0), WAIT_OBJECT_0);
    EXPECT_TRUE(Signalled(manual));
    EXPECT_FALSE(Signalled(automatic));
}

TEST_F(KernelObjectsTest, TimeOutsElapseBeforeWaitTimeout)
{
    HANDLE events[] = {NewEvent(), NewEvent()};
    auto started = Clock::now();
    EXPECT_EQ(WaitForSingleObject(events[0], 60), WAIT_TIMEOUT);
    EXPECT_GE(ElapsedMs(started), 60);

    started = Clock::now();
    EXPECT_EQ(WaitForMultipleObjects(2, events, FALSE, 60), WAIT_TIMEOUT);
    EXPECT_GE(ElapsedMs(started), 60);
}

TEST_F(KernelObjectsTest, SignalFromAnotherThreadEndsAWait)
{
    HANDLE event = NewEvent(false);
    const auto started = Clock::now();
    std::thread signaller([event] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        SetEvent(event);
    });
    EXPECT_EQ(WaitForSingleObject(event, 10000), WAIT_OBJECT_0);
    signaller.join();
    EXPECT_LT(ElapsedMs(started), 5000);
}

TEST_F(KernelObjectsTest, UnknownOrClosedHandlesAreRefused)
{
    HANDLE closed = CreateEventA(nullptr, TRUE, TRUE, nullptr);
    ASSERT_TRUE(CloseHandle(closed));
    struct Case {
        const char* what;
        HANDLE handle;
    };
    const Case cases[] = {{"null", nullptr},
                          {"INVALID_HANDLE_VALUE", INVALID_HANDLE_VALUE},
                          {"closed event", closed},
                          {"made-up value", reinterpret_cast<HANDLE>(std::uintptr_t{0x7777})}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        HANDLE mixed[] = {NewEvent(true, true), c.handle};
        SetLastError(ERROR_SUCCESS);
        EXPECT_EQ(WaitForSingleObject(c.handle, 0), WAIT_FAILED);
        EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
        SetLastError(ERROR_SUCCESS);
        EXPECT_EQ(WaitForMultipleObjects(2, mixed, FALSE, 0), WAIT_FAILED);
        EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
        Outcome set = Capture([&] { return SetEvent(c.handle); });
        EXPECT_EQ(set.result, FALSE);
        EXPECT_EQ(set.error, ERROR_INVALID_HANDLE);
        Outcome reset = Capture([&] { return ResetEvent(c.handle); });
        EXPECT_EQ(reset.result, FALSE);
        EXPECT_EQ(reset.error, ERROR_INVALID_HANDLE);
    }
}

TEST_F(KernelObjectsTest, WaitForMultipleObjectsRefusesBadCounts)
{
    HANDLE event = NewEvent(true, true);
    const DWORD counts[] = {0, MAXIMUM_WAIT_OBJECTS + 1};
    for (DWORD count : counts) {
        SetLastError(ERROR_SUCCESS);
        EXPECT_EQ(WaitForMultipleObjects(count, &event, FALSE, 0), WAIT_FAILED) << count;
        EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER) << count;
    }
    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(WaitForMultipleObjects(1, nullptr, FALSE, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST_F(KernelObjectsTest, ClosingAHandleTwiceFails)
{
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    EXPECT_TRUE(CloseHandle(event));
    Outcome again = Capture([&] { return CloseHandle(event); });
    EXPECT_EQ(again.result, FALSE);
    EXPECT_EQ(again.error, ERROR_INVALID_HANDLE);
}

TEST_F(KernelObjectsTest, LiveCountsFollowEventsAndDevices)
{
    const std::size_t objects = kernel::LiveObjectCount();
    const std::size_t events = kernel::LiveEventCount();
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE device = CreateFileA("COM2", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(device, INVALID_HANDLE_VALUE);
    EXPECT_EQ(kernel::LiveObjectCount(), objects + 2);
    EXPECT_EQ(kernel::LiveEventCount(), events + 1);
    CloseHandle(device);
    CloseHandle(event);
    EXPECT_EQ(kernel::LiveObjectCount(), objects);
    EXPECT_EQ(kernel::LiveEventCount(), events);
}

TEST_F(KernelObjectsTest, WaitHookSeesEachWaitBeforeItStartsAndCanSatisfyIt)
{
    HANDLE events[] = {NewEvent(), NewEvent()};
    int calls = 0;
    kernel::SetWaitHook([&](const HANDLE* objects, DWORD count, BOOL waitAll, DWORD milliseconds) {
        ++calls;
        EXPECT_EQ(count, 2u);
        EXPECT_EQ(objects[1], events[1]);
        EXPECT_EQ(waitAll, FALSE);
        EXPECT_EQ(milliseconds, 10000u);
        SetEvent(objects[1]);
    });
    const auto started = Clock::now();
    EXPECT_EQ(WaitForMultipleObjects(2, events, FALSE, 10000), WAIT_OBJECT_0 + 1);
    EXPECT_LT(ElapsedMs(started), 5000);
    EXPECT_EQ(calls, 1);

    kernel::SetWaitHook({});
    EXPECT_EQ(WaitForSingleObject(events[0], 0), WAIT_TIMEOUT);
    EXPECT_EQ(calls, 1) << "a removed hook must not run";
}

// The hook's captures must outlive its own removal (caught by ASan if not).
TEST_F(KernelObjectsTest, WaitHookMayRemoveItselfWhileRunning)
{
    HANDLE event = NewEvent(true, true);
    std::vector<std::string> seen;
    const std::string label(64, 'h');
    kernel::SetWaitHook([&seen, label](const HANDLE*, DWORD, BOOL, DWORD) {
        kernel::SetWaitHook({});
        seen.push_back(label);
    });
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0], label);
}

} // namespace
