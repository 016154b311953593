#!/usr/bin/env bash
# Makes ebd-windows-x64.zip: libebd.dll with its import library, .def file and
# ebd.h, autostart-off.exe, disable-autostart.exe and a README for Windows
# users. Cross-builds first when the build is not there.
#
# EBD_WINDOWS_BUILD: the cross-build directory (build-win). The ZIP is written
# there.
set -euo pipefail
cd "$(dirname "$0")/.."

build=$(realpath -m "${EBD_WINDOWS_BUILD:-build-win}")
strip=x86_64-w64-mingw32-strip

if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DEBD_WERROR=ON
fi
cmake --build "$build" -j"$(nproc)" --target ebd autostart-off disable-autostart

name=ebd-windows-x64
stage="$build/package/$name"
rm -rf "$build/package"
mkdir -p "$stage/sdk"
# The headers ebd.h includes go beside it in sdk\, and the HTML reference of
# all of them.
included=$(sed -n 's|^#include "\(.*\)"$|lib/\1|p' lib/ebd.h)
for header in $included; do cp "$header" "$stage/sdk/"; done
rm -rf "$build/reference"
EBD_DOC_INPUT="lib/ebd.h $included" EBD_DOC_OUTPUT="$build/reference" \
  EBD_VERSION=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt") doxygen doc/Doxyfile
cp -r "$build/reference/html" "$stage/sdk/html"
[ -f "$stage/sdk/html/index.html" ] || { echo "no HTML reference for the package"; exit 1; }
cp "$build/bin/libebd.dll" "$build/bin/autostart-off.exe" "$build/bin/disable-autostart.exe" "$stage/"
"$strip" --strip-unneeded "$stage/libebd.dll" "$stage/autostart-off.exe" "$stage/disable-autostart.exe"
cp lib/ebd.h lib/ebd_errors.h lib/ebd.def "$stage/sdk/"
cp "$build/lib/libebd.dll.a" "$stage/sdk/"
# Windows line ends, so that Notepad shows the README as it is meant.
sed 's/$/\r/' doc/README-windows.txt >"$stage/README.txt"

zip_file="$build/$name.zip"
rm -f "$zip_file"
(cd "$build/package" && zip -q -r -X "$zip_file" "$name")
echo "$zip_file:"
unzip -l "$zip_file"
for file in README.txt libebd.dll autostart-off.exe disable-autostart.exe sdk/ebd.h sdk/ebd_errors.h sdk/ebd.def sdk/libebd.dll.a; do
  unzip -l "$zip_file" "$name/$file" >/dev/null || { echo "$name/$file is missing from the package"; exit 1; }
done
