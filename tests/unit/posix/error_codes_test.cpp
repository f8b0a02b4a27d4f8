// The POSIX backend's translations of errno values and NTSTATUS codes.
#include "posix/error_codes.h"

#include <cerrno>
#include <gtest/gtest.h>

namespace posix_serial {
namespace {

TEST(ErrorCodesTest, ErrnoValuesBecomeTheErrorsWindowsWouldGive)
{
    const std::pair<int, DWORD> cases[] = {
        {0, ERROR_SUCCESS},
        {ENOENT, ERROR_FILE_NOT_FOUND},
        {ELOOP, ERROR_FILE_NOT_FOUND},
        {EACCES, ERROR_ACCESS_DENIED},
        {EBUSY, ERROR_ACCESS_DENIED},
        {EIO, ERROR_DEVICE_NOT_CONNECTED},
        {ENXIO, ERROR_DEVICE_NOT_CONNECTED},
        {ENOMEM, ERROR_NOT_ENOUGH_MEMORY},
        {EINVAL, ERROR_INVALID_PARAMETER},
        {ENOTTY, ERROR_NOT_SUPPORTED},
        {EXDEV, ERROR_GEN_FAILURE},
    };
    for (const auto& [error, expected] : cases)
        EXPECT_EQ(ErrorFromErrno(error), expected) << error;
}

TEST(ErrorCodesTest, OnlyAGoneDeviceMeansAHangUp)
{
    for (int error : {EIO, ENXIO, ENODEV})
        EXPECT_TRUE(MeansHangUp(error)) << error;
    for (int error : {0, EAGAIN, EINTR, EBUSY, EINVAL})
        EXPECT_FALSE(MeansHangUp(error)) << error;
}

TEST(ErrorCodesTest, StatusesTravelBackToTheirErrors)
{
    for (DWORD error : {ERROR_SUCCESS, ERROR_IO_INCOMPLETE, ERROR_OPERATION_ABORTED,
                        ERROR_DEVICE_NOT_CONNECTED, ERROR_ACCESS_DENIED, ERROR_NOT_ENOUGH_MEMORY,
                        ERROR_INVALID_PARAMETER, ERROR_NOT_SUPPORTED, ERROR_GEN_FAILURE})
        EXPECT_EQ(ErrorFromStatus(StatusFromError(error)), error) << error;
    EXPECT_EQ(StatusFromError(ERROR_IO_INCOMPLETE), nt_status::Pending);
    EXPECT_EQ(StatusFromError(ERROR_SHARING_VIOLATION), StatusFromError(ERROR_GEN_FAILURE))
        << "an error without a status of its own is a general failure";
    EXPECT_EQ(ErrorFromStatus(0xC0DEC0DE), ERROR_GEN_FAILURE);
}

} // namespace
} // namespace posix_serial
