#!/usr/bin/env python3
"""Draws what the simulator saw: the tracks of the AI aircraft in a journal of the stand-in
simulator (one JSON object per line), over the stands of an airport file, into a PNG.

    journal_plot.py JOURNAL --out PICTURE.png [--stands AIRPORT.xml [--zoom-stands]] [--size 1000]

Ground segments are drawn yellow, airborne ones cyan; a green dot marks where an aircraft was
created, a red one where it was removed; stands are white with a tick toward their heading.
Static aircraft (tails ending in '*') are magenta with a tick toward the heading they were
created with. Each track is labelled with its tail number. --zoom-stands frames the stands
rather than all traffic. Only the standard library is used.
"""
import argparse
import json
import math
import struct
import sys
import xml.etree.ElementTree as ET
import zlib

# 3x5 glyphs for labels: each row is three bits, top row first.
GLYPHS = {
    "A": "010101111101101", "B": "110101110101110", "C": "011100100100011", "D": "110101101101110",
    "E": "111100110100111", "F": "111100110100100", "G": "011100101101011", "H": "101101111101101",
    "I": "111010010010111", "J": "001001001101010", "K": "101101110101101", "L": "100100100100111",
    "M": "101111111101101", "N": "110101101101101", "O": "010101101101010", "P": "110101110100100",
    "Q": "010101101110011", "R": "110101110101101", "S": "011100010001110", "T": "111010010010010",
    "U": "101101101101111", "V": "101101101101010", "W": "101101111111101", "X": "101101010101101",
    "Y": "101101010010010", "Z": "111001010100111", "0": "111101101101111", "1": "010110010010111",
    "2": "110001010100111", "3": "110001010001110", "4": "101101111001001", "5": "111100110001110",
    "6": "011100111101111", "7": "111001010010010", "8": "111101111101111", "9": "111101111001110",
    "-": "000000111000000", "_": "000000000000111", "*": "000101010101000", " ": "000000000000000",
}


class Canvas:
    def __init__(self, width, height, background=(16, 24, 40)):
        self.width, self.height = width, height
        self.pixels = bytearray(bytes(background) * (width * height))

    def set(self, x, y, colour):
        if 0 <= x < self.width and 0 <= y < self.height:
            i = 3 * (y * self.width + x)
            self.pixels[i:i + 3] = bytes(colour)

    def dot(self, x, y, colour, radius=2):
        for dy in range(-radius, radius + 1):
            for dx in range(-radius, radius + 1):
                if dx * dx + dy * dy <= radius * radius:
                    self.set(x + dx, y + dy, colour)

    def line(self, x0, y0, x1, y1, colour, width=1):
        steps = max(abs(x1 - x0), abs(y1 - y0), 1)
        for s in range(steps + 1):
            x = round(x0 + (x1 - x0) * s / steps)
            y = round(y0 + (y1 - y0) * s / steps)
            if width <= 1:
                self.set(x, y, colour)
            else:
                self.dot(x, y, colour, width // 2)

    def text(self, x, y, text, colour, scale=2):
        for ch in text.upper():
            glyph = GLYPHS.get(ch, GLYPHS[" "])
            for row in range(5):
                for col in range(3):
                    if glyph[row * 3 + col] == "1":
                        for sy in range(scale):
                            for sx in range(scale):
                                self.set(x + col * scale + sx, y + row * scale + sy, colour)
            x += 4 * scale

    def save_png(self, path):
        raw = b"".join(b"\x00" + bytes(self.pixels[3 * y * self.width:3 * (y + 1) * self.width])
                       for y in range(self.height))

        def chunk(kind, data):
            return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

        with open(path, "wb") as out:
            out.write(b"\x89PNG\r\n\x1a\n")
            out.write(chunk(b"IHDR", struct.pack(">IIBBBBB", self.width, self.height, 8, 2, 0, 0, 0)))
            out.write(chunk(b"IDAT", zlib.compress(raw, 9)))
            out.write(chunk(b"IEND", b""))


def read_journal(path):
    """Objects by id: tail, poses [(lat, lon, alt, ground)], created and removed flags."""
    objects = {}
    with open(path, encoding="utf-8", errors="replace") as f:
        for number, line in enumerate(f, 1):
            line = line.strip()
            if not line:
                continue
            try:
                entry = json.loads(line)
            except json.JSONDecodeError:
                print(f"journal line {number} skipped: not JSON", file=sys.stderr)
                continue
            kind, obj = entry.get("kind"), entry.get("object")
            if obj is None:
                continue
            record = objects.setdefault(obj, {"tail": "", "poses": [], "created": False, "removed": False,
                                              "heading": None})
            if kind == "created":
                record["tail"] = str(entry.get("tail", ""))
                record["heading"] = entry.get("heading")
                record["created"] = True
                if "lat" in entry and "lon" in entry:
                    record["poses"].append((entry["lat"], entry["lon"], entry.get("alt", 0.0), entry.get("onGround")))
            elif kind == "pose":
                try:
                    record["poses"].append((float(entry["lat"]), float(entry["lon"]), float(entry.get("alt", 0.0)),
                                            entry.get("onGround")))
                except (KeyError, TypeError, ValueError):
                    continue
            elif kind == "removed":
                record["removed"] = True
    return objects


def read_stands_file(path):
    # An airport file has three top-level elements and no single root: wrap it before parsing.
    with open(path, encoding="utf-8", errors="replace") as f:
        text = f.read()
    if text.startswith("<?xml"):
        text = text[text.index("?>") + 2:]
    root = ET.fromstring("<file>" + text + "</file>")
    stands = []
    for element in root.iter("parkpos"):
        try:
            lat, lon = float(element.get("latitude", 0)), float(element.get("longitude", 0))
            heading = float(element.get("heading", 0) or 0)
        except ValueError:
            continue
        if lat == 0 and lon == 0:
            continue
        stands.append((element.get("id", ""), lat, lon, heading))
    return stands


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("journal")
    parser.add_argument("--out", required=True)
    parser.add_argument("--stands")
    parser.add_argument("--zoom-stands", action="store_true")
    parser.add_argument("--size", type=int, default=1000)
    args = parser.parse_args()

    objects = read_journal(args.journal)
    stands = read_stands_file(args.stands) if args.stands else []
    points = [(p[0], p[1]) for o in objects.values() for p in o["poses"]] + [(s[1], s[2]) for s in stands]
    canvas = Canvas(args.size, args.size)
    if not points:
        canvas.text(20, 20, "NO POSITIONS IN THE JOURNAL", (255, 255, 255))
        canvas.save_png(args.out)
        return 0

    if args.zoom_stands and stands:
        points = [(s[1], s[2]) for s in stands]
    lat0 = sum(p[0] for p in points) / len(points)
    kx = math.cos(math.radians(lat0))
    xs = [p[1] * kx for p in points]
    ys = [p[0] for p in points]
    span = max(max(xs) - min(xs), max(ys) - min(ys), 1e-4)
    margin = 40
    scale = (args.size - 2 * margin) / span
    cx, cy = (max(xs) + min(xs)) / 2, (max(ys) + min(ys)) / 2

    def to_px(lat, lon):
        return (round(args.size / 2 + (lon * kx - cx) * scale), round(args.size / 2 - (lat - cy) * scale))

    lowest = min((p[2] for o in objects.values() for p in o["poses"]), default=0.0)
    for name, lat, lon, heading in stands:
        x, y = to_px(lat, lon)
        canvas.dot(x, y, (230, 230, 230), 3)
        h = math.radians(heading)
        canvas.line(x, y, round(x + 9 * math.sin(h)), round(y - 9 * math.cos(h)), (230, 230, 230))

    for obj, record in sorted(objects.items()):
        poses = record["poses"]
        for a, b in zip(poses, poses[1:]):
            ground = b[3] if b[3] is not None else (b[2] - lowest) < 50
            colour = (250, 210, 60) if ground else (80, 220, 255)
            canvas.line(*to_px(a[0], a[1]), *to_px(b[0], b[1]), colour, 2)
        if poses and record["tail"].endswith("*"):
            x, y = to_px(poses[0][0], poses[0][1])
            canvas.dot(x, y, (230, 80, 230), 5)
            h = math.radians(float(record["heading"] or 0.0))
            canvas.line(x, y, round(x + 14 * math.sin(h)), round(y - 14 * math.cos(h)), (230, 80, 230), 2)
            canvas.text(x + 6, y - 12, record["tail"], (230, 80, 230))
            continue
        if poses:
            if record["created"]:
                canvas.dot(*to_px(poses[0][0], poses[0][1]), (60, 220, 90), 4)
            if record["removed"]:
                canvas.dot(*to_px(poses[-1][0], poses[-1][1]), (240, 70, 60), 4)
            x, y = to_px(poses[0][0], poses[0][1])
            canvas.text(x + 6, y - 12, record["tail"] or str(obj), (255, 255, 255))
    canvas.text(margin, args.size - 24, f"{len(objects)} AIRCRAFT  YELLOW GROUND  CYAN AIR", (200, 200, 200))
    canvas.save_png(args.out)
    return 0


if __name__ == "__main__":
    sys.exit(main())
