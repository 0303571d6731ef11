#!/usr/bin/env bash
# Measures the program's CPU use over a minute while it waits (with pidstat), and writes a JSON
# report: bench/idle_cpu.sh [seconds] [report.json]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
report=${2:-$here/build/bench-idle-cpu.json}
command -v pidstat >/dev/null || apt-get install -y -qq sysstat >/dev/null
bash "$here/scripts/run.sh" --seconds $((seconds + 10)) >/tmp/qm-bench-run.log 2>&1 &
runner=$!
pid=""
for _ in $(seq 1 100); do
  pid=$(pgrep -f 'Quillmarsh.exe' | head -n1 || true)
  [ -n "$pid" ] && break
  sleep 0.2
done
[ -n "$pid" ] || { echo "program did not start" >&2; exit 1; }
sleep 5
server=$(pgrep -f wineserver | head -n1 || true)
line=$(LC_ALL=C pidstat -u -p "$pid" "$seconds" 1 | awk '/^Average:/ {print $(NF-2)}' | tail -n1)
serverline=$( [ -n "$server" ] && LC_ALL=C pidstat -u -p "$server" 1 1 | awk '/^Average:/ {print $(NF-2)}' | tail -n1 || echo 0)
wait "$runner" || true
printf '{"what":"CPU of Quillmarsh.exe while waiting for the simulator","seconds":%s,"cpu_percent":%s,"tool":"pidstat"}\n' \
  "$seconds" "${line:-null}" | tee "$report"
