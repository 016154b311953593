#!/usr/bin/env bash
# The one version of the project (project() in CMakeLists.txt) is the one that
# every program, manual page and package says; the copies kept as text in the
# tree are checked here, the others are generated from it.
# Usage: version_test.sh VERSION SOURCE_DIR PROGRAM...
set -euo pipefail
version=$1 source=$2
shift 2

failed=0
# expect WHAT ACTUAL: ACTUAL must be exactly the project's version.
expect() {
  if [ "$2" != "$version" ]; then
    echo "$1 says '$2', not $version"
    failed=1
  fi
}

for program in "$@"; do
  name=$(basename "$program")
  expect "$name --version" "$("$program" --version | sed -n "s/^$name //p")"
done
for page in "$source"/man/*.1; do
  expect "$(basename "$page")" "$(sed -n 's/^\.TH .*"ebd \([^"]*\)".*/\1/p' "$page")"
done
expect packaging/changelog "$(sed -n '1s/^ebd (\([^)]*\)).*/\1/p' "$source/packaging/changelog")"
expect "python/src/ebd/__init__.py" \
  "$(sed -n 's/^__version__ = "\(.*\)"$/\1/p' "$source/python/src/ebd/__init__.py")"
expect CHANGELOG.md "$(sed -n 's/^## \([0-9][0-9.]*\).*/\1/p' "$source/CHANGELOG.md" | head -n1)"
# Python's package takes the version from CMakeLists.txt: it names none itself.
if grep -q '^version *=' "$source/python/pyproject.toml"; then
  echo "python/pyproject.toml names a version of its own"
  failed=1
fi
[ "$failed" = 0 ] && echo "version $version everywhere"
exit "$failed"
