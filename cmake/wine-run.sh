#!/usr/bin/env bash
# Runs a Windows program under Wine for CTest: wine-run.sh PREFIX PROGRAM [ARG]...
# The Wine prefix is PREFIX (inside the build tree) unless WINEPREFIX names
# another; a prefix that does not exist yet is made first.
set -euo pipefail
prefix=$1
shift
export WINEPREFIX=${WINEPREFIX:-$prefix}
export WINEDEBUG=${WINEDEBUG:--all}
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$(dirname "$WINEPREFIX")"
  # Two tests may start at once: one makes the prefix, the other waits.
  (
    flock 9
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
      WINEDLLOVERRIDES="mscoree,mshtml=" wineboot -i >/dev/null 2>&1
    fi
  ) 9>"$WINEPREFIX.lock"
fi
exec wine "$@"
