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
    Rgb dot_off;  // an unlit dot stays faintly visible, as on a real panel
    Rgb bezel;
};

// Kept in step with the page's THEMES, so a picture looks like the page.
Palette PaletteOf(Theme theme) {
    constexpr Rgb kBezel{0x2a, 0x2c, 0x2e};
    switch (theme) {
        case Theme::kGreen:
            return {{0x9c, 0xc8, 0x3a}, {0x1a, 0x2c, 0x08}, {0x8f, 0xba, 0x35}, kBezel};
        case Theme::kBlue:
            return {{0x1f, 0x3f, 0xd0}, {0xf0, 0xf6, 0xff}, {0x2b, 0x4d, 0xdb}, kBezel};
        case Theme::kAmber:
            return {{0xf2, 0xa0, 0x1e}, {0x3a, 0x1c, 0x00}, {0xe3, 0x94, 0x1b}, kBezel};
        case Theme::kWhite:
            return {{0xe9, 0xec, 0xee}, {0x1c, 0x20, 0x24}, {0xda, 0xde, 0xe1}, kBezel};
        case Theme::kOled:
            return {{0x00, 0x00, 0x00}, {0xd8, 0xf0, 0xff}, {0x12, 0x16, 0x1a}, kBezel};
    }
    return PaletteOf(Theme::kGreen);
}

// The panel's geometry in pixels, all from the dot size so that every scale
// looks alike: a gap between dots, a wider one between characters, a margin
// of backlight and the bezel around it.
struct Geometry {
    int dot, dot_gap, char_gap, margin, bezel;
    int char_width() const { return 5 * dot + 4 * dot_gap; }
    int char_height() const { return 8 * dot + 7 * dot_gap; }
};

Geometry GeometryOf(int scale) {
    const int dot_gap = (scale + 3) / 4;
    return {scale, dot_gap, scale + dot_gap, 3 * scale, 4 * scale};
}

class Canvas {
public:
    Canvas(int width, int height, Rgb fill)
        : width_(width), pixels_(static_cast<std::size_t>(width) * height * 3) {
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
    const std::uint8_t* data() const { return pixels_.data(); }

private:
    int width_;
    std::vector<std::uint8_t> pixels_;
};

void AppendToString(void* context, void* data, int size) {
    static_cast<std::string*>(context)->append(static_cast<const char*>(data),
                                               static_cast<std::size_t>(size));
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
    largest.scale = kMaxScale;
    return largest;
}

std::string RenderPng(const Rows& bytes, const PictureOptions& options) {
    const Geometry g = GeometryOf(options.scale);
    const Palette palette = PaletteOf(options.theme);
    const int width = PictureWidth(options);
    const int height = PictureHeight(options);
    Canvas canvas(width, height, palette.bezel);
    canvas.Fill(g.bezel, g.bezel, width - 2 * g.bezel, height - 2 * g.bezel, palette.backlight);

    for (int row = 0; row < options.size.rows; ++row) {
        const int top = g.bezel + g.margin + row * (g.char_height() + g.char_gap);
        for (int column = 0; column < options.size.columns; ++column) {
            const int left = g.bezel + g.margin + column * (g.char_width() + g.char_gap);
            const std::string& text = bytes[row];
            const auto code = static_cast<std::uint8_t>(
                static_cast<std::size_t>(column) < text.size() ? text[column] : ' ');
            if (IsUserDefined(code)) {
                canvas.Outline(left, top, g.char_width(), g.char_height(), palette.dot_off);
                continue;
            }
            const unsigned char* glyph = Glyph(options.rom, code);
            for (int y = 0; y < 8; ++y)
                for (int x = 0; x < 5; ++x) {
                    const bool on = (glyph[y] >> (4 - x)) & 1;
                    const DotBox dot = DotAt(options, row, column, x, y);
                    canvas.Fill(dot.x, dot.y, dot.size, dot.size,
                                on ? palette.dot_on : palette.dot_off);
                }
        }
    }
    std::string png;
    stbi_write_png_to_func(AppendToString, &png, width, height, 3, canvas.data(), width * 3);
    return png;
}

}  // namespace view
