# Cross-build for 32-bit Windows with Debian's mingw-w64 (i686, the posix
# thread model), for 32-bit station programs that load libebd.dll:
#
#   cmake -S . -B build-win32 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake
#
# Everything else is as in the 64-bit build (cmake/mingw-w64.cmake); Wine runs
# the 32-bit programs in the same kind of prefix.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(EBD_MINGW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
