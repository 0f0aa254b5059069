#!/usr/bin/env bash
# Builds the Linux and the Windows targets and runs every test: natively, and
# the Windows build under wine. With --clang, also builds with clang++ 14.
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

echo "== Linux build"
cmake --preset linux >/dev/null
cmake --build --preset linux -j "$jobs"

echo "== Windows build"
cmake --preset windows >/dev/null
cmake --build --preset windows -j "$jobs"

if ((clang)); then
  echo "== clang build"
  cmake --preset clang >/dev/null
  cmake --build --preset clang -j "$jobs"
fi

echo "== Linux tests"
ctest --preset linux -j "$jobs"

# The fuzz targets of the clang build: about a minute in all
# (12 s each), from their checked-in seeds (scripts/fuzz.sh).
if ((clang)); then
  echo "== fuzzing"
  scripts/fuzz.sh 12
fi

echo "== Windows tests (wine)"
# The wine set-up (scripts/wine-prefix.sh) is a fixture of the Windows tests.
ctest --preset windows
