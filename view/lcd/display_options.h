// The display as the view shows it, apart from the drawing: the area of the
// screen the host's module shows, the panel's theme, the picture's scale,
// and their parsing from the command line and /screen.png's query.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "view/lcd/character_rom.h"
#include "view/lcd/display_tables.h"
#include "view/lcd/encodings.h"
#include "view/lcd/rows.h"

namespace view {

// The area of the 4 x 80 screen the host's module shows, from the top left.
struct DisplaySize {
    int columns = kMaxColumns;
    int rows = kRowCount;
    bool operator==(const DisplaySize& other) const {
        return columns == other.columns && rows == other.rows;
    }
};

// "COLSxROWS", columns 1 to 80 and rows 1 to 4 ("20x4"); nullopt otherwise.
std::optional<DisplaySize> ParseDisplaySize(std::string_view text);
std::string DisplaySizeName(DisplaySize size);

// True when a row holds a non-blank character outside `size`, which the
// display then doesn't show.
bool TextBeyond(const Rows& bytes, DisplaySize size);

#define LUMIVANE_THEME_ENUMERATOR(id, name, backlight, lit, unlit) id,
enum class Theme { LUMIVANE_THEMES(LUMIVANE_THEME_ENUMERATOR) };
#undef LUMIVANE_THEME_ENUMERATOR
std::optional<Theme> ParseTheme(std::string_view name);
const char* ThemeName(Theme theme);
// Every theme's name, the default first: "green, blue, amber, white or oled".
std::string ThemeNameList();

// Pixels per dot of the picture. How large a picture may be is the pixel
// budget's to say (lcd_picture.h): the largest scales fit small displays only.
constexpr int kMinScale = 1;
constexpr int kMaxScale = 64;
// The whole screen at this scale spends the pixel budget exactly.
constexpr int kBudgetScale = 16;
// A whole number from kMinScale to kMaxScale; nullopt otherwise.
std::optional<int> ParseScale(std::string_view text);

struct PictureOptions {
    DisplaySize size;
    CharacterRom rom = CharacterRom::kA00;
    Theme theme = Theme::kGreen;
    int scale = 3;  // pixels per dot
};

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
// one-line reason for a value that is out of range or unknown, or for a
// picture over the pixel budget.
bool ParsePictureQuery(std::string_view query, const PictureOptions& defaults,
                       PictureOptions* options, std::string* reason);

}  // namespace view
