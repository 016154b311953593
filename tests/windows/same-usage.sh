#!/usr/bin/env bash
# Checks that autostart-off.exe has the options, texts and exit statuses of the
# Linux autostart-off:
#
#   same-usage.sh LINUX_PROGRAM WINDOWS_COMMAND...
#
# The usage text may differ in the default device of a port and in what the
# two system-bound options say: --device (by-id names exist on Linux only) and
# --list-ports (Linux also describes the serial devices it finds). Those two
# descriptions are left out of the comparison and checked for on their own.
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

# The usage text without the descriptions of --device and --list-ports.
common() {
  awk '/^  --(device|list-ports) /{skip=1; next} /^  --/{skip=0} !(skip && /^                   /)'
}

for arguments in "--help" "--version" "--bogus" "--port" "--port 33" "--port 3 --port 3" \
                 "--device /x --device /y" "--trace=1" "extra"; do
  # shellcheck disable=SC2086
  expected=$(outcome "$linux" $arguments | sed 's#/dev/ttyS<N-1>#\\\\.\\COM<N>#g' | common)
  # shellcheck disable=SC2086
  got=$(outcome "$@" $arguments | common)
  if [ "$expected" != "$got" ]; then
    echo "autostart-off $arguments differs (< Linux, > Windows):"
    diff <(echo "$expected") <(echo "$got")
    failed=1
  fi
done
# Windows names its own default device and says what its listing shows.
help=$(outcome "$@" --help)
for wanted in 'instead of EBD_COM<N> or \\.\COM<N>' '--list-ports     list COM1 to COM32 with their devices and whether each exists'; do
  if ! grep -qF -- "$wanted" <<<"$help"; then
    echo "autostart-off --help on Windows lacks: $wanted"
    failed=1
  fi
done
exit "$failed"
