#!/usr/bin/env python3
"""The link check of the layers, on two tiny libraries compiled here (host compiler, ar, nm): a
call of the lower library into the higher one, declared by hand, fails and names the symbol and
both libraries; calls downward, within a library and outside the project's namespace pass."""
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
CHECK = os.path.join(HERE, "..", "..", "scripts", "check_links.py")

TABLE = """# folder library may-include
low   lib_low
high  lib_high  low
"""

HIGH = "namespace qtr { int high() { return 2; } }\n"


def build_and_check(low_source):
    with tempfile.TemporaryDirectory() as root:
        archives = {}
        for library, source in (("lib_low", low_source), ("lib_high", HIGH + "namespace qtr { int low(); int up() { return low(); } }\n")):
            cpp, obj, archive = (os.path.join(root, library + ext) for ext in (".cpp", ".o", ".a"))
            with open(cpp, "w", encoding="utf-8") as f:
                f.write(source)
            subprocess.run(["c++", "-c", cpp, "-o", obj], check=True)
            subprocess.run(["ar", "rcs", archive, obj], check=True)
            archives[library] = archive
        table = os.path.join(root, "layers.txt")
        with open(table, "w", encoding="utf-8") as f:
            f.write(TABLE)
        stamp = os.path.join(root, "stamp")
        result = subprocess.run([sys.executable, CHECK, "--table", table, "--nm", "nm", "--stamp", stamp]
                                + [f"{name}={path}" for name, path in archives.items()], capture_output=True, text=True)
        return result.returncode, result.stderr, os.path.exists(stamp)


@unittest.skipUnless(shutil.which("c++") and shutil.which("ar") and shutil.which("nm"), "needs c++, ar and nm")
class LinkCheck(unittest.TestCase):
    def test_cases(self):
        cases = [
            ("a call into the higher library, declared by hand",
             "namespace qtr { int high(); int low() { return high(); } }\n",
             1, "lib_low calls qtr::high(), which only lib_high defines (lib_low may use: nothing else)"),
            ("calls within the library and outside the project",
             "#include <cstdlib>\nnamespace qtr { int own() { return 1; } int low() { return own() + std::abs(-1); } }\n",
             0, ""),
        ]
        for what, source, code, message in cases:
            with self.subTest(what):
                returncode, stderr, stamped = build_and_check(source)
                self.assertEqual(returncode, code, stderr)
                self.assertIn(message, stderr)
                self.assertEqual(stamped, code == 0)


if __name__ == "__main__":
    unittest.main()
