// The display's options apart from the drawing: its size, its themes, the
// scale, and /screen.png's query.
#include "view/lcd/display_options.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

using view::DisplaySize;
using view::PictureOptions;
using view::Rows;

namespace {

TEST(DisplaySize, ParsesColumnsByRows) {
    struct {
        const char* text;
        std::optional<DisplaySize> size;
    } cases[] = {
        {"20x4", DisplaySize{20, 4}}, {"16X2", DisplaySize{16, 2}}, {"1x1", DisplaySize{1, 1}},
        {"80x4", DisplaySize{80, 4}}, {"81x4", std::nullopt},       {"20x5", std::nullopt},
        {"0x2", std::nullopt},        {"20x0", std::nullopt},       {"20", std::nullopt},
        {"x4", std::nullopt},         {"20x", std::nullopt},        {"+20x4", std::nullopt},
        {"20x4 ", std::nullopt},      {"0020x4", std::nullopt},     {"", std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(view::ParseDisplaySize(c.text), c.size) << c.text;
    EXPECT_EQ(view::DisplaySizeName({16, 2}), "16x2");
}

TEST(TextBeyond, OnlyNonBlankTextOutsideTheAreaCounts) {
    const std::string at_column_30 = std::string(29, ' ') + "x";
    struct {
        const char* what;
        Rows rows;
        DisplaySize size;
        bool beyond;
    } cases[] = {
        {"text at column 30 of a 20x4", {at_column_30, "", "", ""}, {20, 4}, true},
        {"the same on an 80x4", {at_column_30, "", "", ""}, {80, 4}, false},
        {"blanks past the edge", {"Hello" + std::string(60, ' '), "", "", ""}, {20, 4}, false},
        {"text filling the area exactly", {std::string(20, 'x'), "", "", ""}, {20, 4}, false},
        {"one past the edge", {std::string(21, 'x'), "", "", ""}, {20, 4}, true},
        {"text on a row below", {"a", "b", "c", "d"}, {20, 2}, true},
        {"blank rows below", {"a", "b", "   ", ""}, {20, 2}, false},
    };
    for (const auto& c : cases) EXPECT_EQ(view::TextBeyond(c.rows, c.size), c.beyond) << c.what;
}

TEST(ParsePictureQuery, ValuesAndReasons) {
    const PictureOptions defaults;  // 80x4, A00, green, scale 3
    struct {
        std::string query;
        bool ok;
        std::string reason;
    } cases[] = {
        {"", true, ""},
        {"size=20x4&encoding=hd44780-a02&theme=oled&scale=16", true, ""},
        {"scale=1&unknown=thing&size", false, "size '': want COLSxROWS, columns 1-80 and rows 1-4"},
        {"size=81x4", false, "size '81x4': want COLSxROWS, columns 1-80 and rows 1-4"},
        {"encoding=windows-1252", false,
         "encoding 'windows-1252': want hd44780-a00 or hd44780-a02"},
        {"theme=pink", false, "theme 'pink': want green, blue, amber, white or oled"},
        {"scale=0", false, "scale '0': want a whole number from 1 to 64"},
        {"scale=65&size=1x1", false, "scale '65': want a whole number from 1 to 64"},
        {"scale=3.5", false, "scale '3.5': want a whole number from 1 to 64"},
        // The pixel budget: the whole screen at scale 16 spends it exactly; a
        // smaller display may take a larger scale. 76x1 at 25 is the nearest
        // any size and scale come above it, 950 pixels over.
        {"scale=16", true, ""},
        {"size=16x2&scale=32", true, ""},
        {"size=1x1&scale=64", true, ""},
        {"scale=17", false,
         "size 80x4 at scale 17: 10376x988 pixels, over the budget of 8611472 (80x4 at scale 16)"},
        {"size=76x1&scale=25", false,
         "size 76x1 at scale 25: 14378x599 pixels, over the budget of 8611472 (80x4 at scale 16)"},
        {"theme=" + std::string(100, 'q'), false,
         "theme '" + std::string(32, 'q') + "': want green, blue, amber, white or oled"},
    };
    for (const auto& c : cases) {
        PictureOptions options;
        std::string reason;
        EXPECT_EQ(view::ParsePictureQuery(c.query, defaults, &options, &reason), c.ok) << c.query;
        EXPECT_EQ(reason, c.reason) << c.query;
    }
    PictureOptions options;
    std::string reason;
    ASSERT_TRUE(view::ParsePictureQuery("size=20x4&encoding=hd44780-a02&theme=oled&scale=16",
                                        defaults, &options, &reason));
    EXPECT_EQ(options.size, (DisplaySize{20, 4}));
    EXPECT_EQ(options.rom, view::CharacterRom::kA02);
    EXPECT_EQ(options.theme, view::Theme::kOled);
    EXPECT_EQ(options.scale, 16);
}

TEST(Themes, EachNameReadsBackAsItsTheme) {
    for (const view::Theme theme : {view::Theme::kGreen, view::Theme::kBlue, view::Theme::kAmber,
                                    view::Theme::kWhite, view::Theme::kOled})
        EXPECT_EQ(view::ParseTheme(view::ThemeName(theme)), theme) << view::ThemeName(theme);
    EXPECT_EQ(view::ThemeNameList(), "green, blue, amber, white or oled");
    EXPECT_EQ(view::ParseTheme("Green"), std::nullopt);
    EXPECT_EQ(view::ParseTheme(""), std::nullopt);
}

}  // namespace
