#!/usr/bin/env python3
"""The include check of the layers: on tiny trees, a wrong-way include fails with the file, line
and folders named; allowed includes and a debt line pass; a debt line without its include fails.
On the compiler's dependency records, a wrong-way include reached through an allowed header fails."""
import os
import shutil
import subprocess
import sys
import tempfile
import textwrap
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
CHECK = os.path.join(HERE, "..", "..", "scripts", "check_includes.py")

TABLE = """# folder library may-include
low   lib_low
high  lib_high  low
"""


def run_check(files, table=TABLE):
    with tempfile.TemporaryDirectory() as root:
        for name, text in {"layers.txt": table, **files}.items():
            path = os.path.join(root, name)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "w", encoding="utf-8") as f:
                f.write(text)
        result = subprocess.run([sys.executable, CHECK, "--root", root, "--table", os.path.join(root, "layers.txt")],
                                capture_output=True, text=True)
        return result.returncode, result.stderr


class IncludeCheck(unittest.TestCase):
    def test_cases(self):
        cases = [
            ("upward include", {"low/a.h": '#pragma once\n#include "high/b.h"\n', "high/b.h": "#pragma once\n"},
             1, "low/a.h:2: low may not include high/b.h"),
            ("upward include in a source", {"low/a.cpp": '  #  include "high/b.h"\n', "high/b.h": ""},
             1, "low/a.cpp:1: low may not include high/b.h"),
            ("downward and own includes", {"low/a.h": '#include "low/c.h"\n#include <vector>\n',
                                           "high/b.cpp": '#include "low/a.h"\n#include "high/b.h"\n'}, 0, ""),
            ("folders outside the table", {"low/a.cpp": '#include "support/x.h"\n#include "x.h"\n'}, 0, ""),
        ]
        for what, files, code, message in cases:
            with self.subTest(what):
                returncode, stderr = run_check(files)
                self.assertEqual(returncode, code, stderr)
                self.assertIn(message, stderr)

    def test_rooms(self):
        # The rooms of a folder are rows of their own: their order holds between siblings too.
        rooms = "low       lib_low\nhigh/base lib_base low\nhigh/run  lib_run  low high/base\n"
        cases = [
            ("room includes a higher sibling", {"high/base/a.cpp": '#include "high/run/b.h"\n'},
             1, "high/base/a.cpp:1: high/base may not include high/run/b.h"),
            ("room includes a lower sibling", {"high/run/b.cpp": '#include "high/base/a.h"\n#include "low/c.h"\n'},
             0, ""),
        ]
        for what, files, code, message in cases:
            with self.subTest(what):
                returncode, stderr = run_check(files, rooms)
                self.assertEqual(returncode, code, stderr)
                self.assertIn(message, stderr)

    def test_debt_lines(self):
        upward = {"low/a.cpp": '#include "high/b.h"\n'}
        cases = [
            ("debt allows exactly that include", upward, "debt low/a.cpp high/b.h\n", 0, ""),
            ("debt of another file", upward, "debt low/z.cpp high/b.h\n", 1, "low/a.cpp:1: low may not include"),
            ("stale debt", {"low/a.cpp": ""}, "debt low/a.cpp high/b.h\n", 1, "no longer includes high/b.h"),
        ]
        for what, files, debt, code, message in cases:
            with self.subTest(what):
                returncode, stderr = run_check(files, TABLE + debt)
                self.assertEqual(returncode, code, stderr)
                self.assertIn(message, stderr)



def write_tree(root, files):
    for name, text in files.items():
        path = os.path.join(root, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "w", encoding="utf-8") as f:
            f.write(text)


def run_in(root, *extra):
    result = subprocess.run([sys.executable, CHECK, "--root", root, "--table", os.path.join(root, "layers.txt"), *extra],
                            capture_output=True, text=True)
    return result.returncode, result.stderr


# low/a.cpp includes only its own folder, but low/b.h includes high/c.h by a path beside itself,
# which the direct check does not read as a folder of the table: the compiler reaches it.
THROUGH = {"layers.txt": TABLE,
           "low/a.cpp": '#include "low/b.h"\nint a() { return c(); }\n',
           "low/b.h": '#pragma once\n#include "../high/c.h"\n',
           "high/c.h": "#pragma once\ninline int c() { return 1; }\n",
           "high/d.cpp": '#include "low/e.h"\n',
           "low/e.h": "#pragma once\n"}


class ReachedIncludes(unittest.TestCase):
    @unittest.skipUnless(shutil.which("ninja") and shutil.which("c++"), "needs ninja and a C++ compiler")
    def test_compiled_with_ninja(self):
        with tempfile.TemporaryDirectory() as root:
            write_tree(root, THROUGH)
            build = os.path.join(root, "build")
            write_tree(build, {"build.ninja": textwrap.dedent(f"""\
                rule cxx
                  command = c++ -MD -MF $out.d -I{root} -c $in -o $out
                  depfile = $out.d
                  deps = gcc
                build a.o: cxx {root}/low/a.cpp
                build d.o: cxx ../high/d.cpp
                """)})
            subprocess.run(["ninja", "-C", build], check=True, capture_output=True)
            self.assertFalse(os.path.exists(os.path.join(build, "a.o.d")), "ninja keeps the records in its log")
            self.assertEqual(run_in(root)[0], 0, "the direct check cannot see it")
            returncode, stderr = run_in(root, "--deps", build)
            self.assertEqual(returncode, 1, stderr)
            self.assertIn("low/a.cpp: low may not include high/c.h (reached through low/b.h;", stderr)
            self.assertNotIn("high/d.cpp", stderr)

    def test_kept_dependency_files(self):
        # A kept .d file per object (make syntax, line continuations); an object that has left
        # the build keeps its old record, and each source's newest record speaks for it.
        old = "old/a.o: ../low/a.cpp \\\n ../low/b.h ../high/c.h\n"
        new = "new/a.o: ../low/a.cpp ../low/b.h\n"
        cases = [
            ("wrong-way include reached", {"x/a.o.d": old}, [], 1),
            ("newer clean record of the same source", {"x/old.o.d": old, "x/new.o.d": new}, ["x/old.o.d"], 0),
            ("newer record with the include", {"x/old.o.d": old, "x/new.o.d": new}, ["x/new.o.d"], 1),
        ]
        for what, records, older, code in cases:
            with self.subTest(what), tempfile.TemporaryDirectory() as root:
                write_tree(root, THROUGH)
                build = os.path.join(root, "build")
                write_tree(build, {name: text.replace("../", "../../") for name, text in records.items()})
                for name in older:
                    os.utime(os.path.join(build, name), ns=(1, 1))
                returncode, stderr = run_in(root, "--deps", build)
                self.assertEqual(returncode, code, stderr)
                if code:
                    self.assertIn("low/a.cpp: low may not include high/c.h (reached through low/b.h;", stderr)


if __name__ == "__main__":
    unittest.main()
