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
else the machine does weighs on all alike."""
import argparse
import os
import platform
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
    ("raw", "raw C on the tty (the limit)", ["{build}/bench/quorvel_bench_raw", "{tty}"]),
    ("floor", "floor MEX over an fd, Octave", OCTAVE + [
        "addpath('{bench}/octave', '{build}/bench'); bench_fdio('{tty}')"]),
    ("octave", "quorvel, Octave", OCTAVE + [
        "addpath('{bench}/octave', '{build}/octave'); bench_quorvel()"]),
    ("cpp", "quorvel, C++ (test host)", ["{build}/bench/quorvel_tty_bench"]),
    ("pyserial", "pyserial", ["/usr/bin/python3", "{bench}/pyserial_client.py", "{tty}"]),
    ("serialport", "instrument-control serialport", OCTAVE + [
        "addpath('{bench}/octave'); bench_serialport('{tty}')"]),
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

FULL = {"roundtrips": 10000, "big": 16 * MIB, "small": 1 * MIB, "queries": 100000, "lines": 1000,
        "long_lines": 50, "repetitions": 11}
QUICK = {"roundtrips": 2000, "big": 4 * MIB, "small": 256 * KIB, "queries": 20000, "lines": 300,
         "long_lines": 20, "repetitions": 3}

ANSWER_TIMEOUT = 120


class Client:
    """One client process and the peer at the far end of its tty."""

    def __init__(self, name, command, build, devices_root):
        self.name = name
        self.peer = subprocess.Popen([os.path.join(build, "bench", "quorvel_bench_peer")],
                                     stdout=subprocess.PIPE, text=True)
        tty = self.peer.stdout.readline().strip()
        devices = os.path.join(devices_root, name)
        os.mkdir(devices)
        os.symlink(tty, os.path.join(devices, "com1"))
        environment = dict(os.environ, QUORVEL_DEVICES=devices)
        argv = [part.format(build=build, bench=HERE, tty=tty) for part in command]
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


def load():
    return os.getloadavg()


def measure(clients, sizes, log):
    """{client: {figure key: [value per repetition]}}: times in us, rates in MiB/s."""
    results = {client.name: {key: [] for key, _, _, _ in FIGURES} for client in clients}
    for repetition in range(sizes["repetitions"]):
        order = clients[repetition % len(clients):] + clients[:repetition % len(clients)]
        for key, request, _, _ in FIGURES:
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


def table(clients, results):
    lines = ["| figure | client | median | spread (min-max) | x limit |",
             "|---|---|---:|---:|---:|"]
    for key, _, title, unit in FIGURES:
        for name, label, _ in clients:
            values = results[name][key]
            if not values:
                continue
            low, high = spread(values)
            limit = "-" if key.startswith("q") else "%.2f" % paired_ratio(results, name, "raw", key)
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
    arguments = parser.parse_args()
    build = os.path.abspath(arguments.build)
    sizes = QUICK if arguments.quick else FULL

    def log(text):
        print("bench: " + text, file=sys.stderr, flush=True)

    started = time.time()
    load_before = load()
    log("load before: %.2f %.2f %.2f" % load_before)
    clients = []
    with tempfile.TemporaryDirectory(prefix="quorvel-bench-") as devices_root:
        try:
            for name, _, command in CLIENTS:
                clients.append(Client(name, command, build, devices_root))
            results = measure(clients, sizes, log)
        finally:
            for client in clients:
                client.stop()
    load_after = load()

    lines = table(CLIENTS, results)
    print("quorvel benchmark, %s" % time.strftime("%Y-%m-%d %H:%M %Z"))
    print("machine: %s" % machine())
    print("load average (1, 5, 15 min): before %.2f %.2f %.2f, after %.2f %.2f %.2f" % (
        load_before + load_after))
    print("%s run: %d repetitions; round trips %d per repetition; %d MiB per 64 KiB figure, "
          "%d KiB per 64 B figure; %d status queries; %.0f s" % (
              "quick" if arguments.quick else "full", sizes["repetitions"], sizes["roundtrips"],
              sizes["big"] // MIB, sizes["small"] // KIB, sizes["queries"], time.time() - started))
    print("median and spread over the repetitions; ratios (x limit, targets) are medians of the ratios "
          "within each repetition")
    print()
    print("\n".join(lines))
    print()
    print("| target | ratio | |")
    print("|---|---:|---|")
    for text, ratio, met in targets(results):
        print("| %s | %.2f | %s |" % (text, ratio, "met" if met else "MISSED"))


if __name__ == "__main__":
    main()
