#!/usr/bin/env python3
"""Holds the export and import tables of quorvel.mexw64 to their lists.

The module exports the gateway and the array-interface declaration and
nothing else. From the host it imports exactly the functions listed in
libmx.def and libmex.def: a host call the lists do not name fails the link,
and a name the module no longer calls fails here. From Windows it imports
the serial and event calls of the core, and it needs no DLL beyond the
host's, KERNEL32 and the C runtime.
"""

import argparse
import re
import subprocess
import sys

EXPORTS = {"mexFunction", "mexfilerequiredapiversion"}
SYSTEM_DLLS = {"KERNEL32.dll", "msvcrt.dll"}
SERIAL_CALLS = {
    "CreateFileA", "CloseHandle", "SetupComm", "SetCommState", "SetCommTimeouts", "PurgeComm",
    "ClearCommError", "ReadFile", "WriteFile", "GetOverlappedResult", "CancelIoEx", "CreateEventA",
    "WaitForSingleObject", "WaitForMultipleObjects", "GetLastError",
}


def def_names(path):
    """The DLL a .def file describes and the names it exports."""
    library, names, in_exports = None, set(), False
    with open(path) as lines:
        for line in lines:
            line = line.split(";")[0].strip()
            if line.startswith("LIBRARY"):
                library = line.split()[1]
            elif line == "EXPORTS":
                in_exports = True
            elif line and in_exports:
                names.add(line.split()[0])
    return library, names


def tables(objdump, module):
    """The module's exported names and, per imported DLL, the imported names."""
    dump = subprocess.run([objdump, "-p", module], check=True, capture_output=True, text=True).stdout
    _, marker, export_part = dump.partition("[Ordinal/Name Pointer] Table")
    exports = set(re.findall(r"^\s+\[\s*\d+\] (\S+)$", export_part.split("\n\n")[0], re.MULTILINE))
    imports = {}
    for block in re.split(r"^\s*DLL Name: ", dump, flags=re.MULTILINE)[1:]:
        name, _, body = block.partition("\n")
        entries = body.split("\n\n")[0]
        imports[name.strip()] = set(re.findall(r"^\s+[0-9a-f]+\s+\d+\s+(\S+)$", entries, re.MULTILINE))
    return exports, imports


def differences(what, actual, expected):
    problems = []
    if actual - expected:
        problems.append(f"{what}: unexpected {sorted(actual - expected)}")
    if expected - actual:
        problems.append(f"{what}: missing {sorted(expected - actual)}")
    return problems


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--objdump", required=True)
    parser.add_argument("--module", required=True)
    parser.add_argument("--host-def", action="append", required=True, help="libmx.def, libmex.def")
    args = parser.parse_args()

    exports, imports = tables(args.objdump, args.module)
    host = dict(def_names(path) for path in args.host_def)
    problems = differences("exports", exports, EXPORTS)
    problems += differences("imported DLLs", set(imports), set(host) | SYSTEM_DLLS)
    for library, names in host.items():
        problems += differences(f"imports from {library}", imports.get(library, set()), names)
    problems += differences("serial calls from KERNEL32.dll",
                            imports.get("KERNEL32.dll", set()) & SERIAL_CALLS, SERIAL_CALLS)
    for problem in problems:
        print(problem)
    if not problems:
        print(f"{args.module}: exports {sorted(exports)}; imports from {sorted(imports)} as listed")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
