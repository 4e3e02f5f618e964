// The display's picture, read back with libpng and compared dot by dot with
// the datasheet's glyphs.
#include "view/lcd/lcd_picture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#ifdef LUMIVANE_TEST_DECODES_PNG
#include <png.h>
#endif

using view::DisplaySize;
using view::PictureOptions;
using view::Rows;

namespace {

TEST(RenderPng, SameScreenSameBytes) {
    const Rows rows = {
        "Temp 21\xdf"
        "C",
        "\xff\xff\xff", "", "x"};
    PictureOptions options;
    const std::string first = view::RenderPng(rows, options);
    EXPECT_EQ(view::RenderPng(rows, options), first);
    EXPECT_EQ(first.substr(0, 8), "\x89PNG\r\n\x1a\n");
    options.theme = view::Theme::kBlue;
    EXPECT_NE(view::RenderPng(rows, options), first);
    // Text outside the chosen area leaves the picture as it is.
    options.size = {20, 4};
    EXPECT_EQ(view::RenderPng({"Temp", "", "", std::string(29, ' ') + "hidden"}, options),
              view::RenderPng({"Temp", "", "", ""}, options));
}

#ifdef LUMIVANE_TEST_DECODES_PNG
struct Image {
    int width = 0, height = 0;
    std::vector<unsigned char> rgb;
    bool Lit(const view::DotBox& dot) const {  // the dot's centre is dark: green's lit dot
        const std::size_t i =
            (static_cast<std::size_t>(dot.y + dot.size / 2) * width + dot.x + dot.size / 2) * 3;
        return rgb[i] + rgb[i + 1] + rgb[i + 2] < 3 * 0x50;
    }
};

Image Decode(const std::string& png) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    Image out;
    if (!png_image_begin_read_from_memory(&image, png.data(), png.size())) return out;
    image.format = PNG_FORMAT_RGB;
    out.rgb.resize(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, out.rgb.data(), 0, nullptr)) return {};
    out.width = static_cast<int>(image.width);
    out.height = static_cast<int>(image.height);
    return out;
}

std::vector<std::string> CellDrawing(const Image& image, const PictureOptions& options, int row,
                                     int column) {
    std::vector<std::string> drawing;
    for (int y = 0; y < 8; ++y) {
        std::string line;
        for (int x = 0; x < 5; ++x)
            line += image.Lit(view::DotAt(options, row, column, x, y)) ? '#' : '.';
        drawing.push_back(line);
    }
    return drawing;
}

TEST(RenderPng, CellsShowTheDatasheetsDots) {
    const Rows rows = {"A\x5c\x7e", std::string("21\xdf\xff\xb1", 5),
                       std::string("\x01", 1) + std::string(40, 'z'), ""};
    struct {
        view::CharacterRom rom;
        int scale;
        int row, column;
        std::vector<std::string> drawing;
    } cases[] = {
        {view::CharacterRom::kA00,
         3,
         0,
         0,
         {".###.", "#...#", "#...#", "#...#", "#####", "#...#", "#...#", "....."}},
        {view::CharacterRom::kA00,
         1,
         0,
         1,
         {"#...#", ".#.#.", "#####", "..#..", "#####", "..#..", "..#..", "....."}},
        {view::CharacterRom::kA00,
         3,
         0,
         2,
         {".....", "..#..", "...#.", "#####", "...#.", "..#..", ".....", "....."}},
        {view::CharacterRom::kA00,
         16,
         1,
         2,
         {"###..", "#.#..", "###..", ".....", ".....", ".....", ".....", "....."}},
        {view::CharacterRom::kA00,
         3,
         1,
         3,
         {"#####", "#####", "#####", "#####", "#####", "#####", "#####", "#####"}},
        {view::CharacterRom::kA00,
         3,
         1,
         4,
         {"#####", "....#", "..#.#", "..##.", "..#..", "..#..", ".#...", "....."}},
        {view::CharacterRom::kA02,
         3,
         0,
         1,
         {".....", "#....", ".#...", "..#..", "...#.", "....#", ".....", "....."}},
        {view::CharacterRom::kA02,
         3,
         0,
         0,
         {"..#..", ".#.#.", "#...#", "#...#", "#####", "#...#", "#...#", "....."}},
    };
    for (const auto& c : cases) {
        PictureOptions options;
        options.size = {20, 4};
        options.rom = c.rom;
        options.scale = c.scale;
        const Image image = Decode(view::RenderPng(rows, options));
        ASSERT_EQ(image.width, view::PictureWidth(options));
        ASSERT_EQ(image.height, view::PictureHeight(options));
        EXPECT_EQ(CellDrawing(image, options, c.row, c.column), c.drawing)
            << "scale " << c.scale << ", cell " << c.row << "," << c.column;
    }
}

TEST(RenderPng, UserDefinedCellIsAnOutlineAndUnlitDotsShow) {
    PictureOptions options;
    options.size = {16, 2};
    const Image image = Decode(view::RenderPng({std::string("\x01 ", 2), "", "", ""}, options));
    ASSERT_GT(image.width, 0);
    const auto pixel = [&](int x, int y) {
        const std::size_t i = (static_cast<std::size_t>(y) * image.width + x) * 3;
        return std::vector<int>{image.rgb[i], image.rgb[i + 1], image.rgb[i + 2]};
    };
    const view::DotBox corner = view::DotAt(options, 0, 0, 0, 0);
    const view::DotBox centre = view::DotAt(options, 0, 0, 2, 3);
    const view::DotBox blank = view::DotAt(options, 0, 1, 2, 3);
    const std::vector<int> gap = pixel(blank.x - 1, blank.y);  // backlight between dots
    EXPECT_NE(pixel(corner.x, corner.y), gap);                 // the outline
    EXPECT_EQ(pixel(centre.x + 1, centre.y + 1), gap);         // nothing inside it
    EXPECT_NE(pixel(blank.x + 1, blank.y + 1), gap);           // a space's dots, faintly
    EXPECT_FALSE(image.Lit(blank));
}

// The part of `image` from (left, top), `width` by `height`.
Image Crop(const Image& image, int left, int top, int width, int height) {
    Image part;
    part.width = width;
    part.height = height;
    for (int y = top; y < top + height; ++y) {
        const auto row =
            image.rgb.begin() + (static_cast<std::ptrdiff_t>(y) * image.width + left) * 3;
        part.rgb.insert(part.rgb.end(), row, row + width * 3);
    }
    return part;
}

// The home screen's icon: "LV" on a two-character panel at the largest dot
// that fits, centred on a square of the bezel's colour.
TEST(RenderIconPng, LvOnThePanelCentredOnItsSquare) {
    const struct {
        int side;
        int scale;      // the panel inside: 2x1 at this dot size
        int left, top;  // where it lies in the square
        int panel_w, panel_h;
    } cases[] = {
        {192, 6, 12, 23, 168, 146},
        {512, 18, 8, 40, 495, 431},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.side);
        const Image icon = Decode(view::RenderIconPng(view::Theme::kGreen, c.side));
        ASSERT_EQ(icon.width, c.side);
        ASSERT_EQ(icon.height, c.side);
        for (const int corner : {0, (c.side * c.side - 1) * 3})
            EXPECT_EQ(std::vector<int>(icon.rgb.begin() + corner, icon.rgb.begin() + corner + 3),
                      (std::vector<int>{0x2a, 0x2c, 0x2e}));
        PictureOptions options;
        options.size = {2, 1};
        options.scale = c.scale;
        const Image panel = Crop(icon, c.left, c.top, c.panel_w, c.panel_h);
        // Inside the panel's bezel, its backlight.
        const std::size_t inside =
            (static_cast<std::size_t>(5 * c.scale) * c.panel_w + 5 * c.scale) * 3;
        EXPECT_EQ(std::vector<int>(panel.rgb.begin() + inside, panel.rgb.begin() + inside + 3),
                  (std::vector<int>{0x9c, 0xc8, 0x3a}));
        EXPECT_EQ(CellDrawing(panel, options, 0, 0),
                  (std::vector<std::string>{"#....", "#....", "#....", "#....", "#....", "#....",
                                            "#####", "....."}));
        EXPECT_EQ(CellDrawing(panel, options, 0, 1),
                  (std::vector<std::string>{"#...#", "#...#", "#...#", "#...#", "#...#", ".#.#.",
                                            "..#..", "....."}));
    }
}

TEST(RenderPng, TheLargestPictureIs80x4AtScale16) {
    PictureOptions options;
    options.scale = view::kBudgetScale;
    const Image image = Decode(view::RenderPng({"", "", "", ""}, options));
    EXPECT_EQ(image.width, view::PictureWidth(options));
    EXPECT_EQ(image.height, view::PictureHeight(options));
    EXPECT_LE(static_cast<long long>(image.width) * image.height, 9500LL * 910);
    // It spends the pixel budget exactly.
    EXPECT_EQ(static_cast<std::uint64_t>(image.width) * image.height, view::PixelBudget());
}
#endif

}  // namespace
