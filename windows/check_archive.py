#!/usr/bin/env python3
"""Lists a download (Windows, Linux) and holds it to the files it must carry.

The archive holds one folder and in it exactly the files given, each with
the same bytes as the file built or kept in the repository.
"""

import argparse
import os
import sys
import zipfile


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--archive", required=True)
    parser.add_argument("--folder", required=True, help="the one folder the archive unpacks into")
    parser.add_argument("files", nargs="+")
    args = parser.parse_args()

    with zipfile.ZipFile(args.archive) as archive:
        entries = {info.filename: info for info in archive.infolist()}
        for info in entries.values():
            print(f"{info.file_size:>9}  {info.filename}")
        expected = {f"{args.folder}/{os.path.basename(path)}": path for path in args.files}
        files_held = {name for name in entries if not name.endswith("/")}
        problems = [f"missing {name}" for name in sorted(set(expected) - files_held)]
        problems += [f"unexpected {name}" for name in sorted(files_held - set(expected))]
        problems += [f"outside {args.folder}/: {name}" for name in entries
                     if not name.startswith(args.folder + "/")]
        for name in sorted(set(expected) & files_held):
            with open(expected[name], "rb") as original:
                if archive.read(name) != original.read():
                    problems.append(f"{name} differs from {expected[name]}")
    for problem in problems:
        print(problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
