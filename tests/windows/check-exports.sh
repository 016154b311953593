#!/usr/bin/env bash
# Checks what the Windows build hands out:
#
#   check-exports.sh OBJDUMP HEADER DEF DLL PROGRAM...
#
# The DLL exports exactly the operations the header declares, which are
# exactly those the .def file lists; the DLL and the programs import nothing
# but Windows' own DLLs (the programs also libebd.dll), so the static runtime
# leaves no DLL of the compiler to ship.
set -euo pipefail
objdump=$1 header=$2 def=$3 dll=$4
shift 4

declared=$(sed -e 's#/\*.*\*/##' "$header" | grep -v '^typedef' |
  grep -oE '^[A-Za-z_][A-Za-z0-9_ *]*[ *][A-Za-z_][A-Za-z0-9_]*\(' |
  sed -E 's/.*[ *]([A-Za-z_][A-Za-z0-9_]*)\($/\1/' | sort)
listed=$(sed -n '/^EXPORTS/,$p' "$def" | sed -e 's/;.*//' -e '/^EXPORTS/d' | awk 'NF {print $1}' | sort)
exported=$("$objdump" -p "$dll" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
  grep -E '^\s*\[ *[0-9]+\]' | grep -oE '[A-Za-z_][A-Za-z0-9_]*$' | sort)

failed=0
[ -n "$declared" ] || { echo "no operation found in $header"; failed=1; }
if [ "$declared" != "$listed" ]; then
  echo "$header and $def differ (< header, > def):"
  diff <(echo "$declared") <(echo "$listed") || true
  failed=1
fi
if [ "$declared" != "$exported" ]; then
  echo "$header and the exports of $dll differ (< header, > DLL):"
  diff <(echo "$declared") <(echo "$exported") || true
  failed=1
fi
echo "$(echo "$exported" | wc -l) operations exported"

system='^(kernel32|user32|gdi32|advapi32|comctl32|msvcrt)\.dll$'
for file in "$dll" "$@"; do
  allowed=$system
  [ "$file" = "$dll" ] || allowed='^(kernel32|user32|gdi32|advapi32|comctl32|msvcrt|libebd)\.dll$'
  while read -r name; do
    if ! echo "$name" | tr 'A-Z' 'a-z' | grep -qE "$allowed"; then
      echo "$(basename "$file") needs $name, which Windows does not have"
      failed=1
    fi
  done < <("$objdump" -p "$file" | sed -n 's/^[[:space:]]*DLL Name: //p')
done
exit "$failed"
