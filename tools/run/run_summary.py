#!/usr/bin/env python3
"""What a run of scripts/run.sh did, read from the stand-in simulator's journal.

  run_summary.py scenario SCENARIO_JSON AIRPORTS_XML
      prints "<site folder> <ICAO>": the simulator's folder of the download site ("MSFS" for
      MSFS 2020, "MSFS2024" for a scenario of "SunRise") and the airport nearest the user
      aircraft (the park airport of a user standing there).
  run_summary.py removals JOURNAL
      one line per removed aircraft with the reason the journal shows.
  run_summary.py tracks JOURNAL RECORDING [--limit METRES]
      per created live aircraft, how far its poses strayed from the track its reports give
      (up to where it passes its last report: past it, dead reckoning takes over by design);
      the last line counts the aircraft within the limit (default 50 m).

Only the standard library is used.
"""
import json
import math
import sys
import xml.etree.ElementTree as ET

EARTH_M = 6371008.8


def distance_m(a, b):
    lat1, lon1, lat2, lon2 = map(math.radians, (a[0], a[1], b[0], b[1]))
    h = math.sin((lat2 - lat1) / 2) ** 2 + math.cos(lat1) * math.cos(lat2) * math.sin((lon2 - lon1) / 2) ** 2
    return 2 * EARTH_M * math.asin(math.sqrt(min(1.0, h)))


def journal_entries(path):
    with open(path, encoding="utf-8", errors="replace") as f:
        for line in f:
            try:
                yield json.loads(line)
            except ValueError:
                continue


def scenario(args):
    scenario_json, airports_xml = args
    with open(scenario_json, encoding="utf-8") as f:
        s = json.load(f)
    user = s.get("user", {})
    here = (float(user.get("latitude", 0.0)), float(user.get("longitude", 0.0)))
    best, best_d = None, None
    for element in ET.parse(airports_xml).getroot().iter("airport"):
        d = distance_m(here, (float(element.get("lat")), float(element.get("lon"))))
        if best_d is None or d < best_d:
            best, best_d = element.get("code"), d
    folder = "MSFS2024" if s.get("applicationName") == "SunRise" else "MSFS"
    print(folder, best or "")
    return 0


def removal_reasons(path):
    """(tail, reason) of every removed object, in the order of the journal."""
    created, live_tails, live_poses, out = {}, set(), [], []
    entries = list(journal_entries(path))
    for e in entries:
        if e.get("kind") == "created":
            created[e["object"]] = e
            if not str(e.get("tail", "")).endswith("*"):
                live_tails.add(e.get("tail", ""))
        elif e.get("kind") == "pose" and not str(created.get(e.get("object"), {}).get("tail", "*")).endswith("*"):
            live_poses.append((e["lat"], e["lon"]))
    for e in entries:
        if e.get("kind") != "removed" or e.get("object") not in created:
            continue
        c = created[e["object"]]
        tail, reason = str(c.get("tail", "")), e.get("reason", "")
        static = tail.endswith("*")
        if reason == "client closed":
            text = "closed at the end"
        elif reason == "simulation":
            text = "removed by the simulation"
        elif static and tail[:-1] in live_tails:
            text = "made way for its live flight"
        elif static and any(distance_m((c["lat"], c["lon"]), p) <= 40 for p in live_poses):
            text = "made way for a live aircraft at its stand"
        elif static:
            text = "parking limit or renewal of the parked aircraft"
        else:
            text = "its reports ended or it left the range"
        out.append((tail, text))
    return out


def removals(args):
    for tail, text in removal_reasons(args[0]):
        print(f"  {tail:9} {text}")
    return 0


def reported_tracks(path):
    """callsign -> [(lat, lon)] of its reports, in time order, repeats dropped."""
    tracks = {}
    with open(path, encoding="utf-8", errors="replace") as f:
        for line in f:
            if " traffic " not in line:
                continue
            fields = line.split(" traffic ", 1)[1].strip().split(",")
            if len(fields) < 15 or fields[0] not in ("RTTFC", "AITFC"):
                continue
            try:
                p = (float(fields[2]), float(fields[3]))
            except ValueError:
                continue
            track = tracks.setdefault(fields[9], [])
            if not track or track[-1] != p:
                track.append(p)
    return tracks


def metres_from_track(track, p):
    if len(track) == 1:
        return distance_m(track[0], p)
    best = None
    for a, b in zip(track, track[1:]):
        # Flat metres around a: report legs are short.
        east = math.cos(math.radians(a[0])) * math.pi / 180 * EARTH_M
        north = math.pi / 180 * EARTH_M
        bx, by = (b[1] - a[1]) * east, (b[0] - a[0]) * north
        px, py = (p[1] - a[1]) * east, (p[0] - a[0]) * north
        len2 = bx * bx + by * by
        t = max(0.0, min(1.0, (px * bx + py * by) / len2)) if len2 > 0 else 0.0
        d = math.hypot(px - t * bx, py - t * by)
        best = d if best is None else min(best, d)
    return best


def track_offsets(journal, recording):
    """(tail, worst metres, poses counted) per created live aircraft that has reports."""
    tracks = reported_tracks(recording)
    created, poses = {}, {}
    for e in journal_entries(journal):
        if e.get("kind") == "created" and not str(e.get("tail", "")).endswith("*"):
            created[e["object"]] = e.get("tail", "")
            poses[e["object"]] = [(e["lat"], e["lon"])]
        elif e.get("kind") == "pose" and e.get("object") in created:
            poses[e["object"]].append((e["lat"], e["lon"]))
    out = []
    for obj, tail in created.items():
        track = tracks.get(tail)
        if not track:
            continue
        seen = poses[obj]
        # Up to the pose nearest its last report: beyond it the reports have ended.
        last = min(range(len(seen)), key=lambda k: distance_m(seen[k], track[-1]))
        counted = seen[: last + 1]
        out.append((tail, max(metres_from_track(track, p) for p in counted), len(counted)))
    return out


def tracks(args):
    limit = 50.0
    if "--limit" in args:
        limit = float(args[args.index("--limit") + 1])
        args = args[: args.index("--limit")]
    rows = track_offsets(args[0], args[1])
    for tail, worst, n in rows:
        print(f"  {tail:9} {worst:7.1f} m from its reported track at worst ({n} poses)")
    within = sum(1 for _, worst, _ in rows if worst <= limit)
    print(f"aircraft within {limit:.0f} m of their reported tracks: {within} of {len(rows)}")
    return 0


def main():
    commands = {"scenario": (scenario, 2), "removals": (removals, 1), "tracks": (tracks, 2)}
    if len(sys.argv) < 2 or sys.argv[1] not in commands or len(sys.argv) - 2 < commands[sys.argv[1]][1]:
        print(__doc__, file=sys.stderr)
        return 2
    return commands[sys.argv[1]][0](sys.argv[2:])


if __name__ == "__main__":
    sys.exit(main())
