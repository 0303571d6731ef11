#!/usr/bin/env python3
"""Fails when a source file includes a folder that its folder may not use.

The allowed uses are in the layer table (cmake/layers.txt, which CMake reads as well): one row
per source folder with its library and the folders it may include. Every .cpp and .h directly in
a listed folder is scanned for #include "<folder>/..."; an include of a folder that is neither the
file's own nor allowed fails, unless the table's debt list names that very file and include.
A debt line that no longer matches an include fails too, so the list only shrinks.

Usage: check_includes.py [--root DIR] [--table FILE] [--stamp FILE]
"""
import argparse
import pathlib
import re
import sys

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')


def read_table(path):
    """The rows {folder: allowed folders} and the debt set {(file, include)}."""
    rows, debts = {}, set()
    for number, raw in enumerate(path.read_text(encoding="utf-8").splitlines(), 1):
        line = raw.split("#", 1)[0].split()
        if not line:
            continue
        if line[0] == "debt":
            if len(line) != 3:
                raise SystemExit(f"{path}:{number}: a debt line is: debt <file> <included file>")
            debts.add((line[1], line[2]))
        elif len(line) >= 2:
            rows[line[0]] = set(line[2:])
        else:
            raise SystemExit(f"{path}:{number}: a row is: <folder> <library> <allowed folders...>")
    for folder, allowed in rows.items():
        for other in allowed:
            if other not in rows:
                raise SystemExit(f"{path}: {folder} names {other}, which has no row")
    return rows, debts


def folder_of(include, rows):
    """The table's folder of an included path: its directory when that has a row, else None."""
    directory = include.rsplit("/", 1)[0] if "/" in include else ""
    return directory if directory in rows else None


def check(root, rows, debts):
    problems, used_debts = [], set()
    for folder, allowed in sorted(rows.items()):
        directory = root / folder
        if not directory.is_dir():
            continue
        for source in sorted(directory.iterdir()):
            if source.suffix not in (".cpp", ".h") or not source.is_file():
                continue
            relative = f"{folder}/{source.name}"
            text = source.read_text(encoding="utf-8", errors="replace")
            for number, line in enumerate(text.splitlines(), 1):
                match = INCLUDE.match(line)
                if not match:
                    continue
                included = match.group(1)
                target = folder_of(included, rows)
                if target is None or target == folder or target in allowed:
                    continue
                if (relative, included) in debts:
                    used_debts.add((relative, included))
                    continue
                problems.append(f"{relative}:{number}: {folder} may not include {included}"
                                f" ({folder} may use: {', '.join(sorted(allowed)) or 'nothing else'})")
    for file, included in sorted(debts - used_debts):
        problems.append(f"{file}: no longer includes {included}: remove its debt line from the layer table")
    return problems


def main():
    here = pathlib.Path(__file__).resolve().parent.parent
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--root", type=pathlib.Path, default=here)
    parser.add_argument("--table", type=pathlib.Path)
    parser.add_argument("--stamp", type=pathlib.Path, help="touched after a clean check (for the build)")
    args = parser.parse_args()
    table = args.table or args.root / "cmake" / "layers.txt"
    rows, debts = read_table(table)
    problems = check(args.root, rows, debts)
    for problem in problems:
        print(problem, file=sys.stderr)
    if problems:
        print(f"include check: {len(problems)} wrong-way include(s); the allowed order is in {table}", file=sys.stderr)
        return 1
    if args.stamp:
        args.stamp.parent.mkdir(parents=True, exist_ok=True)
        args.stamp.touch()
    return 0


if __name__ == "__main__":
    sys.exit(main())
