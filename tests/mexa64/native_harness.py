#!/usr/bin/env python3
"""Linux side of the loader tests of quorvel.mexa64.

Runs one case of the native test program with $QUORVEL_DEVICES at a folder
of links com1-com8 to fresh pseudo-terminals, and plays the devices at their
far ends on the program's requests, as the Wine tests' harness does for the
Windows module (COM8's device refuses every open).
"""

import argparse
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir, "wine"))
from wine_harness import run_case  # noqa: E402


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--ports", required=True, help="folder of the COMn links")
    parser.add_argument("--program", required=True, help="the test program")
    parser.add_argument("--module", required=True, help="quorvel.mexa64")
    parser.add_argument("--case", required=True)
    parser.add_argument("--timeout", type=float, default=60)
    args = parser.parse_args()
    ports = os.path.abspath(args.ports)
    os.makedirs(ports, exist_ok=True)
    env = dict(os.environ, QUORVEL_DEVICES=ports)
    return run_case(args.case, ports, [args.program, args.case, args.module], env, args.timeout)[0]


if __name__ == "__main__":
    sys.exit(main())
