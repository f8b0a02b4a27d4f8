/* The limit: a C client on the raw tty, blocking reads and writes and an
 * ioctl for the bytes waiting. Usage: raw_client <tty>; it then serves the
 * figures that bench.py asks for on standard input (the protocol is in bench.py). */
#define _DEFAULT_SOURCE
#include "pattern.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

static int tty = -1;

static void Fail(const char* what)
{
    fprintf(stderr, "raw client: %s: %s\n", what, strerror(errno));
    exit(1);
}

static double Now(void)
{
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (double)now.tv_sec + (double)now.tv_nsec * 1e-9;
}

static void WriteAll(const unsigned char* data, size_t size)
{
    while (size > 0) {
        ssize_t sent = write(tty, data, size);
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent <= 0)
            Fail("write");
        data += sent;
        size -= (size_t)sent;
    }
}

/* One read call, as a script's read of `most` bytes would make it. */
static size_t ReadSome(unsigned char* into, size_t most)
{
    ssize_t got;
    do
        got = read(tty, into, most);
    while (got < 0 && errno == EINTR);
    if (got <= 0)
        Fail("read");
    return (size_t)got;
}

static void ReadAll(unsigned char* into, size_t size)
{
    while (size > 0) {
        size_t got = ReadSome(into, size);
        into += got;
        size -= got;
    }
}

static void TellPeer(char mode, unsigned long long count)
{
    char line[64];
    int length = snprintf(line, sizeof line, "%c %llu\n", mode, count);
    WriteAll((const unsigned char*)line, (size_t)length);
    unsigned char ready;
    ReadAll(&ready, 1);
    if (ready != '!')
        Fail("the peer did not take the command");
}

static int CompareDoubles(const void* left, const void* right)
{
    double a = *(const double*)left, b = *(const double*)right;
    return (a > b) - (a < b);
}

/* Nearest rank: the value below which `fraction` of the samples lie. */
static double Percentile(const double* sorted, size_t count, double fraction)
{
    size_t rank = (size_t)(fraction * (double)count + 0.999999);
    return sorted[(rank == 0 ? 1 : rank) - 1];
}

static void RoundTrips(size_t size, size_t count)
{
    unsigned char message[256], reply[256];
    double* times = malloc(count * sizeof *times);
    if (size > sizeof message || times == NULL)
        Fail("round trip size");
    for (size_t i = 0; i < size; ++i)
        message[i] = (unsigned char)('a' + i % 26);
    TellPeer('E', (unsigned long long)(size * count));
    for (size_t i = 0; i < count; ++i) {
        double start = Now();
        WriteAll(message, size);
        ReadAll(reply, size);
        times[i] = Now() - start;
    }
    if (memcmp(message, reply, size) != 0)
        Fail("the echo came back damaged");
    qsort(times, count, sizeof *times, CompareDoubles);
    printf("%.9g %.9g\n", Percentile(times, count, 0.5), Percentile(times, count, 0.99));
    free(times);
}

static void Send(size_t chunk, size_t total)
{
    unsigned char* data = malloc(chunk);
    if (data == NULL)
        Fail("malloc");
    memset(data, 'x', chunk);
    TellPeer('K', total);
    double start = Now();
    for (size_t sent = 0; sent < total; sent += chunk)
        WriteAll(data, chunk);
    unsigned char done;
    ReadAll(&done, 1);
    printf("%.9g\n", Now() - start);
    free(data);
}

static void Receive(size_t chunk, size_t total)
{
    unsigned char* data = malloc(chunk);
    if (data == NULL)
        Fail("malloc");
    TellPeer('S', total);
    double start = Now();
    WriteAll((const unsigned char*)"T", 1);
    size_t got = 0, last = 0;
    while (got < total) {
        last = ReadSome(data, total - got < chunk ? total - got : chunk);
        got += last;
    }
    double elapsed = Now() - start;
    if (data[last - 1] != bench_pattern(total - 1))
        Fail("the stream came in damaged");
    printf("%.9g\n", elapsed);
    free(data);
}

static void StatusQueries(size_t count)
{
    int waiting = 0;
    double start = Now();
    for (size_t i = 0; i < count; ++i)
        if (ioctl(tty, FIONREAD, &waiting) != 0)
            Fail("FIONREAD");
    printf("%.9g\n", (Now() - start) / (double)count);
}

static void OpenRaw(const char* path)
{
    struct termios settings;
    tty = open(path, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (tty < 0 || tcgetattr(tty, &settings) != 0)
        Fail(path);
    cfmakeraw(&settings);
    settings.c_cflag |= CLOCAL | CREAD;
    if (tcsetattr(tty, TCSANOW, &settings) != 0)
        Fail("tcsetattr");
}

int main(int argc, char** argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: raw_client <tty>\n");
        return 2;
    }
    OpenRaw(argv[1]);
    char figure[32];
    size_t first, second;
    while (scanf("%31s", figure) == 1 && strcmp(figure, "quit") != 0) {
        if (strcmp(figure, "roundtrip") == 0 && scanf("%zu %zu", &first, &second) == 2)
            RoundTrips(first, second);
        else if (strcmp(figure, "send") == 0 && scanf("%zu %zu", &first, &second) == 2)
            Send(first, second);
        else if (strcmp(figure, "receive") == 0 && scanf("%zu %zu", &first, &second) == 2)
            Receive(first, second);
        else if (strcmp(figure, "status") == 0 && scanf("%zu", &first) == 1)
            StatusQueries(first);
        else
            Fail("unknown figure");
        fflush(stdout);
    }
    close(tty);
    return 0;
}
