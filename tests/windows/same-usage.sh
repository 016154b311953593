#!/usr/bin/env bash
# Checks that autostart-off.exe has the options, texts and exit statuses of the
# Linux autostart-off:
#
#   same-usage.sh LINUX_PROGRAM WINDOWS_COMMAND...
#
# The usage text may differ in the default device of a port only.
set -uo pipefail
linux=$1
shift
failed=0

# Runs a program; prints its status, its standard output and its standard
# error, with Windows line ends made plain.
outcome() {
  local out err status
  out=$(mktemp) err=$(mktemp)
  "$@" >"$out" 2>"$err"
  status=$?
  printf 'status %s\n--- stdout\n%s\n--- stderr\n%s\n' "$status" "$(tr -d '\r' <"$out")" "$(tr -d '\r' <"$err")"
  rm -f "$out" "$err"
}

for arguments in "--help" "--version" "--bogus" "--port" "--port 33" "--port 3 --port 3" \
                 "--device /x --device /y" "--trace=1" "extra"; do
  # shellcheck disable=SC2086
  expected=$(outcome "$linux" $arguments | sed 's#/dev/ttyS<N-1>#\\\\.\\COM<N>#g')
  # shellcheck disable=SC2086
  got=$(outcome "$@" $arguments)
  if [ "$expected" != "$got" ]; then
    echo "autostart-off $arguments differs (< Linux, > Windows):"
    diff <(echo "$expected") <(echo "$got")
    failed=1
  fi
done
exit "$failed"
