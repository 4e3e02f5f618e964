# Checks a built DLL's export table against driver/export_list.h.
#   cmake -DMODULE=lumivane.dll -DOBJDUMP=objdump -P check_dll_exports.cmake
# With -DPLAIN=ON the DLL holds the six plain names alone, as a 64-bit
# Windows build exports them. With -DIMPORTS_ONLY=ON only the DLLs that
# MODULE (a DLL or a program) needs are checked; -DEXTRA_SYSTEM_DLLS="a.dll;b.dll"
# allows more of the system's own (a network program needs ws2_32.dll, say).
# The list names each call twice: plainly and with its stdcall decoration
# (argument bytes after the @). A DLL must export exactly these twelve names
# and need no DLL but the system's own.
cmake_minimum_required(VERSION 3.25)

include(${CMAKE_CURRENT_LIST_DIR}/export_list.cmake)
lumivane_read_exports(calls)
set(expected)
foreach(call IN LISTS calls)
  string(REGEX REPLACE "@.*" "" plain ${call})
  if(PLAIN)
    list(APPEND expected DISPLAYDLL_${plain})
  else()
    list(APPEND expected DISPLAYDLL_${plain} DISPLAYDLL_${call})
  endif()
endforeach()
list(SORT expected)

function(fail what)
  message(FATAL_ERROR "${what}")
endfunction()

function(check_imports dump)
  # Everything but the system's own DLLs is linked in; a MinGW run-time DLL
  # (libstdc++-6, libgcc_s_*, libwinpthread-1) would be missing on the host.
  string(REGEX MATCHALL "DLL Name: [^\n]+" needed "${dump}")
  list(TRANSFORM needed REPLACE "^DLL Name: " "")
  set(system_dlls kernel32.dll msvcrt.dll user32.dll advapi32.dll ntdll.dll ${EXTRA_SYSTEM_DLLS})
  foreach(dll IN LISTS needed)
    string(TOLOWER ${dll} lower)
    if(NOT lower IN_LIST system_dlls)
      fail("${MODULE} needs ${dll}, which is not a system DLL")
    endif()
  endforeach()
  message(STATUS "${MODULE}: needs only [${needed}]")
endfunction()

function(objdump_headers out)
  execute_process(COMMAND ${OBJDUMP} -p ${MODULE} OUTPUT_VARIABLE dump RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    fail("${OBJDUMP} -p failed on ${MODULE}")
  endif()
  set(${out} "${dump}" PARENT_SCOPE)
endfunction()

if(IMPORTS_ONLY)
  objdump_headers(dump)
  check_imports("${dump}")
  return()
endif()

# --- the DLL ---
objdump_headers(dump)

string(REGEX MATCH "\\[Ordinal/Name Pointer\\] Table\n(([ \t]+\\[ *[0-9]+\\] [^\n]+\n)*)" table "${dump}")
# Each line reads "\t[   n] NAME"; brackets would upset CMake's lists.
string(REGEX REPLACE "[ \t]+\\[ *[0-9]+\\] ([^\n]+)\n" "\\1;" exported "${CMAKE_MATCH_1}")
list(REMOVE_ITEM exported "")
list(SORT exported)
if(NOT exported STREQUAL expected)
  fail("${MODULE} exports [${exported}], expected [${expected}]")
endif()

check_imports("${dump}")
message(STATUS "${MODULE}: exports [${exported}]")
