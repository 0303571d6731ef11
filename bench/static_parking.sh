#!/usr/bin/env bash
# Times static parking at an airport of 512 stands with 20 options each (the calculation, one
# renewal, one placement) against the 10 ms pass, and writes a JSON report:
#   bench/static_parking.sh [report.json]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
export BUILD_DIR=${QM_BUILD_DIR:-$here/build}
report=${1:-$BUILD_DIR/bench-static-parking.json}
bash "$here/scripts/build.sh" >/dev/null
source "$here/scripts/wine-env.sh"
trap qm_wine_stop EXIT
wine "$BUILD_DIR/tools/bin/qm_parking_bench.exe" "$(winepath -w "$report")" 2>/dev/null
