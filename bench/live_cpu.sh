#!/usr/bin/env bash
# Measures the CPU use of the program it starts (with pidstat), while RealTraffic replays a
# recording toward it and the stand-in simulator shows the traffic: once with the stand-in's
# journal on (cpu_percent) and once with it off (cpu_percent_journal_off), and once more with the
# journal off and no traffic (cpu_percent_no_traffic_journal_off; the difference to the flying run
# is traffic_cpu_percent_journal_off, what the recording's traffic costs). The stand-in runs inside
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

# One run: prints the program's average CPU percent over the measured seconds. The measurement
# starts when the log shows the ready pattern, and after settle seconds more.
measure() {
  local runlog=$1 ready=$2 settle=$3; shift 3
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
  for _ in $(seq 1 120); do
    grep -qE "$ready" "$log" 2>/dev/null && break
    sleep 1
  done
  sleep "$settle"
  line=$(LC_ALL=C pidstat -u -p "$pid" "$seconds" 1 | awk -v p="$pid" '/^Average:/ && $3 == p {print $(NF-2)}')
  wait "$runner" || true
  echo "${line:-null}"
}

# A livery match line of the log: the first live flight is about to be created.
flying='^ {10}\S.* =[1-6]= '
on=$(measure "$here/build/bench-live-cpu-run.log" "$flying" 0)
created=$(grep -c '"kind":"created"' "$journal" || true)
poses=$(grep -c '"kind":"pose"' "$journal" || true)
off=$(measure "$here/build/bench-live-cpu-run-journal-off.log" "$flying" 0 --no-journal)
matched_off=$(grep -cE "$flying" "$log" || true)
# The same program, simulator and feed with no traffic (the recording's QNH datagrams only): what
# the program costs whatever the traffic (its 10 ms tick, the simulator's frames, the readers).
# Flying minus this is what the recording's traffic costs.
idle_recording="$here/build/bench-live-cpu-idle.rec"
# Its QNH lines, and the first of them again at the recording's last time, so that a loop of the
# replay lasts as long as one of the recording (a loop of lines all at time 0 would be a flood).
recording=${QUILLMARSH_RECORDING:-$here/tools/rtpeer/recordings/klax_20200617.rec}
{ grep ' qnh ' "$recording"
  printf '%s qnh %s\n' "$(awk '/^[0-9]/ {t = $1} END {print t}' "$recording")" "$(grep -m1 ' qnh ' "$recording" | cut -d' ' -f3-)"
} >"$idle_recording"
idle=$(QUILLMARSH_RECORDING="$idle_recording" measure "$here/build/bench-live-cpu-run-idle.log" 'RealTraffic connected' 20 --no-journal)
traffic=$(python3 -c "import sys; a, b = sys.argv[1:]; print('null' if 'null' in (a, b) else round(float(a) - float(b), 2))" "$off" "$idle")
printf '{"what":"CPU of the Quillmarsh.exe started here while replaying a recording","seconds":%s,"cpu_percent":%s,"cpu_percent_journal_off":%s,"cpu_percent_no_traffic_journal_off":%s,"traffic_cpu_percent_journal_off":%s,"aircraft_created":%s,"poses":%s,"flights_matched_journal_off":%s,"tool":"pidstat"}\n' \
  "$seconds" "$on" "$off" "$idle" "$traffic" "${created:-0}" "${poses:-0}" "${matched_off:-0}" | tee "$report"
