#!/usr/bin/env python3
"""Fails when an #include in src/ climbs a floor.

The floors, top to bottom: gateway, ports, transfer, common, platform. A file
may include headers of its own floor and of the floors below it, never of a
floor above. A quoted include without a folder is a platform backend's header,
found on the backend's include path. The port survey behind quorvel_ports
stands beside the module on the platform floor alone: it may include its own
headers and the platform's, and nothing of the module's.
"""

import pathlib
import re
import sys

FLOORS = ["platform", "common", "transfer", "ports", "gateway"]
BESIDE = {"port_survey"}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.MULTILINE)


def floor_of_include(name):
    top = name.split("/")[0] if "/" in name else "platform"
    return FLOORS.index(top) if top in FLOORS else None


def violations(source_root):
    found, checked = [], 0
    for path in sorted(source_root.rglob("*")):
        if path.suffix not in (".h", ".cpp"):
            continue
        top = path.relative_to(source_root).parts[0]
        checked += 1
        if top in BESIDE:
            found += [f"{path} ({top}) includes \"{name}\", which is the module's"
                      for name in INCLUDE.findall(path.read_text())
                      if "/" in name and name.split("/")[0] not in ("platform", top)]
            continue
        if top not in FLOORS:
            found.append(f"{path}: {top} is on no floor")
            continue
        floor = FLOORS.index(top)
        for name in INCLUDE.findall(path.read_text()):
            target = floor_of_include(name)
            if target is None:
                found.append(f"{path}: includes \"{name}\", which is on no floor")
            elif target > floor:
                found.append(f"{path} ({FLOORS[floor]}) includes \"{name}\" ({FLOORS[target]}), a floor above")
    return found, checked


def main():
    source_root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else "src")
    found, checked = violations(source_root)
    for line in found:
        print(line)
    if checked == 0:
        print(f"no sources under {source_root}")
        return 1
    if not found:
        print(f"{checked} files under {source_root}: every include stays on its floor or goes down")
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
