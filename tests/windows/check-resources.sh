#!/usr/bin/env bash
# check-resources.sh OBJDUMP VERSION DEF IMPORT_LIB DLL CLI WINDOW
# ebd.lib imports every function of the .def file from libebd.dll; the DLL and
# both programs are of one architecture and carry version information (the
# project's version, company, MIT licence); the programs carry the icon and a
# manifest (asInvoker; the window also common controls 6 and PerMonitorV2).
# Texts are read whole before grep -q, whose early exit would fail a pipe.
set -euo pipefail
objdump=$1 version=$2 def=$3 import_lib=$4 dll=$5 cli=$6 window=$7
failed=0
fail() { echo "$*"; failed=1; }
format() { "$objdump" -f "$1" | sed -n 's/.*file format //p'; }

prefix=  # 32-bit C functions are decorated with an underscore
[ "$(format "$dll")" = pei-i386 ] && prefix=_
listed=$(sed -n '/^EXPORTS/,$p' "$def" | sed -e 's/;.*//' -e '/^EXPORTS/d' | awk 'NF {print $1}' | sort)
symbols=$(llvm-nm "$import_lib")
imported=$(awk -v p="__imp_$prefix" '$2 == "T" && index($3, p) == 1 {print substr($3, length(p) + 1)}' \
  <<<"$symbols" | sort)
[ -n "$listed" ] && [ "$listed" = "$imported" ] ||
  { fail "$def (<) and $import_lib (>) differ:"; diff <(echo "$listed") <(echo "$imported") || true; }
grep -q '__IMPORT_DESCRIPTOR_libebd$' <<<"$symbols" || fail "$import_lib does not import from libebd.dll"

for file in "$dll" "$cli" "$window"; do
  name=$(basename "$file")
  [ "$(format "$file")" = "$(format "$dll")" ] || fail "$name: $(format "$file"), not $(format "$dll")"
  strings=$(wrestool -x --raw -t 16 "$file" | strings -el -n 2)  # each name followed by its value
  for key in FileVersion ProductVersion; do
    value=$(awk -v key="$key" 'found {print; exit} $0 == key {found = 1}' <<<"$strings")
    [ "$value" = "$version" ] || fail "$name: $key is '$value', not $version"
  done
  grep -qx "The ebd authors" <<<"$strings" || fail "$name: no CompanyName 'The ebd authors'"
  grep -q "MIT License" <<<"$strings" || fail "$name: the LegalCopyright names no MIT License"
  grep -qx "$name" <<<"$strings" || fail "$name: OriginalFilename is not $name"
  [ "$file" = "$dll" ] && continue
  [ -n "$(wrestool -l -t 14 "$file")" ] || fail "$name has no icon"
  manifest=$(wrestool -x --raw -t 24 -n 1 "$file")
  grep -q 'level="asInvoker"' <<<"$manifest" || fail "$name: the manifest does not run asInvoker"
done
grep -q 'name="Microsoft.Windows.Common-Controls" version="6.0.0.0"' <<<"$manifest" &&
  grep -q '>PerMonitorV2' <<<"$manifest" || fail "$(basename "$window"): no common controls 6 or no PerMonitorV2"
[ "$failed" = 0 ] && echo "$(format "$dll"): ebd.lib imports $(wc -l <<<"$imported") functions; resources complete"
exit "$failed"
