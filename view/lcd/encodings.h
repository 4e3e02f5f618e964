// How the page's 8-bit row bytes become characters: as text, or as the codes
// of an HD44780 character ROM, which the module draws from its own glyphs.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "view/lcd/character_rom.h"

namespace view {

// Every encoding, the default first: its enumerator, its name, up to two
// aliases ("" for none), and the character ROM it draws with (NONE for a text
// encoding). The C++ expands it, and the live view's page is given it at
// build time (view/page/page_tables.h).
#define LUMIVANE_ENCODINGS(ENCODING)                           \
    ENCODING(kWindows1252, "windows-1252", "cp1252", "", NONE) \
    ENCODING(kLatin1, "latin1", "iso-8859-1", "latin-1", NONE) \
    ENCODING(kUtf8, "utf-8", "utf8", "", NONE)                 \
    ENCODING(kHd44780A00, "hd44780-a00", "a00", "", A00)       \
    ENCODING(kHd44780A02, "hd44780-a02", "a02", "", A02)

#define LUMIVANE_ENCODING_ENUMERATOR(id, name, alias, other_alias, rom) id,
enum class Encoding { LUMIVANE_ENCODINGS(LUMIVANE_ENCODING_ENUMERATOR) };
#undef LUMIVANE_ENCODING_ENUMERATOR

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
