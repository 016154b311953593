#!/usr/bin/env bash
# Checks what a Windows release hands out beside the exports:
#
#   check-resources.sh OBJDUMP VERSION DEF IMPORT_LIB DLL CLI WINDOW
#
# ebd.lib (for Microsoft's linker) imports every function of the .def file
# from libebd.dll; the DLL and both programs carry version information with
# the project's version, the company and the licence; the programs carry the
# icon and a manifest (asInvoker; the window also the common controls 6 and
# per-monitor DPI awareness); every binary is of the build's architecture.
set -euo pipefail
objdump=$1 version=$2 def=$3 import_lib=$4 dll=$5 cli=$6 window=$7

failed=0
fail() {
  echo "$*"
  failed=1
}

format=$("$objdump" -f "$dll" | sed -n 's/.*file format //p')
case "$format" in
  pei-x86-64) prefix= ;;
  pei-i386) prefix=_ ;;  # 32-bit C functions are decorated with an underscore
  *) fail "$dll has the unknown format '$format'"; prefix= ;;
esac

# Pipes below end in grep -q, which stops reading early: under pipefail the
# writer's SIGPIPE would count as failure, so texts are taken whole first.
listed=$(sed -n '/^EXPORTS/,$p' "$def" | sed -e 's/;.*//' -e '/^EXPORTS/d' | awk 'NF {print $1}' | sort)
symbols=$(llvm-nm "$import_lib")
imported=$(echo "$symbols" | awk -v p="__imp_$prefix" '$2 == "T" && index($3, p) == 1 {print substr($3, length(p) + 1)}' |
  sort)
[ -n "$listed" ] || fail "no function listed in $def"
if [ "$listed" != "$imported" ]; then
  fail "$(basename "$import_lib") and $def differ (< def, > import library):"
  diff <(echo "$listed") <(echo "$imported") || true
fi
if ! grep -q '__IMPORT_DESCRIPTOR_libebd$' <<<"$symbols"; then
  fail "$(basename "$import_lib") does not import from libebd.dll"
fi

# The strings of the version information (UTF-16), each name followed by its value.
version_strings() { wrestool -x --raw -t 16 "$1" | strings -el -n 2; }
for file in "$dll" "$cli" "$window"; do
  name=$(basename "$file")
  file_format=$("$objdump" -f "$file" | sed -n 's/.*file format //p')
  [ "$file_format" = "$format" ] || fail "$name is $file_format, $(basename "$dll") is $format"
  strings=$(version_strings "$file")
  for wanted in FileVersion ProductVersion; do
    value=$(echo "$strings" | awk -v key="$wanted" 'found {print; exit} $0 == key {found = 1}')
    [ "$value" = "$version" ] || fail "$name: $wanted is '$value', not $version"
  done
  grep -qx "The ebd authors" <<<"$strings" || fail "$name: no CompanyName 'The ebd authors'"
  grep -q "MIT License" <<<"$strings" || fail "$name: the LegalCopyright names no MIT License"
  grep -qx "$name" <<<"$strings" || fail "$name: OriginalFilename is not $name"
done
for file in "$cli" "$window"; do
  name=$(basename "$file")
  [ -n "$(wrestool -l -t 14 "$file")" ] || fail "$name has no icon"
  manifest=$(wrestool -x --raw -t 24 -n 1 "$file")
  grep -q 'level="asInvoker"' <<<"$manifest" || fail "$name: the manifest does not run asInvoker"
done
manifest=$(wrestool -x --raw -t 24 -n 1 "$window")
grep -q 'name="Microsoft.Windows.Common-Controls" version="6.0.0.0"' <<<"$manifest" ||
  fail "$(basename "$window"): the manifest asks for no common controls 6"
grep -q '>PerMonitorV2' <<<"$manifest" || fail "$(basename "$window"): the manifest is not PerMonitorV2"
[ "$failed" = 0 ] && echo "$format: ebd.lib imports $(echo "$imported" | wc -l) functions; resources complete"
exit "$failed"
