#!/bin/sh
# The whole job in one command on a fresh Debian machine (run as root, or as a
# user when the packages are already there): install what is missing, build,
# start a simulated module on a pseudo-terminal, map COM1 to it and switch its
# autostart off -- in the window when a display is available, otherwise on the
# command line. Ends the simulated module it started, and nothing else.
set -eu

here=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$here/build-demo}

# ---- Packages ----------------------------------------------------------------
packages="build-essential cmake ninja-build"
gui=OFF
if [ -n "${DISPLAY:-}" ]; then
    packages="$packages qt6-base-dev"
    gui=ON
fi
missing=""
for package in $packages; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing="$missing $package"
    fi
done
if [ -n "$missing" ]; then
    if [ "$(id -u)" -ne 0 ]; then
        echo "demo: missing packages:$missing -- run this script as root (or: sudo $0)" >&2
        exit 1
    fi
    echo "demo: installing$missing"
    apt-get update
    DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends $missing
fi

# ---- Build -------------------------------------------------------------------
cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DEBD_GUI=$gui -DEBD_TESTS=OFF -DEBD_BENCH=OFF -DEBD_FUZZ=OFF
cmake --build "$build" --target autostart-off module-sim $( [ $gui = ON ] && echo disable-autostart )

# ---- A module on a pseudo-terminal ----------------------------------------------
# It switches itself on again a second after switching off, so that the window
# can be tried more than once.
devicefile=$(mktemp)
"$build/sim/module-sim" --power-on-after 1000 >"$devicefile" &
sim=$!
stop_sim() {
    kill "$sim" 2>/dev/null || true
    wait "$sim" 2>/dev/null || true
    rm -f "$devicefile"
}
trap stop_sim EXIT
trap 'exit 130' INT TERM

device=""
for _ in $(seq 50); do
    device=$(head -n 1 "$devicefile")
    [ -n "$device" ] && break
    sleep 0.1
done
if [ -z "$device" ]; then
    echo "demo: module-sim did not start" >&2
    exit 1
fi
export EBD_COM1="$device"
echo "demo: the simulated module is on $device; COM1 maps to it (EBD_COM1)"

# ---- The tool ----------------------------------------------------------------------
if [ $gui = ON ]; then
    echo "demo: in the window, choose \"COM 1\" and press \"Autostart Off\""
    if "$build/app/disable-autostart"; then
        exit 0
    fi
    echo "demo: the window could not be shown; using the command line" >&2
fi
"$build/app/autostart-off" --port 1
