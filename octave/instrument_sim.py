#!/usr/bin/env python3
"""A small simulated instrument on the far end of a serial line.

It answers line-terminated queries (LF or CR LF) the way a bench meter would:
  *IDN?   identity: maker, model, serial number, firmware
  MEAS?   one voltage reading, in volts
  TEMP?   the instrument's temperature, in degrees Celsius
  *RST    reset the reading counter (no answer)
Anything else gets "ERROR: unknown command". Standard library only.

usage: instrument_sim.py DEVICE [--seconds N] [--ready FILE]
It ends on SIGTERM, when the line closes, or after N seconds (default 300).
With --ready it creates FILE once it listens: it flushes its input when it
opens the line, so a query sent before then would be lost.
"""
import argparse
import math
import os
import select
import signal
import sys
import termios
import time
import tty

IDENTITY = "Virtual Instruments,VM-100,SN0042,1.3"


class Meter:
    def __init__(self):
        self.readings = 0

    def answer(self, query):
        """The reply to one query, or None for commands without a reply."""
        command = query.strip().upper()
        if command == "*IDN?":
            return IDENTITY
        if command == "MEAS?":
            self.readings += 1
            volts = 1.0 + 0.002 * math.sin(self.readings)
            return f"{volts:+.5E}"
        if command == "TEMP?":
            return f"{23.5 + 0.1 * (self.readings % 3):.1f}"
        if command == "*RST":
            self.readings = 0
            return None
        return "ERROR: unknown command"


def serve(device, seconds, ready):
    line = os.open(device, os.O_RDWR | os.O_NOCTTY)
    tty.setraw(line)
    termios.tcflush(line, termios.TCIOFLUSH)
    if ready:
        with open(ready, "w"):
            pass
    meter = Meter()
    pending = b""
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        ready, _, _ = select.select([line], [], [], 0.2)
        if not ready:
            continue
        try:
            chunk = os.read(line, 256)
        except OSError:
            return
        if not chunk:
            return
        pending += chunk
        while b"\n" in pending:
            query, pending = pending.split(b"\n", 1)
            reply = meter.answer(query.decode("ascii", "replace"))
            if reply is not None:
                os.write(line, (reply + "\n").encode("ascii"))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("device")
    parser.add_argument("--seconds", type=float, default=300)
    parser.add_argument("--ready", help="a file to create once listening")
    arguments = parser.parse_args()
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
    serve(arguments.device, arguments.seconds, arguments.ready)


if __name__ == "__main__":
    main()
