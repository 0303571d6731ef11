#!/usr/bin/env bash
# Sets everything up, builds, and runs Quillmarsh under Wine in a program folder of its own
# (build/run/program) with its settings below build/run/appdata. On a real $DISPLAY the
# program runs until its window is closed; under Xvfb (no $DISPLAY) it runs --seconds N
# (default 20), a screenshot of the main window is written, and the window is then closed
# as the close button does.
#   scripts/run.sh [--seconds N]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
export BUILD_DIR=${QM_BUILD_DIR:-$here/build}
seconds=""
while [ $# -gt 0 ]; do
  case "$1" in
    --seconds) seconds=$2; shift 2 ;;
    *) echo "usage: $0 [--seconds N]" >&2; exit 2 ;;
  esac
done
had_display=${DISPLAY:-}
bash "$here/scripts/build.sh" >/dev/null
source "$here/scripts/wine-env.sh"
trap qm_wine_stop EXIT
if [ -z "$seconds" ] && [ -z "$had_display" ]; then seconds=20; fi

RUN_DIR="$BUILD_DIR/run"
PROGRAM_DIR="$RUN_DIR/program"
mkdir -p "$PROGRAM_DIR" "$RUN_DIR/appdata/Roaming" "$RUN_DIR/appdata/Local"
cp -r "$BUILD_DIR/stage/." "$PROGRAM_DIR/"
export QUILLMARSH_APPDATA_ROOT=$(winepath -w "$RUN_DIR/appdata")
# The stand-in simulator: its scenario, and the journal of what it saw (one JSON object a line).
SCENARIO=${QUILLMARSH_SIM_SCENARIO_FILE:-$here/platform/simconnect/example_scenario.json}
JOURNAL="$RUN_DIR/sim-journal.jsonl"
rm -f "$JOURNAL"
export QUILLMARSH_SIM_SCENARIO=$(winepath -w "$SCENARIO")
export QUILLMARSH_SIM_JOURNAL=$(winepath -w "$JOURNAL")

cd "$PROGRAM_DIR"
wine Quillmarsh.exe >/dev/null 2>&1 </dev/null &
pid=$!

window=""
for _ in $(seq 1 100); do
  window=$(xdotool search --name '^Quillmarsh$' 2>/dev/null | head -n1 || true)
  [ -n "$window" ] && break
  sleep 0.2
done
if [ -z "$window" ]; then
  echo "Quillmarsh did not show its window; see $PROGRAM_DIR/Log.txt" >&2
  exit 1
fi
echo "Quillmarsh is running (program folder $PROGRAM_DIR)"

if [ -n "$seconds" ]; then
  sleep "$seconds"
  png="$RUN_DIR/quillmarsh.png"
  import -window "$window" "$png" 2>/dev/null || import -window root "$png"
  echo "screenshot: $png"
  xdotool key --window "$window" alt+F4 2>/dev/null || xdotool windowclose "$window" || true
fi
status=0
wait "$pid" || status=$?
echo "Quillmarsh ended with exit code $status"
echo "log: $PROGRAM_DIR/Log.txt"
tail -n 5 "$PROGRAM_DIR/Log.txt"
if [ -f "$JOURNAL" ]; then
  echo "simulator journal: $JOURNAL"
  head -n 5 "$JOURNAL"
fi
