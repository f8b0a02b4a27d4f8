#!/usr/bin/env python3
"""Runs the real-driver tests in a QEMU guest on Debian's kernel.

The guest has three 16550A UARTs besides its console and a USB serial
adapter. This process plays everything outside the guest: the null-modem
cable between ttyS1 and ttyS2, the adapter's far end (an echo, or a sink
while a test unplugs it), the QEMU monitor, and a control line on ttyS3 over
which the guest's tests ask for a break on ttyS1, an unplug of the adapter
once it sent N more bytes ("unplug-after N"), or its replug. Exits with the guest's test status, or non-zero when the guest
does not boot or runs out of time.
"""
import argparse
import glob
import json
import os
import queue
import shlex
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time

TELNET_BREAK = bytes([255, 243])
TELNET_IAC = 255
# What QEMU's telnet chardev sends first: WILL ECHO, WILL SGA, WILL and DO BINARY.
TELNET_GREETING = bytes([255, 251, 1, 255, 251, 3, 255, 251, 0, 255, 253, 0])
MODULES = ["xhci-pci", "ftdi_sio", "virtio_pci", "9pnet_virtio", "9p"]
RESULT_MARK = "quorvel-lane-result "


def newest_kernel():
    kernels = [k for k in glob.glob("/boot/vmlinuz-*")
               if os.path.isdir("/lib/modules/" + k.split("vmlinuz-", 1)[1])]
    if not kernels:
        sys.exit("lane: no /boot/vmlinuz-* with its /lib/modules (install linux-image-amd64)")
    return max(kernels, key=os.path.getmtime)


def modules_in_load_order(release):
    root = "/lib/modules/" + release
    depends = {}
    with open(root + "/modules.dep") as listing:
        for line in listing:
            module, _, needs = line.partition(":")
            depends[module] = needs.split()
    by_name = {os.path.basename(m)[:-3].replace("-", "_"): m for m in depends}
    order = []

    def add(module):
        if module in order:
            return
        for need in depends[module]:
            add(need)
        order.append(module)

    for name in MODULES:
        add(by_name[name.replace("-", "_")])
    return [os.path.join(root, m) for m in order]


def cpio_entry(name, mode, data, inode):
    fields = [inode, mode, 0, 0, 1, 0, len(data), 0, 0, 0, 0, len(name) + 1, 0]
    header = b"070701" + b"".join(b"%08x" % f for f in fields) + name.encode() + b"\0"
    header += b"\0" * (-len(header) % 4)
    return header + data + b"\0" * (-len(data) % 4)


def build_initramfs(path, release, command, trees):
    """An uncompressed newc archive: busybox, the init script, the modules."""
    here = os.path.dirname(os.path.abspath(__file__))
    modules = modules_in_load_order(release)
    files = [("bin/busybox", 0o100755, open("/bin/busybox", "rb").read()),
             ("init", 0o100755, open(os.path.join(here, "guest_init.sh"), "rb").read()),
             ("lane-command", 0o100644, command.encode()),
             ("lane-trees", 0o100644, "".join("tree%d %s\n" % (i, t) for i, t in enumerate(trees)).encode()),
             ("lane-modules", 0o100644,
              "".join("modules/%s\n" % os.path.basename(m) for m in modules).encode())]
    files += [("modules/" + os.path.basename(m), 0o100644, open(m, "rb").read()) for m in modules]
    folders = ["bin", "dev", "proc", "sys", "host", "modules", "tmp"]
    entries = [cpio_entry(d, 0o040755, b"", i + 1) for i, d in enumerate(folders)]
    entries += [cpio_entry(n, m, d, len(folders) + i + 1) for i, (n, m, d) in enumerate(files)]
    entries.append(cpio_entry("TRAILER!!!", 0, b"", 0))
    with open(path, "wb") as archive:
        archive.write(b"".join(entries))


class Lane:
    def __init__(self, sockets):
        self.sockets = sockets
        self.listeners = {}
        self.links = {}
        self.com1_lock = threading.Lock()
        self.usb_echo = threading.Event()
        self.usb_echo.set()
        self.usb_lock = threading.Lock()
        self.usb_taken = 0
        self.unplug_at = None
        self.qmp_lock = threading.Lock()
        self.qmp_replies = queue.Queue()
        self.deleted = threading.Event()
        self.result = None
        self.done = threading.Event()

    def listen(self, names):
        for name in names:
            listener = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
            listener.bind(os.path.join(self.sockets, name))
            listener.listen(1)
            listener.settimeout(30)
            self.listeners[name] = listener

    def accept_all(self):
        for name, listener in self.listeners.items():
            self.links[name], _ = listener.accept()
            listener.close()

    def connect(self, name, qemu):
        """QEMU speaks telnet only as the listening end."""
        path = os.path.join(self.sockets, name)
        for _ in range(300):
            if qemu.poll() is not None:
                break
            try:
                link = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
                link.connect(path)
                self.links[name] = link
                return
            except OSError:
                link.close()
                time.sleep(0.1)
        raise ConnectionError("QEMU did not open " + path)

    def start(self, target, *args):
        threading.Thread(target=target, args=args, daemon=True).start()

    def run_console(self):
        pending = b""
        while True:
            chunk = self.links["console"].recv(4096)
            if not chunk:
                break
            pending += chunk
            *lines, pending = pending.split(b"\n")
            for line in lines:
                text = line.decode("utf-8", "replace").rstrip("\r")
                print("guest| " + text, flush=True)
                if text.startswith(RESULT_MARK):
                    self.result = int(text[len(RESULT_MARK):])
        self.done.set()

    def forward_to_com1(self):
        """ttyS2 to ttyS1: 255 is doubled, so that only a break reads as one."""
        source = self.links["com2"]
        while True:
            chunk = source.recv(65536)
            if not chunk:
                return
            with self.com1_lock:
                self.links["com1"].sendall(chunk.replace(b"\xff", b"\xff\xff"))

    def forward_to_com2(self):
        """ttyS1 to ttyS2: QEMU sends the guest's bytes as they are, after its greeting."""
        source = self.links["com1"]
        greeting = b""
        while len(greeting) < len(TELNET_GREETING):
            chunk = source.recv(len(TELNET_GREETING) - len(greeting))
            if not chunk:
                return
            greeting += chunk
        if greeting != TELNET_GREETING:
            print("lane: unexpected telnet greeting %s" % greeting.hex(), flush=True)
        while True:
            chunk = source.recv(65536)
            if not chunk:
                return
            self.links["com2"].sendall(chunk)

    def run_usb_peer(self):
        """Echoes what the adapter sends, or only drains it: QEMU's adapter
        blocks the whole guest while its far end does not read."""
        link = self.links["usb"]
        while True:
            chunk = link.recv(1 << 20)
            if not chunk:
                return
            self.note_taken(len(chunk))
            if self.usb_echo.is_set():
                link.sendall(chunk)

    def qmp(self, command, **arguments):
        with self.qmp_lock:
            request = {"execute": command}
            if arguments:
                request["arguments"] = arguments
            self.links["qmp"].sendall(json.dumps(request).encode() + b"\n")
            return self.qmp_replies.get(timeout=10)

    def run_qmp(self):
        """Replies go to the queue in order; DEVICE_DELETED events set `deleted`."""
        pending = b""
        while True:
            chunk = self.links["qmp"].recv(65536)
            if not chunk:
                return
            pending += chunk
            *lines, pending = pending.split(b"\n")
            for line in filter(None, lines):
                message = json.loads(line)
                if message.get("event") == "DEVICE_DELETED":
                    self.deleted.set()
                elif "event" not in message:
                    self.qmp_replies.put(message)

    def unplug(self):
        self.deleted.clear()
        reply = self.qmp("device_del", id="ftdi")
        if "error" in reply:
            return "error " + reply["error"].get("desc", "")
        return "ok" if self.deleted.wait(10) else "error the adapter was not removed"

    def unplug_after(self, count):
        """Answers at once; the adapter goes once its far end took `count`
        more bytes, so that a write is under way, wherever the guest is."""
        with self.usb_lock:
            self.unplug_at = self.usb_taken + count
        return "ok"

    def note_taken(self, count):
        with self.usb_lock:
            self.usb_taken += count
            due = self.unplug_at is not None and self.usb_taken >= self.unplug_at
            if due:
                self.unplug_at = None
        if due:
            self.start(lambda: print("lane: unplugged, %d bytes taken in all: %s"
                                     % (self.usb_taken, self.unplug()), flush=True))

    def replug(self):
        """QEMU lets the adapter's chardev go a moment after DEVICE_DELETED."""
        for _ in range(50):
            reply = self.qmp("device_add", driver="usb-serial", id="ftdi", chardev="usb",
                             **{"always-plugged": True})
            if "error" not in reply:
                return "ok"
            if "in use" not in reply["error"].get("desc", ""):
                break
            time.sleep(0.1)
        return "error " + reply["error"].get("desc", "")

    def send_break(self):
        with self.com1_lock:
            self.links["com1"].sendall(TELNET_BREAK)
        return "ok"

    def answer(self, request):
        actions = {"break": self.send_break, "replug": self.replug,
                   "sink": lambda: self.usb_echo.clear() or "ok",
                   "echo": lambda: self.usb_echo.set() or "ok"}
        name, _, count = request.partition(" ")
        try:
            if name == "unplug-after" and count.isdigit():
                return self.unplug_after(int(count))
            action = actions.get(request)
            return action() if action else "error unknown request " + request
        except Exception as failure:  # the guest hears of it instead of waiting
            return "error %s" % failure

    def run_control(self):
        link = self.links["control"]
        pending = b""
        while True:
            chunk = link.recv(4096)
            if not chunk:
                return
            pending += chunk
            *lines, pending = pending.split(b"\n")
            for line in lines:
                request = line.decode("ascii", "replace").strip()
                answer = self.answer(request)
                print("lane: %s: %s" % (request, answer), flush=True)
                link.sendall((answer + "\n").encode())


def shared_trees(build):
    """The source and build folders, shared again at their own paths: the
    guest's /tmp is its own, and a clone may live there."""
    source = os.path.abspath(os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir, os.pardir))
    build = os.path.abspath(build)
    inside = os.path.commonpath([source, build]) == source
    return [source] if inside else [source, build]


def qemu_command(kernel, initramfs, sockets, trees):
    def chardev(name, extra=""):
        return ["-chardev", "socket,id=%s,path=%s%s" % (name, os.path.join(sockets, name), extra)]

    command = ["qemu-system-x86_64", "-machine", "pc,accel=tcg", "-smp", "1", "-nodefaults",
               "-m", "512", "-display", "none", "-no-reboot",
               "-kernel", kernel, "-initrd", initramfs,
               "-append", "console=ttyS0 rdinit=/init panic=-1 quiet loglevel=3"]
    command += chardev("console") + ["-serial", "chardev:console"]
    command += chardev("com1", ",server=on,wait=off,telnet=on") + ["-serial", "chardev:com1"]
    command += chardev("com2") + ["-serial", "chardev:com2"]
    command += chardev("control") + ["-serial", "chardev:control"]
    command += chardev("usb") + ["-device", "qemu-xhci,id=xhci",
                                 "-device", "usb-serial,id=ftdi,chardev=usb,always-plugged=on"]
    command += chardev("qmp") + ["-mon", "chardev=qmp,mode=control"]
    command += ["-virtfs", "local,path=/,mount_tag=hostroot,security_model=none,"
                "readonly=on,multidevs=remap"]
    for index, tree in enumerate(trees):
        command += ["-virtfs", "local,path=%s,mount_tag=tree%d,security_model=none,"
                    "readonly=on,multidevs=remap" % (tree.replace(",", ",,"), index)]
    return command


def guest_command(tests, arguments):
    environment = {"HOME": "/tmp", "PATH": "/usr/bin:/bin:/usr/sbin:/sbin",
                   "QUORVEL_DRIVER_UARTS": "/dev/ttyS1:/dev/ttyS2",
                   "QUORVEL_DRIVER_USB": "/dev/ttyUSB0",
                   "QUORVEL_DRIVER_CONTROL": "/dev/ttyS3"}
    settings = " ".join("%s=%s" % (k, shlex.quote(v)) for k, v in environment.items())
    return "cd /tmp && exec env -i %s %s %s" % (
        settings, shlex.quote(os.path.abspath(tests)), " ".join(map(shlex.quote, arguments)))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("build", help="the build folder that holds tests/quorvel_driver_tests")
    parser.add_argument("--limit", type=float, default=150, help="seconds the guest may run")
    parser.add_argument("gtest", nargs="*", help="arguments for the test program")
    options = parser.parse_args()
    # A time limit's SIGTERM still takes QEMU down with the lane.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit("lane: terminated"))

    tests = os.path.join(options.build, "tests", "quorvel_driver_tests")
    if not os.access(tests, os.X_OK):
        sys.exit("lane: %s is not built" % tests)
    kernel = newest_kernel()
    release = kernel.split("vmlinuz-", 1)[1]
    lane_folder = os.path.join(options.build, "drivers-lane")
    os.makedirs(lane_folder, exist_ok=True)
    initramfs = os.path.join(lane_folder, "initramfs.cpio")
    trees = shared_trees(options.build)
    build_initramfs(initramfs, release, guest_command(tests, options.gtest), trees)

    began = time.monotonic()
    with tempfile.TemporaryDirectory(prefix="quorvel-lane-") as sockets:
        lane = Lane(sockets)
        lane.listen(["console", "com2", "control", "usb", "qmp"])
        qemu = subprocess.Popen(qemu_command(kernel, initramfs, sockets, trees), stdin=subprocess.DEVNULL)
        try:
            lane.accept_all()
            lane.connect("com1", qemu)
            lane.start(lane.run_qmp)
            lane.qmp_replies.get(timeout=10)  # the greeting
            lane.qmp("qmp_capabilities")
            for work in (lane.run_console, lane.forward_to_com1, lane.forward_to_com2,
                         lane.run_usb_peer, lane.run_control):
                lane.start(work)
            finished = lane.done.wait(options.limit)
        finally:
            qemu.kill()
            qemu.wait()
    took = time.monotonic() - began
    if not finished:
        sys.exit("lane: the guest did not finish within %.0f s" % options.limit)
    if lane.result is None:
        sys.exit("lane: the guest stopped after %.1f s without a test result" % took)
    print("lane: guest finished in %.1f s with status %d" % (took, lane.result), flush=True)
    sys.exit(lane.result)


if __name__ == "__main__":
    main()
