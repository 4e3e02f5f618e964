# Reads driver/export_list.h, the one list of the driver's six exports, for the
# build and the export checks (which include this in script mode too), and
# makes each platform's export file from it.
#   lumivane_read_exports(calls)   ->  Init@16;SetPosition@8;...
function(lumivane_read_exports out)
  file(READ ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/../driver/export_list.h text)
  string(REGEX MATCHALL "X\\([A-Za-z]+, [0-9]+\\)" entries "${text}")
  list(LENGTH entries count)
  if(NOT count EQUAL 6)
    message(FATAL_ERROR "driver/export_list.h: found ${count} exports, expected six")
  endif()
  list(TRANSFORM entries REPLACE "X\\(([A-Za-z]+), ([0-9]+)\\)" "\\1@\\2")
  set(${out} ${entries} PARENT_SCOPE)
endfunction()

# Writes the Windows export file (.def) for the list to `path`: each call under
# its plain name, an alias of its decorated one, and under the decorated name.
# With PLAIN, each call under its plain name alone: 64-bit Windows has one
# calling convention and no stdcall decoration to alias.
function(lumivane_write_def path)
  cmake_parse_arguments(PARSE_ARGV 1 arg "PLAIN" "" "")
  lumivane_read_exports(calls)
  set(aliases "")
  set(decorated "")
  foreach(call IN LISTS calls)
    string(REGEX REPLACE "@.*" "" plain ${call})
    if(arg_PLAIN)
      string(APPEND aliases "    DISPLAYDLL_${plain}\n")
    else()
      string(APPEND aliases "    DISPLAYDLL_${plain} = DISPLAYDLL_${call}\n")
      string(APPEND decorated "    DISPLAYDLL_${call}\n")
    endif()
  endforeach()
  if(arg_PLAIN)
    set(header "; Made by the build from driver/export_list.h. The names the host looks the
; six calls up by, undecorated as 64-bit Windows has them.")
  else()
    set(header "; Made by the build from driver/export_list.h. The names the host looks the
; six calls up by: each plain name is an alias of the stdcall-decorated one
; (argument bytes after the @).")
  endif()
  set(def "${header}
EXPORTS
${aliases}${decorated}")
  file(CONFIGURE OUTPUT ${path} CONTENT "@def@" @ONLY)
endfunction()

# Writes the ELF linker version script for the list to `path`: the six plain
# names global, every other symbol local. The driver's own code is hidden by
# its visibility already; this also hides what the C++ library's headers
# instantiate with default visibility inside the module (std::to_chars's
# helpers, say), which the host must neither see nor bind to.
function(lumivane_write_version_script path)
  lumivane_read_exports(calls)
  set(globals "")
  foreach(call IN LISTS calls)
    string(REGEX REPLACE "@.*" "" plain ${call})
    string(APPEND globals "    DISPLAYDLL_${plain};\n")
  endforeach()
  set(script "/* Made by the build from driver/export_list.h. The module's dynamic symbols:
   the six names the host looks the calls up by, and nothing else. */
{
  global:
${globals}  local:
    *;
};
")
  file(CONFIGURE OUTPUT ${path} CONTENT "@script@" @ONLY)
endfunction()
