#!/usr/bin/env bash
# Measures the program's CPU use over a minute while it waits (with pidstat), and writes a JSON
# report: bench/idle_cpu.sh [seconds] [report.json]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
report=${2:-$here/build/bench-idle-cpu.json}
command -v pidstat >/dev/null || apt-get install -y -qq sysstat >/dev/null
bash "$here/scripts/run.sh" --no-sim --seconds $((seconds + 10)) >/tmp/qm-bench-run.log 2>&1 &
runner=$!
# Wine's launcher hands over to the program's own process: look for it once the start has settled.
sleep 8
pid=$(pgrep -x 'Quillmarsh.exe' | head -n1 || true)
[ -n "$pid" ] || { echo "program did not start" >&2; exit 1; }
server=$(pgrep -f 'wineserver64 -p0' | head -n1 || true)
# The program's own process and the wineserver that serves its system calls, over the same minute.
LC_ALL=C pidstat -u -p "$pid${server:+,$server}" "$seconds" 1 > /tmp/qm-bench-pidstat.txt
line=$(awk -v p="$pid" '/^Average:/ && $3 == p {print $(NF-2)}' /tmp/qm-bench-pidstat.txt)
serverline=$(awk -v p="$server" '/^Average:/ && $3 == p {print $(NF-2)}' /tmp/qm-bench-pidstat.txt)
wait "$runner" || true
printf '{"what":"CPU while waiting for the simulator","seconds":%s,"program_cpu_percent":%s,"wineserver_cpu_percent":%s,"tool":"pidstat"}\n' \
  "$seconds" "${line:-null}" "${serverline:-null}" | tee "$report"
