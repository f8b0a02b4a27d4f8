#include "custom_rate.h"

#include <asm/termbits.h>
#include <cerrno>
#include <sys/ioctl.h>

namespace posix_serial {

int SetCustomRate(int fd, unsigned rate)
{
    struct termios2 settings;
    if (ioctl(fd, TCGETS2, &settings) != 0)
        return errno;
    settings.c_cflag = (settings.c_cflag & ~(CBAUD | (CBAUD << IBSHIFT))) | BOTHER | (BOTHER << IBSHIFT);
    settings.c_ispeed = rate;
    settings.c_ospeed = rate;
    return ioctl(fd, TCSETS2, &settings) == 0 ? 0 : errno;
}

int ReadOutputRate(int fd, unsigned& rate)
{
    struct termios2 settings;
    if (ioctl(fd, TCGETS2, &settings) != 0)
        return errno;
    rate = settings.c_ospeed;
    return 0;
}

} // namespace posix_serial
