#!/usr/bin/env python3
"""Holds the dynamic tables of quorvel.mexa64 to what a MATLAB host on Linux
can load.

The module exports the gateway and the array-interface declaration and
nothing else. It needs the host's libmx.so and libmex.so and otherwise only
the C library's own libraries, with no run path. It asks the host for exactly
the functions listed in libmx.def and libmex.def (unversioned, as the host's
libraries export them): a call the lists do not name fails here, and so does
a name the module no longer calls. The port helper quorvel_ports.mexa64 is
held so to its own list, and may call any of the module's too (--shared-def).
It carries its C++ runtime inside but for the unwinder, the shared
libgcc_s.so.1 that a C++ host has loaded already and any other process loads
with it: no GLIBCXX_ or CXXABI_ version is required, only the unwinder's
oldest versions (GCC_3.0 to GCC_4.2.0), and no GLIBC_ version newer than
2.34.
"""

import os
import re
import subprocess
import sys

WINDOWS = os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir, "windows")
sys.path.insert(0, WINDOWS)
from check_module_tables import EXPORTS, def_names, differences, module_parser  # noqa: E402

HOST_LIBRARIES = {"libmx.so", "libmex.so"}
UNWINDER_LIBRARY = "libgcc_s.so.1"
C_LIBRARIES = {"libc.so.6", "libm.so.6", "libpthread.so.0", "libdl.so.2", "librt.so.1", "ld-linux-x86-64.so.2",
               UNWINDER_LIBRARY}
NEWEST_GLIBC = (2, 34)
NEWEST_UNWINDER = (4, 2, 0)
RUNTIME_VERSIONS = ("GLIBCXX_", "CXXABI_")
UNWINDER = "_Unwind_"


class Symbol:
    def __init__(self, line):
        fields = line.split()
        self.name = fields[-1]
        self.version = fields[-2].strip("()")
        self.section = fields[-4]
        self.weak = "w" in fields[1:-4]
        self.defined = self.section != "*UND*"


def dynamic_symbols(objdump, module):
    dump = subprocess.run([objdump, "-T", module], check=True, capture_output=True, text=True).stdout
    return [Symbol(line) for line in dump.splitlines() if re.match(r"^[0-9a-f]{8,} ", line)]


def dynamic_section(readelf, module):
    dump = subprocess.run([readelf, "-d", module], check=True, capture_output=True, text=True).stdout
    needed = set(re.findall(r"\(NEEDED\)\s+Shared library: \[(.+)\]", dump))
    paths = re.findall(r"\((?:RPATH|RUNPATH)\)\s+.*\[(.*)\]", dump)
    return needed, paths


def version_number(version, prefix):
    return tuple(int(part) for part in version[len(prefix):].split("."))


def glibc_version(version):
    return version_number(version, "GLIBC_")


def version_problems(symbols):
    problems = []
    runtime = sorted(f"{s.name}@{s.version}" for s in symbols if s.version.startswith(RUNTIME_VERSIONS))
    if runtime:
        problems.append(f"C++ runtime versions required: {runtime}")
    too_new = sorted(f"{s.name}@{s.version}" for s in symbols
                     if s.version.startswith("GLIBC_") and glibc_version(s.version) > NEWEST_GLIBC)
    if too_new:
        problems.append(f"newer than GLIBC_{NEWEST_GLIBC[0]}.{NEWEST_GLIBC[1]}: {too_new}")
    unwinder = [s for s in symbols if s.version.startswith("GCC_")]
    beyond = sorted(f"{s.name}@{s.version}" for s in unwinder
                    if not s.name.startswith(UNWINDER) or version_number(s.version, "GCC_") > NEWEST_UNWINDER)
    if beyond:
        problems.append(f"more than the unwinder's GCC_3.0 to GCC_4.2.0 asked of libgcc_s: {beyond}")
    unversioned_unwinder = sorted(s.name for s in symbols
                                  if s.name.startswith(UNWINDER) and not s.defined and s.version == "Base")
    if unversioned_unwinder:
        problems.append(f"unwinder functions not bound to libgcc_s: {unversioned_unwinder}")
    return problems


def main():
    parser = module_parser(__doc__)
    parser.add_argument("--readelf", required=True)
    parser.add_argument("--shared-def", action="append", default=[],
                        help="lists whose names may be imported without all being called")
    args = parser.parse_args()

    symbols = dynamic_symbols(args.objdump, args.module)
    needed, paths = dynamic_section(args.readelf, args.module)
    listed = set().union(*(names for _, names in (def_names(path) for path in args.host_def)))
    shared = set().union(*(names for _, names in (def_names(path) for path in args.shared_def)))
    exports = {s.name for s in symbols if s.defined}
    # Weak references (the runtime's optional hooks) need nothing from the host.
    unversioned = {s.name for s in symbols if not s.defined and not s.weak and s.version == "Base"}
    host_imports = {name for name in unversioned if not name.startswith(UNWINDER)}

    problems = differences("exports", exports, EXPORTS)
    problems += differences("host imports", host_imports - shared, listed)
    problems += differences("host libraries needed", needed & HOST_LIBRARIES, HOST_LIBRARIES)
    if UNWINDER_LIBRARY not in needed:
        problems.append(f"{UNWINDER_LIBRARY} is not needed: the module loads only where a host brought it in")
    if needed - HOST_LIBRARIES - C_LIBRARIES:
        problems.append(f"needs libraries beyond the host's and the C library's: {sorted(needed - HOST_LIBRARIES - C_LIBRARIES)}")
    if paths:
        problems.append(f"run path {paths}")
    problems += version_problems(symbols)
    if problems:
        print("\n".join(problems))
        return 1
    glibc = max((s.version for s in symbols if s.version.startswith("GLIBC_")), key=glibc_version)
    print(f"{args.module}: {os.path.getsize(args.module)} bytes; exports {sorted(exports)}; "
          f"needs {sorted(needed)}; {len(host_imports)} host functions as listed; newest {glibc}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
