# Cross-builds for 32-bit Windows with Debian's MinGW-w64.
# Usage: cmake -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake ...
set(CMAKE_SYSTEM_PROCESSOR i686)
set(quenor_wine /usr/lib/wine/wine)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
