# The tests' own copy of the page's bytes, tests/support/expected_page.txt,
# kept apart from the driver's (platform/page_format.h) so that a wrong constant
# there fails a test. scripts/test-release.sh reads the same file.
set(LUMIVANE_EXPECTED_PAGE ${PROJECT_SOURCE_DIR}/tests/support/expected_page.txt)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${LUMIVANE_EXPECTED_PAGE})
file(READ ${LUMIVANE_EXPECTED_PAGE} LUMIVANE_EXPECTED_PAGE_TEXT)
file(CONFIGURE OUTPUT ${PROJECT_BINARY_DIR}/generated/tests/support/expected_page_text.h
  CONTENT "// Made by tests/support/page_oracle.cmake from expected_page.txt.
#pragma once
namespace testhost {
constexpr char kExpectedPageText[] = R\"page(@LUMIVANE_EXPECTED_PAGE_TEXT@)page\";
}
" @ONLY)
add_library(lumivane_page_oracle STATIC ${PROJECT_SOURCE_DIR}/tests/support/page_oracle.cpp)
target_include_directories(lumivane_page_oracle PUBLIC ${PROJECT_SOURCE_DIR}
                           PRIVATE ${PROJECT_BINARY_DIR}/generated)
