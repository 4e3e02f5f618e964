// The character ROMs against the HD44780 datasheet's drawings, dot by dot, and
// the characters the ROM encodings read the host's bytes as.
#include "view/lcd/character_rom.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "view/lcd/encodings.h"

using view::CharacterRom;

namespace {

// A glyph as drawn in the datasheet: eight rows of five, '#' a lit dot.
std::vector<std::string> Drawing(CharacterRom rom, std::uint8_t code) {
    const unsigned char* glyph = view::Glyph(rom, code);
    std::vector<std::string> rows;
    for (int y = 0; y < 8; ++y) {
        std::string row;
        for (int x = 0; x < 5; ++x) row += (glyph[y] >> (4 - x)) & 1 ? '#' : '.';
        rows.push_back(row);
    }
    return rows;
}

struct GlyphCase {
    const char* what;
    CharacterRom rom;
    std::uint8_t code;
    std::vector<std::string> drawing;
};

// Every glyph but the full block leaves the eighth row, the cursor line, dark.
TEST(CharacterRom, GlyphsMatchTheDatasheet) {
    const GlyphCase cases[] = {
        {"A00 A",
         CharacterRom::kA00,
         0x41,
         {".###.", "#...#", "#...#", "#...#", "#####", "#...#", "#...#", "....."}},
        {"A00 yen",
         CharacterRom::kA00,
         0x5C,
         {"#...#", ".#.#.", "#####", "..#..", "#####", "..#..", "..#..", "....."}},
        {"A00 right arrow",
         CharacterRom::kA00,
         0x7E,
         {".....", "..#..", "...#.", "#####", "...#.", "..#..", ".....", "....."}},
        {"A00 degree",
         CharacterRom::kA00,
         0xDF,
         {"###..", "#.#..", "###..", ".....", ".....", ".....", ".....", "....."}},
        {"A00 full block",
         CharacterRom::kA00,
         0xFF,
         {"#####", "#####", "#####", "#####", "#####", "#####", "#####", "#####"}},
        {"A00 katakana a",
         CharacterRom::kA00,
         0xB1,
         {"#####", "....#", "..#.#", "..##.", "..#..", "..#..", ".#...", "....."}},
        {"A02 A, on the same rows as A00's",
         CharacterRom::kA02,
         0x41,
         {"..#..", ".#.#.", "#...#", "#...#", "#####", "#...#", "#...#", "....."}},
        {"A02 backslash",
         CharacterRom::kA02,
         0x5C,
         {".....", "#....", ".#...", "..#..", "...#.", "....#", ".....", "....."}},
        {"A02 g, its tail above the cursor line",
         CharacterRom::kA02,
         0x67,
         {".....", ".....", ".####", "#...#", ".####", "....#", ".###.", "....."}},
        {"A02 A grave, full height",
         CharacterRom::kA02,
         0xC0,
         {".#...", "..#..", "..#..", ".#.#.", "#...#", "#####", "#...#", "#...#"}},
        {"user-defined codes have no glyph",
         CharacterRom::kA00,
         0x00,
         {".....", ".....", ".....", ".....", ".....", ".....", ".....", "....."}},
    };
    for (const GlyphCase& c : cases) EXPECT_EQ(Drawing(c.rom, c.code), c.drawing) << c.what;
}

// Letters, digits and signs sit on the same rows in both ROMs.
TEST(CharacterRom, A02LettersStandOnA00sBaseline) {
    for (const std::uint8_t code : {'E', 'H', 'T', 'Z', '0', '8', '_', '.', '|'}) {
        EXPECT_EQ(Drawing(CharacterRom::kA02, code), Drawing(CharacterRom::kA00, code))
            << static_cast<char>(code);
    }
}

TEST(CharacterRom, BytesReadAsTheNearestCharacter) {
    struct {
        view::Encoding encoding;
        std::string bytes;
        std::string text;
    } cases[] = {
        {view::Encoding::kHd44780A00, "A\x5c\x7e\x7f\xb1\xff", "A\u00a5\u2192\u2190\uff71\u2588"},
        {view::Encoding::kHd44780A00,
         "25\xdf"
         "C",
         "25\u00b0C"},
        {view::Encoding::kHd44780A00, "\xa1\xde", "\uff61\uff9e"},  // the katakana's ends
        {view::Encoding::kHd44780A00, std::string("\x00\x0f", 2) + "\x10\x80\xa0\xfe",
         "\ufffd\ufffd    "},
        {view::Encoding::kHd44780A00, "\xe0\xe4\xf4\xfc", "\u03b1\u03bc\u03a9\u5186"},
        {view::Encoding::kHd44780A02, "A\x5c\x7e\x7f", "A\\~\u2302"},
        {view::Encoding::kHd44780A02, std::string("\x00", 1) + "\x10\x1f\x80\x9f",
         "\ufffd\u25b6\u25bc\u0411\u2229"},
        {view::Encoding::kHd44780A02, "\xb0\xc4\xdf\xff", "\u00b0\u00c4\u00df\u00ff"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(view::DecodeToUtf8(c.bytes, c.encoding), c.text)
            << view::EncodingName(c.encoding);
}

}  // namespace
