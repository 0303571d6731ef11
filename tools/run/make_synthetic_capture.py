#!/usr/bin/env python3
"""Writes a recording for tools/rtpeer of made-up traffic of the aircraft types flying today
around an airport: one flight of each type, on a straight leg that passes the airport, and a few
aircraft standing still at the airport (which give the run's stock airport file its stands),
with a report every 8 s. It shows whether every type of today's traffic is known and gets a
livery.

  make_synthetic_capture.py AIRPORTS_XML ICAO OUT_REC [--seconds N]

The airport's position and elevation come from the program's airports data base
(input/airports_msfs.xml). The recording has the same form as one made by `rtpeer convert`:
"<seconds> traffic RTTFC,..." lines in the feed's current field order; rtpeer sets each time
stamp to the moment of sending.
"""
import math
import sys
import xml.etree.ElementTree as ET

# type, callsign, registration, emitter category, speed (kt), height above the airport (ft),
# vertical speed (ft/min), track (deg), distance of the leg's middle from the airport (nm) and
# its bearing (deg). Airliners of the airlines whose liveries the run's package installs;
# light aircraft, the helicopter and the business jet under registrations.
FLIGHTS = [
    ("B38M", "SWA1523", "N8701Q", "A3", 210, 4000, -700, 250, 6.0, 70),
    ("A20N", "VIV1100", "XA-VIQ", "A3", 220, 5000, -800, 250, 8.0, 80),
    ("BCS3", "DAL2941", "N301DU", "A3", 230, 6000, 1500, 70, 7.0, 250),
    ("E195", "AZU8701", "PR-AUH", "A3", 220, 7000, 1200, 60, 9.0, 230),
    ("DH8D", "POE331", "C-GLQB", "A3", 200, 5500, 0, 160, 10.0, 0),
    ("B77W", "JAL61", "JA733J", "A5", 250, 9000, -1200, 260, 14.0, 60),
    ("B789", "AAL73", "N836AA", "A5", 250, 10000, 1800, 250, 12.0, 250),
    ("A359", "DAL199", "N502DN", "A5", 250, 11000, -1000, 80, 15.0, 270),
    ("C172", "N5301Q", "N5301Q", "A1", 95, 2500, 0, 340, 5.0, 180),
    ("EC35", "N911LA", "N911LA", "A7", 110, 1500, 0, 20, 4.0, 200),
    ("GLF6", "N650GD", "N650GD", "A2", 240, 8000, 2000, 110, 11.0, 300),
]
# Aircraft standing at the airport: type, callsign, registration, emitter category, heading
# (deg), metres north and east of the airport's reference point.
PARKED = [
    ("B38M", "SWA2210", "N8702L", "A3", 90, 250, -300),
    ("BCS3", "DAL2302", "N302DU", "A3", 90, 250, -240),
    ("E195", "AZU8702", "PR-AUJ", "A3", 90, 250, -180),
    ("DH8D", "POE332", "C-GKQA", "A3", 90, 250, -120),
]
FEET_PER_NM = 6076.12
REPORT_SECONDS = 8.0


def airport_of(airports_xml, icao):
    for element in ET.parse(airports_xml).getroot().iter("airport"):
        if element.get("code") == icao:
            return float(element.get("lat")), float(element.get("lon")), float(element.get("alt", "0"))
    raise SystemExit(f"{icao} is not in {airports_xml}")


def moved(lat, lon, bearing_deg, nm):
    """The point nm away in the bearing (flat earth: legs of a few nm)."""
    b = math.radians(bearing_deg)
    return lat + nm * math.cos(b) / 60.0, lon + nm * math.sin(b) / 60.0 / math.cos(math.radians(lat))


def datagram(hexid, lat, lon, alt, vs, track, speed, callsign, type_code, reg, category, stamp, on_ground=False):
    fields = ["RTTFC", str(hexid), f"{lat:.6f}", f"{lon:.6f}", f"{alt:.0f}", f"{vs:.0f}", "1" if on_ground else "0",
              f"{track:.0f}",
              f"{speed:.0f}", callsign, type_code, reg, "", "", str(stamp), "", "", "adsb_icao", f"{alt:.0f}", "",
              "-1", "", "", "-1", "", f"{track:.0f}", f"{vs:.0f}", "none", category]
    fields += [""] * 12 + ["0"]
    return ",".join(fields)


def main():
    args = sys.argv[1:]
    seconds = 240.0
    if "--seconds" in args:
        seconds = float(args[args.index("--seconds") + 1])
        args = args[: args.index("--seconds")]
    if len(args) != 3:
        print(__doc__, file=sys.stderr)
        return 2
    airports_xml, icao, out = args
    lat0, lon0, elevation = airport_of(airports_xml, icao)
    start_stamp = 1767225600  # any epoch second: rtpeer stamps each datagram when it sends it
    steps = int(seconds / REPORT_SECONDS)
    lines = [f"# made-up traffic of today's aircraft types around {icao} by make_synthetic_capture.py",
             f'0.00 qnh {{"ICAO":"{icao}","QNH":"2992"}}']
    reports = []
    for n, (type_code, callsign, reg, category, speed, height, vs, track, nm, bearing) in enumerate(FLIGHTS):
        mid_lat, mid_lon = moved(lat0, lon0, bearing, nm)
        leg_nm = speed * seconds / 3600.0
        first_lat, first_lon = moved(mid_lat, mid_lon, track + 180.0, leg_nm / 2)
        for k in range(steps + 1):
            t = k * REPORT_SECONDS
            lat, lon = moved(first_lat, first_lon, track, speed * t / 3600.0)
            alt = elevation + height + vs * (t - seconds / 2) / 60.0
            reports.append((t, datagram(0xA00000 + n, lat, lon, alt, vs, track, speed, callsign, type_code, reg,
                                        category, start_stamp + int(t))))
    for n, (type_code, callsign, reg, category, heading, north, east) in enumerate(PARKED):
        lat, lon = moved(lat0, lon0, 0.0, north / 1852.0)
        lat, lon = moved(lat, lon, 90.0, east / 1852.0)
        for k in range(steps + 1):
            t = k * REPORT_SECONDS
            reports.append((t, datagram(0xA00100 + n, lat, lon, 0, 0, heading, 0, callsign, type_code, reg, category,
                                        start_stamp + int(t), on_ground=True)))
    reports.sort(key=lambda r: r[0])
    lines += [f"{t:.2f} traffic {text}" for t, text in reports]
    with open(out, "w", encoding="utf-8", newline="\n") as f:
        f.write("\n".join(lines) + "\n")
    print(f"{out}: {len(FLIGHTS)} flights and {len(PARKED)} standing, {len(reports)} reports over {seconds:.0f} s")
    return 0


if __name__ == "__main__":
    sys.exit(main())
