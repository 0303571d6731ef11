#!/usr/bin/env bash
# Times the livery data base (50,000 liveries: file read and build) and the matcher over the
# recording's flights, and writes a JSON report: bench/livery_match.sh [report.json]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
export BUILD_DIR=${QM_BUILD_DIR:-$here/build}
report=${1:-$BUILD_DIR/bench-livery-match.json}
bash "$here/scripts/build.sh" >/dev/null
python3 "$here/tools/dbase/make_dbase.py" --out "$BUILD_DIR/bench-dbase.zip" --xml "$BUILD_DIR/bench-dbase.xml" >/dev/null
source "$here/scripts/wine-env.sh"
trap qm_wine_stop EXIT
wine "$BUILD_DIR/tools/bin/qm_livery_bench.exe" "$(winepath -w "$BUILD_DIR/bench-dbase.xml")" \
  "$(winepath -w "$here/tools/rtpeer/recordings/klax_20200617.rec")" "$(winepath -w "$report")" 2>/dev/null
