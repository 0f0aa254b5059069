#!/usr/bin/env bash
# Installs everything the build and the tests need: Debian's packages, and the
# MCP client SDK from npm (into the untracked build folder).
set -euo pipefail

packages=(
  cmake ninja-build g++ clang-14 libclang-rt-14-dev python3
  nlohmann-json3-dev googletest libgtest-dev
  mingw-w64 g++-mingw-w64-x86-64-posix
  wine wine64
  zsh
  xvfb xauth
)

# Node.js and npm run the MCP client test; any Node.js from 18 on will do, so
# Debian's is taken only when there is none.
command -v node >/dev/null 2>&1 || packages+=(nodejs)
command -v npm >/dev/null 2>&1 || packages+=(npm)

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

# The official MCP TypeScript clients for the MCP client tests (the SDK 1.x
# and the 2.x client package), into the build folder (not tracked), at the
# versions that tests/mcp_client/package-lock.json fixes.
root="$(cd "$(dirname "$0")/.." && pwd)"
lock="$root/tests/mcp_client/package-lock.json"
sdk_dir="$root/build/mcp-client"
if cmp -s "$lock" "$sdk_dir/package-lock.json" && [ -d "$sdk_dir/node_modules" ]; then
  echo "setup: the MCP clients are installed"
else
  echo "setup: installing the MCP clients into $sdk_dir"
  mkdir -p "$sdk_dir"
  cp "$root/tests/mcp_client/package.json" "$lock" "$sdk_dir/"
  npm ci --prefix "$sdk_dir" --no-audit --no-fund --loglevel=error
fi
