// The display as the module shows it: the size of the area the host drives,
// the panel's colours, and the screen drawn dot by dot into a PNG.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "view/lcd/character_rom.h"
#include "view/lcd/page_rows.h"

namespace view {

// The area of the 4 x 80 screen the host's module shows, from the top left.
struct DisplaySize {
    int columns = 80;
    int rows = 4;
    bool operator==(const DisplaySize& other) const {
        return columns == other.columns && rows == other.rows;
    }
};
constexpr int kMaxColumns = 80;

// "COLSxROWS", columns 1 to 80 and rows 1 to 4 ("20x4"); nullopt otherwise.
std::optional<DisplaySize> ParseDisplaySize(std::string_view text);
std::string DisplaySizeName(DisplaySize size);

enum class Theme { kGreen, kBlue, kAmber, kWhite, kOled };
constexpr const char* kThemeNames = "green, blue, amber, white or oled";
std::optional<Theme> ParseTheme(std::string_view name);
const char* ThemeName(Theme theme);

// True when a row holds a non-blank character outside `size`, which the
// display then doesn't show.
bool TextBeyond(const Rows& bytes, DisplaySize size);

struct PictureOptions {
    DisplaySize size;
    CharacterRom rom = CharacterRom::kA00;
    Theme theme = Theme::kGreen;
    int scale = 3;  // pixels per dot
};
constexpr int kMinScale = 1;
constexpr int kMaxScale = 16;

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
// The largest picture a request may ask for: the whole screen at the largest scale.
PictureOptions LargestPicture();

// The rows (the bytes the host sent) drawn as the panel within its bezel, as a
// PNG. The same rows and options always give the same bytes.
std::string RenderPng(const Rows& bytes, const PictureOptions& options);

// The view's own options for the display, which a page or a picture uses
// where it chooses nothing else.
struct DisplayOptions {
    DisplaySize size;
    Theme theme = Theme::kGreen;
    int scale = 3;
};

// A picture with the view's options: its encoding's ROM when that is a ROM
// encoding, A00 otherwise.
PictureOptions PictureDefaults(const DisplayOptions& display, Encoding encoding);

// What /screen.png's query asks for: size, encoding (a ROM), theme and scale,
// each optional. `defaults` stands for what the query leaves out. False with a
// one-line reason for a value that is out of range or unknown.
bool ParsePictureQuery(std::string_view query, const PictureOptions& defaults,
                       PictureOptions* options, std::string* reason);

}  // namespace view
