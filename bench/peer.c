/* The far end of every benchmark client: an instrument on the master side of
 * a pseudo-terminal pair of its own. It prints the slave's path, then takes
 * commands in-band, each a text line answered with '!' once the peer is ready:
 *   E <n>   echo the next n bytes back as they come;
 *   K <n>   sink: take n bytes, then answer 'K';
 *   S <n>   source: on the next byte received, send n pattern bytes
 *           (byte i is bench_pattern(i)).
 * After each command's n bytes it waits for the next command. It stops at a
 * signal or when its tty can no longer be used. */
#define _XOPEN_SOURCE 700
#include "pattern.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

enum { ChunkSize = 65536, LineSize = 64 };

static int master = -1;

static void Fail(const char* what)
{
    fprintf(stderr, "bench peer: %s: %s\n", what, strerror(errno));
    exit(1);
}

static size_t ReadSome(unsigned char* into, size_t most)
{
    ssize_t got;
    do
        got = read(master, into, most);
    while (got < 0 && errno == EINTR);
    if (got <= 0)
        Fail("read");
    return (size_t)got;
}

static void WriteAll(const unsigned char* data, size_t size)
{
    while (size > 0) {
        ssize_t sent = write(master, data, size);
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent <= 0)
            Fail("write");
        data += sent;
        size -= (size_t)sent;
    }
}

/* Byte by byte, so that nothing after the line is taken from the data. */
static void ReadCommand(char* line)
{
    size_t length = 0;
    for (;;) {
        unsigned char byte;
        ReadSome(&byte, 1);
        if (byte == '\n')
            break;
        if (length + 1 < LineSize)
            line[length++] = (char)byte;
    }
    line[length] = '\0';
}

static void Echo(unsigned long long count, unsigned char* buffer)
{
    while (count > 0) {
        size_t got = ReadSome(buffer, count < ChunkSize ? (size_t)count : ChunkSize);
        WriteAll(buffer, got);
        count -= got;
    }
}

static void Sink(unsigned long long count, unsigned char* buffer)
{
    while (count > 0)
        count -= ReadSome(buffer, count < ChunkSize ? (size_t)count : ChunkSize);
    WriteAll((const unsigned char*)"K", 1);
}

static void Source(unsigned long long count, unsigned char* buffer)
{
    unsigned char trigger;
    ReadSome(&trigger, 1);
    for (unsigned long long sent = 0; sent < count;) {
        size_t chunk = count - sent < ChunkSize ? (size_t)(count - sent) : ChunkSize;
        for (size_t i = 0; i < chunk; ++i)
            buffer[i] = bench_pattern(sent + i);
        WriteAll(buffer, chunk);
        sent += chunk;
    }
}

static void Serve(void)
{
    static unsigned char buffer[ChunkSize];
    char line[LineSize];
    for (;;) {
        ReadCommand(line);
        char mode = 0;
        unsigned long long count = 0;
        if (sscanf(line, "%c %llu", &mode, &count) != 2 || strchr("EKS", mode) == NULL) {
            fprintf(stderr, "bench peer: not a command: '%s'\n", line);
            exit(1);
        }
        WriteAll((const unsigned char*)"!", 1);
        if (mode == 'E')
            Echo(count, buffer);
        else if (mode == 'K')
            Sink(count, buffer);
        else
            Source(count, buffer);
    }
}

int main(void)
{
    master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0)
        Fail("posix_openpt");
    const char* slave = ptsname(master);
    /* Held open so that the master reads no hang-up before the client opens
     * the slave, or between two clients. */
    if (slave == NULL || open(slave, O_RDWR | O_NOCTTY | O_CLOEXEC) < 0)
        Fail("open slave");
    printf("%s\n", slave);
    fflush(stdout);
    Serve();
    return 0;
}
