# The tests' own copy of the page's bytes, tests/support/expected_page.txt,
# kept apart from the driver's (platform/page_format.h) so that a wrong constant
# there fails a test. scripts/test-release.sh reads the same file.
include(${PROJECT_SOURCE_DIR}/tests/support/support_text.cmake)
lumivane_support_text(expected_page.txt kExpectedPageText)
add_library(lumivane_page_oracle STATIC ${PROJECT_SOURCE_DIR}/tests/support/page_oracle.cpp)
target_include_directories(lumivane_page_oracle PUBLIC ${PROJECT_SOURCE_DIR}
                           ${PROJECT_BINARY_DIR}/generated)
