#!/usr/bin/env bash
# Builds the fuzz targets of the native build and runs them: first every kept regression input
# (tests/fuzz/regressions/<target>/) once, then each target for N seconds on its corpus
# (build-native/fuzz-corpus/<target>/, seeded by tests/fuzz/make_seeds.sh). New faults are
# written to build-native/fuzz-artifacts/<target>/. Prints libFuzzer's closing lines and a
# summary table; exits non-zero when any target met a crash, leak, time-out or memory limit.
# Usage: scripts/fuzz.sh [--seconds N] [--jobs J] [target...]   (targets without "fuzz_")
set -uo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${QM_NATIVE_BUILD_DIR:-$here/build-native}
seconds=60
jobs=1
targets=()
while [ $# -gt 0 ]; do
  case "$1" in
    --seconds) seconds=$2; shift 2 ;;
    --jobs) jobs=$2; shift 2 ;;
    -h|--help) sed -n 2,8p "$0"; exit 0 ;;
    *) targets+=("${1#fuzz_}"); shift ;;
  esac
done
if [ ${#targets[@]} -eq 0 ]; then
  for f in "$here"/tests/fuzz/fuzz_*.cpp; do n=$(basename "$f" .cpp); targets+=("${n#fuzz_}"); done
fi

# Configure once; an existing configuration is reused as it stands.
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$here/native" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++-14 -DQM_FUZZ=ON \
        -DQM_SANITIZE=address >/dev/null || { echo "fuzz: native configuration failed" >&2; exit 2; }
fi
cmake --build "$build" --target "${targets[@]/#/fuzz_}" || { echo "fuzz: build failed" >&2; exit 2; }
bash "$here/tests/fuzz/make_seeds.sh" "$build/fuzz-corpus" >/dev/null

# Sanitizer reports end the run at the first fault; a leak is a fault too.
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
common=(-timeout=10 -rss_limit_mb=2048 -print_final_stats=1)
logs=$build/fuzz-logs
mkdir -p "$logs"
# The targets' working folders (one per process, below one folder per target), each target's
# emptied after it: runs of other targets at the same time keep theirs.
work_root=$build/fuzz-work
failed=0
rows=()

# The last value of a libFuzzer final statistic in a log ("stat::number_of_executed_units: 1234").
stat() { grep -a "^stat::$2:" "$1" | tail -n 1 | awk '{print $2}'; }

# How a run ended, from its exit status and log.
verdict() { # rc log
  local rc=$1 log=$2
  if [ "$rc" = 0 ]; then echo ok; return; fi
  if grep -aq 'ERROR: libFuzzer: timeout' "$log"; then echo timeout
  elif grep -aq 'out-of-memory' "$log"; then echo oom
  elif grep -aq 'LeakSanitizer' "$log"; then echo leak
  else echo crash; fi
}

for t in "${targets[@]}"; do
  bin=$build/fuzz/fuzz_$t
  if [ ! -x "$bin" ]; then echo "fuzz: $bin missing" >&2; rows+=("$t|-|-|-|missing"); failed=1; continue; fi
  artifacts=$build/fuzz-artifacts/$t/
  corpus=$build/fuzz-corpus/$t
  mkdir -p "$artifacts" "$corpus"
  dict=()
  [ -f "$here/tests/fuzz/$t.dict" ] && dict=(-dict="$here/tests/fuzz/$t.dict")

  # Every input that once broke a reader must still pass.
  regressions=$here/tests/fuzz/regressions/$t
  if [ -d "$regressions" ] && [ -n "$(ls -A "$regressions" 2>/dev/null)" ]; then
    if ! "$bin" "${common[@]}" -artifact_prefix="$artifacts" "$regressions"/* >"$logs/$t.regressions.log" 2>&1; then
      tail -n 30 "$logs/$t.regressions.log"
      rows+=("$t|-|-|-|regression")
      failed=1
      continue
    fi
  fi
  [ "$seconds" -gt 0 ] || { rows+=("$t|-|-|$(find "$corpus" -type f | wc -l)|replayed"); continue; }

  log=$logs/$t.log
  export QM_FUZZ_WORK_ROOT=$work_root/$t
  parallel=()
  [ "$jobs" -gt 1 ] && parallel=(-jobs="$jobs" -workers="$jobs")
  echo "=== fuzz_$t: ${seconds}s"
  "$bin" "${common[@]}" "${dict[@]}" "${parallel[@]}" -max_total_time="$seconds" -artifact_prefix="$artifacts" \
         "$corpus" >"$log" 2>&1
  rc=$?
  rm -rf "$QM_FUZZ_WORK_ROOT"
  unset QM_FUZZ_WORK_ROOT
  # With several jobs libFuzzer writes each job's output to fuzz-<n>.log in the working folder.
  [ "$jobs" -gt 1 ] && cat fuzz-*.log >>"$log" 2>/dev/null && rm -f fuzz-*.log
  # libFuzzer's own closing lines: the final statistics and any fault report.
  grep -aE '^(stat::|Done |SUMMARY|==[0-9]+==ERROR|artifact_prefix|Test unit written)' "$log" | tail -n 12
  result=$(verdict "$rc" "$log")
  [ "$result" = ok ] || { failed=1; grep -aA25 -m1 -E '==[0-9]+==ERROR|ERROR: libFuzzer' "$log"; }
  execs=$(stat "$log" number_of_executed_units)
  rate=$(stat "$log" average_exec_per_sec)
  rows+=("$t|${execs:-?}|${rate:-?}|$(find "$corpus" -type f | wc -l)|$result")
done

echo
printf '%-18s %12s %10s %8s  %s\n' target executions exec/s corpus result
for r in "${rows[@]}"; do
  IFS='|' read -r t e s c v <<<"$r"
  printf '%-18s %12s %10s %8s  %s\n' "$t" "$e" "$s" "$c" "$v"
done
exit $failed
