# Sourced by the run and test scripts: a Wine prefix of this build, a display, and one
# persistent wineserver for the whole session (so each Windows process starts in milliseconds).
# Defines qm_wine_stop to end the wineserver and the Xvfb it may have started.
: "${BUILD_DIR:?BUILD_DIR must be set}"
export WINEPREFIX=${WINEPREFIX:-$BUILD_DIR/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
export WINEARCH=win64
QM_XVFB_PID=""
if [ -z "${DISPLAY:-}" ]; then
  for n in $(seq 90 140); do
    if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then
      # A full-HD screen: the main window at its default place (x 400) then lies on it whole,
      # so that a picture of it shows every band to its right edge.
      Xvfb ":$n" -screen 0 1920x1080x24 -nolisten tcp >/dev/null 2>&1 &
      QM_XVFB_PID=$!
      export DISPLAY=":$n"
      for _ in $(seq 1 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
      break
    fi
  done
fi
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "[wine] creating prefix $WINEPREFIX" >&2
  mkdir -p "$WINEPREFIX"
  wineboot -i >/dev/null 2>&1 || true
  wineserver -w
fi
wineserver -p >/dev/null 2>&1 || true
# Start Wine's own services now, with their output going nowhere: started later by a test,
# they would inherit its output pipe and keep the test runner waiting for ever.
wine cmd /c exit >/dev/null 2>&1 </dev/null || true
qm_wine_stop() {
  wineserver -k >/dev/null 2>&1 || true
  if [ -n "$QM_XVFB_PID" ]; then kill "$QM_XVFB_PID" >/dev/null 2>&1 || true; fi
}
