#!/usr/bin/env bash
# The wine set-up the Windows tests need; CTest runs it around the Windows
# test binary (`ctest --preset windows` alone is enough), scripts/test.sh too.
#   wine-prefix.sh start [--xvfb]  prepares WINEPREFIX and starts one wine
#                                  server; --xvfb: the tests get a virtual X
#                                  display of their own (xvfb-run)
#   wine-prefix.sh stop            stops that wine server
set -uo pipefail
: "${WINEPREFIX:=$HOME/.wine-vesk}"
export WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

case "${1:-}" in
  start)
    wineboot -i >/dev/null 2>&1 </dev/null || true
    # Under xvfb-run wine draws its windows on the virtual display, so its
    # null graphics driver (which makes no windows) must not be chosen.
    # Without any display, that driver at least lets wine start.
    if [ "${2:-}" = --xvfb ]; then
      wine reg delete 'HKCU\Software\Wine\Drivers' /v Graphics /f >/dev/null 2>&1 </dev/null || true
    elif [ -z "${DISPLAY:-}" ]; then
      wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1 </dev/null || true
    fi
    # A crash (some tests crash a child on purpose) ends the process at once
    # instead of starting wine's debugger.
    wine reg delete 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /f \
      >/dev/null 2>&1 </dev/null || true
    if [ "${2:-}" = --xvfb ]; then
      # The wine server and its desktop process must start under the tests'
      # display, so none is left running from here.
      wineserver -k >/dev/null 2>&1 </dev/null || true
    else
      # One persistent wine server for the whole run (it detaches by
      # itself), with its output away from CTest's pipes.
      wineserver -p >/dev/null 2>&1 </dev/null || true
    fi
    ;;
  stop)
    wineserver -k >/dev/null 2>&1 </dev/null || true
    ;;
  *)
    echo "usage: scripts/wine-prefix.sh start|stop" >&2
    exit 2
    ;;
esac
