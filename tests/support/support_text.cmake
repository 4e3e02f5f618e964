# lumivane_support_text(FILE NAME): the bytes of tests/support/FILE as the C++
# constant testhost::NAME, in the header tests/support/<FILE without its
# extension>_text.h below generated/; CMake runs again when FILE changes.
function(lumivane_support_text file name)
  set(source ${PROJECT_SOURCE_DIR}/tests/support/${file})
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${source})
  file(READ ${source} LUMIVANE_SUPPORT_TEXT)
  get_filename_component(stem ${file} NAME_WE)
  file(CONFIGURE OUTPUT ${PROJECT_BINARY_DIR}/generated/tests/support/${stem}_text.h
    CONTENT "// Made by tests/support/support_text.cmake from ${file}.
#pragma once
namespace testhost {
constexpr char ${name}[] = R\"text(@LUMIVANE_SUPPORT_TEXT@)text\";
}
" @ONLY)
endfunction()
