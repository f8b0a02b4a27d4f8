"""Runs every benchmark client against its own far-end peer, in one run, and
prints one table. bench/run.sh builds what this needs and calls it:

    bench.py --build <build folder> [--quick]

Each client is a long-lived process started with its tty (or, for quorvel,
with $QUORVEL_DEVICES/com1 linked to it). It reads figure requests on
standard input, one a line, and answers each with one line on standard output:

    roundtrip <size> <count>   ->  <median s> <p99 s>   write, then read, size bytes
    send <chunk> <total>       ->  <seconds>            until the peer has all
    receive <chunk> <total>    ->  <seconds>            reads of chunk bytes
    status <count>             ->  <seconds per query>  bytes-available query
    query <size> <count>       ->  <median s> <p99 s> <mean s> <failed>
                                   a line of size bytes (its LF included)
                                   written and read back, by the clients
                                   that read lines (LINE_CLIENTS) only
    quit

It sets its peer (peer.c) going with an in-band command first. The clients
take turns figure by figure and repetition by repetition, so that whatever
else the machine does weighs on all alike.

A second table sets quorvel on a network serial port against pyserial's
rfc2217:// client: one ser2net (telnet(rfc2217) accepters on 127.0.0.1)
stands between each client and its peer, and COM1 is linked to the
accepter's address."""
import argparse
import os
import platform
import shutil
import socket
import select
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
KIB = 1024
MIB = 1024 * 1024

# name, label, how it is started: {build}, {bench}, {tty} are filled in.
OCTAVE = ["octave-cli", "--no-history", "--no-init-file", "--no-window-system", "--quiet", "--eval"]
CLIENTS = [
    ("raw", "raw C on the tty (the limit)", ["{build}/bench/quorvel_bench_raw", "{line}"]),
    ("floor", "floor MEX over an fd, Octave", OCTAVE + [
        "addpath('{bench}/octave', '{build}/bench'); bench_fdio('{line}')"]),
    ("octave", "quorvel, Octave", OCTAVE + [
        "addpath('{bench}/octave', '{build}/octave'); bench_quorvel()"]),
    ("cpp", "quorvel, C++ (test host)", ["{build}/bench/quorvel_tty_bench"]),
    ("pyserial", "pyserial", ["/usr/bin/python3", "{bench}/pyserial_client.py", "{line}"]),
    ("serialport", "instrument-control serialport", OCTAVE + [
        "addpath('{bench}/octave'); bench_serialport('{line}')"]),
]
# The same clients through ser2net; {line} is the accepter's rfc2217:// address.
# pyserial's client waits for DTR and RTS to be acknowledged, which ser2net on
# a pseudo-terminal never does: it is told not to.
NETWORK_CLIENTS = [
    ("pyserial", "pyserial, rfc2217://", ["/usr/bin/python3", "{bench}/pyserial_client.py", "{line}?ign_set_control"]),
    ("octave", "quorvel, Octave", CLIENTS[2][2]),
    ("cpp", "quorvel, C++ (test host)", CLIENTS[3][2]),
]

# The clients that read lines: quorvel_query and instrument-control's
# writeline and readline, both in Octave.
LINE_CLIENTS = ("octave", "serialport")

# key, request, what is reported, unit
FIGURES = [
    ("rt", "roundtrip 16 {roundtrips}", "round trip, 16 B, median", "us"),
    ("rt99", None, "round trip, 16 B, p99", "us"),
    ("out64k", "send 65536 {big}", "write, 64 KiB calls", "MiB/s"),
    ("in64k", "receive 65536 {big}", "read, 64 KiB calls", "MiB/s"),
    ("out64", "send 64 {small}", "write, 64 B calls", "MiB/s"),
    ("in64", "receive 64 {small}", "read, 64 B calls", "MiB/s"),
    ("status", "status {queries}", "status query", "us"),
    ("q40", "query 40 {lines}", "query, 40 B line, median", "us"),
    ("q40p99", None, "query, 40 B line, p99", "us"),
    ("q40mean", None, "query, 40 B line, mean", "us"),
    ("q40failed", None, "query, 40 B line, failed", "queries"),
    ("q4k", "query 4096 {long_lines}", "query, 4 KiB line, median", "us"),
    ("q4kp99", None, "query, 4 KiB line, p99", "us"),
    ("q4kmean", None, "query, 4 KiB line, mean", "us"),
    ("q4kfailed", None, "query, 4 KiB line, failed", "queries"),
]

NETWORK_FIGURES = [
    ("rt", "roundtrip 16 {roundtrips}", "round trip, 16 B, median", "us"),
    ("rt99", None, "round trip, 16 B, p99", "us"),
    ("out1m", "send 65536 1048576", "write 1 MiB, 64 KiB calls", "MiB/s"),
    ("in1m", "receive 65536 1048576", "read 1 MiB, 64 KiB calls", "MiB/s"),
]
NETWORK_ROUNDTRIPS = {"full": 2000, "quick": 500}

FULL = {"roundtrips": 10000, "big": 16 * MIB, "small": 1 * MIB, "queries": 100000, "lines": 1000,
        "long_lines": 50, "repetitions": 11}
QUICK = {"roundtrips": 2000, "big": 4 * MIB, "small": 256 * KIB, "queries": 20000, "lines": 300,
         "long_lines": 20, "repetitions": 3}

ANSWER_TIMEOUT = 120


def start_peer(build):
    """The far-end peer and its tty."""
    peer = subprocess.Popen([os.path.join(build, "bench", "quorvel_bench_peer")],
                            stdout=subprocess.PIPE, text=True)
    return peer, peer.stdout.readline().strip()


class Client:
    """One client process and the peer at the far end of its line: the
    peer's tty, or a network address that leads to it."""

    def __init__(self, name, command, build, devices_root, peer, line):
        self.name = name
        self.peer = peer
        devices = os.path.join(devices_root, name)
        os.mkdir(devices)
        os.symlink(line, os.path.join(devices, "com1"))
        environment = dict(os.environ, QUORVEL_DEVICES=devices)
        argv = [part.format(build=build, bench=HERE, line=line) for part in command]
        self.process = subprocess.Popen(argv, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                        text=True, env=environment)

    def ask(self, request):
        self.process.stdin.write(request + "\n")
        self.process.stdin.flush()
        ready, _, _ = select.select([self.process.stdout], [], [], ANSWER_TIMEOUT)
        answer = self.process.stdout.readline() if ready else ""
        if not answer:
            raise RuntimeError("%s gave no answer to '%s'" % (self.name, request))
        return [float(word) for word in answer.split()]

    def stop(self):
        try:
            self.process.stdin.write("quit\n")
            self.process.stdin.close()
            self.process.wait(timeout=20)
        except (OSError, subprocess.TimeoutExpired):
            self.process.kill()
            self.process.wait()
        self.peer.terminate()
        self.peer.wait()


class Ser2net:
    """One ser2net with a telnet(rfc2217) accepter on 127.0.0.1 per tty."""

    def __init__(self, ttys, folder):
        self.addresses = []
        config = os.path.join(folder, "ser2net.yaml")
        with open(config, "w") as out:
            for number, tty in enumerate(ttys):
                port = unused_port()
                out.write("connection: &port%d\n  accepter: telnet(rfc2217),tcp,127.0.0.1,%d\n"
                          "  connector: serialdev(nouucplock),%s,115200n81,local\n"
                          "  options:\n    chardelay: false\n" % (number, port, tty))
                self.addresses.append("rfc2217://127.0.0.1:%d" % port)
        self.process = subprocess.Popen(["ser2net", "-n", "-d", "-c", config, "-P",
                                          os.path.join(folder, "ser2net.pid")],
                                         stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        deadline = time.monotonic() + 10
        while not all(listening(address) for address in self.addresses):
            if time.monotonic() > deadline:
                raise RuntimeError("ser2net did not listen")
            time.sleep(0.05)

    def stop(self):
        self.process.kill()  # it may outlive a SIGTERM
        self.process.wait()


def unused_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def listening(address):
    """From the kernel's table: a connection would be taken for a client."""
    port = ":%04X " % int(address.rsplit(":", 1)[1])
    with open("/proc/net/tcp") as table:
        return any(port in line and " 0A " in line for line in table)


def load():
    return os.getloadavg()


def measure(clients, sizes, log, asked=FIGURES):
    """{client: {figure key: [value per repetition]}}: times in us, rates in MiB/s."""
    results = {client.name: {key: [] for key, _, _, _ in asked} for client in clients}
    for repetition in range(sizes["repetitions"]):
        order = clients[repetition % len(clients):] + clients[:repetition % len(clients)]
        for key, request, _, _ in asked:
            if request is None:
                continue
            request = request.format(**sizes)
            for client in order:
                if key.startswith("q") and client.name not in LINE_CLIENTS:
                    continue
                answer = client.ask(request)
                figures = results[client.name]
                if key.startswith("q"):
                    for suffix, value in zip(("", "p99", "mean"), answer[:3]):
                        figures[key + suffix].append(value * 1e6)
                    figures[key + "failed"].append(answer[3])
                elif key == "rt":
                    figures["rt"].append(answer[0] * 1e6)
                    figures["rt99"].append(answer[1] * 1e6)
                elif key == "status":
                    figures[key].append(answer[0] * 1e6)
                else:
                    total = int(request.split()[2])
                    figures[key].append(total / MIB / answer[0])
        log("repetition %d of %d done, load %.2f" % (repetition + 1, sizes["repetitions"], load()[0]))
    return results


def spread(values):
    return min(values), max(values)


def paired_ratio(results, client, reference, key):
    """The median of the ratios within each repetition: the two were measured
    moments apart, so what else the machine did then weighs on both alike."""
    return statistics.median(a / b for a, b in zip(results[client][key], results[reference][key]))


def table(clients, results, figures=FIGURES, reference="raw", heading="x limit"):
    lines = ["| figure | client | median | spread (min-max) | %s |" % heading,
             "|---|---|---:|---:|---:|"]
    for key, _, title, unit in figures:
        for name, label, _ in clients:
            values = results[name][key]
            if not values:
                continue
            low, high = spread(values)
            limit = "-" if key.startswith("q") else "%.2f" % paired_ratio(results, name, reference, key)
            lines.append("| %s (%s) | %s | %.2f | %.2f-%.2f | %s |" % (
                title, unit, label, statistics.median(values), low, high, limit))
    return lines


def targets(results):
    """Each target: text, ratio, whether it is met."""
    def ratio(client, reference, key):
        return paired_ratio(results, client, reference, key)
    checks = [
        ("Octave round trip <= 1.2x the floor MEX (median)", ratio("octave", "floor", "rt"), lambda r: r <= 1.2),
        ("Octave round trip faster than serialport (ratio < 1)",
         ratio("octave", "serialport", "rt"), lambda r: r < 1),
        ("Octave write, 64 KiB calls >= 0.8x the floor", ratio("octave", "floor", "out64k"), lambda r: r >= 0.8),
        ("Octave read, 64 KiB calls >= 0.8x the floor", ratio("octave", "floor", "in64k"), lambda r: r >= 0.8),
    ]
    for key, what in (("out64", "write"), ("in64", "read")):
        for peer in ("serialport", "pyserial"):
            checks.append(("Octave %s, 64 B calls ahead of %s (ratio > 1)" % (what, peer),
                           ratio("octave", peer, key), lambda r: r > 1))
    checks += [
        ("Octave GetReadStatus <= 1.5x the floor's status query",
         ratio("octave", "floor", "status"), lambda r: r <= 1.5),
        ("C++ round trip <= 1.3x raw C (median)", ratio("cpp", "raw", "rt"), lambda r: r <= 1.3),
        ("C++ write, 64 KiB calls >= 0.8x raw C", ratio("cpp", "raw", "out64k"), lambda r: r >= 0.8),
        ("C++ read, 64 KiB calls >= 0.8x raw C", ratio("cpp", "raw", "in64k"), lambda r: r >= 0.8),
        ("quorvel_query, 40 B line, <= 0.8x serialport writeline+readline (median)",
         ratio("octave", "serialport", "q40"), lambda r: r <= 0.8),
        ("quorvel_query, 40 B line, <= 0.8x serialport writeline+readline (mean)",
         ratio("octave", "serialport", "q40mean"), lambda r: r <= 0.8),
    ]
    return [(text, value, meets(value)) for text, value, meets in checks]


def network_targets(results):
    checks = []
    for client, what in (("octave", "Octave"), ("cpp", "C++")):
        checks.append(("%s round trip via ser2net no slower than pyserial's rfc2217:// (ratio <= 1)" % what,
                       paired_ratio(results, client, "pyserial", "rt"), lambda r: r <= 1))
    return [(text, value, meets(value)) for text, value, meets in checks]


def run_clients(specs, build, devices_root, lines, sizes, log, figures):
    """Starts each client on its (peer, line), measures, stops them."""
    os.makedirs(devices_root)
    clients = []
    try:
        for (name, _, command), (peer, line) in zip(specs, lines):
            clients.append(Client(name, command, build, devices_root, peer, line))
        return measure(clients, sizes, log, figures)
    finally:
        for client in clients:
            client.stop()
        for peer, _ in lines[len(clients):]:
            peer.terminate()
            peer.wait()


def print_targets(checks):
    print()
    print("| target | ratio | |")
    print("|---|---:|---|")
    for text, ratio, met in checks:
        print("| %s | %.2f | %s |" % (text, ratio, "met" if met else "MISSED"))


def machine():
    model = "unknown CPU"
    with open("/proc/cpuinfo") as cpuinfo:
        for line in cpuinfo:
            if line.startswith("model name"):
                model = line.split(":", 1)[1].strip()
                break
    return "%s, %d cores, Linux %s" % (model, os.cpu_count(), platform.release())


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", required=True, help="the build folder with bench/ and octave/")
    parser.add_argument("--quick", action="store_true", help="fewer and shorter repetitions")
    parser.add_argument("--only", choices=("tty", "network"), help="one of the two tables")
    arguments = parser.parse_args()
    build = os.path.abspath(arguments.build)
    sizes = QUICK if arguments.quick else FULL

    def log(text):
        print("bench: " + text, file=sys.stderr, flush=True)

    started = time.time()
    load_before = load()
    log("load before: %.2f %.2f %.2f" % load_before)
    results = network = None
    with tempfile.TemporaryDirectory(prefix="quorvel-bench-") as devices_root:
        if arguments.only != "network":
            peers = [start_peer(build) for _ in CLIENTS]
            results = run_clients(CLIENTS, build, os.path.join(devices_root, "tty"), peers, sizes, log, FIGURES)
        if arguments.only != "tty" and shutil.which("ser2net"):
            log("through ser2net")
            peers = [start_peer(build) for _ in NETWORK_CLIENTS]
            server = Ser2net([tty for _, tty in peers], devices_root)
            try:
                lines = [(peer, address) for (peer, _), address in zip(peers, server.addresses)]
                network_sizes = dict(sizes, roundtrips=NETWORK_ROUNDTRIPS["quick" if arguments.quick else "full"])
                network = run_clients(NETWORK_CLIENTS, build, os.path.join(devices_root, "network"), lines,
                                      network_sizes, log, NETWORK_FIGURES)
            finally:
                server.stop()
    load_after = load()

    print("quorvel benchmark, %s" % time.strftime("%Y-%m-%d %H:%M %Z"))
    print("machine: %s" % machine())
    print("load average (1, 5, 15 min): before %.2f %.2f %.2f, after %.2f %.2f %.2f" % (
        load_before + load_after))
    if results:
        print("%s run: %d repetitions; round trips %d per repetition; %d MiB per 64 KiB figure, "
              "%d KiB per 64 B figure; %d status queries; %.0f s" % (
                  "quick" if arguments.quick else "full", sizes["repetitions"], sizes["roundtrips"],
                  sizes["big"] // MIB, sizes["small"] // KIB, sizes["queries"], time.time() - started))
    else:
        print("%s run: %d repetitions; %.0f s" % (
            "quick" if arguments.quick else "full", sizes["repetitions"], time.time() - started))
    print("median and spread over the repetitions; ratios (x limit, targets) are medians of the ratios "
          "within each repetition")
    if results:
        print()
        print("\n".join(table(CLIENTS, results)))
        print_targets(targets(results))
    if network:
        print()
        print("Through ser2net (RFC 2217, 127.0.0.1), against pyserial's rfc2217:// client; %d round trips "
              "per repetition, 1 MiB each way" % NETWORK_ROUNDTRIPS["quick" if arguments.quick else "full"])
        print()
        print("\n".join(table(NETWORK_CLIENTS, network, NETWORK_FIGURES, "pyserial", "x pyserial")))
        print_targets(network_targets(network))


if __name__ == "__main__":
    main()
