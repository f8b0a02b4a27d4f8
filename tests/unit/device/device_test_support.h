// Shared pieces of the device tests: a fresh simulation per test, and handles
// closed however the test ends, since Reset() leaves open devices open.
#pragma once

#include "kernel_testing.h"
#include "sim_device.h"

#include <cstdint>
#include <deque>
#include <gtest/gtest.h>
#include <vector>

using Bytes = std::vector<std::uint8_t>;

class SimDeviceTest : public ::testing::Test {
  protected:
    void SetUp() override { sim::Reset(); }

    void TearDown() override
    {
        kernel::SetWaitHook({});
        // A handle the test closed itself is refused here; that is harmless.
        for (HANDLE handle : owned_)
            CloseHandle(handle);
    }

    HANDLE Open(const char* name = "COM1")
    {
        HANDLE handle = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_OVERLAPPED, nullptr);
        EXPECT_NE(handle, INVALID_HANDLE_VALUE) << name << " did not open, error " << GetLastError();
        return Own(handle);
    }

    HANDLE NewEvent(bool manualReset = true, bool signalled = false)
    {
        return Own(CreateEventA(nullptr, manualReset, signalled, nullptr));
    }

    // Owned by the fixture: a transfer still pending when the test ends is
    // aborted by TearDown, which writes its result into the OVERLAPPED.
    OVERLAPPED& NewOverlapped()
    {
        OVERLAPPED& overlapped = overlapped_.emplace_back();
        overlapped.hEvent = NewEvent();
        return overlapped;
    }

    HANDLE Own(HANDLE handle)
    {
        owned_.push_back(handle);
        return handle;
    }

    static bool Signalled(HANDLE event) { return WaitForSingleObject(event, 0) == WAIT_OBJECT_0; }

  private:
    std::vector<HANDLE> owned_;
    std::deque<OVERLAPPED> overlapped_;
};

// The outcome of a call that returns BOOL, with the last error it left.
struct Outcome {
    BOOL result;
    DWORD error;
};

template <class Call> Outcome Capture(Call call)
{
    SetLastError(ERROR_SUCCESS);
    const BOOL result = call();
    return {result, GetLastError()};
}

struct Result {
    BOOL ok;
    DWORD error;
    DWORD transferred;
};

inline Result OverlappedResult(HANDLE device, OVERLAPPED& overlapped, BOOL wait)
{
    DWORD transferred = 0xDEAD;
    SetLastError(ERROR_SUCCESS);
    const BOOL ok = GetOverlappedResult(device, &overlapped, &transferred, wait);
    return {ok, ok ? ERROR_SUCCESS : GetLastError(), transferred};
}
