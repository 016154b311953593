#!/usr/bin/env bash
# Installs a build as a user and a packager would, and checks the result:
#   - `cmake --install` into a temporary DESTDIR (prefix /usr) and to a
#     prefix of its own: layout, SONAME and version links, RUNPATH;
#   - the public header on its own in C99 and C++;
#   - a C consumer built through pkg-config and one through find_package(ebd),
#     each run for a call that needs no module and for a session against
#     module-sim on a pseudo-terminal;
#   - the reference documentation (scripts/check-docs.sh: doxygen over the
#     installed headers, a section-3 page per exported function) and the
#     example programs, built through pkg-config and run against module-sim;
#   - the desktop entry (desktop-file-validate) and every manual page (man -l);
#   - the Debian packages (cpack): lintian without errors, contents and
#     dependencies, autostart-off --help from the unpacked packages.
# Usage: scripts/test-install.sh BUILD_DIR
set -euo pipefail

if [ $# -ne 1 ] || [ ! -f "$1/CMakeCache.txt" ]; then
  echo "usage: $0 BUILD_DIR (a configured and built build directory)" >&2
  exit 64
fi
build=$(cd "$1" && pwd)
source_dir=$(cd "$(dirname "$0")/.." && pwd)

tmp=$(mktemp -d)
sim_pid=
# Ends module-sim by its pid: SIGTERM, and SIGKILL if it has not ended within
# five seconds. Its exit status, 137 when it had to be killed.
end_sim() {
  kill -TERM "$sim_pid" 2>/dev/null || true
  for _ in $(seq 50); do
    kill -0 "$sim_pid" 2>/dev/null || break
    sleep 0.1
  done
  kill -KILL "$sim_pid" 2>/dev/null || true
  local status=0
  wait "$sim_pid" 2>/dev/null || status=$?
  sim_pid=
  return "$status"
}
cleanup() {
  if [ -n "$sim_pid" ]; then end_sim || true; fi
  rm -rf "$tmp"
}
trap cleanup EXIT
# Far beyond the longest session; only a stuck program reaches it.
bounded() { timeout --kill-after=5 120 "$@"; }

fail() {
  echo "test-install: $*" >&2
  exit 1
}

# module-sim from the installed tree, serving on a pseudo-terminal that
# $tmp/module links to; its pid is kept so that exactly it is ended.
start_sim() {
  "$destdir/usr/bin/module-sim" --link "$tmp/module" >"$tmp/sim.out" 2>"$tmp/sim.err" &
  sim_pid=$!
  for _ in $(seq 50); do
    [ -s "$tmp/sim.out" ] && [ -L "$tmp/module" ] && return 0
    kill -0 "$sim_pid" 2>/dev/null || break
    sleep 0.1
  done
  cat "$tmp/sim.err" >&2
  fail "module-sim did not start"
}
stop_sim() {
  end_sim || fail "module-sim ended with status $?"
}

# ---- cmake --install into DESTDIR ---------------------------------------------------
echo "== cmake --install into a DESTDIR"
destdir=$tmp/destdir
DESTDIR=$destdir cmake --install "$build" --prefix /usr >"$tmp/install.log"
libdir=$(dirname "$(find "$destdir/usr/lib" -name libebd.so -print -quit)")
[ -n "$libdir" ] && [ "$libdir" != . ] || fail "no libebd.so installed"
rel_libdir=${libdir#"$destdir"/usr/}

for file in bin/autostart-off bin/module-sim include/ebd/ebd.h include/ebd/ebd_errors.h "$rel_libdir/pkgconfig/ebd.pc" \
  "$rel_libdir/cmake/ebd/ebdConfig.cmake" "$rel_libdir/cmake/ebd/ebdConfigVersion.cmake" \
  "$rel_libdir/cmake/ebd/ebdTargets.cmake" share/man/man1/autostart-off.1.gz share/man/man1/module-sim.1.gz; do
  [ -e "$destdir/usr/$file" ] || fail "missing after install: /usr/$file"
done
# libebd.so -> libebd.so.N -> libebd.so.N.M, and the SONAME is libebd.so.N.
soname=$(readelf -d "$libdir/libebd.so" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')
[ -n "$soname" ] || fail "libebd.so has no SONAME"
[ "$(readlink "$libdir/libebd.so")" = "$soname" ] || fail "libebd.so does not link to $soname"
real=$(readlink "$libdir/$soname")
[[ "$real" == "$soname".* ]] && [ -f "$libdir/$real" ] || fail "$soname does not link to a versioned file"
echo "libebd: SONAME $soname, file $real"
# Nothing of the tests, fuzzers, benchmarks or static internals.
if find "$destdir" \( -name 'test_*' -o -name 'fuzz_*' -o -name '*bench*' -o -name '*.a' \
  -o -name 'ebd_intern.h' -o -name 'module_double.h' \) | grep .; then
  fail "internals were installed"
fi
# Only the C interface is exported.
exported=$(nm -D --defined-only "$libdir/$real" | awk '{print $3}' |
  grep -v -E '^(W[A-Za-z]+|SaveLibrarySettings|LoadLibrarySettings)$' || true)
[ -z "$exported" ] || fail "libebd exports internals: $exported"

bash "$source_dir/scripts/check-docs.sh" "$destdir/usr"

echo "== the public header on its own"
printf '#include <ebd/ebd.h>\n' >"$tmp/header.c"
cc -std=c99 -Wall -Wextra -Werror -pedantic -I"$destdir/usr/include" -c "$tmp/header.c" -o "$tmp/header.o"
c++ -std=c++11 -Wall -Wextra -Werror -pedantic -x c++ -I"$destdir/usr/include" -c "$tmp/header.c" \
  -o "$tmp/header_cxx.o"

echo "== consumer through pkg-config"
export PKG_CONFIG_SYSROOT_DIR=$destdir PKG_CONFIG_LIBDIR=$libdir/pkgconfig
[ "$(pkg-config --modversion ebd)" = "$(sed -n 's/^Version: //p' "$libdir/pkgconfig/ebd.pc")" ] ||
  fail "pkg-config does not find ebd in the installed tree"
# shellcheck disable=SC2046 # the flags are words
cc -std=c99 -Wall -Wextra -Werror -pedantic "$source_dir/tests/install/consumer.c" \
  $(pkg-config --cflags --libs ebd) -o "$tmp/consumer-pkgconfig"
# The example programs as the development package ships them.
examples_dir=$destdir/usr/share/doc/libebd-dev/examples
examples="nvram_user_item calibration autostart_off"
for example in $examples; do
  # shellcheck disable=SC2046 # the flags are words
  cc -std=c99 -Wall -Wextra -Werror -pedantic "$examples_dir/$example.c" $(pkg-config --cflags --libs ebd) \
    -o "$tmp/example-$example"
done
unset PKG_CONFIG_SYSROOT_DIR PKG_CONFIG_LIBDIR

echo "== consumer through find_package(ebd)"
cmake -S "$source_dir/tests/install" -B "$tmp/consumer-cmake" -DCMAKE_PREFIX_PATH="$destdir/usr" \
  -DCMAKE_BUILD_TYPE=Release >"$tmp/consumer-cmake.log" || {
  cat "$tmp/consumer-cmake.log"
  fail "the CMake consumer does not configure"
}
cmake --build "$tmp/consumer-cmake" >>"$tmp/consumer-cmake.log" || {
  cat "$tmp/consumer-cmake.log"
  fail "the CMake consumer does not build"
}

for consumer in "$tmp/consumer-pkgconfig" "$tmp/consumer-cmake/consumer"; do
  echo "-- $consumer"
  EBD_SETTINGS_FILE=$tmp/settings.conf LD_LIBRARY_PATH=$libdir bounded "$consumer" settings
  grep -q '"ComPort"=hex:03' "$tmp/settings.conf" || fail "the settings file holds no port 3"
  rm -f "$tmp/settings.conf"
  start_sim
  EBD_COM5=$tmp/module LD_LIBRARY_PATH=$libdir bounded "$consumer" session 5
  stop_sim
done

echo "== examples against module-sim on COM1, with no arguments"
mkdir -p "$tmp/state"
for example in $examples; do
  echo "-- $example"
  start_sim
  EBD_COM1=$tmp/module EBD_STATE_DIR=$tmp/state LD_LIBRARY_PATH=$libdir bounded "$tmp/example-$example" ||
    fail "example $example ended with status $?"
  stop_sim
done
# No module behind the port: the workflow's outcome "Cannot connect to Module".
status=0
out=$(EBD_COM1=$tmp/nothing-here LD_LIBRARY_PATH=$libdir bounded "$tmp/example-autostart_off" 2>/dev/null) ||
  status=$?
[ "$status" = 2 ] && [ "$out" = "Cannot connect to Module" ] ||
  fail "autostart_off without a module: status $status, $out"

echo "== installed autostart-off against module-sim"
start_sim
out=$(EBD_COM1=$tmp/module bounded "$destdir/usr/bin/autostart-off" --port 1)
[ "$out" = "Autostart successfully switched off" ] || fail "autostart-off said: $out"
stop_sim

echo "== cmake --install to a prefix of its own"
prefix=$tmp/opt/ebd
cmake --install "$build" --prefix "$prefix" >>"$tmp/install.log"
# The programs find the library next to them, without the loader's help.
env -u LD_LIBRARY_PATH "$prefix/bin/autostart-off" --version >/dev/null
[ "$(PKG_CONFIG_PATH=$prefix/$rel_libdir/pkgconfig pkg-config --variable=prefix ebd)" = "$prefix" ] ||
  fail "ebd.pc does not name the prefix $prefix"

echo "== desktop entry and manual pages"
desktop=$destdir/usr/share/applications/disable-autostart.desktop
if [ -e "$destdir/usr/bin/disable-autostart" ]; then
  [ -e "$desktop" ] || fail "no desktop entry"
  desktop-file-validate "$desktop"
  icon=$(sed -n 's/^Icon=//p' "$desktop")
  [ -e "$destdir/usr/share/icons/hicolor/scalable/apps/$icon.svg" ] || fail "no icon $icon.svg"
fi
for page in "$destdir"/usr/share/man/man1/*.1.gz; do
  warnings=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "$(basename "$page"): $warnings"
  LC_ALL=C.UTF-8 MANWIDTH=80 man -l "$page" | grep -q '^EXIT STATUS' || fail "$(basename "$page") does not render"
  echo "$(basename "$page"): $(LC_ALL=C.UTF-8 MANWIDTH=80 man -l "$page" | wc -l) lines"
done

echo "== Debian packages"
debs=$tmp/debs
cpack --config "$build/CPackConfig.cmake" -B "$debs" >"$tmp/cpack.log" 2>&1 || {
  cat "$tmp/cpack.log"
  fail "cpack failed"
}
deb() { find "$debs" -maxdepth 1 -name "$1_*.deb" -print -quit; }
runtime=$(deb "libebd$(sed -n 's/^libebd\.so\.//p' <<<"$soname")")
dev=$(deb libebd-dev)
tools=$(deb ebd-tools)
window=$(deb disable-autostart)
for package in "$runtime" "$dev" "$tools"; do
  [ -n "$package" ] || fail "a package is missing: $(ls "$debs")"
done

# Contents: each package has its own files, and none has tests or internals.
contents() { dpkg-deb -c "$1" | awk '{print $6}' | sed -e 's|^\./|/|' -e 's|/$||'; }
# grep reads the whole listing (no -q): an early exit would break the pipe of
# dpkg-deb, and pipefail would count that as a miss.
expect() { contents "$1" | grep -x -- "$2" >/dev/null || fail "$(basename "$1") lacks $2"; }
refuse() { if contents "$1" | grep -E -- "$2"; then fail "$(basename "$1") holds $2"; fi; }
expect "$runtime" "/usr/$rel_libdir/$soname"
expect "$runtime" "/usr/$rel_libdir/$real"
refuse "$runtime" 'libebd\.so$|/include/|/bin/'
expect "$dev" "/usr/$rel_libdir/libebd.so"
expect "$dev" /usr/include/ebd/ebd.h
expect "$dev" /usr/include/ebd/ebd_errors.h
expect "$dev" "/usr/$rel_libdir/pkgconfig/ebd.pc"
expect "$dev" "/usr/$rel_libdir/cmake/ebd/ebdConfig.cmake"
refuse "$dev" "$real|/bin/"
# The reference and the examples come with the development files.
expect "$dev" /usr/share/man/man3/ebd.3.gz
for name in $(awk '$1 ~ /^[A-Za-z]/ && $1 != "LIBRARY" && $1 != "EXPORTS" {print $1}' "$source_dir/lib/ebd.def"); do
  expect "$dev" "/usr/share/man/man3/$name.3.gz"
done
expect "$dev" /usr/share/doc/libebd-dev/html/index.html
for example in $examples; do expect "$dev" "/usr/share/doc/libebd-dev/examples/$example.c"; done
expect "$tools" /usr/bin/autostart-off
expect "$tools" /usr/bin/module-sim
expect "$tools" /usr/share/man/man1/autostart-off.1.gz
refuse "$tools" 'disable-autostart|/lib/|/include/'
for package in "$debs"/*.deb; do
  name=$(dpkg-deb -f "$package" Package)
  expect "$package" "/usr/share/doc/$name/copyright"
  refuse "$package" 'test_|fuzz_|bench|\.a$|ebd_intern|module_double'
  copyright=$(dpkg-deb --fsys-tarfile "$package" | tar -xO "./usr/share/doc/$name/copyright")
  grep -q '^License: Expat$' <<<"$copyright" ||
    fail "$(basename "$package"): the copyright file names no MIT (Expat) licence"
done
# The library's symbols file goes with it, for the packages built on it.
grep -q '^ WGetLibraryVersion@Base ' <<<"$(dpkg-deb -I "$runtime" symbols)" || fail "libebd1 has no symbols file"
# Dependencies computed from the binaries: the command line needs no Qt.
tools_depends=$(dpkg-deb -f "$tools" Depends)
grep -q "libebd" <<<"$tools_depends" || fail "ebd-tools does not depend on libebd: $tools_depends"
if grep -qi qt <<<"$tools_depends"; then fail "ebd-tools depends on Qt: $tools_depends"; fi
grep -q "libc6" <<<"$(dpkg-deb -f "$runtime" Depends)" || fail "libebd has no computed dependencies"
if [ -n "$window" ]; then
  expect "$window" /usr/bin/disable-autostart
  expect "$window" /usr/share/applications/disable-autostart.desktop
  grep -q "libqt6widgets6" <<<"$(dpkg-deb -f "$window" Depends)" || fail "disable-autostart does not depend on Qt"
fi
for package in "$debs"/*.deb; do
  echo "$(basename "$package"): $(dpkg-deb -f "$package" Depends)"
done

# Unpacked together, the tool runs: the library is found next to it.
mkdir "$tmp/unpacked"
for package in "$runtime" "$tools"; do dpkg-deb -x "$package" "$tmp/unpacked"; done
env -u LD_LIBRARY_PATH "$tmp/unpacked/usr/bin/autostart-off" --help | grep -q '^Usage: autostart-off' ||
  fail "autostart-off --help from the packages"

echo "== lintian"
# Kept warnings (see README, "Debian packages"): none are errors.
lintian --fail-on error --tag-display-limit 0 "$debs"/*.deb
echo "== install checks passed"
