#!/usr/bin/env python3
"""The run's stock airport file: stands only where an aircraft stood still for minutes, off the
runways."""
import os
import subprocess
import sys
import tempfile
import unittest
import xml.etree.ElementTree as ET

HERE = os.path.dirname(os.path.abspath(__file__))
TOOL = os.path.join(HERE, "..", "..", "tools", "run", "make_stock_airport.py")

AIRPORTS = """<?xml version="1.0" encoding="UTF-8"?>
<airports>
\t<airport code="KLAX" lat="33.942501" lon="-118.407997" alt="125" />
</airports>
"""


def report(t, callsign, lat, lon, alt=0, speed=0, track=90, ground=1):
    return (f"{t:.2f} traffic RTTFC,{sum(map(ord, callsign))},{lat:.6f},{lon:.6f},{alt},0,{ground},{track},"
            f"{speed},{callsign},B738,N{callsign},,,{1611615000 + t:.2f}")


class MakeStockAirport(unittest.TestCase):
    def test_stands_where_aircraft_stood_still_for_minutes_off_the_runways(self):
        lines = [
            # A take-off roll along 33.9500 heading west, and a low pass along 33.9350.
            report(0, "SWA4", 33.9500, -118.3900, speed=120, track=270),
            report(0, "JBU5", 33.9350, -118.3900, alt=325, speed=140, track=270, ground=0),
        ]
        cases = [  # callsign, where it stands, seconds it stands there, whether it gives a stand
            ("AAL1", (33.9440, -118.4000), 130, True),
            ("UAL2", (33.9445, -118.3950), 45, False),  # a short wait
            ("DAL3", (33.9502, -118.4000), 180, False),  # lined up on the runway of the roll
            ("ASA6", (33.9352, -118.4100), 180, False),  # holding on the runway of the low pass
        ]
        for callsign, (lat, lon), seconds, _ in cases:
            lines += [report(t, callsign, lat, lon) for t in range(0, seconds + 1, 15)]
        with tempfile.TemporaryDirectory() as folder:
            airports, recording, out = (os.path.join(folder, name) for name in ("a.xml", "r.rec", "KLAX.xml"))
            with open(airports, "w", encoding="utf-8") as f:
                f.write(AIRPORTS)
            with open(recording, "w", encoding="utf-8") as f:
                f.write("\n".join(lines) + "\n")
            subprocess.run([sys.executable, TOOL, "KLAX", airports, out, recording], check=True, capture_output=True)
            with open(out, encoding="utf-8") as f:
                text = f.read().split("?>", 1)[1]  # an airport file has more than one top element
            stood = {opt.get("cs") for opt in ET.fromstring(f"<file>{text}</file>").iter("opt")}
        for callsign, _, _, stand in cases:
            with self.subTest(callsign):
                self.assertEqual(callsign in stood, stand)


if __name__ == "__main__":
    unittest.main()
