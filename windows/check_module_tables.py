#!/usr/bin/env python3
"""Holds quorvel.mexw64 to what it may bring into the host's process.

The module exports the gateway and the array-interface declaration and
nothing else. From the host it imports exactly the functions listed in
libmx.def and libmex.def: a host call the lists do not name fails the link,
and a name the module no longer calls fails here. From KERNEL32 it imports
exactly the serial and event calls of the core, the one call of its entry
point and the environment read of the port mapping, and from ADVAPI32 only
the mapping's registry read, so it can install no exception handler and allocate no thread-local
storage; from the C runtime only calls that keep no state. It has no TLS
directory, and nothing went into its link that the loader or a runtime would
run as a constructor or TLS callback (read from the link map, which a
stripped module still has). It keeps its unwind tables, through which the
host unwinds a call it aborts.
"""

import argparse
import re
import subprocess
import sys

EXPORTS = {"mexFunction", "mexfilerequiredapiversion"}
SYSTEM_DLLS = {"KERNEL32.dll", "msvcrt.dll", "ADVAPI32.dll"}
SERIAL_CALLS = {
    "CreateFileA", "CloseHandle", "SetupComm", "SetCommState", "SetCommTimeouts", "PurgeComm",
    "ClearCommError", "ReadFile", "WriteFile", "GetOverlappedResult", "CancelIoEx", "CreateEventA",
    "WaitForSingleObject", "WaitForMultipleObjects", "GetLastError",
}
ENTRY_CALLS = {"DisableThreadLibraryCalls"}
# Open reads the mapping of the slot it opens (the variable, else the registry)
# and says when it cannot.
MAPPING_CALLS = {"GetEnvironmentVariableA", "SetLastError"}
REGISTRY_CALLS = {"RegGetValueA"}
# The compiler may call these for copies and comparisons, or not, by build type.
RUNTIME_CALLS = {"abort", "memcmp", "memcpy", "memmove", "memset", "strcmp", "strlen", "strncmp"}
# Input sections whose entries a loader or a runtime would call at load time.
STARTUP_SECTIONS = re.compile(r"\.ctors?(\..*)?|\.init_array(\..*)?|\.CRT\$X.*|\.tls(\$.*)?")


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


def tables(dump):
    """The module's exported names and, per imported DLL, the imported names."""
    _, marker, export_part = dump.partition("[Ordinal/Name Pointer] Table")
    exports = set(re.findall(r"^\s+\[\s*\d+\] (\S+)$", export_part.split("\n\n")[0], re.MULTILINE))
    imports = {}
    for block in re.split(r"^\s*DLL Name: ", dump, flags=re.MULTILINE)[1:]:
        name, _, body = block.partition("\n")
        entries = body.split("\n\n")[0]
        imports[name.strip()] = set(re.findall(r"^\s+[0-9a-f]+\s+\d+\s+(\S+)$", entries, re.MULTILINE))
    return exports, imports


def directory_sizes(dump):
    """The size of each data directory the PE header lists, by its name."""
    return {name.strip(): int(size, 16)
            for size, name in re.findall(r"^Entry [0-9a-f] [0-9a-f]+ ([0-9a-f]+) ([^[\n]+)", dump, re.MULTILINE)}


def input_sections(map_text):
    """(section name, size, object) of every input section the link map lists."""
    found = re.findall(r"^ (\S+)\s+0x[0-9a-f]+\s+0x([0-9a-f]+) (.+)$", map_text, re.MULTILINE)
    return [(name, int(size, 16), origin) for name, size, origin in found]


def load_time_problems(dump, map_text):
    directories = directory_sizes(dump)
    sections = input_sections(map_text)
    problems = []
    if directories.get("Thread Storage Directory", 1):
        problems.append("has a TLS directory, or objdump did not say")
    if not directories.get("Exception Directory", 0):
        problems.append("has no unwind tables: the host could not unwind an aborted call")
    if not sections:
        problems.append("the link map lists no input sections")
    problems += [f"runs at load time: {name} ({origin})" for name, size, origin in sections
                 if STARTUP_SECTIONS.fullmatch(name) and size > 0]
    return problems


def differences(what, actual, expected):
    problems = []
    if actual - expected:
        problems.append(f"{what}: unexpected {sorted(actual - expected)}")
    if expected - actual:
        problems.append(f"{what}: missing {sorted(expected - actual)}")
    return problems


def module_parser(description):
    """The arguments every module check takes: objdump, the module and the host's lists."""
    parser = argparse.ArgumentParser(description=description)
    parser.add_argument("--objdump", required=True)
    parser.add_argument("--module", required=True)
    parser.add_argument("--host-def", action="append", required=True, help="libmx.def, libmex.def")
    return parser


def main():
    parser = module_parser(__doc__)
    parser.add_argument("--map", required=True, help="the linker's map of the module")
    args = parser.parse_args()

    dump = subprocess.run([args.objdump, "-p", args.module], check=True, capture_output=True, text=True).stdout
    with open(args.map) as map_file:
        map_text = map_file.read()
    exports, imports = tables(dump)
    host = dict(def_names(path) for path in args.host_def)
    problems = differences("exports", exports, EXPORTS)
    problems += differences("imported DLLs", set(imports), set(host) | SYSTEM_DLLS)
    for library, names in host.items():
        problems += differences(f"imports from {library}", imports.get(library, set()), names)
    problems += differences("imports from KERNEL32.dll", imports.get("KERNEL32.dll", set()),
                            SERIAL_CALLS | ENTRY_CALLS | MAPPING_CALLS)
    problems += differences("imports from ADVAPI32.dll", imports.get("ADVAPI32.dll", set()), REGISTRY_CALLS)
    problems += differences("imports from msvcrt.dll", imports.get("msvcrt.dll", set()) - RUNTIME_CALLS, set())
    problems += load_time_problems(dump, map_text)
    for problem in problems:
        print(problem)
    if not problems:
        print(f"{args.module}: exports {sorted(exports)}; imports from {sorted(imports)} as listed; "
              "no TLS directory, nothing run at load time")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
