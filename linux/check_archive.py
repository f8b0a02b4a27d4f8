#!/usr/bin/env python3
"""Lists a download archive and holds its contents to the expected names:
check_archive.py <archive.zip> <name>..."""

import sys
import zipfile


def main():
    archive, expected = sys.argv[1], set(sys.argv[2:])
    with zipfile.ZipFile(archive) as packed:
        entries = {info.filename: info.file_size for info in packed.infolist()}
    for name, size in sorted(entries.items()):
        print(f"{size:>9}  {name}")
    problems = [f"unexpected {name}" for name in sorted(set(entries) - expected)]
    problems += [f"missing {name}" for name in sorted(expected - set(entries))]
    problems += [f"empty {name}" for name, size in sorted(entries.items()) if size == 0]
    for problem in problems:
        print(problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
