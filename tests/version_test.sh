#!/usr/bin/env bash
# version_test.sh VERSION SOURCE_DIR PROGRAM...
# The project's one version (project() in CMakeLists.txt) is what every
# program's --version says and every copy kept as text in the tree; the
# Python package names none of its own (it reads CMakeLists.txt).
set -euo pipefail
version=$1 source=$2
shift 2
failed=0
expect() { [ "$2" = "$version" ] || { echo "$1 says '$2', not $version"; failed=1; }; }

for program in "$@"; do
  name=$(basename "$program")
  expect "$name --version" "$("$program" --version | sed -n "s/^$name //p")"
done
for page in "$source"/man/*.1; do
  expect "$(basename "$page")" "$(sed -n 's/^\.TH .*"ebd \([^"]*\)".*/\1/p' "$page")"
done
expect packaging/changelog "$(sed -n '1s/^ebd (\([^)]*\)).*/\1/p' "$source/packaging/changelog")"
expect "ebd.__version__" "$(sed -n 's/^__version__ = "\(.*\)"$/\1/p' "$source/python/src/ebd/__init__.py")"
expect CHANGELOG.md "$(sed -n 's/^## \([0-9][0-9.]*\).*/\1/p' "$source/CHANGELOG.md" | head -n1)"
! grep -q '^version *=' "$source/python/pyproject.toml" || { echo "pyproject.toml names a version"; failed=1; }
[ "$failed" = 0 ] && echo "version $version everywhere"
exit "$failed"
