#!/usr/bin/env bash
# Builds the Windows-free core natively with clang and runs its tests under the sanitizers:
#   --asan  AddressSanitizer + UndefinedBehaviorSanitizer (build-native, with the fuzz harnesses)
#   --tsan  ThreadSanitizer, the tests that start threads only (build-native-tsan)
#   --all   both (the default)
# Prints one summary line per build; exits non-zero when any build or test fails.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
mode=${1:---all}
case "$mode" in
  --asan|--tsan|--all) ;;
  *) echo "usage: $0 [--asan|--tsan|--all]" >&2; exit 2 ;;
esac

bash "$here/scripts/setup.sh"

jobs=${QM_JOBS:-$(nproc)}
summaries=()
failed=0

# build-dir sanitizer extra-cmake-args...
run_build() {
  local dir=$1 sanitize=$2; shift 2
  local start=$SECONDS result=passed
  cmake -S "$here/native" -B "$dir" -G Ninja -DCMAKE_CXX_COMPILER=clang++-14 \
    -DQM_SANITIZE="$sanitize" "$@" >"$dir/configure.log" 2>&1 \
    || { tail -n 30 "$dir/configure.log"; result="configure failed"; }
  if [ "$result" = passed ]; then
    cmake --build "$dir" -j "$jobs" || result="build failed"
  fi
  if [ "$result" = passed ]; then
    # Stop at the first sanitizer report, with a stack that names files and lines.
    ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:halt_on_error=1 \
    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
      ctest --test-dir "$dir" --output-on-failure -j "$jobs" >"$dir/ctest.log" 2>&1 || result="tests failed"
    cat "$dir/ctest.log"
  fi
  local counts
  counts=$(grep -Eo '[0-9]+% tests passed, [0-9]+ tests failed out of [0-9]+' "$dir/ctest.log" 2>/dev/null || true)
  summaries+=("$sanitize: $result${counts:+ ($counts)} in $((SECONDS - start)) s")
  [ "$result" = passed ] || failed=1
}

mkdir -p "$here/build-native" "$here/build-native-tsan"
if [ "$mode" != --tsan ]; then
  # The fuzz harnesses share this instrumented build; scripts that run them reuse it.
  run_build "$here/build-native" address -DQM_FUZZ=ON
fi
if [ "$mode" != --asan ]; then
  run_build "$here/build-native-tsan" thread
fi

for line in "${summaries[@]}"; do echo "[native] $line"; done
exit "$failed"
