# The tests' own copy of the datasheet's glyphs, tests/support/datasheet_glyphs.json,
# kept apart from the view's ROM tables so that a wrong glyph there fails a
# test. The browser tests read the same file.
include(${PROJECT_SOURCE_DIR}/tests/support/support_text.cmake)
lumivane_support_text(datasheet_glyphs.json kDatasheetGlyphsText)
