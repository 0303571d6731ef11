#!/usr/bin/env python3
"""Fails when a source file includes a folder that its folder may not use.

The allowed uses are in the layer table (cmake/layers.txt, which CMake reads as well): one row
per source folder with its library and the folders it may include. Every .cpp and .h directly in
a listed folder is scanned for #include "<folder>/..."; an include of a folder that is neither the
file's own nor allowed fails, unless the table's debt list names that very file and include.
A debt line that no longer matches an include fails too, so the list only shrinks.

With --deps BUILD_DIR it checks what the compiler saw instead: every header that a source of a
listed folder reached, through any chain of other headers, as the compiler's dependency records
below the build folder name them (Ninja's log .ninja_deps, and the .d files that other
generators keep). Run after the compile, it catches the wrong-way include that the direct check
cannot see because it sits in a header of an allowed folder.

Usage: check_includes.py [--root DIR] [--table FILE] [--stamp FILE] [--deps BUILD_DIR]
"""
import argparse
import collections
import os
import pathlib
import re
import struct
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


def read_ninja_deps(path):
    """{output: (mtime, [inputs])} of Ninja's dependency log (format 4), the last record of each
    output with the time of the output it was recorded for.

    Read only: a record that Ninja is still writing ends the reading."""
    data = path.read_bytes()
    head = b"# ninjadeps\n"
    if not data.startswith(head) or len(data) < len(head) + 4:
        return {}
    (version,) = struct.unpack_from("<i", data, len(head))
    if version != 4:
        raise SystemExit(f"{path}: dependency log format {version}, this check reads format 4")
    names, deps, at = [], {}, len(head) + 4
    while at + 4 <= len(data):
        (size,) = struct.unpack_from("<I", data, at)
        is_deps, size = size >> 31, size & 0x7FFFFFFF
        body = data[at + 4:at + 4 + size]
        if len(body) < size or size < 4:
            break
        at += 4 + size
        if is_deps:
            ids = struct.unpack_from(f"<{size // 4}i", body)
            out, inputs = ids[0], ids[3:]  # the output, its time (two words), its inputs
            (mtime,) = struct.unpack_from("<Q", body, 4)
            if out < len(names) and all(i < len(names) for i in inputs):
                deps[names[out]] = (mtime, [names[i] for i in inputs])
        else:
            names.append(body[:-4].rstrip(b"\0").decode("utf-8", "replace"))
    return deps


def read_make_deps(path):
    """{output: (mtime, [inputs])} of a compiler's .d file (make syntax)."""
    text = path.read_text(encoding="utf-8", errors="replace").replace("\\\n", " ")
    deps, mtime = {}, path.stat().st_mtime_ns
    for rule in text.splitlines():
        target, colon, inputs = rule.partition(": ")
        if not colon:
            continue
        words = re.findall(r"(?:\\ |[^\s])+", inputs)
        deps[target.strip()] = (mtime, [w.replace("\\ ", " ") for w in words])
    return deps


def read_dependency_records(build):
    """Each compiled source with the files it reached: [(folder the paths are relative to,
    [source, reached...])], paths as written.

    An object that has left the build (its target renamed) keeps its record, so each source's
    newest record speaks for it: the compile of the current object came after the last one of
    the object that left."""
    records = {}
    for directory, _, files in os.walk(pathlib.Path(build).resolve()):
        for name in files:
            path = pathlib.Path(directory) / name
            if name == ".ninja_deps":
                found = read_ninja_deps(path)
            elif name.endswith(".d"):
                found = read_make_deps(path)
            else:
                continue
            for mtime, inputs in found.values():
                if not inputs:
                    continue
                source = os.path.normpath(os.path.join(directory, inputs[0]))
                if source not in records or records[source][0] <= mtime:
                    records[source] = (mtime, directory, inputs)
    return [(pathlib.Path(d), inputs) for _, d, inputs in records.values()]


def relative_to_root(name, base, root):
    """The path of a record's file relative to root ("links/feed.cpp"), or None when outside."""
    path = pathlib.Path(name)
    if not path.is_absolute():
        path = base / path
    try:
        return pathlib.Path(os.path.normpath(path)).relative_to(root).as_posix()
    except ValueError:
        return None


def include_chain(root, source, target):
    """The headers between source and target along direct includes ([] for a direct include),
    None when the text shows no way (an include made by a macro, a file that changed since)."""
    def resolve(including, name):
        beside = os.path.normpath(os.path.join(os.path.dirname(including), name))
        return beside if (root / beside).is_file() else os.path.normpath(name)

    before, queue = {source: None}, collections.deque([source])
    while queue:
        current = queue.popleft()
        path = root / current
        if not path.is_file():
            continue
        for line in path.read_text(encoding="utf-8", errors="replace").splitlines():
            match = INCLUDE.match(line)
            if not match:
                continue
            name = resolve(current, match.group(1))
            if name in before:
                continue
            before[name] = current
            if name == target:
                chain, at = [], current
                while at != source:
                    chain.append(at)
                    at = before[at]
                return list(reversed(chain))
            queue.append(name)
    return None


def check_reached(root, rows, debts, build):
    """The wrong-way headers that compiled sources reached, directly or through other headers."""
    root = pathlib.Path(os.path.normpath(root.resolve()))
    excused = collections.defaultdict(set)  # included file -> files whose debt line allows it
    for file, included in debts:
        excused[included].add(file)
    problems = set()
    for base, inputs in read_dependency_records(build):
        source = relative_to_root(inputs[0], base, root)
        if source is None or "/" not in source or not (root / source).is_file():
            continue
        folder = source.rsplit("/", 1)[0]
        if folder not in rows:
            continue
        reached = {r for r in (relative_to_root(i, base, root) for i in inputs[1:]) if r}
        for included in sorted(reached):
            target = folder_of(included, rows)
            if target is None or target == folder or target in rows[folder]:
                continue
            if excused[included] & (reached | {source}):
                continue
            chain = include_chain(root, source, included)
            how = "included directly" if chain == [] else f"reached through {', '.join(chain or ['another header'])}"
            problems.add(f"{source}: {folder} may not include {included} ({how};"
                         f" {folder} may use: {', '.join(sorted(rows[folder])) or 'nothing else'})")
    return sorted(problems)


def main():
    here = pathlib.Path(__file__).resolve().parent.parent
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--root", type=pathlib.Path, default=here)
    parser.add_argument("--table", type=pathlib.Path)
    parser.add_argument("--stamp", type=pathlib.Path, help="touched after a clean check (for the build)")
    parser.add_argument("--deps", type=pathlib.Path, metavar="BUILD_DIR",
                        help="check the headers the compiler reached, from the dependency records below BUILD_DIR")
    args = parser.parse_args()
    table = args.table or args.root / "cmake" / "layers.txt"
    rows, debts = read_table(table)
    problems = check_reached(args.root, rows, debts, args.deps) if args.deps else check(args.root, rows, debts)
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
