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

stage "Windows build"
cmake --preset windows >/dev/null
cmake --build --preset windows -j "$jobs"

if ((clang)); then
  stage "clang build"
  cmake --preset clang >/dev/null
  cmake --build --preset clang -j "$jobs"
fi

stage "Linux tests"
ctest --preset linux -j "$jobs"

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
