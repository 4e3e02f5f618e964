# The product's version is kept in one place: project(Lumivane VERSION ...) in
# the top CMakeLists.txt. The driver's name text and the Windows version
# resources both take it from there.

# The copyright line of LICENSE, repeated in each version resource.
set(LUMIVANE_COPYRIGHT "Copyright (c) 2026 Lumivane developers")

# Gives a target's C++ sources the version as the string literal
# LUMIVANE_VERSION_TEXT ("1.0.14.79"). Kept from the resource compiler, which
# has no use for it.
function(lumivane_add_version_text target)
  target_compile_definitions(${target} PRIVATE
    $<$<COMPILE_LANGUAGE:CXX>:LUMIVANE_VERSION_TEXT="${Lumivane_VERSION}">)
endfunction()

# Gives a Windows binary its version resource: what Explorer's Properties
# dialog shows under Details. Elsewhere it does nothing.
#   lumivane_add_version_resource(lumivane-host "Lumivane stand-in host")
function(lumivane_add_version_resource target description)
  if(NOT WIN32)
    return()
  endif()
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "EXECUTABLE")
    set(LUMIVANE_FILE_TYPE VFT_APP)
  else()
    set(LUMIVANE_FILE_TYPE VFT_DLL)
  endif()
  string(REPLACE "." "," LUMIVANE_VERSION_NUMBERS "${Lumivane_VERSION}")
  set(LUMIVANE_FILE_DESCRIPTION "${description}")
  # The file name is known only at generation time: the template's
  # $<TARGET_FILE_NAME:...> is filled in then.
  set(LUMIVANE_RESOURCE_TARGET ${target})
  set(resource ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc)
  configure_file(${LUMIVANE_VERSION_RESOURCE_TEMPLATE} ${resource}.in @ONLY)
  file(GENERATE OUTPUT ${resource} INPUT ${resource}.in)
  target_sources(${target} PRIVATE ${resource})
endfunction()
set(LUMIVANE_VERSION_RESOURCE_TEMPLATE ${CMAKE_CURRENT_LIST_DIR}/version.rc.in)

if(WIN32)
  enable_language(RC)
endif()
