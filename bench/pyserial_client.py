"""pyserial on the tty or rfc2217:// address given as the argument; serves
the figures bench.py asks for on standard input (the protocol is in
bench.py)."""
import math
import sys
import time

import serial


def tell_peer(port, mode, count):
    port.write(b"%c %d\n" % (mode, count))
    if port.read(1) != b"!":
        raise SystemExit("pyserial client: the peer did not take the command")


def nearest_rank(ordered, fraction):
    return ordered[max(1, math.ceil(fraction * len(ordered) - 1e-6)) - 1]


def round_trips(port, size, count):
    message = bytes(ord("a") + i % 26 for i in range(size))
    times = [0.0] * count
    tell_peer(port, ord("E"), size * count)
    clock = time.perf_counter
    for i in range(count):
        start = clock()
        port.write(message)
        reply = port.read(size)
        times[i] = clock() - start
    if reply != message:
        raise SystemExit("pyserial client: the echo came back damaged")
    times.sort()
    return "%.9g %.9g" % (nearest_rank(times, 0.5), nearest_rank(times, 0.99))


def send(port, chunk, total):
    data = b"x" * chunk
    tell_peer(port, ord("K"), total)
    start = time.perf_counter()
    for _ in range(total // chunk):
        port.write(data)
    done = port.read(1)
    elapsed = time.perf_counter() - start
    if done != b"K":
        raise SystemExit("pyserial client: no answer from the sink")
    return "%.9g" % elapsed


def receive(port, chunk, total):
    tell_peer(port, ord("S"), total)
    start = time.perf_counter()
    port.write(b"T")
    for _ in range(total // chunk):
        data = port.read(chunk)
    elapsed = time.perf_counter() - start
    if len(data) != chunk or data[-1] != (total - 1) % 251:
        raise SystemExit("pyserial client: the stream came in damaged")
    return "%.9g" % elapsed


def status_queries(port, count):
    start = time.perf_counter()
    for _ in range(count):
        port.in_waiting
    return "%.9g" % ((time.perf_counter() - start) / count)


FIGURES = {"roundtrip": round_trips, "send": send, "receive": receive, "status": status_queries}


def main():
    port = serial.serial_for_url(sys.argv[1], 9600, timeout=5)
    for line in sys.stdin:
        words = line.split()
        if words[0] == "quit":
            break
        print(FIGURES[words[0]](port, *map(int, words[1:])), flush=True)
    port.close()


if __name__ == "__main__":
    main()
