// The character ROMs against the HD44780 datasheet's drawings, dot by dot, and
// the characters the ROM encodings read the host's bytes as.
#include "view/lcd/character_rom.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/datasheet_glyphs.h"
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

CharacterRom RomNamed(const std::string& name) {
    EXPECT_TRUE(name == "A00" || name == "A02") << "no ROM named " << name;
    return name == "A02" ? CharacterRom::kA02 : CharacterRom::kA00;
}

// Every glyph but the full block leaves the eighth row, the cursor line, dark.
TEST(CharacterRom, GlyphsMatchTheDatasheet) {
    ASSERT_FALSE(testhost::DatasheetGlyphs().empty());
    for (const testhost::DatasheetGlyph& glyph : testhost::DatasheetGlyphs())
        EXPECT_EQ(Drawing(RomNamed(glyph.rom), glyph.code), glyph.dots)
            << glyph.rom << " " << glyph.what;
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
