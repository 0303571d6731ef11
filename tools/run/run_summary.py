#!/usr/bin/env python3
"""What a run of scripts/run.sh did, read from the stand-in simulator's journal.

  run_summary.py scenario SCENARIO_JSON AIRPORTS_XML
      prints "<site folder> <ICAO>": the simulator's folder of the download site ("MSFS" for
      MSFS 2020, "MSFS2024" for a scenario of "SunRise") and the airport nearest the user
      aircraft (the park airport of a user standing there).
  run_summary.py removals JOURNAL
      one line per removed aircraft with the reason the journal shows.
  run_summary.py tracks JOURNAL REPORTS [--limit METRES] [--delay SECONDS]
      REPORTS holds "... traffic <datagram>" lines whose time stamps (field 14) run on the
      journal's clock: the feed peer's log of a run (each datagram stamped when it was sent).
      Per created live aircraft, its flight (the one whose report under the aircraft's tail
      lies nearest the moment it showed at its creation; later reports may rename it), measured
      pose by pose against the reports around the moment the pose shows (its time less the
      delay, default 30 s), up to the flight's last report (past it dead reckoning takes over by
      design): the largest distance from the reported track, the largest altitude difference
      to airborne reports, the share of airborne poses whose heading is more than 60 degrees
      off their motion; then the flight's report gaps longer than the delay, each with how far
      the aircraft went off its track in it and how far the part of the gap beyond the delay
      lets it go at the reported speed (the program reckons on from the report before the gap
      until the one after it arrives). Within such a gap only the distance beyond that counts
      toward the largest one. The last line counts the aircraft within the limit (default 50 m)
      of their tracks.

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


class Report:
    __slots__ = ("t", "lat", "lon", "alt", "speed", "ground", "names")

    def __init__(self, t, lat, lon, alt, speed, ground, names):
        self.t, self.lat, self.lon, self.alt, self.speed = t, lat, lon, alt, speed
        self.ground, self.names = ground, names


def flight_reports(path):
    """flight id -> [Report] in time order, repeats dropped: every "... traffic <datagram>" line,
    its time the datagram's time stamp (field 14)."""
    flights = {}
    with open(path, encoding="utf-8", errors="replace") as f:
        for line in f:
            if " traffic " not in line:
                continue
            fields = line.split(" traffic ", 1)[1].strip().split(",")
            if len(fields) < 15 or fields[0] not in ("RTTFC", "AITFC"):
                continue
            try:
                t, lat, lon, alt = float(fields[14]), float(fields[2]), float(fields[3]), float(fields[4])
                speed = float(fields[8] or 0)
            except ValueError:
                continue
            # The newer format flags the ground, the older the air.
            ground = fields[6] == "1" if fields[0] == "RTTFC" else fields[6] != "1"
            # The program names an aircraft by its callsign, without one by its registration.
            names = {fields[9] or fields[11]}
            flights.setdefault(fields[1], []).append(Report(t, lat, lon, alt, speed, ground, names))
    for reports in flights.values():
        reports.sort(key=lambda r: r.t)
        reports[:] = [r for k, r in enumerate(reports)
                      if k == 0 or (r.t, r.lat, r.lon) != (reports[k - 1].t, reports[k - 1].lat, reports[k - 1].lon)]
    return flights


def nearest_on_leg(a, b, p):
    """(metres from the leg a-b, share of the way from a) of the point p: flat metres around a,
    report legs are short."""
    east = math.cos(math.radians(a.lat)) * math.pi / 180 * EARTH_M
    north = math.pi / 180 * EARTH_M
    bx, by = (b.lon - a.lon) * east, (b.lat - a.lat) * north
    px, py = (p[1] - a.lon) * east, (p[0] - a.lat) * north
    len2 = bx * bx + by * by
    share = max(0.0, min(1.0, (px * bx + py * by) / len2)) if len2 > 0 else 0.0
    return math.hypot(px - share * bx, py - share * by), share


def bearing_deg(a, b):
    lat1, lat2, dlon = math.radians(a[0]), math.radians(b[0]), math.radians(b[1] - a[1])
    y = math.sin(dlon) * math.cos(lat2)
    x = math.cos(lat1) * math.sin(lat2) - math.sin(lat1) * math.cos(lat2) * math.cos(dlon)
    return math.degrees(math.atan2(y, x)) % 360


# A pose is measured against the report legs within this many seconds of the moment it shows.
LEG_WINDOW_S = 20.0
# Poses closer than this to the last one measured give no direction of motion.
MOTION_MIN_M = 3.0
HEADING_OFF_DEG = 60.0


KT_TO_MPS = 1852.0 / 3600.0


def gap_allowance_m(reports, shown, delay):
    """How far (m) a pose shown at this moment may lie from the reported track: none, unless the
    moment falls in a report gap longer than the delay, where the program has nothing newer than
    the report before the gap for the part of the gap beyond the delay and reckons on from it; at
    the reported speed that part covers this much, with the index of the report before the gap.
    None when outside every such gap."""
    for k, (a, b) in enumerate(zip(reports, reports[1:])):
        if a.t < shown <= b.t and b.t - a.t > delay:
            return k, (b.t - a.t - delay) * max(a.speed, b.speed) * KT_TO_MPS
    return None


def measure_flight(reports, poses, delay):
    """Worst metres from the track (in report gaps longer than the delay: beyond what the gap
    allows), worst feet from the reports' altitude (airborne legs only), [airborne poses heading
    off, airborne poses with a motion], poses counted, and per such gap (its start) the worst
    metres in it and what it allows (by the index of the report before it): each pose (t, lat, lon, alt, heading) against the reports
    around the moment it shows (t - delay), up to the last report."""
    legs = list(zip(reports, reports[1:])) or [(reports[0], reports[0])]
    worst_m = worst_ft = 0.0
    heading = [0, 0]
    counted = 0
    anchor = None
    in_gaps = {}
    for t, lat, lon, alt, pose_heading in poses:
        shown = t - delay
        if shown > reports[-1].t:
            break
        counted += 1
        near = [leg for leg in legs if leg[1].t >= shown - LEG_WINDOW_S and leg[0].t <= shown + LEG_WINDOW_S]
        near = near or [min(legs, key=lambda leg: min(abs(leg[0].t - shown), abs(leg[1].t - shown)))]
        metres, share, (a, b) = min((nearest_on_leg(a, b, (lat, lon)) + ((a, b),) for a, b in near),
                                    key=lambda m: m[0])
        gap = gap_allowance_m(reports, shown, delay)
        if gap is None:
            worst_m = max(worst_m, metres)
        else:
            k, allowed = gap
            in_gaps[k] = (max(in_gaps.get(k, (0.0,))[0], metres), allowed)
            worst_m = max(worst_m, metres - allowed)
        if not a.ground and not b.ground:
            worst_ft = max(worst_ft, abs(alt - (a.alt + share * (b.alt - a.alt))))
        latest = max((r for r in reports if r.t <= shown), key=lambda r: r.t, default=reports[0])
        if anchor is None or distance_m(anchor, (lat, lon)) >= MOTION_MIN_M:
            if anchor is not None and not latest.ground:
                off = abs((pose_heading - bearing_deg(anchor, (lat, lon)) + 180) % 360 - 180)
                heading[0] += off > HEADING_OFF_DEG
                heading[1] += 1
            anchor = (lat, lon)
    return worst_m, worst_ft, heading, counted, in_gaps


def report_gaps(reports, longer_than):
    """(index of the report before it, seconds after the flight's first report, length) of every
    gap between its reports longer than the given seconds."""
    return [(k, a.t - reports[0].t, b.t - a.t) for k, (a, b) in enumerate(zip(reports, reports[1:]))
            if b.t - a.t > longer_than]


def track_offsets(journal, reports_path, delay=30.0):
    """Per created live aircraft with reports: (tail, flight id, worst metres, worst feet,
    [heading off, airborne poses with a motion], poses counted, report gaps). A created aircraft
    is the flight whose report under its tail lies nearest to the moment it shows at its creation:
    its later reports may carry another callsign (a report without one names it by its registration)."""
    flights = flight_reports(reports_path)
    created, poses = {}, {}
    end = None
    for e in journal_entries(journal):
        if "t" in e:
            end = e["t"] if end is None else max(end, e["t"])
        if e.get("kind") == "created" and not str(e.get("tail", "")).endswith("*") and "t" in e:
            created[e["object"]] = e
            poses[e["object"]] = []
        elif e.get("kind") == "pose" and e.get("object") in created and "t" in e:
            poses[e["object"]].append((e["t"], e["lat"], e["lon"], e.get("alt", 0.0), e.get("heading", 0.0)))
    # Reports sent after the journal ends never reached the program (the peer may go on sending,
    # or start its recording again, while the program closes).
    if end is not None:
        for reports in flights.values():
            reports[:] = [r for r in reports if r.t <= end]
    out = []
    for obj, c in created.items():
        tail, shown = c.get("tail", ""), c["t"] - delay
        named = [(abs(r.t - shown), fid) for fid, reports in flights.items() for r in reports if tail in r.names]
        named = [n for n in named if flights[n[1]]]
        if not named:
            continue
        fid = min(named)[1]
        reports = flights[fid]
        worst_m, worst_ft, heading, counted, in_gaps = measure_flight(reports, sorted(poses[obj]), delay)
        gaps = [(at, length) + in_gaps.get(k, (None, None)) for k, at, length in report_gaps(reports, delay)]
        out.append((tail, fid, worst_m, worst_ft, heading, counted, gaps))
    return out


def tracks(args):
    limit, delay = 50.0, 30.0
    for option in ("--limit", "--delay"):
        if option in args:
            value = float(args[args.index(option) + 1])
            limit, delay = (value, delay) if option == "--limit" else (limit, value)
            del args[args.index(option):args.index(option) + 2]
    rows = track_offsets(args[0], args[1], delay)
    for tail, fid, worst_m, worst_ft, (off, airborne), counted, gaps in rows:
        share = f"{100.0 * off / airborne:3.0f} % of {airborne}" if airborne else "  - of 0"
        print(f"  {tail:9} flight {fid:>9} {worst_m:7.1f} m from its track, {worst_ft:5.0f} ft from its altitude, "
              f"heading off its motion {share} airborne poses ({counted} poses)")
        if gaps:
            print(f"  {'':9} report gaps over {delay:.0f} s: "
                  + ", ".join(f"{length:.0f} s at +{at:.0f} s"
                              + (f" ({off:.0f} m off, {allowed:.0f} m allowed)" if off is not None else "")
                              for at, length, off, allowed in gaps))
    within = sum(1 for row in rows if row[2] <= limit)
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
