#!/usr/bin/env python3
"""Fails on Octave-only syntax in the .m files given: they ship to MATLAB too.

Comments and single-quoted text are set aside first; what remains must not
hold double-quoted text, '!', '#', Octave's end keywords, increment or
compound assignment operators, '**', printf or puts, or an index applied
straight to a call's or a literal's result. Before the files, the scan
proves itself on a sample of each construct and on look-alikes that both
hosts accept, so that it cannot pass by finding nothing.
"""

import re
import sys

OCTAVE_ONLY = [
    ("double-quoted text", r'"'),
    ("'!' (use '~')", r"!"),
    ("'#' comment", r"#"),
    ("Octave end keyword (use 'end')",
     r"\b(endif|endfor|endwhile|endfunction|endswitch|end_try_catch|end_unwind_protect|endparfor)\b"),
    ("unwind_protect", r"\bunwind_protect(_cleanup)?\b"),
    ("do ... until loop", r"^\s*(do|until)\b"),
    ("increment or compound assignment", r"\+\+|--|[-+*/^|&]="),
    ("'**' power", r"\*\*"),
    ("printf or puts (use fprintf)", r"(?<![\w.])(printf|puts|fputs|fdisp)\b"),
    # A call's or a literal's result indexed at once; c{1}{2} is fine in both.
    ("index of a result", r"[)\]][({]|(^|[=(,\[])\s*\{[^{}]*\}[({]"),
]

# One line per construct above, each of which the scan must report.
PLANTED = [
    'x = "text";', "if !done", "if a != b", "# a comment", "endif", "endfor", "endwhile",
    "endfunction", "endswitch", "end_try_catch", "unwind_protect", "do", "until x > 1",
    "k++;", "k += 1;", "x ^= 2;", "y = 2 ** 3;", "printf('%d', 1);", "puts('x');",
    "value = {'off', 'on'}{k};", "n = size(a)(1);", "m = [4 5](k);",
]
# Lines both hosts accept that look like the constructs above.
LOOK_ALIKES = [
    "x = 'say \"hi\" and #1!';", "if ~done && a ~= b", "y = a' * b';", "z = [a' b'];",
    "s = 'it''s';", "fprintf('%d\\n', 1);", "t = sprintf('%s', s); % endif \"quoted\" #",
    "q = a.^2 + b(1) * c{2};", "v = x(end) - 1; ... continued, don't mind",
    "e = b.'; w = 'x''#y';", "endings = 1; redo = 2; printfs = 3;", "d = c{1}{2} + c{k}(1);",
]


def code_of(line):
    """The line without its comment and without the contents of single-quoted text."""
    code, k = [], 0
    while k < len(line):
        c = line[k]
        if c == "%" or line.startswith("...", k):
            break
        if c == "'" and not (code and (code[-1].isalnum() or code[-1] in "_)]}.'")):
            end = k + 1
            while end < len(line):
                if line[end] == "'" and line.startswith("''", end):
                    end += 2
                elif line[end] == "'":
                    break
                else:
                    end += 1
            code.append("''")
            k = end + 1
            continue
        code.append(c)
        k += 1
    return "".join(code)


def findings(lines):
    """(line number, construct) for each Octave-only construct found."""
    found = []
    for number, line in enumerate(lines, 1):
        code = code_of(line)
        found += [(number, name) for name, pattern in OCTAVE_ONLY if re.search(pattern, code)]
    return found


def self_check():
    problems = []
    for line in PLANTED:
        if not findings([line]):
            problems.append(f"the scan misses Octave-only syntax in: {line}")
    for line in LOOK_ALIKES:
        problems += [f"the scan wrongly reports {name} in: {line}" for _, name in findings([line])]
    for name, _ in OCTAVE_ONLY:
        if not any(found == name for line in PLANTED for _, found in findings([line])):
            problems.append(f"no planted sample of {name}")
    return problems


def main(paths):
    problems = self_check()
    if not paths:
        problems.append("no .m files given")
    for path in paths:
        with open(path) as text:
            lines = text.read().splitlines()
        if not lines:
            problems.append(f"{path}: empty")
        problems += [f"{path}:{number}: {name}" for number, name in findings(lines)]
    for problem in problems:
        print(problem)
    if not problems:
        print(f"{len(paths)} files use only syntax MATLAB and Octave share")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
