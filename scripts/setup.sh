#!/usr/bin/env bash
# Installs everything the build and the tests need, from Debian's packages.
set -euo pipefail

packages=(
  cmake ninja-build g++ clang-14 python3
  nlohmann-json3-dev googletest
  mingw-w64 g++-mingw-w64-x86-64-posix
  wine wine64
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if ((${#missing[@]})); then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  echo "setup: installing ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
else
  echo "setup: everything is installed"
fi
