#!/usr/bin/env bash
# Makes ebd-windows-<arch>-<version>.zip: libebd.dll with its import libraries
# (ebd.lib for Microsoft's linker, libebd.dll.a for MinGW), .def file and ebd.h,
# autostart-off.exe, disable-autostart.exe, the licence and a README for
# Windows users. Cross-builds first when the build is not there.
#
# EBD_WINDOWS_ARCH: x64 (64-bit, the default) or x86 (32-bit).
# EBD_WINDOWS_BUILD: the cross-build directory (build-win for x64, build-win32
# for x86). The ZIP is written there.
# SOURCE_DATE_EPOCH: the time of every entry (default: the last commit), so
# that the same binaries give the same ZIP.
set -euo pipefail
cd "$(dirname "$0")/.."

arch=${EBD_WINDOWS_ARCH:-x64}
case "$arch" in
  x64) triplet=x86_64-w64-mingw32 toolchain=cmake/mingw-w64.cmake default_build=build-win ;;
  x86) triplet=i686-w64-mingw32 toolchain=cmake/mingw-w64-i686.cmake default_build=build-win32 ;;
  *) echo "EBD_WINDOWS_ARCH must be x64 or x86, not '$arch'" >&2; exit 64 ;;
esac
build=$(realpath -m "${EBD_WINDOWS_BUILD:-$default_build}")
version=$(sed -n 's/^project(ebd VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
epoch=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || echo 315532800)}
strip=$triplet-strip

if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DEBD_WERROR=ON
fi
cmake --build "$build" -j"$(nproc)" --target ebd ebd_msvc_import_library autostart-off disable-autostart

name=ebd-windows-$arch-$version
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
cp "$build/lib/libebd.dll.a" "$build/lib/ebd.lib" "$stage/sdk/"
# Windows line ends, so that Notepad shows the texts as they are meant.
sed 's/$/\r/' doc/README-windows.txt >"$stage/README.txt"
sed 's/$/\r/' LICENSE >"$stage/LICENSE.txt"

# The same files give the same ZIP: fixed times and modes, entries in sorted
# order, no extra attributes (-X), DOS times read in UTC.
find "$build/package" -type d -exec chmod 755 {} +
find "$build/package" -type f -exec chmod 644 {} +
find "$build/package" -exec touch -h -d "@$epoch" {} +
zip_file="$build/$name.zip"
rm -f "$build"/ebd-windows-*.zip
(cd "$build/package" && find "$name" | LC_ALL=C sort | TZ=UTC zip -q -X -@ "$zip_file")
echo "$zip_file:"
unzip -l "$zip_file"
for file in README.txt LICENSE.txt libebd.dll autostart-off.exe disable-autostart.exe sdk/ebd.h sdk/ebd_errors.h sdk/ebd.def \
  sdk/libebd.dll.a sdk/ebd.lib; do
  unzip -l "$zip_file" "$name/$file" >/dev/null || { echo "$name/$file is missing from the package"; exit 1; }
done
