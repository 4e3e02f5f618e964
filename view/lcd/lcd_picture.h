// The display's picture: the screen drawn dot by dot, as the panel within its
// bezel, into a PNG.
#pragma once

#include <cstdint>
#include <string>

#include "view/lcd/display_options.h"
#include "view/lcd/rows.h"

namespace view {

// Where a dot of a cell lies in the picture: its top-left pixel and size.
struct DotBox {
    int x, y, size;
};
DotBox DotAt(const PictureOptions& options, int row, int column, int dot_x, int dot_y);

// The picture's size in pixels.
int PictureWidth(const PictureOptions& options);
int PictureHeight(const PictureOptions& options);
// Its width times its height: what drawing it costs, in time and memory.
std::uint64_t PicturePixels(const PictureOptions& options);
// The largest picture one may ask for: the whole screen at kBudgetScale.
PictureOptions LargestPicture();
// The most pixels a picture may have: those of LargestPicture(). A smaller
// display may take a larger scale within it.
std::uint64_t PixelBudget();
// True when the picture of `options` is within the budget; otherwise false
// with a one-line reason.
bool WithinPixelBudget(const PictureOptions& options, std::string* reason);

// The rows (the bytes the host sent) drawn as the panel within its bezel, as a
// PNG. The same rows and options always give the same bytes.
std::string RenderPng(const Rows& bytes, const PictureOptions& options);

// The view's icon, for a phone's home screen: a panel of two characters
// showing "LV" in `theme`, as large as fits, centred on a square of `side`
// pixels in the bezel's colour, as a PNG.
std::string RenderIconPng(Theme theme, int side);

// A theme's colours as CSS writes them ("#9cc83a"), for the web app manifest.
struct ThemeColours {
    std::string backlight;
    std::string bezel;
};
ThemeColours ThemeCssColours(Theme theme);

}  // namespace view
