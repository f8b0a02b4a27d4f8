#!/usr/bin/env python3
"""Runs one Octave session of the module under valgrind (memcheck_session.m)
and fails on any memory error at all, and on any memory lost that the module
allocated. Octave's own leaks at exit are its own and are only counted."""
import argparse
import os
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ElementTree

LOST = ("Leak_DefinitelyLost", "Leak_IndirectlyLost")


def run_session(args, xml_file):
    here = os.path.dirname(os.path.abspath(__file__))
    command = [args.valgrind, "--leak-check=full", "--show-leak-kinds=definite,indirect",
               "--keep-debuginfo=yes", "--num-callers=50", "--xml=yes", f"--xml-file={xml_file}",
               args.octave, "--no-history", "--no-init-file", "--no-window-system", "--quiet",
               "--eval", f"addpath('{here}'); memcheck_session"]
    environment = dict(os.environ, QUORVEL_MODULE_DIR=args.module_dir, QUORVEL_OCTAVE_TESTS=args.octave_tests)
    if args.preload:
        environment["LD_PRELOAD"] = " ".join(filter(None, [args.preload, os.environ.get("LD_PRELOAD")]))
    return subprocess.run(command, env=environment, timeout=args.timeout).returncode


def frames(error):
    for frame in error.iter("frame"):
        yield (frame.findtext("obj", ""), frame.findtext("fn", ""),
               os.path.join(frame.findtext("dir", ""), frame.findtext("file", "")), frame.findtext("line", ""))


def is_the_modules(error, sources, module):
    return any(path.startswith(sources) or obj == module for obj, _, path, _ in frames(error))


def described(error):
    text = error.findtext("what") or error.findtext("xwhat/text", "")
    stack = [f"    {fn} ({path}:{line})" if line else f"    {fn} ({obj})" for obj, fn, path, line in frames(error)]
    return "\n".join([f"  {error.findtext('kind')}: {text}"] + stack[:20])


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--valgrind", default="valgrind")
    parser.add_argument("--octave", default="octave-cli")
    parser.add_argument("--module-dir", required=True, help="the folder of quorvel.mex and vantrel.m")
    parser.add_argument("--octave-tests", required=True, help="the Octave tests' helpers (null_modems.m ...)")
    parser.add_argument("--sources", required=True, help="the module's source folder")
    parser.add_argument("--timeout", type=int, default=600)
    parser.add_argument("--preload", help="a library to preload into Octave (the libhwy timer shim)")
    args = parser.parse_args()
    sources = os.path.abspath(args.sources) + os.sep
    module = os.path.join(os.path.abspath(args.module_dir), "quorvel.mex")

    with tempfile.TemporaryDirectory() as work:
        xml_file = os.path.join(work, "memcheck.xml")
        status = run_session(args, xml_file)
        errors = ElementTree.parse(xml_file).getroot().findall("error")

    broken = [e for e in errors if e.findtext("kind") not in LOST]
    lost_by_module = [e for e in errors if e.findtext("kind") in LOST and is_the_modules(e, sources, module)]
    print(f"memcheck: session exit status {status}; {len(broken)} memory errors; "
          f"{len(errors) - len(broken)} loss records, {len(lost_by_module)} of them the module's")
    for error in broken + lost_by_module:
        print(described(error))
    return 0 if status == 0 and not broken and not lost_by_module else 1


if __name__ == "__main__":
    sys.exit(main())
