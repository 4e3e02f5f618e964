// How the page's 8-bit row bytes become characters: as text, or as the codes
// of an HD44780 character ROM, which the module draws from its own glyphs.
// Every encoding's name and aliases are in one table (encodings.cpp).
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "view/lcd/character_rom.h"

namespace view {

enum class Encoding { kWindows1252, kLatin1, kUtf8, kHd44780A00, kHd44780A02 };

// The encoding's name as --encoding, the page's URL and /screen.json spell it:
// "windows-1252", "latin1", "utf-8", "hd44780-a00" or "hd44780-a02".
const char* EncodingName(Encoding encoding);

// Every encoding's name, the default first, for a message: "windows-1252,
// latin1, utf-8, hd44780-a00 or hd44780-a02"; with `roms_only`, those of the
// ROM encodings alone.
std::string EncodingNameList(bool roms_only = false);

// An encoding by its name or one of its aliases, case-insensitive; nullopt
// for any other name.
std::optional<Encoding> ParseEncoding(std::string_view name);

// The character ROM of a ROM encoding; nullopt for a text encoding.
std::optional<CharacterRom> RomOf(Encoding encoding);
// The encoding that draws with `rom`.
Encoding EncodingOfRom(CharacterRom rom);

// The row bytes decoded into UTF-8. Bytes that are not valid under the
// encoding (a broken UTF-8 sequence) become U+FFFD; under a ROM encoding each
// byte becomes its glyph's nearest character, a user-defined one U+FFFD.
std::string DecodeToUtf8(std::string_view bytes, Encoding encoding);
// The same into `text`, whose room is kept: a row no longer than the last one
// decoded into it costs no allocation.
void DecodeInto(std::string_view bytes, Encoding encoding, std::string* text);

}  // namespace view
