#!/usr/bin/env python3
"""scripts/mutants.py on a project of three lines: the faults it plants, the verdicts it gives,
and the source put back however the run ends."""
import os
import signal
import subprocess
import sys
import tempfile
import textwrap
import time
import unittest

SCRIPT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts", "mutants.py")
sys.path.insert(0, os.path.dirname(SCRIPT))
import mutants  # noqa: E402

SOURCE = textwrap.dedent("""\
    // a < b in a comment is not code
    int limit(int a, int b) { return a < b ? a : b; }
    const char* name() { return "x == y"; }
    int twice(int a) {
      int r = a;
      r += a;
      return r;
    }
    int main() { return limit(2, 3) == 2 && twice(2) == 4 ? 0 : 1; }
    """)


class Project:
    """A CMake project whose one test is the program's exit status."""

    def __init__(self, folder):
        self.folder = folder
        self.source = os.path.join(folder, "m.cpp")
        with open(self.source, "w") as f:
            f.write(SOURCE)
        with open(os.path.join(folder, "CMakeLists.txt"), "w") as f:
            f.write("cmake_minimum_required(VERSION 3.20)\nproject(m CXX)\nenable_testing()\n"
                    "add_executable(m m.cpp)\nadd_test(NAME m COMMAND m)\n")
        self.build = os.path.join(folder, "build")
        subprocess.run(["cmake", "-G", "Ninja", "-S", folder, "-B", self.build], check=True, capture_output=True)

    def run(self, *args, **kw):
        return subprocess.run([sys.executable, SCRIPT, "--build", self.build, *args, self.source],
                              capture_output=True, text=True, cwd=self.folder, **kw)


class MutantsTest(unittest.TestCase):
    def test_faults_are_planted_in_code_only(self):
        with tempfile.TemporaryDirectory() as d:
            path = os.path.join(d, "m.cpp")
            with open(path, "w") as f:
                f.write(SOURCE)
            found = {(m.line, m.kind) for m in mutants.mutants_of(path)}
        self.assertIn((2, "< to <="), found)
        self.assertIn((6, "statement removed"), found)
        self.assertIn((9, "&& to ||"), found)
        self.assertIn((9, "2 to 3"), found)
        self.assertFalse([m for m in found if m[0] in (1, 3)], "comments and strings are not code")
        self.assertFalse([m for m in found if m[0] == 7 and m[1] == "statement removed"], "a return stays")

    def test_verdicts_and_the_source_put_back(self):
        with tempfile.TemporaryDirectory() as d:
            p = Project(d)
            done = p.run("--max", "0")
            self.assertEqual(done.returncode, 1, done.stdout + done.stderr)
            # limit(2, 3) cannot tell < from <=: that mutant survives; the others are killed.
            self.assertIn("survived: " + p.source + ":2: < to <=", done.stdout)
            self.assertRegex(done.stdout, r"\n(\d+) of (\d+) mutants killed")
            self.assertIn("killed: " + p.source + ":6: statement removed", done.stdout)
            with open(p.source) as f:
                self.assertEqual(f.read(), SOURCE)

    def test_diff_mutates_only_the_changed_lines(self):
        with tempfile.TemporaryDirectory() as d:
            p = Project(d)
            git = ["git", "-C", d, "-c", "user.name=t", "-c", "user.email=t@t"]
            subprocess.run(git + ["init", "-q"], check=True)
            subprocess.run(git + ["add", "m.cpp"], check=True)
            subprocess.run(git + ["commit", "-qm", "m"], check=True)
            with open(p.source, "w") as f:
                f.write(SOURCE.replace("r += a;", "r += a + 0;"))
            listed = p.run("--diff", "HEAD", "--list", "--max", "0")
            lines = {row.split(":")[1] for row in listed.stdout.splitlines()}
            self.assertEqual(lines, {"6"}, listed.stdout + listed.stderr)

    def test_an_interrupted_run_puts_the_source_back(self):
        with tempfile.TemporaryDirectory() as d:
            p = Project(d)
            run = subprocess.Popen([sys.executable, SCRIPT, "--build", p.build, "--max", "0",
                                    "--test-cmd", "sleep 30", p.source], cwd=d,
                                   stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
            saved = os.path.join(p.build, "mutants-saved")
            deadline = time.monotonic() + 120
            while not os.path.isdir(saved) and time.monotonic() < deadline:
                time.sleep(0.05)
            self.assertTrue(os.path.isdir(saved), "no mutant was planted")
            run.send_signal(signal.SIGTERM)
            _, err = run.communicate(timeout=120)
            self.assertEqual(run.returncode, 2, err)
            with open(p.source) as f:
                self.assertEqual(f.read(), SOURCE)
            self.assertFalse(os.path.exists(saved))

    def test_a_run_cut_off_by_sigkill_is_mended_by_the_next(self):
        with tempfile.TemporaryDirectory() as d:
            p = Project(d)
            saved = os.path.join(p.build, "mutants-saved")
            os.makedirs(saved)
            with open(os.path.join(saved, p.source.replace(os.sep, "%")), "w") as f:
                f.write(SOURCE)
            with open(p.source, "w") as f:
                f.write(SOURCE.replace("a < b", "a > b"))
            listed = p.run("--list")
            self.assertEqual(listed.returncode, 0, listed.stderr)
            with open(p.source) as f:
                self.assertEqual(f.read(), SOURCE)


if __name__ == "__main__":
    unittest.main()
