// The display's picture, read back with libpng, its dots found in its pixels
// and compared dot by dot with the datasheet's glyphs.
#include "view/lcd/lcd_picture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/datasheet_glyphs.h"

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
    std::uint32_t Pixel(int x, int y) const {
        const std::size_t i = (static_cast<std::size_t>(y) * width + x) * 3;
        return static_cast<std::uint32_t>(rgb[i] << 16 | rgb[i + 1] << 8 | rgb[i + 2]);
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

// The dots of a picture as this test reads them from the pixels, knowing
// nothing of where the renderer means to put them: the bezel is the corner's
// colour, the backlight the first other colour along the middle row, and a
// dot is a filled square of any third colour. The dots' left edges make the
// columns and their top edges the rows, each cell five columns by eight rows
// of them; a user-defined cell's outline is no square, and no dot.
class FoundDots {
public:
    struct Dot {
        int size;
        std::uint32_t colour;
    };

    explicit FoundDots(const Image& image) : image_(image) {
        if (image.width == 0) return;
        const std::uint32_t bezel = image.Pixel(0, 0);
        backlight_ = bezel;
        for (int x = 0; x < image.width && backlight_ == bezel; ++x)
            backlight_ = image.Pixel(x, image.height / 2);
        std::vector<bool> seen(static_cast<std::size_t>(image.width) * image.height);
        for (int y = 0; y < image.height; ++y)
            for (int x = 0; x < image.width; ++x) {
                const std::uint32_t colour = image.Pixel(x, y);
                if (!seen[Index(x, y)] && colour != bezel && colour != backlight_)
                    Take(x, y, colour, &seen);
            }
        std::set<int> lefts, tops;
        for (const auto& [at, dot] : dots_) {
            lefts.insert(at.first);
            tops.insert(at.second);
            sizes_.insert(dot.size);
        }
        lefts_.assign(lefts.begin(), lefts.end());
        tops_.assign(tops.begin(), tops.end());
    }

    int columns() const { return static_cast<int>(lefts_.size()); }
    int rows() const { return static_cast<int>(tops_.size()); }
    const std::set<int>& sizes() const { return sizes_; }
    std::uint32_t backlight() const { return backlight_; }
    int Left(int column, int x) const { return lefts_.at(column * 5 + x); }
    int Top(int row, int y) const { return tops_.at(row * 8 + y); }

    // Dot (x, y) of the cell at `row`, `column`; null where there is none.
    const Dot* At(int row, int column, int x, int y) const {
        if (column * 5 + x >= columns() || row * 8 + y >= rows()) return nullptr;
        const auto found = dots_.find({Left(column, x), Top(row, y)});
        return found == dots_.end() ? nullptr : &found->second;
    }

    // A dot is lit when it is dark: green's lit dots are.
    static bool Lit(const Dot& dot) {
        return (dot.colour >> 16) + (dot.colour >> 8 & 0xff) + (dot.colour & 0xff) < 3 * 0x50;
    }

    // The cell's dots as the datasheet draws them: '#' lit, '.' unlit, '?' none.
    std::vector<std::string> Cell(int row, int column) const {
        std::vector<std::string> drawing;
        for (int y = 0; y < 8; ++y) {
            std::string line;
            for (int x = 0; x < 5; ++x) {
                const Dot* dot = At(row, column, x, y);
                line += dot == nullptr ? '?' : Lit(*dot) ? '#' : '.';
            }
            drawing.push_back(line);
        }
        return drawing;
    }

private:
    std::size_t Index(int x, int y) const { return static_cast<std::size_t>(y) * image_.width + x; }

    // The pixels of `colour` joined to (x, y) side by side; a dot when they
    // fill a square.
    void Take(int x, int y, std::uint32_t colour, std::vector<bool>* seen) {
        int left = x, right = x, top = y, bottom = y;
        long long count = 0;
        std::vector<std::pair<int, int>> next = {{x, y}};
        (*seen)[Index(x, y)] = true;
        while (!next.empty()) {
            const auto [px, py] = next.back();
            next.pop_back();
            ++count;
            left = std::min(left, px), right = std::max(right, px);
            top = std::min(top, py), bottom = std::max(bottom, py);
            for (const auto& [nx, ny] : {std::pair{px - 1, py}, std::pair{px + 1, py},
                                         std::pair{px, py - 1}, std::pair{px, py + 1}}) {
                if (nx < 0 || ny < 0 || nx >= image_.width || ny >= image_.height ||
                    (*seen)[Index(nx, ny)] || image_.Pixel(nx, ny) != colour)
                    continue;
                (*seen)[Index(nx, ny)] = true;
                next.push_back({nx, ny});
            }
        }
        const int width = right - left + 1;
        if (width == bottom - top + 1 && count == static_cast<long long>(width) * width)
            dots_[{left, top}] = {width, colour};
    }

    const Image& image_;
    std::uint32_t backlight_ = 0;
    std::map<std::pair<int, int>, Dot> dots_;  // by left and top edge
    std::vector<int> lefts_, tops_;
    std::set<int> sizes_;
};

TEST(RenderPng, CellsShowTheDatasheetsDots) {
    const Rows rows = {"A\x5c\x7e", std::string("21\xdf\xff\xb1", 5),
                       std::string("\x01", 1) + std::string(40, 'z'), ""};
    struct {
        view::CharacterRom rom;
        const char* rom_name;
        int scale;
        int row, column;
    } cases[] = {
        {view::CharacterRom::kA00, "A00", 3, 0, 0},   // A
        {view::CharacterRom::kA00, "A00", 1, 0, 1},   // yen
        {view::CharacterRom::kA00, "A00", 3, 0, 2},   // right arrow
        {view::CharacterRom::kA00, "A00", 16, 1, 2},  // degree
        {view::CharacterRom::kA00, "A00", 3, 1, 3},   // full block
        {view::CharacterRom::kA00, "A00", 3, 1, 4},   // katakana a
        {view::CharacterRom::kA02, "A02", 3, 0, 1},   // backslash
        {view::CharacterRom::kA02, "A02", 3, 0, 0},   // A
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("scale " + std::to_string(c.scale) + ", cell " + std::to_string(c.row) + "," +
                     std::to_string(c.column));
        PictureOptions options;
        options.size = {20, 4};
        options.rom = c.rom;
        options.scale = c.scale;
        const Image image = Decode(view::RenderPng(rows, options));
        ASSERT_EQ(image.width, view::PictureWidth(options));
        ASSERT_EQ(image.height, view::PictureHeight(options));
        const FoundDots dots(image);
        ASSERT_EQ(dots.columns(), 20 * 5);
        ASSERT_EQ(dots.rows(), 4 * 8);
        EXPECT_EQ(dots.sizes(), std::set<int>{c.scale});  // the scale: pixels per dot
        const auto code = static_cast<std::uint8_t>(rows[c.row][c.column]);
        const std::vector<std::string> datasheet = testhost::DatasheetDots(c.rom_name, code);
        ASSERT_FALSE(datasheet.empty()) << "no glyph for " << static_cast<int>(code);
        EXPECT_EQ(dots.Cell(c.row, c.column), datasheet);
    }
}

TEST(RenderPng, UserDefinedCellIsAnOutlineAndUnlitDotsShow) {
    PictureOptions options;
    options.size = {16, 2};
    const Image image = Decode(view::RenderPng({std::string("\x01 ", 2), "", "", ""}, options));
    ASSERT_GT(image.width, 0);
    const FoundDots dots(image);
    ASSERT_EQ(dots.columns(), 16 * 5);
    ASSERT_EQ(dots.rows(), 2 * 8);
    // The outline where the cell's corner dot would be, and nothing inside it.
    EXPECT_EQ(dots.At(0, 0, 0, 0), nullptr);
    EXPECT_NE(image.Pixel(dots.Left(0, 0), dots.Top(0, 0)), dots.backlight());
    EXPECT_EQ(dots.At(0, 0, 2, 3), nullptr);
    EXPECT_EQ(image.Pixel(dots.Left(0, 2) + 1, dots.Top(0, 3) + 1), dots.backlight());
    // A space's dots show faintly: found, and not lit.
    const FoundDots::Dot* blank = dots.At(0, 1, 2, 3);
    ASSERT_NE(blank, nullptr);
    EXPECT_FALSE(FoundDots::Lit(*blank));
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
        const Image panel = Crop(icon, c.left, c.top, c.panel_w, c.panel_h);
        // Inside the panel's bezel, its backlight.
        const std::size_t inside =
            (static_cast<std::size_t>(5 * c.scale) * c.panel_w + 5 * c.scale) * 3;
        EXPECT_EQ(std::vector<int>(panel.rgb.begin() + inside, panel.rgb.begin() + inside + 3),
                  (std::vector<int>{0x9c, 0xc8, 0x3a}));
        const FoundDots dots(icon);
        ASSERT_EQ(dots.columns(), 2 * 5);
        ASSERT_EQ(dots.rows(), 8);
        EXPECT_EQ(dots.sizes(), std::set<int>{c.scale});
        EXPECT_EQ(dots.Cell(0, 0), testhost::DatasheetDots("A00", 'L'));
        EXPECT_EQ(dots.Cell(0, 1), testhost::DatasheetDots("A00", 'V'));
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
