#include "tty_port.h"

#include "error_codes.h"

#include <cerrno>
#include <climits>
#include <cstring>
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

bool IsPseudoTerminalSlave(dev_t device)
{
    const unsigned kind = major(device);
    return kind == PTY_SLAVE_MAJOR ||
           (kind >= UNIX98_PTY_SLAVE_MAJOR && kind < UNIX98_PTY_SLAVE_MAJOR + UNIX98_PTY_MAJOR_COUNT);
}

// The class folder the entry's subsystem link leads to ends in "/tty".
bool InTtyClass(dev_t device, const std::string& sys)
{
    const std::string subsystem = sys + "/dev/char/" + std::to_string(major(device)) + ":" +
                                  std::to_string(minor(device)) + "/subsystem";
    char target[PATH_MAX];
    const ssize_t length = readlink(subsystem.c_str(), target, sizeof target - 1);
    if (length < 4)
        return false;
    return std::strncmp(target + length - 4, "/tty", 4) == 0;
}

// Told from the node alone, before anything opens it.
DWORD NodeError(const std::string& path)
{
    struct stat node;
    if (stat(path.c_str(), &node) != 0)
        return OpenError(errno);
    return S_ISCHR(node.st_mode) && IsTtyClass(node.st_rdev) ? ERROR_SUCCESS : ERROR_NOT_SUPPORTED;
}

} // namespace

bool IsTtyClass(dev_t device, const std::string& sys)
{
    return IsPseudoTerminalSlave(device) || InTtyClass(device, sys);
}

int OpenExclusive(const std::string& path, DWORD access, DWORD& error)
{
    error = NodeError(path);
    if (error != ERROR_SUCCESS)
        return -1;
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
    return fstat(fd, &status) == 0 && S_ISCHR(status.st_mode) && IsPseudoTerminalSlave(status.st_rdev);
}

} // namespace posix_serial
