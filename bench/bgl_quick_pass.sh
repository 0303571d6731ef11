#!/usr/bin/env bash
# The add-on airport scan's quick pass over a large Community folder: the walk and the test of
# each BGL file's section table, on the machine's threads, beside a plain read of the first 4 KB
# of the same files. The tree is generated once below build/ (by default 30,000 BGL files in
# 600 packages, 300 of them airports: hard links to the real KPHP, LMML and SKBO files; the rest
# links to the real BGLs without an airport). Prints one JSON object and writes it to the report:
#   bench/bgl_quick_pass.sh [files] [report.json]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
files=${1:-30000}
report=${2:-$here/build/bench-bgl-quick-pass.json}
export BUILD_DIR=${QM_BUILD_DIR:-$here/build}
tool="$BUILD_DIR/tools/bin/qm_airport_scan.exe"
[ -x "$tool" ] || bash "$here/scripts/build.sh" >/dev/null
real="$here/../shared/realdata"
airports=("$real/packages/msfs2020-scenery-tabletopandroid-airport-kphp-philip/Scenery/airport-kphp-philip/scenery/KPHP.bgl"
          "$real/packages/msfs2020-scenery-vikingstudios-airport-lmml-malta/Scenery/airport-lmml-malta/scenery/LMML.bgl"
          "$real/packages/msfs2020-scenery-projectcolombia-airport-skbo/scenery/world/scenery/skbo-airport.bgl")
others=("$real"/bgl/*noairport*)

tree="$BUILD_DIR/bench/bgl-tree-$files"
if [ ! -f "$tree/.complete" ]; then
  rm -rf "$tree"
  mkdir -p "$tree"
  # The files are hard links into one scratch copy per source, so the tree costs directory
  # entries, not data.
  python3 - "$tree" "$files" "${airports[@]}" -- "${others[@]}" <<'PY'
import os, shutil, sys
tree, files = sys.argv[1], int(sys.argv[2])
rest = sys.argv[3:]
split = rest.index("--")
airports, others = rest[:split], rest[split + 1:]
sources = os.path.join(tree, ".sources")
os.makedirs(sources, exist_ok=True)
def copies(paths, stem):
    out = []
    for i, path in enumerate(paths):
        target = os.path.join(sources, f"{stem}{i}.bgl")
        shutil.copyfile(path, target)
        out.append(target)
    return out
airports, others = copies(airports, "airport"), copies(others, "other")
per_package, every = 50, max(1, files // 300)
for n in range(files):
    folder = os.path.join(tree, "Community", f"package-{n // per_package}", "scenery")
    if n % per_package == 0:
        os.makedirs(folder, exist_ok=True)
    if n % every == 0:
        os.link(airports[(n // every) % len(airports)], os.path.join(folder, f"airport-{n}.bgl"))
    else:
        os.link(others[n % len(others)], os.path.join(folder, f"objects-{n}.bgl"))
PY
  touch "$tree/.complete"
fi

source "$here/scripts/wine-env.sh"
trap qm_wine_stop EXIT
winpath=$(winepath -w "$tree/Community" 2>/dev/null)
# A first pass warms the file cache and Wine; the second is measured.
wine "$tool" --quick-pass "$winpath" >/dev/null
wine "$tool" --quick-pass "$winpath" | tr -d '\r' | tee "$report"
