// Apart from the rest: the kernel's termios2 header clashes with <termios.h>.
#include "pty_fixture.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace tty_test {

unsigned OutputRateOf(int fd)
{
    struct termios2 settings {};
    return ioctl(fd, TCGETS2, &settings) == 0 ? settings.c_ospeed : 0;
}

unsigned InputRateOf(int fd)
{
    struct termios2 settings {};
    return ioctl(fd, TCGETS2, &settings) == 0 ? settings.c_ispeed : 0;
}

void SplitRates(int fd, unsigned input, unsigned output)
{
    struct termios2 settings {};
    ioctl(fd, TCGETS2, &settings);
    settings.c_cflag = (settings.c_cflag & ~(CBAUD | CIBAUD)) | BOTHER | (BOTHER << IBSHIFT);
    settings.c_ispeed = input;
    settings.c_ospeed = output;
    ioctl(fd, TCSETS2, &settings);
}

} // namespace tty_test
