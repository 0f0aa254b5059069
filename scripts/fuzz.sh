#!/usr/bin/env bash
# Runs every fuzz target of the clang build (vesk_<name>_fuzz) one after
# another for the given number of seconds each (default 600), from its
# checked-in seeds in fuzz/corpus/<name>; new finds go to a scratch folder.
# Prints the executions of each target; fails on the first crash, leak,
# time-out (an input taking over 10 s) or memory blow-up, and keeps that
# target's log and the input that did it.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-600}
case "$seconds" in
  '' | *[!0-9]*) echo "usage: scripts/fuzz.sh [seconds per target]" >&2; exit 2 ;;
esac

cmake --preset clang >/dev/null
cmake --build --preset clang -j 2 >/dev/null

# The targets that edit files do it in the temporary folder: in memory
# where there is one.
if [ -d /dev/shm ] && [ -w /dev/shm ]; then export TMPDIR=/dev/shm; fi

found=0
for target in build/clang/bin/vesk_*_fuzz; do
  [ -x "$target" ] || continue
  found=1
  name=$(basename "$target")
  seeds="fuzz/corpus/${name#vesk_}"
  seeds="${seeds%_fuzz}"
  scratch=$(mktemp -d)
  mkdir "$scratch/finds"
  if "$target" -max_total_time="$seconds" -timeout=10 -artifact_prefix="$scratch/" \
      "$scratch/finds" "$seeds" >"$scratch/log" 2>&1; then
    runs=$(sed -n 's/^Done \([0-9]*\) runs.*/\1/p' "$scratch/log" | tail -n 1)
    echo "$name: ${runs:-?} executions in ${seconds} s, no crash, leak or time-out"
    rm -rf "$scratch"
  else
    tail -n 40 "$scratch/log" >&2
    echo "$name failed; its log and the input are in $scratch" >&2
    exit 1
  fi
done
if ((!found)); then
  echo "no fuzz targets: the clang build needs libFuzzer (Debian: libclang-rt-14-dev)" >&2
  exit 1
fi
