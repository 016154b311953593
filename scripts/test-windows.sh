#!/usr/bin/env bash
# The Windows stage: cross-builds libebd.dll, autostart-off.exe,
# disable-autostart.exe and the test programs with mingw-w64, runs the tests
# under Wine against module-sim, and makes the Windows package. Installs
# nothing (scripts/install-deps.sh does).
#
# Wine runs in a prefix of its own inside the build tree, never ~/.wine, with
# one persistent wineserver for the whole stage that is ended on every way
# out. COM1 to COM20 and COM41 of the prefix point at
# <build>/wine-ports/com<N>, where the tests' module-sim makes its links; the
# window tests draw on an Xvfb display of their own.
#
# EBD_WINDOWS_ARCH: x64 (64-bit, the default) or x86 (32-bit, run by Wine's
# 32-bit side in the same kind of prefix).
# EBD_WINDOWS_BUILD: the cross-build directory (build-win for x64, build-win32
# for x86); EBD_HOST_BUILD: a
# Linux build of this project whose module-sim and autostart-off the tests use
# (build-ci, made here when it is not there).
set -euo pipefail
cd "$(dirname "$0")/.."

arch=${EBD_WINDOWS_ARCH:-x64}
case "$arch" in
  x64) toolchain=cmake/mingw-w64.cmake default_build=build-win ;;
  x86) toolchain=cmake/mingw-w64-i686.cmake default_build=build-win32 ;;
  *) echo "EBD_WINDOWS_ARCH must be x64 or x86, not '$arch'" >&2; exit 64 ;;
esac
build=$(realpath -m "${EBD_WINDOWS_BUILD:-$default_build}")
host=$(realpath -m "${EBD_HOST_BUILD:-build-ci}")
jobs=$(nproc)
started=$(date +%s)
# A heading with the seconds the stage has taken so far.
step() { echo "== Windows $arch: $1 (at $(($(date +%s) - started)) s)"; }

step "module-sim and autostart-off for Linux, for the tests"
if [ ! -f "$host/CMakeCache.txt" ]; then
  cmake -S . -B "$host" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DEBD_GUI=OFF -DEBD_TESTS=OFF -DEBD_BENCH=OFF
fi
cmake --build "$host" -j"$jobs" --target module-sim autostart-off

step "cross-build (mingw-w64, warnings as errors)"
cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DEBD_WERROR=ON -DEBD_HOST_BUILD="$host"
cmake --build "$build" -j"$jobs"

step "Wine prefix"
export WINEPREFIX="$build/wineprefix"
export WINEDEBUG=-all
# No download of Wine's .NET and HTML engines, which nothing here uses.
export WINEDLLOVERRIDES="mscoree,mshtml="
ports="$build/wine-ports"
xvfb_pid=
finish() {
  # Every Wine process of this prefix, and the display, end with the stage.
  wineserver -k 2>/dev/null || true
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
  fi
}
trap finish EXIT

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  wineboot -i >/dev/null 2>&1
fi
# Windows' own fonts (fonts-wine) in the prefix's Fonts folder, where Wine
# looks for them first: without them "MS Sans Serif" falls back to a wider
# Linux face and the windows' captions no longer fit their controls.
wine_fonts=/usr/share/wine/fonts
[ -f "$wine_fonts/sserife.fon" ] || { echo "no $wine_fonts/sserife.fon: run scripts/install-deps.sh"; exit 1; }
cp -u "$wine_fonts"/* "$WINEPREFIX/drive_c/windows/Fonts/"
# Each port both as registry value (which gives it its device name in Windows'
# table of DOS devices) and as link in dosdevices (which the open follows).
mkdir -p "$ports"
registry="$build/wine-ports.reg"
{
  echo "REGEDIT4"
  echo
  echo "[HKEY_LOCAL_MACHINE\\Software\\Wine\\Ports]"
  for n in $(seq 1 20) 41; do echo "\"COM$n\"=\"${ports//\\/\\\\}/com$n\""; done
} >"$registry"
wine reg import "$registry" >/dev/null 2>&1
# No window manager runs on the stage's display: Wine draws the windows'
# frames itself instead of waiting up to two seconds for one at every hide.
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
for n in $(seq 1 20) 41; do ln -sfn "$ports/com$n" "$WINEPREFIX/dosdevices/com$n"; done
# Wine reads the port table when its server starts: start the one that keeps
# running for the stage now. It writes what it has to say to a log of its own.
wineserver -k 2>/dev/null || true
wineserver -w 2>/dev/null || true
wineserver -p >"$build/wineserver.log" 2>&1

step "display for the window tests"
display_file=$(mktemp)
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$display_file" >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do
  [ -s "$display_file" ] && break
  sleep 0.05
done
[ -s "$display_file" ] || { echo "Xvfb did not start"; exit 1; }
export DISPLAY=":$(head -n1 "$display_file")"
rm -f "$display_file"

# The first program of a server session starts Wine's own background
# programs, which keep the standard handles they inherit for as long as the
# server runs: start them here, on /dev/null, and not under a test whose
# output CTest waits for.
wine cmd /c exit >/dev/null 2>&1 </dev/null

step "tests under Wine"
(cd "$build" && ctest --output-on-failure -j"$jobs" --timeout 300)

step "package"
EBD_WINDOWS_ARCH="$arch" EBD_WINDOWS_BUILD="$build" bash scripts/package-windows.sh

echo "== Windows $arch stage took $(($(date +%s) - started)) s"
