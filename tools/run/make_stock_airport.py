#!/usr/bin/env python3
"""Writes the stock airport file of the run's airport from real traffic.

Every aircraft that the feed reports standing still on the ground (speed 0, altitude 0 or the
ground flag) at one place within 3 nm of the airport for two minutes or more gives a stand at
that place, with the heading the feed gave it there and a radius that fits its type, and an
option with its airline, type, registration and callsign; places on a runway are left out (an
aircraft that waits there for its take-off does not park). The runways are where aircraft of the
sources run fast on the ground or fly low over the airport: a line along each such report's
track. Positions within 25 m of one another are one stand with the options of each aircraft.
A snapshot says nothing about the times of day, so each option holds every slot of every
weekday: the aircraft seen at a gate is taken as the one that stands there.

  make_stock_airport.py ICAO AIRPORTS_XML OUT_XML SOURCE...

SOURCE is a recording of tools/rtpeer ("<t> traffic RTTFC,...") or a capture of the older
15-field "AITFC,..." lines; missing sources are skipped. The airport's position and elevation
come from the program's airports data base (input/airports_msfs.xml).
"""
import math
import os
import sys
import xml.etree.ElementTree as ET
from xml.sax.saxutils import quoteattr

# Half wing spans in metres of the types the feed reports at the run's airport, and what a stand
# for an unknown type gets.
HALF_SPAN_M = {"A20N": 17.9, "A21N": 17.9, "A320": 17.9, "A321": 17.9, "A319": 17.9, "B737": 17.2, "B738": 17.9,
               "B739": 17.9, "B752": 19.0, "B763": 23.9, "B772": 30.5, "B77W": 32.4, "B789": 30.1, "B744": 32.3,
               "MD11": 25.9, "E75L": 14.3, "CRJ9": 12.4, "GLF4": 11.9}
DEFAULT_HALF_SPAN_M = 18.0


def distance_m(a, b):
    lat1, lon1, lat2, lon2 = map(math.radians, (a[0], a[1], b[0], b[1]))
    h = math.sin((lat2 - lat1) / 2) ** 2 + math.cos(lat1) * math.cos(lat2) * math.sin((lon2 - lon1) / 2) ** 2
    return 2 * 6371008.8 * math.asin(math.sqrt(h))


# How long an aircraft stands still at one place before the place counts as a stand.
MIN_STILL_S = 120.0
# Reports this fast near the airport, on the ground or this low above it, run along a runway.
RUNWAY_SPEED_KT = 40.0
RUNWAY_HEIGHT_FT = 300.0
# A runway's reach around the line through such a report: along its track (the longest runways)
# and across it (half the width with the hold-short lines).
RUNWAY_ALONG_M = 3500.0
RUNWAY_ACROSS_M = 90.0


def reports(path):
    """(flight id, time, callsign, type, registration, lat, lon, alt, track, speed, on ground) of
    every report of a source."""
    with open(path, encoding="utf-8", errors="replace") as f:
        for line in f:
            line = line.strip()
            if " traffic " in line:
                line = line.split(" traffic ", 1)[1]
            fields = line.split(",")
            if len(fields) < 15 or fields[0] not in ("RTTFC", "AITFC"):
                continue
            try:
                t, lat, lon, alt, track, speed = (float(fields[i]) for i in (14, 2, 3, 4, 7, 8))
            except ValueError:
                continue
            # The newer format flags the ground, the older the air.
            ground = alt == 0 or (fields[6] == "1" if fields[0] == "RTTFC" else fields[6] == "0")
            yield fields[1], t, fields[9], fields[10], fields[11], lat, lon, alt, track, speed, ground


def along_across_m(origin, track_deg, p):
    """Metres of p along and across the line through origin in the given track (flat, short)."""
    north = (p[0] - origin[0]) * math.pi / 180 * 6371008.8
    east = (p[1] - origin[1]) * math.pi / 180 * 6371008.8 * math.cos(math.radians(origin[0]))
    t = math.radians(track_deg)
    return north * math.cos(t) + east * math.sin(t), -north * math.sin(t) + east * math.cos(t)


def on_runway(runway_marks, p):
    for lat, lon, track in runway_marks:
        along, across = along_across_m((lat, lon), track, p)
        if abs(along) <= RUNWAY_ALONG_M and abs(across) <= RUNWAY_ACROSS_M:
            return True
    return False


def still_places(rows):
    """(callsign, type, registration, lat, lon, track) of each place where a flight stood still for
    MIN_STILL_S or more: its still reports within 25 m of the first of them, first to last."""
    places = {}  # (flight id, n) -> [first report, last time]
    for fid, t, callsign, type_code, reg, lat, lon, alt, track, speed, ground in sorted(rows, key=lambda r: r[1]):
        if not ground or speed != 0:
            continue
        keys = [k for k in places if k[0] == fid and distance_m(places[k][0][1], (lat, lon)) <= 25]
        if keys:
            places[keys[0]][1] = t
        else:
            places[(fid, len(places))] = [((callsign, type_code, reg), (lat, lon), track, t), t]
    for (first, (lat, lon), track, since), until in places.values():
        if until - since >= MIN_STILL_S:
            yield (*first, lat, lon, track)


def airport_of(airports_xml, icao):
    for element in ET.parse(airports_xml).getroot().iter("airport"):
        if element.get("code") == icao:
            return float(element.get("lat")), float(element.get("lon")), int(float(element.get("alt", "0")))
    raise SystemExit(f"{icao} is not in {airports_xml}")


def airline_of(callsign):
    code = callsign[:3]
    return code if len(callsign) > 3 and code.isalpha() and code.isupper() and callsign[3:4].isdigit() else ""


def main():
    if len(sys.argv) < 5:
        print(__doc__, file=sys.stderr)
        return 2
    icao, airports_xml, out = sys.argv[1:4]
    here = airport_of(airports_xml, icao)
    stands = []  # [lat, lon, heading, half span, {key: option}]
    rows = []
    for source in sys.argv[4:]:
        if os.path.exists(source):
            rows += [r for r in reports(source) if distance_m(here, (r[5], r[6])) <= 3 * 1852]
    runway_marks = [(r[5], r[6], r[8]) for r in rows
                    if r[9] >= RUNWAY_SPEED_KT and (r[10] or r[7] - here[2] <= RUNWAY_HEIGHT_FT)]
    for callsign, type_code, reg, lat, lon, track in still_places(rows):
        airline = airline_of(callsign)
        if not airline or not type_code or on_runway(runway_marks, (lat, lon)):
            continue
        stand = next((s for s in stands if distance_m((s[0], s[1]), (lat, lon)) <= 25), None)
        if stand is None:
            stand = [lat, lon, track, 0.0, {}]
            stands.append(stand)
        stand[3] = max(stand[3], HALF_SPAN_M.get(type_code, DEFAULT_HALF_SPAN_M))
        stand[4].setdefault(reg or callsign, (airline, type_code, reg or callsign, callsign))
    every_slot = ",".join(str(s) for s in range(48)) + ","
    lines = ['<?xml version="1.0"?>',
             '<meta><info name="author" value="run"/><info name="date" value="2020-06-17"/>'
             '<info name="version" value="1.0.0"/></meta>',
             "<parameters>",
             f'<parameter name="airport_name" value="{icao} from the feed"/>',
             '<parameter name="publisher" value="stock"/>',
             f'<parameter name="altitude" value="{here[2]}"/>',
             f'<parameter name="num_parkpos" value="{len(stands)}"/>',
             "</parameters>", "<parkpositions>"]
    for n, (lat, lon, heading, half_span, options) in enumerate(sorted(stands, key=lambda s: (-s[0], s[1])), 1):
        lines.append(f'<parkpos id="G{n}" latitude="{lat:.6f}" longitude="{lon:.6f}" heading="{heading:.1f}" '
                     f'radius="{half_span + 2:.1f}">')
        for airline, type_code, reg, callsign in options.values():
            for day in range(1, 8):
                lines.append(f'<opt reg={quoteattr(reg)} airl="{airline}" type="{type_code}" day="{day}" '
                             f'hh="{every_slot}" cs={quoteattr(callsign)}/>')
        lines.append("</parkpos>")
    lines.append("</parkpositions>")
    with open(out, "w", encoding="utf-8") as f:
        f.write("\n".join(lines) + "\n")
    print(f"{out}: {len(stands)} stands")
    return 0


if __name__ == "__main__":
    sys.exit(main())
