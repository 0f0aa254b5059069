#!/usr/bin/env bash
# Builds the Linux and the Windows targets and runs every test: natively, and
# the Windows build under wine. With --clang, also builds with clang++ 14
# under the address and undefined-behaviour sanitizers and runs every test
# there too. Each stage ends with the seconds it took.
set -euo pipefail
cd "$(dirname "$0")/.."

jobs=$(nproc)
clang=0
for arg in "$@"; do
  case "$arg" in
    --clang) clang=1 ;;
    *) echo "usage: scripts/test.sh [--clang]" >&2; exit 2 ;;
  esac
done

# Prints the seconds since the last stage began, then starts the next one.
stage_start=$SECONDS
stage() {
  if [ -n "${stage_name:-}" ]; then echo "== $stage_name: $((SECONDS - stage_start)) s"; fi
  stage_name="$1"
  stage_start=$SECONDS
  if [ -n "$1" ]; then echo "== $1"; fi
}

stage "Linux build"
cmake --preset linux >/dev/null
cmake --build --preset linux -j "$jobs"

# The Linux tests mostly wait on the programs they start, so they run beside
# the other builds; their output follows when they are done.
linux_log=$(mktemp)
linux_start=$SECONDS
ctest --preset linux -j "$jobs" >"$linux_log" 2>&1 &
linux_pid=$!
trap 'kill "$linux_pid" 2>/dev/null; rm -f "$linux_log"' EXIT

stage "Windows build"
cmake --preset windows >/dev/null
cmake --build --preset windows -j "$jobs"

if ((clang)); then
  stage "clang build"
  cmake --preset clang >/dev/null
  cmake --build --preset clang -j "$jobs"
fi

stage "Linux tests (the rest of them)"
linux_status=0
wait "$linux_pid" || linux_status=$?
cat "$linux_log"
echo "== Linux tests, beside the builds: $((SECONDS - linux_start)) s in all"
if ((linux_status)); then exit "$linux_status"; fi

# The fuzz targets of the clang build: about a minute in all
# (12 s each), from their checked-in seeds (scripts/fuzz.sh).
if ((clang)); then
  echo "== fuzzing"
  scripts/fuzz.sh 12
fi

if ((clang)); then
  stage "clang tests (sanitizers)"
  ctest --preset clang -j "$jobs"
fi

stage "Windows tests (wine)"
# The wine set-up (scripts/wine-prefix.sh) is a fixture of the Windows tests,
# which run under a virtual X display (Xvfb) where there is one.
ctest --preset windows
stage ""
