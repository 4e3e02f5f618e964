// The encodings' names and aliases, and which of them draw from a ROM.
#include "view/lcd/encodings.h"

#include <gtest/gtest.h>

#include <optional>

using view::Encoding;

namespace {

TEST(ParseEncoding, NamesAndAliases) {
    struct {
        const char* name;
        std::optional<Encoding> encoding;
    } cases[] = {
        {"windows-1252", Encoding::kWindows1252},
        {"Windows-1252", Encoding::kWindows1252},
        {"cp1252", Encoding::kWindows1252},
        {"latin1", Encoding::kLatin1},
        {"ISO-8859-1", Encoding::kLatin1},
        {"latin-1", Encoding::kLatin1},
        {"utf-8", Encoding::kUtf8},
        {"UTF8", Encoding::kUtf8},
        {"hd44780-a00", Encoding::kHd44780A00},
        {"HD44780-A02", Encoding::kHd44780A02},
        {"a00", Encoding::kHd44780A00},
        {"A02", Encoding::kHd44780A02},
        {"hd44780", std::nullopt},
        {"ascii", std::nullopt},
        {"", std::nullopt},
        {"utf-16", std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(view::ParseEncoding(c.name), c.encoding) << c.name;
}

TEST(Encodings, EachNameReadsBackAndOnlyTheHd44780OnesHaveARom) {
    struct {
        Encoding encoding;
        std::optional<view::CharacterRom> rom;
    } cases[] = {
        {Encoding::kWindows1252, std::nullopt},
        {Encoding::kLatin1, std::nullopt},
        {Encoding::kUtf8, std::nullopt},
        {Encoding::kHd44780A00, view::CharacterRom::kA00},
        {Encoding::kHd44780A02, view::CharacterRom::kA02},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(view::EncodingName(c.encoding));
        EXPECT_EQ(view::ParseEncoding(view::EncodingName(c.encoding)), c.encoding);
        EXPECT_EQ(view::RomOf(c.encoding), c.rom);
        if (c.rom) EXPECT_EQ(view::EncodingOfRom(*c.rom), c.encoding);
    }
    EXPECT_EQ(view::EncodingNameList(), "windows-1252, latin1, utf-8, hd44780-a00 or hd44780-a02");
    EXPECT_EQ(view::EncodingNameList(true), "hd44780-a00 or hd44780-a02");
}

}  // namespace
