#!/usr/bin/env bash
# The wine set-up the Windows tests need; CTest runs it around the Windows
# tests (`ctest --preset windows` alone is enough), and runs each test
# through it.
#   wine-prefix.sh start [--xvfb]  prepares WINEPREFIX and starts one wine
#                                  server; --xvfb: and a virtual X display
#                                  (Xvfb) of its own, for the tests' windows
#   wine-prefix.sh run <program> [args…]
#                                  runs a Windows program under wine, on
#                                  that display when there is one
#   wine-prefix.sh stop            stops that wine server and display
set -uo pipefail
: "${WINEPREFIX:=$HOME/.wine-vesk}"
export WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# The display that `start` began: "<display number> <Xvfb's process id>".
display_file="$WINEPREFIX/.vesk-xvfb"

# Starts Xvfb on the first free display from :90 and writes display_file.
start_xvfb() {
  local n pid
  for ((n = 90; n < 190; n++)); do
    [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
    setsid Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 </dev/null &
    pid=$!
    # Ready once its socket is there; gone when another run took the display.
    for _ in $(seq 100); do
      [ -e "/tmp/.X11-unix/X$n" ] && break
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.05
    done
    if kill -0 "$pid" 2>/dev/null && [ -e "/tmp/.X11-unix/X$n" ]; then
      echo "$n $pid" >"$display_file"
      export DISPLAY=":$n"
      return 0
    fi
  done
  echo "wine-prefix.sh: no virtual display could be started" >&2
  return 1
}

stop_xvfb() {
  local n pid
  if [ -f "$display_file" ] && read -r n pid <"$display_file"; then
    kill "$pid" 2>/dev/null || true
  fi
  rm -f "$display_file"
}

case "${1:-}" in
  start)
    mkdir -p "$WINEPREFIX"
    wineserver -k >/dev/null 2>&1 </dev/null || true
    stop_xvfb
    if [ "${2:-}" = --xvfb ]; then
      start_xvfb || exit 1
    fi
    # The wine server, and the desktop process that the first program
    # starts, run under the tests' display from here on.
    wineboot -i >/dev/null 2>&1 </dev/null || true
    # Under Xvfb wine draws its windows on the virtual display, so its null
    # graphics driver (which makes no windows) must not be chosen. Without
    # any display, that driver at least lets wine start.
    if [ "${2:-}" = --xvfb ]; then
      wine reg delete 'HKCU\Software\Wine\Drivers' /v Graphics /f >/dev/null 2>&1 </dev/null || true
    elif [ -z "${DISPLAY:-}" ]; then
      wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1 </dev/null || true
    fi
    # A crash (some tests crash a child on purpose) ends the process at once
    # instead of starting wine's debugger.
    wine reg delete 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /f \
      >/dev/null 2>&1 </dev/null || true
    # One persistent wine server for the whole run (it detaches by itself),
    # with its output away from CTest's pipes.
    wineserver -p >/dev/null 2>&1 </dev/null || true
    ;;
  run)
    shift
    if [ -f "$display_file" ] && read -r n _ <"$display_file"; then
      export DISPLAY=":$n"
    fi
    # The program's output goes to a file that tail follows until the
    # program ends: the headless conhost.exe that wine starts beside it
    # sometimes outlives it (with no process left in its console) and would
    # hold a pipe of ours open, and CTest waits for its pipes to close.
    out=$(mktemp "${TMPDIR:-/tmp}/vesk-wine-run.XXXXXX") || exit 1
    trap 'rm -f "$out"' EXIT
    wine "$@" <&0 >"$out" 2>&1 &
    pid=$!
    tail -s 0.05 -n +1 -f --pid="$pid" "$out"
    wait "$pid"
    ;;
  stop)
    wineserver -k >/dev/null 2>&1 </dev/null || true
    stop_xvfb
    ;;
  *)
    echo "usage: scripts/wine-prefix.sh start [--xvfb] | run <program> [args…] | stop" >&2
    exit 2
    ;;
esac
