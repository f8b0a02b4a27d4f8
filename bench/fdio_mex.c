/* The host's floor: the thinnest MEX file over a raw tty, a file descriptor
 * and one system call per command, called the way quorvel is called (a
 * command string first). What Octave spends around any MEX call is in these
 * figures too.
 *   fd = fdio('open', path)        raw mode, blocking
 *   n = fdio('write', fd, data)    writes all of a uint8 array
 *   data = fdio('read', fd, n)     a 1xn uint8 row, shorter on a failed read
 *   n = fdio('avail', fd)          bytes waiting (FIONREAD)
 *   fdio('close', fd) */
#define _DEFAULT_SOURCE
#include <errno.h>
#include <fcntl.h>
#include <mex.h>
#include <string.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

static mxArray* Number(double value)
{
    mxArray* number = mxCreateDoubleMatrix(1, 1, mxREAL);
    *mxGetPr(number) = value;
    return number;
}

static int OpenRaw(const mxArray* pathArgument)
{
    char path[256];
    struct termios settings;
    if (mxGetString(pathArgument, path, sizeof path) != 0)
        mexErrMsgTxt("fdio: the path must be text");
    int fd = open(path, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0 || tcgetattr(fd, &settings) != 0)
        mexErrMsgTxt("fdio: cannot open the tty");
    cfmakeraw(&settings);
    settings.c_cflag |= CLOCAL | CREAD;
    if (tcsetattr(fd, TCSANOW, &settings) != 0)
        mexErrMsgTxt("fdio: cannot make the tty raw");
    return fd;
}

static double WriteAll(int fd, const mxArray* data)
{
    const unsigned char* bytes = (const unsigned char*)mxGetData(data);
    size_t size = mxGetNumberOfElements(data);
    size_t sent = 0;
    while (sent < size) {
        ssize_t written = write(fd, bytes + sent, size - sent);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            break;
        sent += (size_t)written;
    }
    return (double)sent;
}

/* Blocking reads until the count is in; a failed read ends it short. */
static mxArray* ReadCount(int fd, size_t count)
{
    mxArray* row = mxCreateNumericMatrix(1, count, mxUINT8_CLASS, mxREAL);
    unsigned char* into = (unsigned char*)mxGetData(row);
    size_t got = 0;
    while (got < count) {
        ssize_t some = read(fd, into + got, count - got);
        if (some < 0 && errno == EINTR)
            continue;
        if (some <= 0)
            break;
        got += (size_t)some;
    }
    mxSetN(row, got);
    return row;
}

void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[])
{
    char command[8];
    (void)nlhs;
    if (nrhs < 2 || mxGetString(prhs[0], command, sizeof command) != 0)
        mexErrMsgTxt("fdio: a command and an argument");
    if (command[0] == 'o') {
        plhs[0] = Number(OpenRaw(prhs[1]));
        return;
    }
    int fd = (int)mxGetScalar(prhs[1]);
    if (command[0] == 'w' && nrhs == 3) {
        plhs[0] = Number(WriteAll(fd, prhs[2]));
    } else if (command[0] == 'r' && nrhs == 3) {
        plhs[0] = ReadCount(fd, (size_t)mxGetScalar(prhs[2]));
    } else if (command[0] == 'a') {
        int waiting = 0;
        ioctl(fd, FIONREAD, &waiting);
        plhs[0] = Number(waiting);
    } else if (command[0] == 'c') {
        close(fd);
    } else {
        mexErrMsgTxt("fdio: unknown command");
    }
}
