#include "tty_port.h"

#include "error_codes.h"

#include <cerrno>
#include <fcntl.h>
#include <linux/major.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace posix_serial {
namespace {

int AccessFlags(DWORD access)
{
    if ((access & GENERIC_READ) && (access & GENERIC_WRITE))
        return O_RDWR;
    return (access & GENERIC_WRITE) ? O_WRONLY : O_RDONLY;
}

// A device that vanished while being opened is as missing as one never there.
DWORD OpenError(int error)
{
    return MeansHangUp(error) ? ERROR_FILE_NOT_FOUND : ErrorFromErrno(error);
}

// TIOCEXCL alone does not refuse root; the lock refuses every other opener,
// in this process or another. It is taken first so that a refused opener
// changes nothing on the owner's tty.
DWORD Claim(int fd)
{
    if (!isatty(fd))
        return ERROR_NOT_SUPPORTED;
    if (flock(fd, LOCK_EX | LOCK_NB) != 0 || ioctl(fd, TIOCEXCL) != 0)
        return ErrorFromErrno(errno);
    return ERROR_SUCCESS;
}

} // namespace

int OpenExclusive(const std::string& path, DWORD access, DWORD& error)
{
    int fd = open(path.c_str(), AccessFlags(access) | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        error = OpenError(errno);
        return -1;
    }
    error = Claim(fd);
    if (error != ERROR_SUCCESS) {
        close(fd);
        return -1;
    }
    return fd;
}

void CloseExclusive(int fd)
{
    ioctl(fd, TIOCNXCL);
    close(fd);
}

// By the device numbers the kernel fixes for slaves (/dev/pts/N and the legacy
// /dev/ttyXY): the ioctls that fail on a slave, TIOCGSERIAL among them, fail
// on some adapters too.
bool IsPseudoTerminal(int fd)
{
    struct stat status;
    if (fstat(fd, &status) != 0 || !S_ISCHR(status.st_mode))
        return false;
    const unsigned kind = major(status.st_rdev);
    return kind == PTY_SLAVE_MAJOR ||
           (kind >= UNIX98_PTY_SLAVE_MAJOR && kind < UNIX98_PTY_SLAVE_MAJOR + UNIX98_PTY_MAJOR_COUNT);
}

} // namespace posix_serial
