#!/usr/bin/env python3
"""The run summary: the scenario's simulator and park airport, the removal reasons read from a
journal, and how closely each live aircraft kept to its reports."""
import json
import math
import os
import re
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
TOOL = os.path.join(HERE, "..", "..", "tools", "run", "run_summary.py")
M = 1 / 111195.0  # degrees of latitude per metre

AIRPORTS = """<?xml version="1.0" encoding="UTF-8"?>
<airports>
\t<airport code="KLAX" lat="33.942501" lon="-118.407997" alt="125" />
\t<airport code="KSEA" lat="47.449001" lon="-122.308998" alt="433" />
\t<airport code="KBFI" lat="47.529999" lon="-122.302002" alt="21" />
</airports>
"""


def run(*args):
    out = subprocess.run([sys.executable, TOOL, *args], capture_output=True, text=True, check=True)
    return out.stdout.splitlines()


class RunSummary(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.addCleanup(self.dir.cleanup)

    def write(self, name, text):
        path = os.path.join(self.dir.name, name)
        with open(path, "w", encoding="utf-8") as f:
            f.write(text)
        return path

    def test_scenario_gives_the_simulator_folder_and_the_nearest_airport(self):
        airports = self.write("airports.xml", AIRPORTS)
        cases = [({"applicationName": "SunRise", "user": {"latitude": 47.45, "longitude": -122.31}}, "MSFS2024 KSEA"),
                 ({"applicationName": "KittyHawk", "user": {"latitude": 47.53, "longitude": -122.30}}, "MSFS KBFI"),
                 ({"user": {"latitude": 33.94, "longitude": -118.41}}, "MSFS KLAX")]
        for scenario, expected in cases:
            with self.subTest(expected):
                path = self.write("scenario.json", json.dumps(scenario))
                self.assertEqual(run("scenario", path, airports), [expected])

    def test_each_removal_gets_its_reason(self):
        entries = [
            {"kind": "created", "object": 1, "tail": "AAL12*", "lat": 33.94, "lon": -118.40},
            {"kind": "created", "object": 2, "tail": "DAL3*", "lat": 33.95, "lon": -118.40},
            {"kind": "created", "object": 3, "tail": "UAL4*", "lat": 33.96, "lon": -118.40},
            {"kind": "created", "object": 4, "tail": "SWA5*", "lat": 33.97, "lon": -118.40},
            {"kind": "created", "object": 5, "tail": "AAL12", "lat": 33.90, "lon": -118.40},
            {"kind": "created", "object": 6, "tail": "N1234", "lat": 33.80, "lon": -118.40},
            {"kind": "pose", "object": 6, "lat": 33.95 + 10 * M, "lon": -118.40},  # on DAL3*'s stand
            {"kind": "removed", "object": 1, "reason": "client"},
            {"kind": "removed", "object": 2, "reason": "client"},
            {"kind": "removed", "object": 3, "reason": "client"},
            {"kind": "removed", "object": 6, "reason": "client"},
            {"kind": "removed", "object": 5, "reason": "simulation"},
            {"kind": "removed", "object": 4, "reason": "client closed"},
        ]
        journal = self.write("journal.jsonl", "\n".join(json.dumps(e) for e in entries) + "\nnot json\n")
        lines = [line.split(None, 1) for line in run("removals", journal)]
        self.assertEqual([(tail, text.strip()) for tail, text in lines], [
            ("AAL12*", "made way for its live flight"),
            ("DAL3*", "made way for a live aircraft at its stand"),
            ("UAL4*", "parking limit or renewal of the parked aircraft"),
            ("N1234", "its reports ended or it left the range"),
            ("AAL12", "removed by the simulation"),
            ("SWA5*", "closed at the end"),
        ])

    def test_each_flight_is_measured_in_time_up_to_its_last_report(self):
        # Reports every 10 s (the peer's log: each stamped when sent). FAR1 flies north along
        # -118.40; its aircraft keeps 20 m east of them, then dead reckons 2 km on (not counted).
        # OFF2 flies the same reports heading south, its aircraft 300 m west and 400 ft high at
        # one pose. N124AA (its registration: its reports have no callsign) flies north, east, and
        # after a 40 s gap back to the middle of its first leg, where its last report names it
        # AAL312; its aircraft strays 200 m north on the top leg, after passing the place of that
        # last report. GAPIN and GAPOUT fly north at 20 kt with a 40 s gap in their reports: for
        # the 10 s of it beyond the delay the program reckons on, which at 20 kt takes it up to
        # 103 m off; GAPIN strays 80 m in it (not counted), GAPOUT 160 m (57 m counted).
        t0, delay = 1700000000.0, 30.0

        def report(flight, callsign, t, lat, lon, reg="N1", speed=200):
            return (f"sent traffic RTTFC,{flight},{lat:.6f},{lon:.6f},3000,0,0,0,{speed},{callsign},B738,{reg},,,"
                    f"{t0 + t:.2f},x")
        lines = ['sent qnh {"QNH":"2992"}', "connected to the feed server at port 10747"]
        for flight, callsign in (("11", "FAR1"), ("12", "OFF2")):
            lines += [report(flight, callsign, 10 * k, 33.90 + k * 0.005, -118.40) for k in range(5)]
        loop = [(0, 33.90, -118.40), (20, 33.92, -118.40), (30, 33.92, -118.398), (70, 33.91, -118.40)]
        lines += [report("13", "AAL312" if t == 70 else "", t, lat, lon, "N124AA") for t, lat, lon in loop]
        gapped = [(0, 33.90), (10, 33.9009), (50, 33.9046)]
        for flight, callsign in (("15", "GAPIN"), ("16", "GAPOUT")):
            lines += [report(flight, callsign, t, lat, -118.30, speed=20) for t, lat in gapped]
        lines.append(report("14", "LONE", 0, 33.5, -118.0))
        lines.append(report("11", "FAR1", 200, 33.90, -118.40))  # the replay again, after the journal ends
        reports = self.write("rtpeer.log", "\n".join(lines) + "\n")

        east = 1 / 111195.0 / math.cos(math.radians(33.9))  # degrees of longitude per metre
        entries = [{"kind": "created", "object": obj, "tail": tail, "lat": 33.90, "lon": -118.40, "t": t0 + delay}
                   for obj, tail in ((1, "FAR1"), (2, "OFF2"), (3, "N124AA"), (4, "NONE"), (5, "GAPIN"),
                                     (6, "GAPOUT"))]

        def pose(obj, shown, lat, lon, heading, alt=3000.0):
            entries.append({"kind": "pose", "object": obj, "lat": lat, "lon": lon, "alt": alt, "heading": heading,
                            "t": t0 + delay + shown})
        for k in range(41):
            pose(1, k, 33.90 + k * 0.0005, -118.40 + 20 * east, 0.0)
            pose(2, k, 33.90 + k * 0.0005, -118.40 - (300 * east if k == 20 else 0), 180.0,
                 3400.0 if k == 20 else 3000.0)
        for k in range(41, 80):
            pose(1, k, 33.90 + k * 0.0005, -118.40 + 20 * east, 0.0)
        for shown in range(71):
            # Along the loop's legs, by time.
            k = max(i for i in range(len(loop)) if loop[i][0] <= shown or i == 0)
            (ta, la, oa), (tb, lb, ob) = loop[min(k, 2)], loop[min(k, 2) + 1]
            share = min(1.0, (shown - ta) / (tb - ta))
            lat, lon = la + share * (lb - la), oa + share * (ob - oa)
            pose(3, shown, lat + (200 * M if shown == 25 else 0), lon, 0.0)
        for shown in range(51):
            (ta, la), (tb, lb) = (gapped[0], gapped[1]) if shown <= 10 else (gapped[1], gapped[2])
            lat = la + (shown - ta) / (tb - ta) * (lb - la)
            pose(5, shown, lat, -118.30 + (80 * east if shown == 30 else 0), 0.0)
            pose(6, shown, lat, -118.30 + (160 * east if shown == 30 else 0), 0.0)
        journal = self.write("journal.jsonl", "\n".join(json.dumps(e) for e in entries) + "\n")

        lines = run("tracks", journal, reports)
        row = re.compile(r"^  (\S+) +flight +(\d+) +([\d.]+) m from its track, +(\d+) ft from its altitude, "
                         r"heading off its motion +(\d+) % of (\d+) airborne poses \((\d+) poses\)$")
        rows = {m.group(1): m.groups()[1:] for m in map(row.match, lines) if m}
        self.assertEqual(set(rows), {"FAR1", "OFF2", "N124AA", "GAPIN", "GAPOUT"})  # NONE has no reports
        cases = [  # tail, flight, metres, feet, heading off in %, poses counted
            ("FAR1", "11", 20.0, 0, 0, 41),
            ("OFF2", "12", 300.0, 400, 100, 41),
            ("N124AA", "13", 200.0, 0, None, 71),
            ("GAPIN", "15", 0.0, 0, None, 51),
            ("GAPOUT", "16", 160.0 - 10 * 20 * 1852 / 3600, 0, None, 51),
        ]
        for tail, flight, metres, feet, off, counted in cases:
            with self.subTest(tail):
                got = rows[tail]
                self.assertEqual(got[0], flight)
                self.assertAlmostEqual(float(got[1]), metres, delta=max(metres * 0.03, 0.5))
                self.assertAlmostEqual(int(got[2]), feet, delta=2)
                if off is not None:
                    self.assertEqual(int(got[3]), off)
                self.assertEqual(int(got[5]), counted)
        gap_lines = [line.strip() for line in lines if "report gaps" in line]
        self.assertEqual(gap_lines, ["report gaps over 30 s: 40 s at +30 s (0 m off, 1029 m allowed)",
                                     "report gaps over 30 s: 40 s at +10 s (80 m off, 103 m allowed)",
                                     "report gaps over 30 s: 40 s at +10 s (160 m off, 103 m allowed)"])
        self.assertEqual(lines[-1], "aircraft within 50 m of their reported tracks: 2 of 5")
        self.assertEqual(run("tracks", journal, reports, "--limit", "400")[-1],
                         "aircraft within 400 m of their reported tracks: 5 of 5")

if __name__ == "__main__":
    unittest.main()
