// The character ROMs of HD44780-compatible modules: each code's 5x8 dots and
// the Unicode character nearest to what the module shows for it.
#pragma once

#include <cstdint>

namespace view {

enum class CharacterRom { kA00, kA02 };  // A00: Japanese; A02: European

// Codes 0x00 to 0x0F are the module's user-defined characters, which only the
// host's own module holds: there is no glyph for them here.
constexpr bool IsUserDefined(std::uint8_t code) { return code < 0x10; }

// Eight dot-rows, top first; bit 4 of each is the leftmost dot. The eighth row
// is the cursor line: only a few full-height glyphs use it.
const unsigned char* Glyph(CharacterRom rom, std::uint8_t code);

// The Unicode character nearest to the code's glyph: U+FFFD for a
// user-defined character, a space for a code the ROM leaves blank.
char32_t RomToUnicode(CharacterRom rom, std::uint8_t code);

}  // namespace view
