// The page the driver writes, read back into its four row texts. Its format
// is the driver's own (driver/page_format.h); any file of another shape is
// not one of its pages.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "driver/page_format.h"
#include "view/lcd/character_rom.h"

namespace view {

constexpr int kRowCount = page_format::kRows;
using Rows = std::array<std::string, kRowCount>;

// How the page's 8-bit row bytes become characters: as text, or as the codes
// of an HD44780 character ROM, which the module draws from its own glyphs.
enum class Encoding { kWindows1252, kLatin1, kUtf8, kHd44780A00, kHd44780A02 };

// The names --encoding and the page's URL take, the default first.
constexpr const char* kEncodingNames = "windows-1252, latin1, utf-8, hd44780-a00 or hd44780-a02";

// "windows-1252", "latin1", "utf-8", "hd44780-a00" or "hd44780-a02"
// (case-insensitive, with a few common aliases); nullopt for any other name.
std::optional<Encoding> ParseEncoding(std::string_view name);
const char* EncodingName(Encoding encoding);

// The character ROM of a ROM encoding; nullopt for a text encoding.
std::optional<CharacterRom> RomOf(Encoding encoding);

// The row bytes decoded into UTF-8. Bytes that are not valid under the
// encoding (a broken UTF-8 sequence) become U+FFFD; under a ROM encoding each
// byte becomes its glyph's nearest character, a user-defined one U+FFFD.
std::string DecodeToUtf8(std::string_view bytes, Encoding encoding);
// The same into `text`, whose room is kept: a row no longer than the last one
// decoded into it costs no allocation.
void DecodeInto(std::string_view bytes, Encoding encoding, std::string* text);

// The four rows of a page as the bytes the host sent, into `rows`, whose
// strings keep their room; false, with `rows` left in no particular state,
// when `page` is not a whole page of the driver's format.
bool ReadRowBytes(std::string_view page, Rows* rows);

// The four rows of a page as the bytes the host sent; nullopt when `page` is
// not a whole page of the driver's format.
std::optional<Rows> PageToRowBytes(std::string_view page);

// The four rows of a page, decoded; nullopt when `page` is not a whole page of
// the driver's format (empty, cut short, another file). Pages written with
// CR LF line ends (Windows text mode) read like LF ones.
std::optional<Rows> PageToRows(std::string_view page, Encoding encoding);

}  // namespace view
