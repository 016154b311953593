#!/usr/bin/env bash
# Checks the reference documentation of an installed tree, as a library user
# finds it:
#   - doxygen over the installed headers (include/ebd) with every
#     missing-documentation warning on and warnings as errors (doc/Doxyfile);
#   - a section-3 manual page for every exported function (lib/ebd.def) and
#     the overview ebd(3), each rendering without a warning (man -l);
#   - the HTML reference and the example programs.
# Usage: scripts/check-docs.sh PREFIX   (the installed tree, for example DESTDIR/usr)
set -euo pipefail

if [ $# -ne 1 ] || [ ! -d "$1/include/ebd" ]; then
  echo "usage: $0 PREFIX (an installed tree with include/ebd)" >&2
  exit 64
fi
prefix=$(cd "$1" && pwd)
source_dir=$(cd "$(dirname "$0")/.." && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

fail() {
  echo "check-docs: $*" >&2
  exit 1
}

echo "== doxygen over the installed headers"
headers=$(find "$prefix/include/ebd" -name '*.h' | sort | tr '\n' ' ')
EBD_DOC_INPUT=$headers EBD_DOC_OUTPUT=$tmp/doxygen EBD_VERSION=check \
  doxygen "$source_dir/doc/Doxyfile" >"$tmp/doxygen.log" 2>&1 || {
  cat "$tmp/doxygen.log"
  fail "doxygen reports missing or broken documentation"
}
[ -f "$tmp/doxygen/html/index.html" ] || fail "doxygen wrote no HTML"

echo "== a manual page per exported function"
man3=$prefix/share/man/man3
functions=$(awk '$1 ~ /^[A-Za-z]/ && $1 != "LIBRARY" && $1 != "EXPORTS" {print $1}' "$source_dir/lib/ebd.def")
[ -n "$functions" ] || fail "no functions in lib/ebd.def"
count=0
for name in ebd $functions; do
  page=$man3/$name.3.gz
  [ -f "$page" ] || fail "no manual page for $name ($page)"
  warnings=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "$name.3: $warnings"
  rendered=$(LC_ALL=C.UTF-8 MANWIDTH=80 man -l "$page")
  for heading in NAME SYNOPSIS DESCRIPTION; do
    grep -q "^$heading" <<<"$rendered" || fail "$name.3 has no $heading"
  done
  if [ "$name" != ebd ]; then
    for heading in "RETURN VALUE" ERRORS BLOCKING THREADS "SEE ALSO"; do
      grep -q "^$heading" <<<"$rendered" || fail "$name.3 has no $heading"
    done
    grep -q "$name(" <<<"$rendered" || fail "$name.3 shows no synopsis of $name"
  fi
  count=$((count + 1))
done
# No page for something that is not exported.
for page in "$man3"/*.3.gz; do
  name=$(basename "$page" .3.gz)
  [ "$name" = ebd ] || grep -qx "$name" <<<"$functions" || fail "a manual page for $name, which is not exported"
done
echo "$count manual pages render"

echo "== HTML reference and examples"
docdir=$prefix/share/doc/libebd-dev
[ -f "$docdir/html/index.html" ] || fail "no HTML reference in $docdir/html"
for example in autostart_off.c nvram_user_item.c calibration.c Makefile README; do
  [ -f "$docdir/examples/$example" ] || fail "no example $example in $docdir/examples"
done
echo "== reference documentation checks passed"
