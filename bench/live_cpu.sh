#!/usr/bin/env bash
# Measures the CPU use of the program it starts (with pidstat), while RealTraffic replays a
# recording toward it and the stand-in simulator shows the traffic: once with the stand-in's
# journal on (cpu_percent) and once with it off (cpu_percent_journal_off). The stand-in runs inside
# the program's process, so its journal (a JSON line for every aircraft in every frame) counts
# toward the program's CPU; with it off, what is left is the program's own work. Each
# measurement starts once the first live flight got its livery (the spawns follow at once) and
# covers only the process of the program that scripts/run.sh started, never another
# Quillmarsh.exe on the machine. Writes a JSON report:
#   bench/live_cpu.sh [seconds] [report.json]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
report=${2:-$here/build/bench-live-cpu.json}
command -v pidstat >/dev/null || apt-get install -y -qq sysstat >/dev/null
run_dir="$here/build/run"
pid_file="$run_dir/program.pid"
log="$run_dir/program/Log.txt"
journal="$run_dir/sim-journal.jsonl"

# One run: prints the program's average CPU percent over the measured seconds.
measure() {
  local runlog=$1; shift
  # The log of an earlier run would show its livery match at once, before this program started.
  rm -f "$pid_file" "$log"
  bash "$here/scripts/run.sh" --seconds $((seconds + 60)) "$@" >"$runlog" 2>&1 &
  local runner=$! pid="" line
  # The first run may build the program first.
  for _ in $(seq 1 3000); do
    [ -s "$pid_file" ] && pid=$(cat "$pid_file") && break
    kill -0 "$runner" 2>/dev/null || break
    sleep 0.2
  done
  [ -n "$pid" ] || { echo "program did not start; see $runlog" >&2; return 1; }
  grep -q 'Quillmarsh.exe' "/proc/$pid/cmdline" 2>/dev/null || { echo "process $pid is not the program" >&2; return 1; }
  # A livery match line of the log: the first live flight is about to be created.
  for _ in $(seq 1 120); do
    grep -qE '^ {10}\S.* =[1-6]= ' "$log" 2>/dev/null && break
    sleep 1
  done
  line=$(LC_ALL=C pidstat -u -p "$pid" "$seconds" 1 | awk -v p="$pid" '/^Average:/ && $3 == p {print $(NF-2)}')
  wait "$runner" || true
  echo "${line:-null}"
}

on=$(measure "$here/build/bench-live-cpu-run.log")
created=$(grep -c '"kind":"created"' "$journal" || true)
poses=$(grep -c '"kind":"pose"' "$journal" || true)
off=$(measure "$here/build/bench-live-cpu-run-journal-off.log" --no-journal)
matched_off=$(grep -cE '^ {10}\S.* =[1-6]= ' "$log" || true)
printf '{"what":"CPU of the Quillmarsh.exe started here while replaying a recording","seconds":%s,"cpu_percent":%s,"cpu_percent_journal_off":%s,"aircraft_created":%s,"poses":%s,"flights_matched_journal_off":%s,"tool":"pidstat"}\n' \
  "$seconds" "$on" "$off" "${created:-0}" "${poses:-0}" "${matched_off:-0}" | tee "$report"
