#!/usr/bin/env bash
# The Python package's tests (python/tests) with Debian's python3 and pytest,
# against an existing build tree: module-sim on pseudo-terminals, the library
# through ctypes, and offline installs into fresh virtual environments.
# Builds nothing itself. Usage:
#   scripts/test-python.sh BUILD_DIR [pytest arguments...]
set -euo pipefail

if [ $# -lt 1 ] || [ ! -d "$1" ]; then
  echo "usage: $0 BUILD_DIR [pytest arguments...]" >&2
  exit 64
fi
# The build directory as given (relative to the caller's directory), then the
# repository's top.
build=$(cd "$1" && pwd)
shift
cd "$(dirname "$0")/.."
for part in lib/libebd.so sim/module-sim app/autostart-off; do
  if [ ! -e "$build/$part" ]; then
    echo "test-python: $build/$part is missing; build first" >&2
    exit 1
  fi
done

echo "== python package tests"
export EBD_BUILD_DIR="$build"
export EBD_LIBRARY="$build/lib/libebd.so"
export PIP_DISABLE_PIP_VERSION_CHECK=1 PIP_NO_INPUT=1
# No stale bytecode or cache in the tree, whichever Python ran before.
export PYTHONDONTWRITEBYTECODE=1
exec /usr/bin/python3 -m pytest -q -p no:cacheprovider python/tests "$@"
