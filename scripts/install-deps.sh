#!/usr/bin/env bash
# Installs what building and testing need on a fresh Debian machine (run as root).
# Packages that are already there are left alone, and apt is asked only when
# something is missing.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  clang libclang-rt-dev llvm
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  qt6-base-dev libgl-dev xvfb xauth
  procps
  python3 python3-pytest python3-venv binutils
  lintian desktop-file-utils man-db dpkg-dev file
  # The Windows stage: the 64-bit cross-compilers with the posix thread model
  # only (not the whole mingw-w64 set with its 32-bit compilers), Wine to run
  # the programs (64-bit only), zip for the package.
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev
  wine wine64 zip unzip
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ "${#missing[@]}" -gt 0 ]; then
  echo "installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
