#!/usr/bin/env bash
# Sets everything up, builds, and runs every test under Wine, then the native sanitizer tests of
# the core (scripts/native_test.sh; QM_NATIVE=0 skips them). Exits non-zero on any failure.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
export BUILD_DIR=${QM_BUILD_DIR:-$here/build}
bash "$here/scripts/build.sh"
# Every C++ file in the layout of .clang-format (the build's setup installs clang-format-14).
bash "$here/scripts/format_check.sh" --strict --all
source "$here/scripts/wine-env.sh"
trap qm_wine_stop EXIT
(cd "$BUILD_DIR" && ctest --output-on-failure -j "${QM_JOBS:-$(nproc)}" "$@")
qm_wine_stop
trap - EXIT
if [ "${QM_NATIVE:-1}" != 0 ]; then
  bash "$here/scripts/native_test.sh"
fi

# ---- Fuzzing (native clang build, no Wine): replays every kept fault input, then fuzzes each
# reader of untrusted bytes for a few seconds. QM_FUZZ_SECONDS=0 skips the step.
fuzz_seconds=${QM_FUZZ_SECONDS:-10}
if [ "$fuzz_seconds" != 0 ]; then
  echo "=== fuzz: ${fuzz_seconds} s per target"
  bash "$here/scripts/fuzz.sh" --seconds "$fuzz_seconds"
fi
