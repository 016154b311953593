# Cross-build for 64-bit Windows with Debian's mingw-w64 (the posix thread
# model, for std::thread and std::mutex):
#
#   cmake -S . -B build-win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake
#
# The programs and libebd.dll link the compiler's runtime statically, so they
# need no DLL beyond those of Windows itself. CTest runs the test programs
# under Wine (see the top-level CMakeLists.txt).
# cmake/mingw-w64-i686.cmake sets the 32-bit tool chain and includes this file.
set(CMAKE_SYSTEM_NAME Windows)
if(NOT EBD_MINGW_TRIPLET)
  set(CMAKE_SYSTEM_PROCESSOR x86_64)
  set(EBD_MINGW_TRIPLET x86_64-w64-mingw32)
endif()
set(CMAKE_C_COMPILER ${EBD_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${EBD_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${EBD_MINGW_TRIPLET}-windres)

# Headers, libraries and packages come from the mingw tree only, never from the
# build machine; programs (code generators, Wine) from the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${EBD_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
