#!/usr/bin/env bash
# Sets up the machine (once) and builds Quillmarsh and its tests into build/ (or $QM_BUILD_DIR).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
BUILD_DIR=${QM_BUILD_DIR:-$here/build}
bash "$here/scripts/setup.sh"
DEPS=${QUILLMARSH_DEPS_ROOT:-/var/cache/quillmarsh-deps}/current
# QM_WERROR=ON (as CI sets it) makes every compiler warning an error.
WERROR=${QM_WERROR:-OFF}
if [ ! -f "$BUILD_DIR/CMakeCache.txt" ]; then
  cmake -S "$here" -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQM_WERROR="$WERROR" \
    -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-w64-x86_64.cmake" -DCMAKE_PREFIX_PATH="$(readlink -f "$DEPS")" >/dev/null
elif ! grep -qx "QM_WERROR:BOOL=$WERROR" "$BUILD_DIR/CMakeCache.txt"; then
  cmake -S "$here" -B "$BUILD_DIR" -DQM_WERROR="$WERROR" >/dev/null
fi
cmake --build "$BUILD_DIR" -j "${QM_JOBS:-$(nproc)}"
