# Cross-builds for 64-bit Windows with Debian's MinGW-w64.
# Usage: cmake -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake ...
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(quenor_wine /usr/lib/wine/wine64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
