# Cross-built test programs run under Wine, each through cmake/wine-run.sh,
# in a Wine prefix of their own inside the build tree.
find_program(LUMIVANE_WINE wine REQUIRED)
set(LUMIVANE_WINEPREFIX ${PROJECT_BINARY_DIR}/wineprefix)
if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${PROJECT_SOURCE_DIR}/cmake/wine-run.sh ${LUMIVANE_WINEPREFIX})
endif()

# Wine's drive Z: is the root of the Unix file system: this is how a program
# under Wine names a file of the build tree.
set(LUMIVANE_HOST_PATH_PREFIX "Z:")
