#!/usr/bin/env bash
# Each manual page says what its program's --help says: the entries of the help
# (an option or an exit status with its text) are exactly the entries of the
# page's OPTIONS and EXIT STATUS sections, as man renders them.
# Usage: man_help_test.sh MAN_DIR PROGRAM...
set -euo pipefail

if ! command -v man >/dev/null; then
  echo "man is not installed: nothing to compare with"
  exit 77
fi
man_dir=$1
shift

# "  --port N   text" starts an entry, more deeply indented lines continue it.
help_entries() {
  awk '
    function flush() { if (entry != "") print entry; entry = "" }
    /^  [^ ]/ { flush(); entry = $0; next }
    /^   / && entry != "" { entry = entry " " $0; next }
    { flush() }
    END { flush() }'
}

# In the rendered page, an entry starts at the section indent (7 columns) and
# continues at the paragraph indent (14 columns); other sections are skipped.
page_entries() {
  awk '
    function flush() { if (entry != "") print entry; entry = "" }
    /^[^ ]/ { flush(); wanted = ($0 == "OPTIONS" || $0 == "EXIT STATUS"); next }
    !wanted { next }
    /^       [^ ]/ { flush(); entry = $0; next }
    /^              / && entry != "" { entry = entry " " $0; next }
    { flush() }
    END { flush() }'
}

normalise() {
  sed -e 's/[[:space:]]\+/ /g' -e 's/^ //' -e 's/ $//' | LC_ALL=C sort
}

failed=0
for program in "$@"; do
  name=$(basename "$program")
  page=$man_dir/$name.1
  from_help=$("$program" --help | help_entries | normalise)
  from_page=$(LC_ALL=C MANWIDTH=1000 man -l "$page" 2>/dev/null | page_entries | normalise)
  if [ -z "$from_help" ]; then
    echo "$name: --help has no entries"
    failed=1
  elif [ "$from_help" != "$from_page" ]; then
    echo "$name: --help (<) and $page (>) differ:"
    diff <(echo "$from_help") <(echo "$from_page") || true
    failed=1
  else
    echo "$name: $(echo "$from_help" | wc -l) entries agree"
  fi
done
exit "$failed"
