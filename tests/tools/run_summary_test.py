#!/usr/bin/env python3
"""The run summary: the scenario's simulator and park airport, the removal reasons read from a
journal, and how far live aircraft strayed from their reported tracks."""
import json
import os
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

    def test_track_offsets_up_to_the_last_report(self):
        # Reports north along -118.40 from 33.90 to 33.92; FAR1 flies 20 m east of them, then dead
        # reckons 2 km beyond the last report (not counted); OFF2 strays 300 m west midway.
        def report(callsign, lat):
            return f"0.00 traffic RTTFC,1,{lat:.6f},-118.400000,3000,0,0,0,200,{callsign},B738,N1,,,0"
        recording = self.write("traffic.rec", "\n".join(
            ["# made up", '0.00 qnh {"QNH":"2992"}'] +
            [report(cs, 33.90 + k * 0.005) for cs in ("FAR1", "OFF2") for k in range(5)]) + "\n")
        east20 = 20 * M / 0.8290  # 20 m of longitude at 33.9 N
        entries = [{"kind": "created", "object": 1, "tail": "FAR1", "lat": 33.90, "lon": -118.40 + east20},
                   {"kind": "created", "object": 2, "tail": "OFF2", "lat": 33.90, "lon": -118.40},
                   {"kind": "created", "object": 3, "tail": "LONE", "lat": 33.90, "lon": -118.40}]
        for k in range(21):
            entries.append({"kind": "pose", "object": 1, "lat": 33.90 + k * 0.001, "lon": -118.40 + east20})
            entries.append({"kind": "pose", "object": 2, "lat": 33.90 + k * 0.001,
                            "lon": -118.40 - (300 * M / 0.8290 if k == 10 else 0)})
        for k in range(1, 20):
            entries.append({"kind": "pose", "object": 1, "lat": 33.92 + k * 0.001, "lon": -118.40 + east20})
        journal = self.write("journal.jsonl", "\n".join(json.dumps(e) for e in entries) + "\n")
        lines = run("tracks", journal, recording)
        rows = {line.split()[0]: float(line.split()[1]) for line in lines[:-1]}
        self.assertEqual(set(rows), {"FAR1", "OFF2"})  # LONE has no reports
        self.assertAlmostEqual(rows["FAR1"], 20.0, delta=1.0)
        self.assertAlmostEqual(rows["OFF2"], 300.0, delta=5.0)
        self.assertEqual(lines[-1], "aircraft within 50 m of their reported tracks: 1 of 2")
        self.assertEqual(run("tracks", journal, recording, "--limit", "400")[-1],
                         "aircraft within 400 m of their reported tracks: 2 of 2")


if __name__ == "__main__":
    unittest.main()
