#include "view/lcd/lcd_picture.h"

#include <cstdint>
#include <vector>

#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STBI_WRITE_NO_STDIO
#include <stb/stb_image_write.h>

namespace view {

namespace {
struct Rgb {
    std::uint8_t r, g, b;
};

struct Palette {
    Rgb backlight;
    Rgb dot_on;
    Rgb dot_off;
};

constexpr int HexDigit(char c) { return c <= '9' ? c - '0' : c - 'a' + 10; }
constexpr std::uint8_t HexByte(const char* two) {
    return static_cast<std::uint8_t>(HexDigit(two[0]) * 16 + HexDigit(two[1]));
}
// "#rrggbb", as the page takes it too.
constexpr Rgb ColourOf(const char* hex) {
    return {HexByte(hex + 1), HexByte(hex + 3), HexByte(hex + 5)};
}

struct ThemePalette {
    Theme theme;
    Palette palette;
};
#define ENTRY(id, name, backlight, lit, unlit) \
    {Theme::id, {ColourOf(backlight), ColourOf(lit), ColourOf(unlit)}},
constexpr ThemePalette kPalettes[] = {LUMIVANE_THEMES(ENTRY)};
#undef ENTRY

// The bezel around the backlight, whatever the theme.
constexpr Rgb kBezel = ColourOf(LUMIVANE_BEZEL_COLOUR);

Palette PaletteOf(Theme theme) {
    for (const ThemePalette& entry : kPalettes)
        if (entry.theme == theme) return entry.palette;
    return kPalettes[0].palette;
}

// The panel's parts in quarters of a dot.
struct PanelQuarters {
#define PART(name, quarters) int name = quarters;
    LUMIVANE_PANEL_GEOMETRY(PART)
#undef PART
};
constexpr PanelQuarters kPanel{};

// A part of `quarters` quarters of a dot in pixels, rounded up.
constexpr int Pixels(int quarters, int scale) { return (quarters * scale + 3) / 4; }

// The panel's geometry in pixels, all from the dot size so that every scale
// looks alike: a gap between dots, a wider one between characters, a margin
// of backlight and the bezel around it.
struct Geometry {
    int dot, dot_gap, char_gap, margin, bezel;
    int char_width() const { return 5 * dot + 4 * dot_gap; }
    int char_height() const { return 8 * dot + 7 * dot_gap; }
};

Geometry GeometryOf(int scale) {
    const int dot = Pixels(kPanel.dot, scale);
    const int dot_gap = Pixels(kPanel.gap, scale);
    return {dot, dot_gap, dot + dot_gap, Pixels(kPanel.margin, scale), Pixels(kPanel.bezel, scale)};
}

class Canvas {
public:
    Canvas(int width, int height, Rgb fill)
        : width_(width), height_(height), pixels_(static_cast<std::size_t>(width) * height * 3) {
        Fill(0, 0, width, height, fill);
    }
    void Fill(int x, int y, int w, int h, Rgb colour) {
        for (int row = y; row < y + h; ++row) {
            std::uint8_t* p = &pixels_[(static_cast<std::size_t>(row) * width_ + x) * 3];
            for (int i = 0; i < w; ++i, p += 3) p[0] = colour.r, p[1] = colour.g, p[2] = colour.b;
        }
    }
    void Outline(int x, int y, int w, int h, Rgb colour) {
        Fill(x, y, w, 1, colour);
        Fill(x, y + h - 1, w, 1, colour);
        Fill(x, y, 1, h, colour);
        Fill(x + w - 1, y, 1, h, colour);
    }
    std::string Png() const;

private:
    int width_;
    int height_;
    std::vector<std::uint8_t> pixels_;
};

void AppendToString(void* context, void* data, int size) {
    static_cast<std::string*>(context)->append(static_cast<const char*>(data),
                                               static_cast<std::size_t>(size));
}

std::string Canvas::Png() const {
    std::string png;
    stbi_write_png_to_func(AppendToString, &png, width_, height_, 3, pixels_.data(), width_ * 3);
    return png;
}

// The panel within its bezel, its top-left corner at (left, top) of `canvas`.
void DrawPanel(Canvas* canvas, int left, int top, const Rows& bytes,
               const PictureOptions& options) {
    const Geometry g = GeometryOf(options.scale);
    const Palette palette = PaletteOf(options.theme);
    const int width = PictureWidth(options);
    const int height = PictureHeight(options);
    canvas->Fill(left, top, width, height, kBezel);
    canvas->Fill(left + g.bezel, top + g.bezel, width - 2 * g.bezel, height - 2 * g.bezel,
                 palette.backlight);
    for (int row = 0; row < options.size.rows; ++row) {
        for (int column = 0; column < options.size.columns; ++column) {
            const std::string& text = bytes[row];
            const auto code = static_cast<std::uint8_t>(
                static_cast<std::size_t>(column) < text.size() ? text[column] : ' ');
            if (IsUserDefined(code)) {
                const DotBox corner = DotAt(options, row, column, 0, 0);
                canvas->Outline(left + corner.x, top + corner.y, g.char_width(), g.char_height(),
                                palette.dot_off);
                continue;
            }
            const unsigned char* glyph = Glyph(options.rom, code);
            for (int y = 0; y < 8; ++y)
                for (int x = 0; x < 5; ++x) {
                    const bool on = (glyph[y] >> (4 - x)) & 1;
                    const DotBox dot = DotAt(options, row, column, x, y);
                    canvas->Fill(left + dot.x, top + dot.y, dot.size, dot.size,
                                 on ? palette.dot_on : palette.dot_off);
                }
        }
    }
}
}  // namespace

DotBox DotAt(const PictureOptions& options, int row, int column, int dot_x, int dot_y) {
    const Geometry g = GeometryOf(options.scale);
    const int left = g.bezel + g.margin + column * (g.char_width() + g.char_gap);
    const int top = g.bezel + g.margin + row * (g.char_height() + g.char_gap);
    return {left + dot_x * (g.dot + g.dot_gap), top + dot_y * (g.dot + g.dot_gap), g.dot};
}

int PictureWidth(const PictureOptions& options) {
    const Geometry g = GeometryOf(options.scale);
    const int columns = options.size.columns;
    return 2 * (g.bezel + g.margin) + columns * g.char_width() + (columns - 1) * g.char_gap;
}

int PictureHeight(const PictureOptions& options) {
    const Geometry g = GeometryOf(options.scale);
    const int rows = options.size.rows;
    return 2 * (g.bezel + g.margin) + rows * g.char_height() + (rows - 1) * g.char_gap;
}

std::uint64_t PicturePixels(const PictureOptions& options) {
    return static_cast<std::uint64_t>(PictureWidth(options)) *
           static_cast<std::uint64_t>(PictureHeight(options));
}

PictureOptions LargestPicture() {
    PictureOptions largest;
    largest.size = {kMaxColumns, kRowCount};
    largest.scale = kBudgetScale;
    return largest;
}

std::uint64_t PixelBudget() { return PicturePixels(LargestPicture()); }

bool WithinPixelBudget(const PictureOptions& options, std::string* reason) {
    if (PicturePixels(options) <= PixelBudget()) return true;
    const PictureOptions largest = LargestPicture();
    *reason = "size " + DisplaySizeName(options.size) + " at scale " +
              std::to_string(options.scale) + ": " + std::to_string(PictureWidth(options)) + "x" +
              std::to_string(PictureHeight(options)) + " pixels, over the budget of " +
              std::to_string(PixelBudget()) + " (" + DisplaySizeName(largest.size) + " at scale " +
              std::to_string(largest.scale) + ")";
    return false;
}

std::string RenderPng(const Rows& bytes, const PictureOptions& options) {
    Canvas canvas(PictureWidth(options), PictureHeight(options), kBezel);
    DrawPanel(&canvas, 0, 0, bytes, options);
    return canvas.Png();
}

std::string RenderIconPng(Theme theme, int side) {
    PictureOptions options;
    options.size = {2, 1};
    options.theme = theme;
    // The largest whole dot size that fits: the picture grows with it.
    for (options.scale = 1;;) {
        PictureOptions larger = options;
        ++larger.scale;
        if (PictureWidth(larger) > side || PictureHeight(larger) > side) break;
        options = larger;
    }
    Canvas canvas(side, side, kBezel);
    DrawPanel(&canvas, (side - PictureWidth(options)) / 2, (side - PictureHeight(options)) / 2,
              {"LV", "", "", ""}, options);
    return canvas.Png();
}

ThemeColours ThemeCssColours(Theme theme) {
    struct Backlight {
        Theme theme;
        const char* css;
    };
#define ENTRY(id, name, backlight, lit, unlit) {Theme::id, backlight},
    constexpr Backlight kBacklights[] = {LUMIVANE_THEMES(ENTRY)};
#undef ENTRY
    for (const Backlight& entry : kBacklights)
        if (entry.theme == theme) return {entry.css, LUMIVANE_BEZEL_COLOUR};
    return {kBacklights[0].css, LUMIVANE_BEZEL_COLOUR};
}

}  // namespace view
