#!/usr/bin/env python3
"""Writes a tree of aircraft.cfg files for bench/livery_scan.sh: FILES files with SECTIONS [fltsim.N]
sections in all, over the types of tools/dbase/types.csv and common airlines, as AI packages write
them; every tenth file UTF-16LE, every third CRLF, the rest UTF-8.
  make_cfg_tree.py <tree> [files] [sections]
  make_cfg_tree.py --count <tree>      (the number of [fltsim.N] headers in the tree)"""
import os, random, re, shutil, sys

def count(tree):
    n = 0
    for folder, _, names in os.walk(tree):
        for name in names:
            data = open(os.path.join(folder, name), "rb").read()
            text = data.decode("utf-16") if data[:2] == b"\xff\xfe" else data.decode("utf-8")
            n += len(re.findall(r"(?m)^\[FLTSIM\.\d+\]", text))
    print(n)

def main():
    if sys.argv[1] == "--count":
        return count(sys.argv[2])
    tree = sys.argv[1]
    files = int(sys.argv[2]) if len(sys.argv) > 2 else 3000
    sections = int(sys.argv[3]) if len(sys.argv) > 3 else 50000
    here = os.path.dirname(os.path.abspath(__file__))
    types = [l.split(",")[0] for l in open(os.path.join(here, "..", "tools", "dbase", "types.csv"))
             if l and not l.startswith("#") and not l.startswith("type,")]
    airlines = ["AAL", "DLH", "BAW", "AFR", "KLM", "UAL", "DAL", "SWA", "EZY", "RYR", "UAE", "QTR", "ANA", "JAL",
                "CPA", "SIA", "QFA", "ACA", "WJA", "THY", "IBE", "SAS", "FIN", "AUA", "SWR", "TAP", "LOT", "ETD"]
    rng = random.Random(7)
    shutil.rmtree(tree, ignore_errors=True)
    counts = [sections // files] * files
    for k in range(sections - sum(counts)): counts[k] += 1
    n = 0
    for f in range(files):
        t = types[f % len(types)]
        lines = ["[VERSION]", "major = 1", "minor = 0", "", "[GENERAL]", f'icao_type_designator = "{t}"', ""]
        for s in range(counts[f]):
            a = airlines[rng.randrange(len(airlines))]
            n += 1
            lines += [f"[FLTSIM.{s}]", f'title = "BENCH_{t}_{a}_{n}" ; Variation name', 'model = ""',
                      f'texture = "{a}{s}"', f'atc_airline = "{a}"', 'ui_manufacturer = "Bench"',
                      f'ui_type = "{t}"', f'ui_variation = "{a} {n}"', 'atc_parking_types = "GATE,RAMP"',
                      f'atc_id = "N{n:05d}"' if n % 7 == 0 else 'atc_id = ""',
                      f'icao_airline = "{a}" ;', "isairtraffic = 1", "isuserselectable = 0", ""]
        body = "\n".join(lines)
        path = os.path.join(tree, f"pack{f // 100:02d}", "SimObjects", "Airplanes", f"BENCH_{t}_{f}", "aircraft.cfg")
        os.makedirs(os.path.dirname(path), exist_ok=True)
        if f % 10 == 0:
            data = b"\xff\xfe" + body.replace("\n", "\r\n").encode("utf-16-le")
        elif f % 3 == 0:
            data = body.replace("\n", "\r\n").encode("utf-8")
        else:
            data = body.encode("utf-8")
        open(path, "wb").write(data)
    print(f"{files} files, {n} sections")

main()
