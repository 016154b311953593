#!/usr/bin/env bash
# The ABI of libebd.so.1 only grows: against the ABI of 1.0 kept in the tree,
# no function may be removed or changed (new ones are welcome), and the
# Debian symbols file lists exactly the functions the library exports.
# Usage: abi_test.sh BASELINE.abi SYMBOLS LIBRARY VERSION
set -euo pipefail
baseline=$1 symbols=$(realpath "$2") library=$(realpath "$3") version=$4

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

failed=0
abidw --no-corpus-path --no-comp-dir-path --no-show-locs --exported-interfaces-only --type-id-style hash \
  --out-file "$work/current.abi" "$library"
# Added functions are filtered out: every change that remains breaks callers.
if ! abidiff --no-added-syms "$baseline" "$work/current.abi" >"$work/diff" 2>&1; then
  echo "the ABI of $library breaks that of $baseline:"
  cat "$work/diff"
  failed=1
fi
# -c4: any function missing from the file or the library fails.
mkdir -p "$work/gensymbols"
if ! (cd "$work/gensymbols" && dpkg-gensymbols -plibebd1 -v"$version" -I"$symbols" -e"$library" \
  -O"$work/symbols" -c4 >"$work/gensymbols.log" 2>&1); then
  echo "$symbols and the exports of $library differ:"
  cat "$work/gensymbols.log"
  failed=1
fi
[ "$failed" = 0 ] && echo "the ABI of $(basename "$baseline") is kept; $symbols is complete"
exit "$failed"
