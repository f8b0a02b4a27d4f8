#include "device_fixture.h"

namespace tty_test {

void DeviceTest::SetUp()
{
    folder_.Link(1, pty_.SlavePath());
}

void DeviceTest::TearDown()
{
    ClosePort();
    for (Transfer& transfer : transfers_)
        CloseHandle(transfer.overlapped.hEvent);
    transfers_.clear();
    EXPECT_EQ(kernel::LiveObjectCount(), 0u) << "a device or event handle leaked";
}

HANDLE DeviceTest::OpenPort(const char* name)
{
    port_ = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED,
                        nullptr);
    EXPECT_NE(port_, INVALID_HANDLE_VALUE) << name << ": error " << GetLastError();
    return port_;
}

void DeviceTest::ClosePort()
{
    if (port_ != INVALID_HANDLE_VALUE) {
        EXPECT_TRUE(CloseHandle(port_));
    }
    port_ = INVALID_HANDLE_VALUE;
}

void DeviceTest::SetReadTimeouts(DWORD interval, DWORD multiplier, DWORD constant)
{
    COMMTIMEOUTS timeouts{interval, multiplier, constant, 0, 0};
    ASSERT_TRUE(SetCommTimeouts(port_, &timeouts)) << GetLastError();
}

void DeviceTest::Reconfigure(void (*edit)(DCB&))
{
    DCB dcb{};
    ASSERT_TRUE(GetCommState(port_, &dcb));
    edit(dcb);
    ASSERT_TRUE(SetCommState(port_, &dcb)) << GetLastError();
}

Transfer& DeviceTest::NewTransfer(std::size_t bufferSize)
{
    transfers_.emplace_back();
    Transfer& transfer = transfers_.back();
    transfer.overlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    transfer.buffer.resize(bufferSize);
    return transfer;
}

Outcome DeviceTest::StartRead(Transfer& transfer, DWORD count)
{
    DWORD transferred = 0;
    bool ok = ReadFile(port_, transfer.buffer.data(), count, &transferred, &transfer.overlapped);
    return {ok, ok ? ERROR_SUCCESS : GetLastError(), transferred};
}

Outcome DeviceTest::StartWrite(Transfer& transfer, const Bytes& bytes)
{
    transfer.buffer = bytes;
    DWORD transferred = 0;
    bool ok = WriteFile(port_, transfer.buffer.data(), static_cast<DWORD>(bytes.size()), &transferred,
                        &transfer.overlapped);
    return {ok, ok ? ERROR_SUCCESS : GetLastError(), transferred};
}

Outcome DeviceTest::ResultOf(Transfer& transfer, bool wait)
{
    DWORD transferred = 0;
    bool ok = GetOverlappedResult(port_, &transfer.overlapped, &transferred, wait ? TRUE : FALSE);
    return {ok, ok ? ERROR_SUCCESS : GetLastError(), transferred};
}

bool DeviceTest::Signalled(const Transfer& transfer, DWORD milliseconds)
{
    return WaitForSingleObject(transfer.overlapped.hEvent, milliseconds) == WAIT_OBJECT_0;
}

COMSTAT DeviceTest::Queues()
{
    DWORD errors = 0xFFFF;
    COMSTAT status{};
    EXPECT_TRUE(ClearCommError(port_, &errors, &status)) << GetLastError();
    EXPECT_EQ(errors, 0u) << "a pseudo-terminal has no line errors";
    return status;
}

} // namespace tty_test
