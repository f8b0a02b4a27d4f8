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

} // namespace tty_test
