# Cross build for 32-bit Windows with MinGW-w64 (Debian: g++-mingw-w64-i686).
#   cmake -S . -B build/win32 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-i686-w64-mingw32.cmake
# The tests then run under Wine (see cmake/wine.cmake).
set(CMAKE_SYSTEM_PROCESSOR x86)
set(LUMIVANE_MINGW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
