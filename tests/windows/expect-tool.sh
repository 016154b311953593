#!/usr/bin/env bash
# Runs a command and checks its exit status and output:
#
#   expect-tool.sh [--status N] [--line TEXT]... [--line-match ERE]... [--lines N]
#                  [--stderr-has TEXT]... -- COMMAND [ARG]...
#
# --line: standard output holds TEXT as a whole line (the order of several is
# not checked); --line-match: a line of it matches the extended regular
# expression ERE; --lines: it has exactly N lines; --stderr-has: standard error
# holds TEXT somewhere. Line ends written by Windows programs (CR LF) are
# taken as plain line ends.
set -uo pipefail
status=0
lines=()
patterns=()
count=
stderr_has=()
while [ $# -gt 0 ] && [ "$1" != "--" ]; do
  case $1 in
    --status) status=$2; shift 2 ;;
    --line) lines+=("$2"); shift 2 ;;
    --line-match) patterns+=("$2"); shift 2 ;;
    --lines) count=$2; shift 2 ;;
    --stderr-has) stderr_has+=("$2"); shift 2 ;;
    *) echo "expect-tool.sh: unknown option $1" >&2; exit 2 ;;
  esac
done
shift

out=$(mktemp)
err=$(mktemp)
trap 'rm -f "$out" "$err"' EXIT
"$@" >"$out" 2>"$err"
got=$?
sed -i 's/\r$//' "$out" "$err"
failed=0
if [ "$got" != "$status" ]; then
  echo "exit status $got, expected $status"
  failed=1
fi
for line in ${lines[@]+"${lines[@]}"}; do
  grep -qxF -- "$line" "$out" || { echo "no line \"$line\" on standard output"; failed=1; }
done
for pattern in ${patterns[@]+"${patterns[@]}"}; do
  grep -qE -- "$pattern" "$out" || { echo "no line matches \"$pattern\" on standard output"; failed=1; }
done
if [ -n "$count" ] && [ "$(wc -l <"$out")" != "$count" ]; then
  echo "$(wc -l <"$out") lines on standard output, expected $count"
  failed=1
fi
for text in ${stderr_has[@]+"${stderr_has[@]}"}; do
  grep -qF -- "$text" "$err" || { echo "standard error lacks \"$text\""; failed=1; }
done
if [ "$failed" != 0 ]; then
  echo "--- standard output"; cat "$out"
  echo "--- standard error"; cat "$err"
  exit 1
fi
