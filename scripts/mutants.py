#!/usr/bin/env python3
"""Asks whether the tests notice a fault: plants one small fault at a time in C++ sources.

Each mutant changes one line of one source (a comparison turned round, && and || swapped, a
constant moved by one, a call or an assignment removed, a "!" dropped, true and false swapped).
For each, the build folder is rebuilt and the chosen tests run; a mutant the tests pass with has
"survived": either the tests cannot see that fault, or the change alters no behaviour. The
source is put back after every mutant, at the end, on Ctrl+C or SIGTERM, and at the start of a
run when an earlier run was cut off (its copies wait in BUILD/mutants-saved).

  cmake -G Ninja -S . -B build/mutants -DCMAKE_BUILD_TYPE=RelWithDebInfo
  cmake --build build/mutants
  scripts/mutants.py --tests 'serial|comm' platform/comm/line_settings.cpp
  scripts/mutants.py --diff main app/ serial/        # only lines changed since main
  scripts/mutants.py --list app/text.cpp             # show the mutants, run nothing

Exit status: 0 when no mutant survived, 1 when some did, 2 when the run could not start (no
build folder, tests that fail unmutated, nothing to mutate).
"""
import argparse
import os
import random
import re
import shutil
import signal
import subprocess
import sys
import time
from dataclasses import dataclass

SOURCES = (".c", ".cc", ".cpp", ".h", ".hpp")

# Replacements applied to one occurrence at a time, on the line's code only.
SWAPS = [
    ("==", "!=", r"=="),
    ("!=", "==", r"!="),
    ("<", "<=", r"(?<=[\s\w)])<(?=\s)"),
    ("<=", "<", r"(?<=\s)<=(?=\s)"),
    (">", ">=", r"(?<=\s)>(?=\s)"),
    (">=", ">", r"(?<=\s)>=(?=\s)"),
    ("&&", "||", r"&&"),
    ("||", "&&", r"\|\|"),
    ("+", "-", r"(?<=\s)\+(?=\s)"),
    ("-", "+", r"(?<=\s)-(?=\s)"),
    ("true", "false", r"\btrue\b"),
    ("false", "true", r"\bfalse\b"),
    ("!", "", r"(?<=[\s(])!(?=[\w(])"),
]
NUMBER = re.compile(r"(?<![\w.])\d+(?![\w.'])")
STATEMENT_CALL = re.compile(r"^\s*[A-Za-z_][\w:.>\-]*\s*\(.*\)\s*;\s*$")
STATEMENT_ASSIGN = re.compile(r"^\s*[A-Za-z_*][\w.\->\[\]*]*\s*([-+*/|&^]?=|\+\+|--)[^=].*;\s*$")
NOT_CODE = re.compile(r"^\s*(#|//|/\*|\*|static_assert|using\b|namespace\b|template\b|typedef\b|case\b|default\s*:)")


@dataclass
class Mutant:
    path: str
    line: int  # 1-based
    kind: str
    text: str  # the mutated line
    original: str

    def where(self):
        return f"{self.path}:{self.line}"

    def shown(self):
        return f"{self.where()}: {self.kind}: {(self.original if self.text.strip() == ';' else self.text).strip()}"


def code_only(line, in_comment):
    """The line with comments, strings and character literals blanked, and whether a
    block comment is still open at its end."""
    out = []
    i = 0
    quote = None
    while i < len(line):
        c = line[i]
        if in_comment:
            if line.startswith("*/", i):
                in_comment = False
                out.append("  ")
                i += 2
                continue
            out.append(" ")
        elif quote:
            if c == "\\":
                out.append("  ")
                i += 2
                continue
            if c == quote:
                quote = None
            out.append(" ")
        elif line.startswith("//", i):
            out.append(" " * (len(line) - i))
            break
        elif line.startswith("/*", i):
            in_comment = True
            out.append("  ")
            i += 2
            continue
        elif c in "\"'":
            # A digit separator (1'000) is not a character literal.
            if c == "'" and i > 0 and line[i - 1].isalnum() and i + 1 < len(line) and line[i + 1].isalnum():
                out.append(c)
            else:
                quote = c
                out.append(" ")
        else:
            out.append(c)
        i += 1
    return "".join(out)[: len(line)], in_comment


def mutants_of(path, wanted=None):
    """Every mutant of the file, or of the 1-based line numbers in wanted."""
    with open(path, encoding="utf-8") as f:
        lines = f.read().split("\n")
    found = []
    in_comment = False
    for number, line in enumerate(lines, 1):
        code, in_comment = code_only(line, in_comment)
        if wanted is not None and number not in wanted:
            continue
        if not code.strip() or NOT_CODE.match(code) or NOT_CODE.match(line):
            continue
        for name, replacement, pattern in SWAPS:
            for m in re.finditer(pattern, code):
                text = line[: m.start()] + replacement + line[m.end():]
                found.append(Mutant(path, number, f"{name} to {replacement or 'nothing'}", text, line))
        for m in NUMBER.finditer(code):
            bigger = str(int(m.group()) + 1)
            found.append(Mutant(path, number, f"{m.group()} to {bigger}", line[: m.start()] + bigger + line[m.end():], line))
        if STATEMENT_CALL.match(code) or STATEMENT_ASSIGN.match(code):
            if not re.match(r"^\s*(return|break|continue|goto)\b", code):
                indent = line[: len(line) - len(line.lstrip())]
                found.append(Mutant(path, number, "statement removed", indent + ";", line))
    return found


def changed_lines(base, path):
    """The 1-based numbers of the lines of path that differ from git revision base."""
    diff = subprocess.run(["git", "diff", "-U0", base, "--", path], capture_output=True, text=True, check=True).stdout
    lines = set()
    for m in re.finditer(r"^@@ -\S+ \+(\d+)(?:,(\d+))? @@", diff, re.M):
        start, count = int(m.group(1)), int(m.group(2) or 1)
        lines.update(range(start, start + count))
    return lines


def sources(names):
    files = []
    for name in names:
        if os.path.isdir(name):
            for folder, _, entries in sorted(os.walk(name)):
                files += [os.path.join(folder, e) for e in sorted(entries) if e.endswith(SOURCES)]
        elif os.path.isfile(name):
            files.append(name)
        else:
            sys.exit(f"mutants: no such file or folder: {name}")
    return files


class Sources:
    """Keeps the original of every file it touches in a folder, so that a run that is cut off
    can be put right by the next one."""

    def __init__(self, folder):
        self.folder = folder

    def saved(self, path):
        return os.path.join(self.folder, path.replace(os.sep, "%"))

    def restore_all(self):
        if not os.path.isdir(self.folder):
            return
        for name in os.listdir(self.folder):
            original = name.replace("%", os.sep)
            shutil.copy2(os.path.join(self.folder, name), original)
            print(f"mutants: put back {original}, left changed by an earlier run", file=sys.stderr)
        shutil.rmtree(self.folder)

    def plant(self, mutant):
        os.makedirs(self.folder, exist_ok=True)
        shutil.copy2(mutant.path, self.saved(mutant.path))
        with open(mutant.path, encoding="utf-8") as f:
            lines = f.read().split("\n")
        lines[mutant.line - 1] = mutant.text
        with open(mutant.path, "w", encoding="utf-8") as f:
            f.write("\n".join(lines))

    def put_back(self, mutant):
        shutil.copyfile(self.saved(mutant.path), mutant.path)  # a new mtime, so the build notices
        os.remove(self.saved(mutant.path))
        os.rmdir(self.folder)


def run(command, timeout=None):
    """True when the command ended with status 0 within the timeout."""
    try:
        return subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=timeout).returncode == 0
    except subprocess.TimeoutExpired:
        return False


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("paths", nargs="+", help="source files or folders to mutate")
    ap.add_argument("--build", default="build/mutants", help="a configured build folder of its own")
    ap.add_argument("--tests", help="ctest -R pattern (all tests when not given)")
    ap.add_argument("--test-cmd", help="a shell command to run instead of ctest (status 0 = pass)")
    ap.add_argument("--diff", metavar="REV", help="only lines changed since the git revision REV")
    ap.add_argument("--max", type=int, default=40, help="at most this many mutants, sampled (0: all)")
    ap.add_argument("--seed", type=int, default=1, help="the sample's seed")
    ap.add_argument("--timeout", type=float, help="seconds a test run may take (default: 3 x the unmutated run, at least 30)")
    ap.add_argument("--list", action="store_true", help="list the mutants and run nothing")
    args = ap.parse_args()

    keeper = Sources(os.path.join(args.build, "mutants-saved"))
    keeper.restore_all()

    mutants = []
    for path in sources(args.paths):
        mutants += mutants_of(path, changed_lines(args.diff, path) if args.diff else None)
    if args.max and len(mutants) > args.max:
        mutants = sorted(random.Random(args.seed).sample(mutants, args.max), key=lambda m: (m.path, m.line))
    if args.list:
        for m in mutants:
            print(m.shown())
        return 0
    if not mutants:
        print("mutants: nothing to mutate", file=sys.stderr)
        return 2
    if not os.path.isfile(os.path.join(args.build, "CMakeCache.txt")):
        print(f"mutants: {args.build} is not a configured build folder (see this script's header)", file=sys.stderr)
        return 2

    build = ["cmake", "--build", args.build]
    tests = ["sh", "-c", args.test_cmd] if args.test_cmd else ["ctest", "--test-dir", args.build, "-j", str(os.cpu_count() or 1)] + (["-R", args.tests] if args.tests else [])

    def stop(signum, _frame):
        raise KeyboardInterrupt(f"signal {signum}")

    signal.signal(signal.SIGTERM, stop)
    started = time.monotonic()
    if not run(build) or not run(tests):
        print("mutants: the unmutated build or its tests fail; mend that first", file=sys.stderr)
        return 2
    timeout = args.timeout or max(30.0, 3 * (time.monotonic() - started))

    survived, killed, broken = [], 0, 0
    try:
        for n, m in enumerate(mutants, 1):
            keeper.plant(m)
            try:
                if not run(build):
                    broken += 1
                    verdict = "does not build"
                elif run(tests, timeout):
                    survived.append(m)
                    verdict = "SURVIVED"
                else:
                    killed += 1
                    verdict = "killed"
            finally:
                keeper.put_back(m)
            print(f"[{n}/{len(mutants)}] {verdict}: {m.where()}: {m.kind}", flush=True)
    except KeyboardInterrupt:
        keeper.restore_all()
        print("mutants: interrupted; the sources are as they were", file=sys.stderr)
        return 2
    finally:
        run(build)  # leave the build folder matching the sources

    tried = killed + len(survived)
    print(f"\n{killed} of {tried} mutants killed ({100 * killed // max(tried, 1)}%), {broken} did not build")
    for m in survived:
        print(f"  survived: {m.shown()}")
    return 1 if survived else 0


if __name__ == "__main__":
    sys.exit(main())
