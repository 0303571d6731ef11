#!/usr/bin/env python3
"""The journal picture: a journal with a bad line and an airport file with stands give a PNG of
the asked size in which the ground and air colours both appear."""
import os
import struct
import subprocess
import sys
import tempfile
import unittest
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
TOOL = os.path.join(HERE, "..", "..", "tools", "journal_plot", "journal_plot.py")
JOURNAL = os.path.join(HERE, "..", "fixtures", "journal", "departure.jsonl")

AIRPORT = """<?xml version="1.0"?>
<meta><info name="author" value="x"/></meta>
<parameters><parameter name="altitude" value="128"/></parameters>
<parkpositions>
\t<parkpos id="A1" latitude="33.940000" longitude="-118.401000" heading="90.0" radius="20.0"/>
\t<parkpos id="zero" latitude="0" longitude="0"/>
</parkpositions>
"""


def read_png(path):
    with open(path, "rb") as f:
        data = f.read()
    assert data[:8] == b"\x89PNG\r\n\x1a\n"
    width, height = struct.unpack(">II", data[16:24])
    idat, pos = b"", 8
    while pos < len(data):
        length = struct.unpack(">I", data[pos:pos + 4])[0]
        kind = data[pos + 4:pos + 8]
        if kind == b"IDAT":
            idat += data[pos + 8:pos + 8 + length]
        pos += 12 + length
    raw = zlib.decompress(idat)
    colours = set()
    stride = 1 + 3 * width
    for y in range(height):
        row = raw[y * stride + 1:(y + 1) * stride]
        colours.update(bytes(row[i:i + 3]) for i in range(0, len(row), 3))
    return width, height, colours


class JournalPlot(unittest.TestCase):
    def test_tracks_and_stands(self):
        with tempfile.TemporaryDirectory() as tmp:
            airport = os.path.join(tmp, "KLAX.xml")
            with open(airport, "w") as f:
                f.write(AIRPORT)
            out = os.path.join(tmp, "tracks.png")
            result = subprocess.run([sys.executable, TOOL, JOURNAL, "--out", out, "--stands", airport, "--size", "300"],
                                    capture_output=True, text=True)
            self.assertEqual(result.returncode, 0, result.stderr)
            self.assertIn("not JSON", result.stderr)
            width, height, colours = read_png(out)
            self.assertEqual((width, height), (300, 300))
            for colour in [(250, 210, 60), (80, 220, 255), (230, 230, 230)]:
                self.assertIn(bytes(colour), colours)


if __name__ == "__main__":
    unittest.main()
