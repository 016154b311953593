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
  # The reference documentation from lib/ebd.h, and the ABI guard.
  doxygen abigail-tools
  # The Windows stages: the 64-bit and 32-bit cross-compilers with the posix
  # thread model, Wine to run the programs (wine32 for the 32-bit ones, from
  # the i386 architecture), Windows' fonts for the window, zip for the
  # packages.
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev
  g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686 mingw-w64-i686-dev
  wine wine64 wine32:i386 fonts-wine zip unzip
  # The programs' Windows icon from the SVG (scripts/make-icon.sh) and the check of
  # the resources in the Windows binaries.
  librsvg2-bin icoutils
)

# wine32 comes from the i386 architecture, which dpkg must know first.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
fi

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
