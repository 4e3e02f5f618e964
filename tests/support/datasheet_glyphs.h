// The tests' own copy of the HD44780 datasheet's glyphs
// (tests/support/datasheet_glyphs.json, which the browser tests read too), not
// the ROM tables the view draws with: a test that took those could not catch
// a wrong one.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testhost {

struct DatasheetGlyph {
    std::string rom;  // "A00" or "A02"
    std::uint8_t code;
    std::string what;
    std::vector<std::string> dots;  // eight rows of five, '#' a lit dot
};

// Every glyph of the file, in its order.
const std::vector<DatasheetGlyph>& DatasheetGlyphs();

// The drawing of `code` in `rom`; empty when the file has none.
std::vector<std::string> DatasheetDots(const std::string& rom, std::uint8_t code);

}  // namespace testhost
