#!/usr/bin/env bash
# abi_test.sh BASELINE.abi SYMBOLS LIBRARY VERSION
# Against the ABI of 1.0 kept in the tree, no function of the library may be
# removed or changed (added ones are filtered out), and the Debian symbols
# file lists exactly the functions the library exports (-c4).
set -euo pipefail
baseline=$1 symbols=$(realpath "$2") library=$(realpath "$3") version=$4
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0

abidw --no-corpus-path --no-comp-dir-path --no-show-locs --exported-interfaces-only --type-id-style hash \
  --out-file "$work/current.abi" "$library"
abidiff --no-added-syms "$baseline" "$work/current.abi" >"$work/diff" 2>&1 ||
  { echo "$library breaks the ABI of $baseline:"; cat "$work/diff"; failed=1; }
(cd "$work" && dpkg-gensymbols -plibebd1 -v"$version" -I"$symbols" -e"$library" -O"$work/out" -c4 \
  >"$work/gensymbols" 2>&1) || { echo "$symbols and $library differ:"; cat "$work/gensymbols"; failed=1; }
[ "$failed" = 0 ] && echo "the ABI of $(basename "$baseline") is kept; $(basename "$symbols") is complete"
exit "$failed"
