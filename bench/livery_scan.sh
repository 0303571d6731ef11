#!/usr/bin/env bash
# Times the livery scan over a generated tree of 3,000 aircraft.cfg files with 50,000 [fltsim.N]
# sections (some UTF-16LE, some CRLF) with the machine's threads, beside the time to read the same
# files raw on the same run: with cat, and whole files one after another inside the program's
# process under Wine, where file access and the heap are shared behind the wineserver and one lock
# (so one task at a time is also timed). Prints one JSON object: bench/livery_scan.sh [report.json]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
export BUILD_DIR=${QM_BUILD_DIR:-$here/build}
report=${1:-$BUILD_DIR/bench-livery-scan.json}
bash "$here/scripts/build.sh" >/dev/null
tree="$BUILD_DIR/bench-cfg-tree"
python3 "$here/tools/dbase/make_dbase.py" --out "$BUILD_DIR/bench-dbase.zip" --xml "$BUILD_DIR/bench-dbase.xml" >/dev/null
python3 "$here/bench/make_cfg_tree.py" "$tree" 3000 50000 >/dev/null
sections=$(python3 "$here/bench/make_cfg_tree.py" --count "$tree")
# The raw read: every file through cat, after a first read has filled the file cache.
find "$tree" -name aircraft.cfg -print0 | xargs -0 cat >/dev/null
start=$(date +%s%N)
find "$tree" -name aircraft.cfg -print0 | xargs -0 cat >/dev/null
raw_ns=$(( $(date +%s%N) - start ))
source "$here/scripts/wine-env.sh"
trap qm_wine_stop EXIT
scan=$(wine "$BUILD_DIR/tools/bin/qm_livery_scan_bench.exe" "$(winepath -w "$tree")" "$(winepath -w "$BUILD_DIR/bench-dbase.xml")" 2>/dev/null | tail -n1)
python3 - "$scan" "$raw_ns" "$sections" "$report" <<'PY'
import json, sys
scan = json.loads(sys.argv[1]); raw = int(sys.argv[2]) / 1e9
out = {"what": "livery scan of a generated tree of aircraft.cfg files",
       "scan_seconds": round(scan["scan_seconds"], 3), "raw_read_seconds": round(raw, 3),
       "scan_to_raw": round(scan["scan_seconds"] / raw, 2) if raw > 0 else None,
       "raw_read_in_process_seconds": round(scan["raw_read_in_process_seconds"], 3),
       "scan_to_raw_in_process": round(scan["scan_seconds"] / scan["raw_read_in_process_seconds"], 2),
       "scan_one_thread_seconds": round(scan["scan_one_thread_seconds"], 3),
       "files": scan["files"], "sections": int(sys.argv[3]), "bytes": scan["bytes"], "liveries": scan["liveries"],
       "threads": scan["threads"], "problem_lines": scan["problem_lines"]}
json.dump(out, open(sys.argv[4], "w"), indent=2)
print(json.dumps(out))
PY
