#!/usr/bin/env bash
# Serves a simulated module on a pseudo-terminal while a command runs:
#
#   with-module-sim.sh MODULE_SIM LINK [MODULE-SIM OPTION]... -- COMMAND [ARG]...
#
# LINK is the path a COM port of the Wine prefix is mapped to; module-sim makes
# it a link to its pseudo-terminal. The module is stopped by its pid when the
# command ends, and the command's status is the script's.
set -euo pipefail
sim=$1
link=$2
shift 2
options=()
while [ $# -gt 0 ] && [ "$1" != "--" ]; do
  options+=("$1")
  shift
done
[ $# -gt 0 ] || { echo "with-module-sim.sh: no command after --" >&2; exit 2; }
shift

mkdir -p "$(dirname "$link")"
rm -f "$link"
"$sim" --link "$link" ${options[@]+"${options[@]}"} >/dev/null &
pid=$!
trap 'kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true' EXIT
for _ in $(seq 200); do
  [ -e "$link" ] && break
  kill -0 "$pid" 2>/dev/null || { echo "with-module-sim.sh: module-sim ended at start" >&2; exit 2; }
  sleep 0.02
done
[ -e "$link" ] || { echo "with-module-sim.sh: module-sim made no link $link" >&2; exit 2; }
"$@"
