# Checks the calling convention of a 32-bit Windows DLL's exports, read from
# the machine code: each call of driver/export_list.h returns with `ret $N`,
# N its argument bytes (stdcall: the callee removes them), or with a plain
# `ret` when it takes none; and its plain and decorated names are one address.
#   cmake -DMODULE=lumivane.dll -DOBJDUMP=i686-w64-mingw32-objdump -P check_stdcall.cmake
cmake_minimum_required(VERSION 3.25)

include(${CMAKE_CURRENT_LIST_DIR}/export_list.cmake)
lumivane_read_exports(calls)

function(fail)
  string(CONCAT what ${ARGN})
  message(FATAL_ERROR "${MODULE}: ${what}")
endfunction()

execute_process(COMMAND ${OBJDUMP} -p ${MODULE} OUTPUT_VARIABLE headers RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  fail("${OBJDUMP} -p failed")
endif()
string(REGEX MATCH "\nImageBase[ \t]+([0-9a-fA-F]+)" _ "${headers}")
set(image_base "0x${CMAKE_MATCH_1}")

# The export address table, "[ordinal] +base[n] RVA Export RVA", and the
# names, "[ordinal] NAME": each name's address is its ordinal's RVA.
string(REGEX MATCHALL "\\[ *[0-9]+\\] \\+base\\[ *[0-9]+\\] [0-9a-fA-F]+ Export RVA" slots "${headers}")
foreach(slot IN LISTS slots)
  string(REGEX MATCH "^\\[ *([0-9]+)\\] \\+base\\[ *[0-9]+\\] ([0-9a-fA-F]+)" _ "${slot}")
  set(rva_${CMAKE_MATCH_1} ${CMAKE_MATCH_2})
endforeach()
string(REGEX MATCH "\\[Ordinal/Name Pointer\\] Table\n(([ \t]+\\[ *[0-9]+\\] [^\n]+\n)*)" _ "${headers}")
string(REGEX MATCHALL "\\[ *[0-9]+\\] [^\n]+" names "${CMAKE_MATCH_1}")
foreach(entry IN LISTS names)
  string(REGEX MATCH "^\\[ *([0-9]+)\\] (.+)$" _ "${entry}")
  set(address_of_${CMAKE_MATCH_2} "${rva_${CMAKE_MATCH_1}}")
endforeach()

foreach(call IN LISTS calls)
  string(REGEX REPLACE "@.*" "" plain DISPLAYDLL_${call})
  set(decorated DISPLAYDLL_${call})
  string(REGEX REPLACE ".*@" "" bytes ${call})
  if(NOT DEFINED address_of_${plain} OR NOT DEFINED address_of_${decorated})
    fail("does not export both ${plain} and ${decorated}")
  endif()
  if(NOT address_of_${plain} STREQUAL address_of_${decorated})
    fail("${plain} is at RVA ${address_of_${plain}}, ${decorated} at ${address_of_${decorated}}")
  endif()

  # The function's code: from its own label to the next symbol's.
  math(EXPR start "${image_base} + 0x${address_of_${plain}}" OUTPUT_FORMAT HEXADECIMAL)
  math(EXPR stop "${start} + 0x1000" OUTPUT_FORMAT HEXADECIMAL)
  execute_process(COMMAND ${OBJDUMP} -d --no-show-raw-insn --start-address=${start}
                          --stop-address=${stop} ${MODULE}
                  OUTPUT_VARIABLE code RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    fail("${OBJDUMP} -d failed")
  endif()
  string(REPLACE ";" "," code "${code}")
  string(REPLACE "\n" ";" lines "${code}")
  set(labels 0)
  set(returns "")
  set(tail_jumps "")
  foreach(line IN LISTS lines)
    if(line MATCHES "^[0-9a-f]+ <.*>:$")
      math(EXPR labels "${labels} + 1")
    elseif(labels EQUAL 1 AND line MATCHES "\t(ret[lw]?)[ \t]*(\\$0x[0-9a-f]+)?$")
      list(APPEND returns "${CMAKE_MATCH_1} ${CMAKE_MATCH_2}")
    elseif(labels EQUAL 1 AND line MATCHES "\tjmp[ \t]+[0-9a-f]+ <([^+>]+)>$")
      set(target "${CMAKE_MATCH_1}")
      if(NOT target MATCHES "DISPLAYDLL_${call}$")
        list(APPEND tail_jumps "${target}")
      endif()
    endif()
  endforeach()
  if(bytes EQUAL 0)
    set(expected "ret")
  else()
    math(EXPR hex "${bytes}" OUTPUT_FORMAT HEXADECIMAL)
    set(expected "ret $${hex}")
  endif()
  # A call that ends by jumping into another function returns with that
  # one's ret, which removes no arguments of this call's: cdecl.
  if(tail_jumps AND bytes GREATER 0)
    fail("${decorated} ends in a jump to ${tail_jumps}, whose return leaves its ${bytes} "
         "argument bytes on the stack (cdecl), expected `${expected}` (stdcall)")
  endif()
  if(NOT returns)
    fail("${decorated}: no ret found in its code")
  endif()
  foreach(return IN LISTS returns)
    string(REGEX REPLACE "^ret[lw]?" "ret" return "${return}")
    string(STRIP "${return}" return)
    if(NOT return STREQUAL expected)
      fail("${decorated} returns with `${return}`, expected `${expected}` (stdcall)")
    endif()
  endforeach()
  list(LENGTH returns count)
  message(STATUS "${decorated} = ${plain} at RVA 0x${address_of_${plain}}: ${count} x `${expected}`")
endforeach()
