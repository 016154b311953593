#!/usr/bin/env bash
# Builds every artifact of a release from the committed tree and writes them
# into OUTDIR:
#
#   ebd-<version>.tar.gz                  the sources (git archive of HEAD)
#   *.deb                                 libebd1, libebd-dev, ebd-tools, disable-autostart
#   ebd-windows-x64-<version>.zip         64-bit Windows
#   ebd-windows-x86-<version>.zip         32-bit Windows
#   python/ebd-<version>-py3-none-any.whl, python/ebd-<version>.tar.gz
#   ebd-reference-<version>.tar.gz        the HTML reference, when the build makes one
#   SHA256SUMS                            over every file, paths relative to OUTDIR
#
# Everything is built from the source tarball itself, unpacked in a work
# folder, so the tarball is known to build. The results are reproducible:
# SOURCE_DATE_EPOCH is the time of the last commit, archives have fixed times,
# owners and order, and the binaries carry no build paths or link times; two
# runs on the same commit give the same checksums.
#
# Usage: scripts/release.sh [--sources-only] OUTDIR
#   --sources-only: only the source tarball and the Python package (quick;
#                   scripts/test-release.sh uses it unless EBD_RELEASE_FULL=1).
# The tree must be committed (no changes, no untracked files).
set -euo pipefail
cd "$(dirname "$0")/.."
top=$PWD

sources_only=0
if [ "${1:-}" = "--sources-only" ]; then
  sources_only=1
  shift
fi
if [ $# -ne 1 ]; then
  echo "usage: $0 [--sources-only] OUTDIR" >&2
  exit 64
fi
if [ -n "$(git status --porcelain)" ]; then
  echo "release: the tree has uncommitted changes or untracked files; a release is made from a commit" >&2
  git status --short >&2
  exit 1
fi
mkdir -p "$1"
out=$(cd "$1" && pwd)
if [ -n "$(ls -A "$out")" ]; then
  echo "release: $out is not empty" >&2
  exit 1
fi

version=$(sed -n 's/^project(ebd VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[ -n "$version" ] || { echo "release: no version in CMakeLists.txt" >&2; exit 1; }
SOURCE_DATE_EPOCH=$(git log -1 --format=%ct)
export SOURCE_DATE_EPOCH
export TZ=UTC LC_ALL=C
jobs=$(nproc)
started=$(date +%s)
step() { echo "== release $version: $1 (at $(($(date +%s) - started)) s)"; }

work=$(mktemp -d "${TMPDIR:-/tmp}/ebd-release.XXXXXX")
trap 'rm -rf "$work"' EXIT
# No compiler cache: one that rewrites paths to relative ones (to find its
# results again in another work folder) changes the debug information, and
# with it the build id the linker computes, which stays in stripped binaries.

step "source tarball"
git archive --format=tar --prefix="ebd-$version/" HEAD | gzip -n -9 >"$out/ebd-$version.tar.gz"
tar -xzf "$out/ebd-$version.tar.gz" -C "$work"
src=$work/ebd-$version

step "Python package"
mkdir -p "$out/python"
(cd "$src/python" && python3 -c 'import sys; sys.path.insert(0, "build_backend"); import ebd_build
print(ebd_build.build_wheel(sys.argv[1])); print(ebd_build.build_sdist(sys.argv[1]))' "$out/python")

if [ "$sources_only" = 0 ]; then
  common=(-G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DEBD_WERROR=ON -DEBD_REPRODUCIBLE=ON -DEBD_TESTS=OFF
    -DEBD_BENCH=OFF)

  step "Linux build and Debian packages"
  # The programs are linked with the RUNPATH they are installed with: a
  # build-tree RUNPATH (the work folder) would be rewritten on install, but
  # the build id the linker computed over it would stay.
  cmake -S "$src" -B "$work/linux" "${common[@]}" -DCMAKE_INSTALL_PREFIX=/usr -DCMAKE_BUILD_WITH_INSTALL_RPATH=ON \
    >"$work/linux.log"
  cmake --build "$work/linux" -j"$jobs" >>"$work/linux.log" || { cat "$work/linux.log"; exit 1; }
  (cd "$work/linux" && cpack -B "$work/debs" >"$work/cpack.log") || { cat "$work/cpack.log"; exit 1; }
  bash "$src/scripts/deb-normalize.sh" "$work/debs" "$out"

  if [ -d "$work/linux/doc/reference/html" ]; then
    step "HTML reference"
    mkdir -p "$work/reference"
    cp -r "$work/linux/doc/reference/html" "$work/reference/ebd-reference-$version"
    tar --sort=name --mtime="@$SOURCE_DATE_EPOCH" --owner=0 --group=0 --numeric-owner --mode=go-w,a+rX \
      -C "$work/reference" -cf - "ebd-reference-$version" | gzip -n -9 >"$out/ebd-reference-$version.tar.gz"
  fi

  for arch in x64 x86; do
    step "Windows $arch"
    toolchain=cmake/mingw-w64.cmake
    [ "$arch" = x86 ] && toolchain=cmake/mingw-w64-i686.cmake
    cmake -S "$src" -B "$work/win-$arch" "${common[@]}" -DCMAKE_TOOLCHAIN_FILE="$src/$toolchain" \
      >"$work/win-$arch.log"
    EBD_WINDOWS_ARCH=$arch EBD_WINDOWS_BUILD="$work/win-$arch" bash "$src/scripts/package-windows.sh" \
      >>"$work/win-$arch.log" 2>&1 || { cat "$work/win-$arch.log"; exit 1; }
    cp "$work/win-$arch/ebd-windows-$arch-$version.zip" "$out/"
  done
fi

step "checksums"
(cd "$out" && find . -type f ! -name SHA256SUMS | sed 's|^\./||' | sort | xargs sha256sum >SHA256SUMS)
cat "$out/SHA256SUMS"
step "done in $out"
