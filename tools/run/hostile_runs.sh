#!/usr/bin/env bash
# Runs the program as scripts/run.sh does (stand-in simulator, recorded feed, local download site)
# once per hostile case, each in a network and mount namespace of its own, and prints one JSON
# line per case: seconds from the program's start to its first live aircraft in the stand-in's
# journal and to RealTraffic's first served line, live aircraft still moving in the last 20 s,
# whether Log.txt holds "SYSTEM ERROR", the largest file the program wrote below its own and its
# settings folder,
# Log.txt's size, the peak resident memory of the program's process and its close time.
#   tools/run/hostile_runs.sh [--seconds N] [case...]       (as root: namespaces, a read-only mount)
# Cases: baseline stall silent endless cut_dbase bomb_dbase readonly_settings byte_peers
# silent_peers hour_list (all when none is given). The build is made once, before the first case.
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
self=$(readlink -f "$0")
BUILD_DIR=${QM_BUILD_DIR:-$here/build}
stock_path=MSFS/archive/stock/KLAX.xml

# Called by run.sh: lays the case's bad site files and settings before the program starts, and
# its hostile peers before RealTraffic's peer starts.
hook() {
  local phase=$1 run_dir=$2
  case "$phase:$HOSTILE_CASE" in
    program:cut_dbase | program:bomb_dbase)
      for folder in MSFS MSFS2024; do cp "$run_dir/hostile.zip" "$run_dir/site/$folder/dbase.zip"; done ;;
    program:readonly_settings)
      mount --bind "$run_dir/appdata/Roaming/Quillmarsh" "$run_dir/appdata/Roaming/Quillmarsh"
      mount -o remount,ro,bind "$run_dir/appdata/Roaming/Quillmarsh" ;;
    program:hour_list)
      # One option with 100,000 slots, 20,000 of them beyond the day's 48.
      python3 - "$run_dir/site/$stock_path" <<'PY'
import re, sys
text = open(sys.argv[1], encoding="utf-8").read()
hours = ",".join(str(99 if n % 5 == 0 else n % 48) for n in range(100000)) + ","
open(sys.argv[1], "w", encoding="utf-8").write(re.sub(r'hh="[^"]*"', f'hh="{hours}"', text, count=1))
PY
      ;;
    peer:*) date +%s.%N >"$run_dir/program.started" ;;&
    peer:byte_peers)
      # Once RealTraffic is served: 50 connections that send one byte and close.
      setsid python3 - "$run_dir" >"$run_dir/peers.log" 2>&1 <<'PY' &
import os, socket, sys, time
log = os.path.join(sys.argv[1], "rtpeer.log")
for _ in range(1200):
    if os.path.exists(log) and "Qs121=" in open(log, errors="replace").read(): break
    time.sleep(0.1)
time.sleep(5)
for _ in range(50):
    with socket.create_connection(("127.0.0.1", 10747), timeout=5) as s: s.sendall(b"x")
    time.sleep(0.05)
print("50 one-byte connections at", time.time(), flush=True)
PY
      echo $! >"$run_dir/peers.pid" ;;
    peer:silent_peers)
      # 200 connections that say nothing, held open, before RealTraffic's peer starts.
      setsid python3 - >"$run_dir/peers.log" 2>&1 <<'PY' &
import socket, time
held = []
for _ in range(1200):
    try: held.append(socket.create_connection(("127.0.0.1", 10747), timeout=1)); break
    except OSError: time.sleep(0.1)
while len(held) < 200: held.append(socket.create_connection(("127.0.0.1", 10747), timeout=5))
print("200 silent connections open at", time.time(), flush=True)
time.sleep(3600)
PY
      echo $! >"$run_dir/peers.pid"
      for _ in $(seq 1 600); do grep -q "200 silent" "$run_dir/peers.log" 2>/dev/null && break; sleep 0.1; done ;;
  esac
}

# The bad data base of a case, made from the build's good one.
make_zip() {
  python3 - "$1" "$BUILD_DIR/data/dbase.zip" "$2" <<'PY'
import sys, zipfile
kind, good, out = sys.argv[1:4]
with zipfile.ZipFile(good) as z:
    name = z.namelist()[0]
    text = z.read(name)
with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED, compresslevel=9) as z:
    if kind == "cut_dbase":
        # Cut inside an attribute value half-way through.
        cut = text.index(b'="', len(text) // 2) + 3
        z.writestr(name, text[:cut])
    else:
        # Nearly 2 GiB of blanks behind the data base's first bytes: a few MB packed.
        with z.open(name, "w") as entry:
            entry.write(text[:200])
            block = b" " * (1 << 24)
            for _ in range(127): entry.write(block)
PY
}

one_case() {
  local case=$1 seconds=$2 run_dir=$BUILD_DIR/run out
  export HOSTILE_CASE=$case QUILLMARSH_RUN_HOOK=$self QUILLMARSH_SITE_ROUTES=""
  case "$case" in
    stall | endless) QUILLMARSH_SITE_ROUTES="--route $stock_path $case" ;;
    silent) QUILLMARSH_SITE_ROUTES="--route * silent" ;;
  esac
  # A new user: no folders of an earlier run.
  rm -rf "$run_dir/program" "$run_dir/appdata" "$run_dir/peers.pid" "$run_dir/peers.log" "$run_dir/program.started"
  mkdir -p "$run_dir"
  case "$case" in cut_dbase | bomb_dbase) make_zip "$case" "$run_dir/hostile.zip" ;; esac
  out=$run_dir/hostile_$case.out
  bash "$here/scripts/run.sh" --seconds "$seconds" >"$out" 2>&1 &
  local run=$! pid="" peak=0 rss
  while kill -0 "$run" 2>/dev/null; do
    [ -z "$pid" ] && [ -s "$run_dir/program.pid" ] && pid=$(cat "$run_dir/program.pid")
    if [ -n "$pid" ]; then
      # The kernel's own peak of the process (VmHWM), read while it lives.
      rss=$(awk '/^VmHWM:/ { print $2 }' "/proc/$pid/status" 2>/dev/null || echo 0)
      [ "${rss:-0}" -gt "$peak" ] && peak=$rss
    fi
    sleep 1
  done
  wait "$run" || true
  [ -s "$run_dir/peers.pid" ] && kill "$(cat "$run_dir/peers.pid")" 2>/dev/null || true
  # The case's logs stay for a look afterwards: the next case starts in fresh folders.
  mkdir -p "$BUILD_DIR/hostile/$case"
  cp "$out" "$run_dir/program/Log.txt" "$run_dir/site.log" "$run_dir/rtpeer.log" "$BUILD_DIR/hostile/$case/" 2>/dev/null || true
  python3 - "$case" "$run_dir" "$out" "$peak" <<'PY'
import json, os, re, sys
case, run_dir, out, peak_kb = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4])
def read(path):
    try: return open(path, encoding="utf-8", errors="replace").read()
    except OSError: return ""
started = float(read(os.path.join(run_dir, "program.started")) or "nan")
first_live, last_t, moving = None, None, {}
live = set()
for line in read(os.path.join(run_dir, "sim-journal.jsonl")).splitlines():
    try: e = json.loads(line)
    except ValueError: continue
    last_t = e.get("t", last_t)
    if e.get("kind") == "created" and not str(e.get("tail", "")).endswith("*"):
        live.add(e["object"])
        if first_live is None: first_live = e["t"]
    elif e.get("kind") == "pose" and e.get("object") in live:
        moving[e["object"]] = e["t"]
served = None
for line in read(os.path.join(run_dir, "rtpeer.log")).splitlines():
    if "Qs121=" in line: served = True; break
peer_lines = read(os.path.join(run_dir, "rtpeer.log")).count("Qs121=")
largest = (0, "")
for folder in ("program", "appdata"):
    for root, _, files in os.walk(os.path.join(run_dir, folder)):
        for name in files:
            path = os.path.join(root, name)
            # Only what the program wrote: the files the run laid there before it are older.
            try:
                if os.path.getmtime(path) >= started: largest = max(largest, (os.path.getsize(path), os.path.relpath(path, run_dir)))
            except OSError: pass
log = os.path.join(run_dir, "program", "Log.txt")
text = read(out)
closed = re.search(r"closed ([0-9.]+) s after", text)
code = re.search(r"ended with exit code (\d+)", text)
print(json.dumps({
    "case": case,
    "first_live_s": round(first_live - started, 1) if first_live else None,
    "live_created": len(live),
    "live_moving_last_20s": sum(1 for t in moving.values() if last_t is not None and t >= last_t - 20),
    "feed_lines_received": peer_lines,
    "system_error": "SYSTEM ERROR" in read(log),
    "largest_file_mb": round(largest[0] / 1e6, 2), "largest_file": largest[1],
    "log_mb": round(os.path.getsize(log) / 1e6, 2) if os.path.exists(log) else None,
    "peak_rss_mb": round(peak_kb / 1024, 1),
    "close_s": float(closed.group(1)) if closed else None,
    "exit_code": int(code.group(1)) if code else None}))
PY
}

if [ "${1:-}" = program ] || [ "${1:-}" = peer ]; then hook "$@"; exit 0; fi
if [ "${1:-}" = --one ]; then one_case "$2" "$3"; exit 0; fi
seconds=90
if [ "${1:-}" = --seconds ]; then seconds=$2; shift 2; fi
known=(baseline stall silent endless cut_dbase bomb_dbase readonly_settings byte_peers silent_peers hour_list)
cases=("$@")
[ ${#cases[@]} -gt 0 ] || cases=("${known[@]}")
# A misspelt case would run as the baseline under another name: refuse it before any build.
for case in "${cases[@]}"; do
  [[ " ${known[*]} " == *" $case "* ]] || { echo "hostile_runs: no case \"$case\" (cases: ${known[*]})" >&2; exit 2; }
done
bash "$here/scripts/build.sh" >/dev/null
for case in "${cases[@]}"; do
  unshare -n -m bash -c 'ip link set lo up; exec bash "$0" --one "$1" "$2"' "$self" "$case" "$seconds"
done
