#!/usr/bin/env python3
"""The include check of the layers: on tiny trees, a wrong-way include fails with the file, line
and folders named; allowed includes and a debt line pass; a debt line without its include fails."""
import os
import subprocess
import sys
import tempfile
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


if __name__ == "__main__":
    unittest.main()
