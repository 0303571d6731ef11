#!/usr/bin/env bash
# Measures the program's CPU use (with pidstat) while RealTraffic replays a recording toward it
# and the stand-in simulator shows the traffic; the measurement starts once the first AI aircraft
# were created. Writes a JSON report: bench/live_cpu.sh [seconds] [report.json]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
report=${2:-$here/build/bench-live-cpu.json}
command -v pidstat >/dev/null || apt-get install -y -qq sysstat >/dev/null
journal="$here/build/run/sim-journal.jsonl"
bash "$here/scripts/run.sh" --seconds $((seconds + 60)) >/tmp/qm-bench-live.log 2>&1 &
runner=$!
pid=""
for _ in $(seq 1 100); do
  pid=$(pgrep -f 'Quillmarsh.exe' | head -n1 || true)
  [ -n "$pid" ] && break
  sleep 0.2
done
[ -n "$pid" ] || { echo "program did not start" >&2; exit 1; }
for _ in $(seq 1 120); do
  grep -q '"kind":"released"' "$journal" 2>/dev/null && break
  sleep 1
done
# Under Wine the program may show as more than one process (loader and program): all of them count.
pids=$(pgrep -d, -f 'Quillmarsh.exe')
line=$(LC_ALL=C pidstat -u -p "$pids" "$seconds" 1 | awk '/^Average:/ && $3 ~ /^[0-9]+$/ {sum += $(NF-2)} END {printf "%.2f", sum}')
wait "$runner" || true
created=$(grep -c '"kind":"created"' "$journal" || true)
poses=$(grep -c '"kind":"pose"' "$journal" || true)
printf '{"what":"CPU of Quillmarsh.exe while replaying a recording","seconds":%s,"cpu_percent":%s,"aircraft_created":%s,"poses":%s,"tool":"pidstat"}\n' \
  "$seconds" "${line:-null}" "${created:-0}" "${poses:-0}" | tee "$report"
