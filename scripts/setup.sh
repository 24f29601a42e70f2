#!/usr/bin/env bash
# Installs the build and test dependencies (Debian 12) and builds everything
# into build/. Safe to run again: installed packages are skipped, the build is
# incremental (ccache).
set -euo pipefail
cd "$(dirname "$0")/.."

PACKAGES=(build-essential cmake ninja-build ccache pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev xvfb xauth zip unzip p7zip-full
  zlib1g-dev libbz2-dev libcrypto++-dev libicu-dev qt6-base-dev libsqlite3-dev
  clang libclang-rt-14-dev)

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "== installing: ${missing[*]}"
  $SUDO apt-get update
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y "${missing[@]}"
fi

JOBS="${JOBS:-$(nproc)}"
if [ ! -f build/CMakeCache.txt ]; then
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDUZ_SANITIZE=ON
fi
cmake --build build -j "$JOBS"
