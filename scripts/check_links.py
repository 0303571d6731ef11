#!/usr/bin/env python3
"""Fails when a layer's library calls a function of a library its folders may not use.

The include check cannot see a call whose declaration was written by hand instead of included,
and the link of the program does not stop it either: a static library's undefined symbol is
resolved by whatever object of a higher layer the link already took in. This check reads the
libraries themselves (nm): every project symbol (namespace qtr) that a library leaves undefined
and does not define itself must not be defined only by a library outside its row of the layer
table (cmake/layers.txt, the same table the include check and CMake read).

Usage: check_links.py --table FILE --nm NM [--stamp FILE] LIBRARY=ARCHIVE...
"""
import argparse
import pathlib
import subprocess
import sys


def read_libraries(path):
    """{library: the libraries it may use, itself included} from the layer table's rows."""
    library_of, uses = {}, {}
    for raw in path.read_text(encoding="utf-8").splitlines():
        line = raw.split("#", 1)[0].split()
        if len(line) < 2 or line[0] == "debt":
            continue
        library_of[line[0]] = line[1]
        uses.setdefault(line[1], set()).update(line[2:])
    allowed = {}
    for library, folders in uses.items():
        if library == "-":
            continue
        allowed[library] = {library} | {library_of[f] for f in folders if library_of.get(f, "-") != "-"}
    return allowed


def project_symbol(name):
    return name.startswith("qtr::") or " for qtr::" in name


def symbols(nm, archive, undefined):
    """The demangled project symbols that the archive defines, or that it leaves undefined."""
    flag = "--undefined-only" if undefined else "--defined-only"
    output = subprocess.run([nm, "-C", flag, str(archive)], capture_output=True, text=True, check=True).stdout
    names = set()
    for line in output.splitlines():
        line = line.strip()
        if not line or line.endswith(":"):
            continue
        parts = line.split(None, 1 if undefined else 2)
        name = parts[-1] if len(parts) == (2 if undefined else 3) else ""
        if project_symbol(name):
            names.add(name)
    return names


def check(allowed, archives, nm):
    defined = {library: symbols(nm, archive, False) for library, archive in archives.items()}
    problems = []
    for library, archive in sorted(archives.items()):
        may_use = allowed.get(library, {library})
        reachable = set().union(*(defined[other] for other in may_use if other in defined))
        for name in sorted(symbols(nm, archive, True) - reachable):
            owners = sorted(other for other, names in defined.items() if name in names)
            if owners:
                problems.append(f"{library} calls {name}, which only {', '.join(owners)} defines"
                                f" ({library} may use: {', '.join(sorted(may_use - {library})) or 'nothing else'})")
    return problems


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--table", required=True, type=pathlib.Path)
    parser.add_argument("--nm", default="nm")
    parser.add_argument("--stamp", type=pathlib.Path)
    parser.add_argument("archives", nargs="+", help="LIBRARY=ARCHIVE")
    args = parser.parse_args()
    archives = dict(item.split("=", 1) for item in args.archives)
    problems = check(read_libraries(args.table), archives, args.nm)
    for problem in problems:
        print(problem, file=sys.stderr)
    if problems:
        return 1
    if args.stamp:
        args.stamp.write_text("ok\n", encoding="utf-8")
    return 0


if __name__ == "__main__":
    sys.exit(main())
