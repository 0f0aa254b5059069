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

# The fuzz targets, when the clang build made them: a short run each, from
# its own checked-in seeds, fuzz/corpus/<name> for vesk_<name>_fuzz (new
# finds go to a scratch folder).
if ((clang)); then
  for target in build/clang/bin/vesk_*_fuzz; do
    [ -x "$target" ] || continue
    name=$(basename "$target")
    seeds="fuzz/corpus/${name#vesk_}"
    seeds="${seeds%_fuzz}"
    echo "== fuzzing $name from $seeds"
    scratch=$(mktemp -d)
    mkdir "$scratch/finds"
    if "$target" -max_total_time=25 "$scratch/finds" "$seeds" >"$scratch/log" 2>&1; then
      tail -n 2 "$scratch/log"
      rm -rf "$scratch"
    else
      tail -n 40 "$scratch/log" >&2
      echo "fuzzing $name failed; the input is in the folder named above" >&2
      exit 1
    fi
  done
fi

if ((clang)); then
  stage "clang tests (sanitizers)"
  ctest --preset clang -j "$jobs"
fi

stage "Windows tests (wine)"
# The wine set-up (scripts/wine-prefix.sh) is a fixture of the Windows tests,
# which run under a virtual X display (xvfb-run) where there is one.
ctest --preset windows
stage ""
