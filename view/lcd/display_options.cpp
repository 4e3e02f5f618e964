#include "view/lcd/display_options.h"

#include <vector>

#include "view/lcd/lcd_picture.h"
#include "view/lcd/name_list.h"

namespace view {

namespace {
struct ThemeEntry {
    Theme theme;
    const char* name;
};

// Every theme, the default first.
constexpr ThemeEntry kThemes[] = {
    {Theme::kGreen, "green"}, {Theme::kBlue, "blue"}, {Theme::kAmber, "amber"},
    {Theme::kWhite, "white"}, {Theme::kOled, "oled"},
};

bool ParseInt(std::string_view text, int low, int high, int* value) {
    if (text.empty() || text.size() > 3) return false;
    int number = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return false;
        number = number * 10 + (c - '0');
    }
    if (number < low || number > high) return false;
    *value = number;
    return true;
}

// A value as a reason quotes it, cut short.
std::string Quoted(std::string_view value) { return "'" + std::string(value.substr(0, 32)) + "'"; }
}  // namespace

std::optional<DisplaySize> ParseDisplaySize(std::string_view text) {
    const std::size_t x = text.find_first_of("xX");
    if (x == std::string_view::npos) return std::nullopt;
    DisplaySize size;
    if (!ParseInt(text.substr(0, x), 1, kMaxColumns, &size.columns) ||
        !ParseInt(text.substr(x + 1), 1, kRowCount, &size.rows))
        return std::nullopt;
    return size;
}

std::string DisplaySizeName(DisplaySize size) {
    return std::to_string(size.columns) + "x" + std::to_string(size.rows);
}

bool TextBeyond(const Rows& bytes, DisplaySize size) {
    for (int row = 0; row < kRowCount; ++row) {
        const std::size_t from = row < size.rows ? static_cast<std::size_t>(size.columns) : 0;
        if (bytes[row].size() > from &&
            bytes[row].find_first_not_of(' ', from) != std::string::npos)
            return true;
    }
    return false;
}

std::optional<Theme> ParseTheme(std::string_view name) {
    for (const ThemeEntry& entry : kThemes)
        if (name == entry.name) return entry.theme;
    return std::nullopt;
}

const char* ThemeName(Theme theme) {
    for (const ThemeEntry& entry : kThemes)
        if (entry.theme == theme) return entry.name;
    return "?";
}

std::string ThemeNameList() {
    std::vector<const char*> names;
    for (const ThemeEntry& entry : kThemes) names.push_back(entry.name);
    return NameList(names);
}

std::optional<int> ParseScale(std::string_view text) {
    int scale = 0;
    if (!ParseInt(text, kMinScale, kMaxScale, &scale)) return std::nullopt;
    return scale;
}

PictureOptions PictureDefaults(const DisplayOptions& display, Encoding encoding) {
    PictureOptions options;
    options.size = display.size;
    options.rom = RomOf(encoding).value_or(CharacterRom::kA00);
    options.theme = display.theme;
    options.scale = display.scale;
    return options;
}

bool ParsePictureQuery(std::string_view query, const PictureOptions& defaults,
                       PictureOptions* options, std::string* reason) {
    *options = defaults;
    while (!query.empty()) {
        const std::size_t end = query.find('&');
        const std::string_view pair = query.substr(0, end);
        query = end == std::string_view::npos ? std::string_view() : query.substr(end + 1);
        const std::size_t equals = pair.find('=');
        const std::string_view key = pair.substr(0, equals);
        const std::string_view value =
            equals == std::string_view::npos ? std::string_view() : pair.substr(equals + 1);
        if (key == "size") {
            const auto size = ParseDisplaySize(value);
            if (!size) {
                *reason = "size " + Quoted(value) + ": want COLSxROWS, columns 1-" +
                          std::to_string(kMaxColumns) + " and rows 1-" + std::to_string(kRowCount);
                return false;
            }
            options->size = *size;
        } else if (key == "encoding") {
            const auto encoding = ParseEncoding(value);
            const auto rom = encoding ? RomOf(*encoding) : std::nullopt;
            if (!rom) {
                *reason = "encoding " + Quoted(value) + ": want " + EncodingNameList(true);
                return false;
            }
            options->rom = *rom;
        } else if (key == "theme") {
            const auto theme = ParseTheme(value);
            if (!theme) {
                *reason = "theme " + Quoted(value) + ": want " + ThemeNameList();
                return false;
            }
            options->theme = *theme;
        } else if (key == "scale") {
            const auto scale = ParseScale(value);
            if (!scale) {
                *reason = "scale " + Quoted(value) + ": want a whole number from " +
                          std::to_string(kMinScale) + " to " + std::to_string(kMaxScale);
                return false;
            }
            options->scale = *scale;
        }
    }
    return WithinPixelBudget(*options, reason);
}

}  // namespace view
