# What the MinGW-w64 toolchain files share; each sets CMAKE_SYSTEM_PROCESSOR
# and LUMIVANE_MINGW_TRIPLET and then includes this.
set(CMAKE_SYSTEM_NAME Windows)

# The posix thread model gives the whole C++ thread library; winpthread is
# linked in statically below like the rest of the run-time.
find_program(CMAKE_CXX_COMPILER NAMES ${LUMIVANE_MINGW_TRIPLET}-g++-posix ${LUMIVANE_MINGW_TRIPLET}-g++
  REQUIRED)
find_program(CMAKE_C_COMPILER NAMES ${LUMIVANE_MINGW_TRIPLET}-gcc-posix ${LUMIVANE_MINGW_TRIPLET}-gcc)
find_program(CMAKE_RC_COMPILER NAMES ${LUMIVANE_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${LUMIVANE_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Everything the compiler brings along (libgcc, libstdc++, winpthread) goes
# into each binary, so the DLL and the programs need only the system's DLLs.
set(LUMIVANE_STATIC_RUNTIME "-static -static-libgcc -static-libstdc++")
set(CMAKE_EXE_LINKER_FLAGS_INIT "${LUMIVANE_STATIC_RUNTIME}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "${LUMIVANE_STATIC_RUNTIME}")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "${LUMIVANE_STATIC_RUNTIME}")
