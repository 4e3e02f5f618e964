# Cross-built test programs run under Wine, each through cmake/wine-run.sh,
# in a Wine prefix of their own inside the build tree: a 32-bit one for a
# 32-bit build, a 64-bit one for a 64-bit build.
set(LUMIVANE_WINEPREFIX ${PROJECT_BINARY_DIR}/wineprefix)
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(LUMIVANE_WINEARCH win64)
  # Debian keeps wine64's loader out of PATH.
  find_program(LUMIVANE_WINE NAMES wine64 PATHS /usr/lib/wine REQUIRED)
else()
  set(LUMIVANE_WINEARCH win32)
  find_program(LUMIVANE_WINE wine REQUIRED)
endif()
# wine-run.sh reads the prefix's architecture from here, so whatever is handed
# the prefix alone (a test script) runs the tree's programs with the right Wine.
file(CONFIGURE OUTPUT ${LUMIVANE_WINEPREFIX}.arch CONTENT "${LUMIVANE_WINEARCH}\n")
if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${PROJECT_SOURCE_DIR}/cmake/wine-run.sh ${LUMIVANE_WINEPREFIX})
endif()

# Wine's drive Z: is the root of the Unix file system: this is how a program
# under Wine names a file of the build tree.
set(LUMIVANE_HOST_PATH_PREFIX "Z:")
