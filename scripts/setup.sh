#!/usr/bin/env bash
# Installs everything the build and the tests need: Debian's packages, and the
# MCP client SDK and the agent CLIs from npm (into the untracked build folder).
set -euo pipefail

packages=(
  cmake ninja-build g++ clang-14 libclang-rt-14-dev python3
  nlohmann-json3-dev googletest libgtest-dev
  libtomlplusplus-dev
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

# The MCP clients for the MCP client tests (the official TypeScript SDK 1.x,
# its 2.x client package, and the Codex CLI, a native program in its npm
# package), into the build folder (not tracked), at the versions that
# tests/mcp_client/package-lock.json fixes.
root="$(cd "$(dirname "$0")/.." && pwd)"

# npm_install <what> <package folder> <install folder> [npm command]: installs
# the folder's package.json and lock into the install folder, skipped when the
# lock there is the same.
npm_install() {
  local what="$1" src="$2" dir="$3"
  shift 3
  local command=("$@")
  ((${#command[@]})) || command=(ci)
  if cmp -s "$src/package-lock.json" "$dir/package-lock.json" && [ -d "$dir/node_modules" ]; then
    echo "setup: $what are installed"
  else
    echo "setup: installing $what into $dir"
    mkdir -p "$dir"
    cp "$src/package.json" "$src/package-lock.json" "$dir/"
    # A failed install must not pass for a finished one next time.
    npm "${command[@]}" --prefix "$dir" --no-audit --no-fund --loglevel=error ||
      { rm -f "$dir/package-lock.json"; return 1; }
  fi
}

npm_install "the MCP clients" "$root/tests/mcp_client" "$root/build/mcp-client"

# The agent CLIs that the connect test drives (tests/agent_clis), at the
# versions and hashes that its lock fixes. `npm install` rather than `npm ci`:
# the lock holds only the platform builds the registry served when it was
# made, and `npm ci` refuses a lock that lacks the others.
npm_install "the agent CLIs" "$root/tests/agent_clis" "$root/build/agent-clis" install --no-save
