#!/usr/bin/env bash
# Rebuilds the Debian packages CPack made so that the same files always give
# the same .deb: every file and folder gets the time SOURCE_DATE_EPOCH, and
# dpkg-deb writes them in sorted order, owned by root, with that time in the
# ar headers. The contents, modes and control files stay as they are.
# Usage: deb-normalize.sh FROM_DIR TO_DIR   (SOURCE_DATE_EPOCH must be set)
set -euo pipefail
from=$1 to=$2
: "${SOURCE_DATE_EPOCH:?SOURCE_DATE_EPOCH must be set}"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
found=0
for deb in "$from"/*.deb; do
  [ -e "$deb" ] || continue
  found=1
  tree="$work/$(basename "$deb" .deb)"
  dpkg-deb --raw-extract "$deb" "$tree"
  find "$tree" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
  dpkg-deb --root-owner-group -Zxz --build "$tree" "$to/$(basename "$deb")" >/dev/null
done
[ "$found" = 1 ] || { echo "deb-normalize: no .deb in $from" >&2; exit 1; }
