#!/usr/bin/env bash
# Reproducibility of a release: scripts/release.sh twice on the same commit,
# into two folders, must give the same SHA256SUMS. By default the quick set
# (source tarball, Python wheel and sdist); EBD_RELEASE_FULL=1 checks every
# artifact (Debian packages and Windows ZIPs too: two whole release builds,
# a few minutes on two cores, against 10 seconds for the quick set).
# Each set is also checked against its own SHA256SUMS. The check runs on a
# clone of HEAD, so that changes not yet committed do not stop it.
set -euo pipefail
cd "$(dirname "$0")/.."

mode=(--sources-only)
[ "${EBD_RELEASE_FULL:-0}" = 1 ] && mode=()
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
started=$(date +%s)

git clone -q --shared . "$work/tree"
for run in first second; do
  bash "$work/tree/scripts/release.sh" "${mode[@]}" "$work/$run" >"$work/$run.log" 2>&1 ||
    { cat "$work/$run.log"; exit 1; }
  (cd "$work/$run" && sha256sum --quiet -c SHA256SUMS) || { echo "$run: SHA256SUMS does not match"; exit 1; }
done
if ! diff -u "$work/first/SHA256SUMS" "$work/second/SHA256SUMS"; then
  echo "two releases of the same commit differ"
  exit 1
fi
echo "== release: $(wc -l <"$work/first/SHA256SUMS") artifacts, the same in two runs ($(($(date +%s) - started)) s)"
