# Checks a built module's dynamic symbols: exactly the six driver exports are
# defined, and nothing from the heap allocator is imported.
# Usage: cmake -DMODULE=path -DNM=nm -P check_exports.cmake
execute_process(COMMAND ${NM} -D --defined-only --format=just-symbols ${MODULE}
  OUTPUT_VARIABLE defined RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "nm failed on ${MODULE}")
endif()
string(REGEX MATCHALL "[^\n]+" defined "${defined}")
list(SORT defined)
include(${CMAKE_CURRENT_LIST_DIR}/export_list.cmake)
lumivane_read_exports(calls)
list(TRANSFORM calls REPLACE "^([A-Za-z]+)@[0-9]+$" "DISPLAYDLL_\\1" OUTPUT_VARIABLE expected)
list(SORT expected)
if(NOT defined STREQUAL expected)
  message(FATAL_ERROR "exports are [${defined}], expected [${expected}]")
endif()

execute_process(COMMAND ${NM} -D --undefined-only --format=just-symbols ${MODULE}
  OUTPUT_VARIABLE imported)
string(REGEX MATCHALL "(^|\n)(malloc|calloc|realloc|strdup|_Znw[jm]|_Zna[jm])[^\n]*" allocators "${imported}")
if(allocators)
  message(FATAL_ERROR "the module imports heap allocation functions:${allocators}")
endif()
message(STATUS "exports: ${defined}; no allocator imports")
