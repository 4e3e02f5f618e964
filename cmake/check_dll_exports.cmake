# Checks the Windows export file made from driver/export_list.h and, given a
# built DLL, its export table.
#   cmake -DDEF=build/win32/lumivane.def [-DMODULE=lumivane.dll -DOBJDUMP=objdump] -P check_dll_exports.cmake
# With -DPLAIN=ON the file and the DLL hold the six plain names alone, as a
# 64-bit Windows build exports them. With -DIMPORTS_ONLY=ON only the DLLs that MODULE (a DLL or a program) needs
# are checked; -DEXTRA_SYSTEM_DLLS="a.dll;b.dll" allows more of the system's
# own (a network program needs ws2_32.dll, say).
# The list names each call twice: plainly, as an alias, and with its stdcall
# decoration (argument bytes after the @). A DLL must export exactly these
# twelve names and need no DLL but the system's own.
cmake_minimum_required(VERSION 3.25)

include(${CMAKE_CURRENT_LIST_DIR}/export_list.cmake)
lumivane_read_exports(calls)
set(expected)
set(expected_aliases)
foreach(call IN LISTS calls)
  string(REGEX REPLACE "@.*" "" plain ${call})
  if(PLAIN)
    list(APPEND expected DISPLAYDLL_${plain})
  else()
    list(APPEND expected DISPLAYDLL_${plain} DISPLAYDLL_${call})
    list(APPEND expected_aliases "DISPLAYDLL_${plain}=DISPLAYDLL_${call}")
  endif()
endforeach()
list(SORT expected)
list(SORT expected_aliases)

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

# --- the .def file ---
file(STRINGS ${DEF} lines)
set(in_exports FALSE)
set(names)
set(aliases)
foreach(line IN LISTS lines)
  string(REGEX REPLACE ";.*" "" line "${line}")
  string(STRIP "${line}" line)
  if(line STREQUAL "")
    continue()
  elseif(line MATCHES "^EXPORTS$")
    set(in_exports TRUE)
  elseif(line MATCHES "^(LIBRARY|NAME|DESCRIPTION|STACKSIZE|HEAPSIZE|SECTIONS|VERSION)( |$)")
    set(in_exports FALSE)
  elseif(in_exports)
    if(line MATCHES "^([A-Za-z_][A-Za-z0-9_@]*)[ \t]*=[ \t]*([A-Za-z_][A-Za-z0-9_@]*)$")
      list(APPEND names ${CMAKE_MATCH_1})
      list(APPEND aliases "${CMAKE_MATCH_1}=${CMAKE_MATCH_2}")
    elseif(line MATCHES "^([A-Za-z_][A-Za-z0-9_@]*)$")
      list(APPEND names ${CMAKE_MATCH_1})
    else()
      fail("${DEF}: an export line this check does not understand: '${line}'")
    endif()
  endif()
endforeach()
list(SORT names)
list(SORT aliases)
if(NOT names STREQUAL expected)
  fail("${DEF} lists [${names}], expected [${expected}]")
endif()
if(NOT "${aliases}" STREQUAL "${expected_aliases}")
  fail("${DEF} aliases [${aliases}], expected [${expected_aliases}]")
endif()
if(PLAIN)
  message(STATUS "${DEF}: the six plain names")
else()
  message(STATUS "${DEF}: the twelve names, each plain name an alias of its decorated one")
endif()

if(NOT MODULE)
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
