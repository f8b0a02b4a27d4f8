#!/usr/bin/env python3
"""Linux side of the Wine tests of the Windows module.

  setup  creates the Wine prefix once (COM1-COM8 mapped in its registry to
         fixed links in the ports folder) and starts a persistent wineserver;
  run    points the links at fresh pseudo-terminals, runs one case of the
         Windows test program under Wine and plays the devices at the far
         ends of the ports on the program's requests;
  stop   ends the wineserver.

With --extra-port N, COMN is a pseudo-terminal too. With --private-ttys,
each action runs in a private mount namespace where every /dev/ttyS* of
the machine (its console among them) is covered by an empty file of the
ports folder, and a run fails if anything opened one of those files.

Far-end requests are lines "@far <verb> <port> ..." on the program's
standard output, each answered with one line on its standard input. Wine's
own diagnostics go to a log file, never to a pipe nobody reads.
"""

import argparse
import contextlib
import ctypes
import fcntl
import glob
import os
import pty
import select
import shutil
import struct
import subprocess
import sys
import termios
import threading
import time
import tty

PORT_COUNT = 8
# COM8's device refuses every open.
REFUSING_PORT = 8
# ioctl: the number of a pseudo-terminal's slave, from its master.
TIOCGPTN = 0x80045430
PREFIX_SECONDS = 120
SERVER_SECONDS = 30
SERVER_LINGER_SECONDS = 60
# How long the program's last output may take to arrive after it exits.
OUTPUT_SECONDS = 5
# Now and then Wine exits at once with status 1 and says nothing, before the
# program starts. A case that ends so, silent and within this time, never ran,
# and runs once more.
SILENT_START_SECONDS = 1


def wine_environment(prefix):
    env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
    env["WINEPREFIX"] = prefix
    env["WINEDEBUG"] = "-all"
    # No downloads of optional runtimes, no desktop menu entries.
    env["WINEDLLOVERRIDES"] = "mscoree,mshtml=;winemenubuilder.exe=d"
    return env


def run_logged(command, env, log, timeout):
    with open(log, "ab") as out:
        return subprocess.run(command, env=env, stdin=subprocess.DEVNULL, stdout=out, stderr=out,
                              timeout=timeout).returncode


def link_path(ports, number):
    return os.path.join(ports, f"com{number}")


def port_numbers(args):
    return list(range(1, PORT_COUNT + 1)) + args.extra_port


def mapped_ports(prefix, ports, numbers):
    """True when dosdevices maps every COMn to its link in the ports folder."""
    for number in numbers:
        device = os.path.join(prefix, "dosdevices", f"com{number}")
        if not os.path.islink(device) or os.readlink(device) != link_path(ports, number):
            return False
    return True


def start_server(args, env):
    # It outlives each run by a minute, so that runs skip its start-up. The
    # daemon must not hold the caller's pipes, which CTest waits to close,
    # and its own log grows by megabytes of object dumps per run.
    server_log = os.path.join(args.ports, "wineserver.log")
    open(server_log, "w").close()
    run_logged([args.wineserver, f"-p{SERVER_LINGER_SECONDS}"], env, server_log, SERVER_SECONDS)


def setup(args):
    open(args.log, "w").close()
    env = wine_environment(args.prefix)
    os.makedirs(args.ports, exist_ok=True)
    if mapped_ports(args.prefix, args.ports, port_numbers(args)):
        start_server(args, env)
        return 0
    shutil.rmtree(args.prefix, ignore_errors=True)
    registry = os.path.join(args.ports, "ports.reg")
    with open(registry, "w") as out:
        out.write("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Wine\\Ports]\n")
        for number in port_numbers(args):
            out.write(f'"COM{number}"="{link_path(args.ports, number)}"\n')
    steps = [[args.wine, "wineboot", "--init"], [args.wine, "reg", "import", registry]]
    for step in steps:
        if run_logged(step, env, args.log, PREFIX_SECONDS) != 0:
            print(f"failed: {' '.join(step)} (see {args.log})")
            return 1
    # The device links are made from the registry when the server starts.
    run_logged([args.wineserver, "-k"], env, args.log, SERVER_SECONDS)
    run_logged([args.wineserver, "-w"], env, args.log, SERVER_SECONDS)
    start_server(args, env)
    run_logged([args.wine, "reg", "query", "HKLM\\Software\\Wine\\Ports"], env, args.log, SERVER_SECONDS)
    if not mapped_ports(args.prefix, args.ports, port_numbers(args)):
        print(f"Wine did not map {port_numbers(args)} to {args.ports} (see {args.log})")
        return 1
    return 0


def stop(args):
    run_logged([args.wineserver, "-k"], wine_environment(args.prefix), args.log, SERVER_SECONDS)
    return 0


class RefusingDevice:
    """A pseudo-terminal whose slave was never unlocked: opening it fails."""

    def __init__(self, ports, number):
        self.master = os.open("/dev/ptmx", os.O_RDWR | os.O_NOCTTY)
        slave_number = struct.unpack("I", fcntl.ioctl(self.master, TIOCGPTN, b"\0" * 4))[0]
        link = link_path(ports, number)
        if os.path.lexists(link):
            os.unlink(link)
        os.symlink(f"/dev/pts/{slave_number}", link)

    def close(self):
        os.close(self.master)


class FarEnd:
    """The device side of one port: the master of a pseudo-terminal whose
    slave the port's link points at."""

    def __init__(self, ports, number):
        self.master, self.slave = pty.openpty()
        # Raw from the start, so that bytes sent before the port is
        # configured are not echoed or edited by the line discipline.
        tty.setraw(self.slave)
        self.lock = threading.Lock()
        self.timers = []
        link = link_path(ports, number)
        if os.path.lexists(link):
            os.unlink(link)
        os.symlink(os.ttyname(self.slave), link)

    def after(self, delay, action, *arguments):
        """Acts now, or after a delay without waiting for it."""
        if delay <= 0:
            action(*arguments)
            return
        timer = threading.Timer(delay, action, arguments)
        self.timers.append(timer)
        timer.start()

    def send(self, data, delay):
        self.after(delay, self._write, data)

    def _write(self, data):
        with self.lock:
            if self.master is not None:
                os.write(self.master, data)

    def receive(self, count, timeout):
        received = b""
        deadline = time.monotonic() + timeout
        while len(received) < count:
            left = deadline - time.monotonic()
            try:
                if left <= 0 or not select.select([self.master], [], [], left)[0]:
                    break
                received += os.read(self.master, count - len(received))
            except (OSError, TypeError, ValueError):  # hung up meanwhile
                break
        return received

    def line_settings(self):
        attributes = termios.tcgetattr(self.slave)
        speed = next((int(name[1:]) for name in dir(termios)
                      if name.startswith("B") and name[1:].isdigit() and getattr(termios, name) == attributes[5]), 0)
        rts_cts = int(bool(attributes[2] & termios.CRTSCTS))
        xon_xoff = int(bool(attributes[0] & termios.IXON) and bool(attributes[0] & termios.IXOFF))
        return f"{speed} {rts_cts} {xon_xoff}"

    def hang_up(self):
        with self.lock:
            for fd in (self.master, self.slave):
                if fd is not None:
                    os.close(fd)
            self.master = self.slave = None

    def close(self):
        for timer in self.timers:
            timer.cancel()
        self.hang_up()


def answer(request, far_ends):
    verb, number, *rest = request.split()
    far = far_ends.get(int(number))
    if far is None:
        return f"error no device at COM{number}"
    if verb == "send":
        far.send(bytes.fromhex(rest[1]), int(rest[0]) / 1000)
        return "ok"
    if verb == "receive":
        return "data " + (far.receive(int(rest[0]), int(rest[1]) / 1000).hex() or "-")
    if verb == "line":
        return far.line_settings()
    if verb == "hangup":
        far.after(int(rest[0]) / 1000, far.hang_up)
        return "ok"
    return f"error unknown request {verb}"


def serve(program, far_ends, lines):
    for line in program.stdout:
        lines.append(line)
        if not line.startswith("@far "):
            sys.stdout.write(line)
            continue
        reply = answer(line[len("@far "):], far_ends)
        try:
            program.stdin.write(reply + "\n")
            program.stdin.flush()
        except BrokenPipeError:
            return


def dos_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def run_case(case, ports, command, env, timeout, log=None, numbers=range(1, PORT_COUNT + 1)):
    """Runs one case of a test program with fresh devices at the ports' far
    ends, serving its far-end requests; its standard error goes to the log
    when one is given. Gives the exit status and the lines the program printed."""
    refusing = RefusingDevice(ports, REFUSING_PORT)
    far_ends = {number: FarEnd(ports, number) for number in numbers if number != REFUSING_PORT}
    started = time.monotonic()
    lines = []
    with open(log, "wb") if log else contextlib.nullcontext() as errors:
        program = subprocess.Popen(command, env=env, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                   stderr=errors, text=True, bufsize=1)
        # Served on a thread of its own, so that the watchdog does not depend
        # on the pipe ever closing.
        requests = threading.Thread(target=serve, args=(program, far_ends, lines), daemon=True)
        requests.start()
        try:
            result = program.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            program.kill()
            program.wait()
            print(f"watchdog: {case} killed after {timeout} s")
            result = 1
        finally:
            requests.join(timeout=OUTPUT_SECONDS)
            for far in far_ends.values():
                far.close()
            refusing.close()
    print(f"{case}: exit {result} in {time.monotonic() - started:.2f} s" + (f" (log: {log})" if log else ""))
    return result, lines


def run(args):
    log = os.path.join(args.ports, f"{args.case}.log")
    command = [args.wine, args.program, args.case, dos_path(args.module)]
    env = wine_environment(args.prefix)
    started = time.monotonic()
    watch = CoverWatch(args.covers) if args.private_ttys else None
    result, lines = run_case(args.case, args.ports, command, env, args.timeout, log, port_numbers(args))
    if result != 0 and not lines and time.monotonic() - started < SILENT_START_SECONDS:
        print(f"{args.case}: Wine exited before the program ran; running it once more")
        result, _ = run_case(args.case, args.ports, command, env, args.timeout, log, port_numbers(args))
    if watch:
        for device in watch.opened():
            print(f"FAILED: {device} was opened, though no test gave it")
            result = 1
    return result


IN_OPEN = 0x20
IN_NONBLOCK = 0o4000


class CoverWatch:
    """Reports the covered devices whose cover file was opened since it began
    (inotify watches the file itself, through whichever mount it is reached)."""

    def __init__(self, covers):
        self.libc = ctypes.CDLL(None, use_errno=True)
        self.fd = self.libc.inotify_init1(IN_NONBLOCK)
        if self.fd < 0:
            raise OSError(ctypes.get_errno(), "inotify_init1")
        self.devices = {}
        for cover in sorted(glob.glob(os.path.join(covers, "*"))):
            watch = self.libc.inotify_add_watch(self.fd, cover.encode(), IN_OPEN)
            if watch < 0:
                raise OSError(ctypes.get_errno(), f"inotify_add_watch {cover}")
            self.devices[watch] = "/dev/" + os.path.basename(cover)

    def opened(self):
        found = set()
        try:
            while True:
                events = os.read(self.fd, 65536)
                offset = 0
                while offset < len(events):
                    watch, _, _, length = struct.unpack_from("iIII", events, offset)
                    found.add(self.devices.get(watch, "?"))
                    offset += 16 + length
        except BlockingIOError:
            pass
        os.close(self.fd)
        return sorted(found)


def cover_ttys(covers):
    """Covers every /dev/ttyS* of this mount namespace with an empty file of
    its own in the covers folder, the same file in every namespace."""
    os.makedirs(covers, exist_ok=True)
    for device in sorted(glob.glob("/dev/ttyS*")):
        cover = os.path.join(covers, os.path.basename(device))
        open(cover, "a").close()
        subprocess.run(["mount", "--bind", cover, device], check=True)


def in_private_namespace(argv):
    """Runs this harness again in a private mount namespace; its exit status."""
    env = dict(os.environ, QUORVEL_PRIVATE_TTYS="1")
    return subprocess.run(["unshare", "--mount", "--propagation", "private", sys.executable] + argv,
                          env=env).returncode


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("action", choices=["setup", "run", "stop"])
    parser.add_argument("--wine", required=True)
    parser.add_argument("--wineserver", required=True)
    parser.add_argument("--prefix", required=True)
    parser.add_argument("--ports", required=True, help="folder of the COMn links and the logs")
    parser.add_argument("--program", help="the Windows test program")
    parser.add_argument("--module", help="quorvel.mexw64")
    parser.add_argument("--case")
    parser.add_argument("--timeout", type=float, default=60)
    parser.add_argument("--extra-port", type=int, action="append", default=[],
                        help="a COM number above 8 to make a pseudo-terminal too")
    parser.add_argument("--private-ttys", action="store_true",
                        help="cover the machine's /dev/ttyS* and fail a run that opens one")
    args = parser.parse_args()
    args.prefix, args.ports = os.path.abspath(args.prefix), os.path.abspath(args.ports)
    args.log = os.path.join(args.ports, "wine-setup.log")
    args.covers = os.path.join(args.ports, "covers")
    os.makedirs(args.ports, exist_ok=True)
    if args.private_ttys:
        if os.environ.get("QUORVEL_PRIVATE_TTYS") != "1":
            return in_private_namespace([os.path.abspath(__file__)] + sys.argv[1:])
        cover_ttys(args.covers)
    return {"setup": setup, "run": run, "stop": stop}[args.action](args)


if __name__ == "__main__":
    sys.exit(main())
