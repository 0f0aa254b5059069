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

# Test runs that mostly wait on the programs they start (the Linux tests,
# the Windows tests under wine) run beside the stages that compute; each
# one's output and seconds follow when it is waited for.
beside_names=()
beside_pids=()
beside_logs=()
beside() {
  local name=$1 start=$SECONDS log
  shift
  log=$(mktemp)
  ( status=0; "$@" || status=$?; echo "== $name (beside the other stages): $((SECONDS - start)) s"
    exit "$status" ) >"$log" 2>&1 &
  beside_names+=("$name")
  beside_pids+=($!)
  beside_logs+=("$log")
  echo "== $name: started beside the next stages"
}
# Waits for every run started beside; fails when one failed.
wait_beside() {
  local i status=0 s
  for i in "${!beside_pids[@]}"; do
    s=0
    wait "${beside_pids[i]}" || s=$?
    cat "${beside_logs[i]}"
    rm -f "${beside_logs[i]}"
    if ((s)); then echo "== ${beside_names[i]}: FAILED" >&2; status=$s; fi
  done
  beside_pids=()
  beside_logs=()
  beside_names=()
  return "$status"
}
trap 'for p in "${beside_pids[@]}"; do kill "$p" 2>/dev/null; done; rm -f "${beside_logs[@]}"' EXIT

stage "Linux build"
cmake --preset linux >/dev/null
cmake --build --preset linux -j "$jobs"
beside "Linux tests" ctest --preset linux -j "$jobs"

stage "Windows build"
cmake --preset windows >/dev/null
cmake --build --preset windows -j "$jobs"
# The wine set-up (scripts/wine-prefix.sh) is a fixture of the Windows tests,
# which run under a virtual X display (Xvfb) where there is one.
if ((clang)); then
  beside "Windows tests (wine)" ctest --preset windows
fi

if ((clang)); then
  stage "clang build"
  cmake --preset clang >/dev/null
  cmake --build --preset clang -j "$jobs"

  # The fuzz targets of the clang build: about a minute in all
  # (12 s each), from their checked-in seeds (scripts/fuzz.sh).
  stage "fuzzing"
  scripts/fuzz.sh 12

  stage "clang tests (sanitizers)"
  ctest --preset clang -j "$jobs"
else
  stage "Windows tests (wine)"
  ctest --preset windows
fi

stage "waiting for the tests run beside"
wait_beside
stage ""
