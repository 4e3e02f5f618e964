#include "view/lcd/encodings.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <vector>

#include "view/lcd/name_list.h"

namespace view {

namespace {
struct EncodingEntry {
    Encoding encoding;
    const char* name;
    const char* aliases[2];           // further names it answers to; nullptr ends them
    std::optional<CharacterRom> rom;  // a ROM encoding's glyphs; none for text
};

// Every encoding, the default first.
constexpr EncodingEntry kEncodings[] = {
    {Encoding::kWindows1252, "windows-1252", {"cp1252", nullptr}, std::nullopt},
    {Encoding::kLatin1, "latin1", {"iso-8859-1", "latin-1"}, std::nullopt},
    {Encoding::kUtf8, "utf-8", {"utf8", nullptr}, std::nullopt},
    {Encoding::kHd44780A00, "hd44780-a00", {"a00", nullptr}, CharacterRom::kA00},
    {Encoding::kHd44780A02, "hd44780-a02", {"a02", nullptr}, CharacterRom::kA02},
};

const EncodingEntry& EntryOf(Encoding encoding) {
    for (const EncodingEntry& entry : kEncodings)
        if (entry.encoding == encoding) return entry;
    return kEncodings[0];
}

// Code points of windows-1252's bytes 0x80 to 0x9F. The five bytes it leaves
// undefined map to the C1 controls of the same value, as browsers map them.
constexpr char32_t kWindows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

constexpr char32_t kReplacement = 0xFFFD;

void AppendUtf8(char32_t code, std::string* out) {
    if (code < 0x80) {
        out->push_back(static_cast<char>(code));
    } else if (code < 0x800) {
        out->push_back(static_cast<char>(0xC0 | (code >> 6)));
        out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
        out->push_back(static_cast<char>(0xE0 | (code >> 12)));
        out->push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
        out->push_back(static_cast<char>(0xF0 | (code >> 18)));
        out->push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
}

// Length of the well-formed UTF-8 sequence at the start of `bytes` (its code
// point in *code), or 0 when it is not one: overlong forms, surrogates and
// code points past U+10FFFF are refused.
std::size_t Utf8Sequence(std::string_view bytes, char32_t* code) {
    const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(bytes[i]); };
    const std::uint8_t lead = byte(0);
    std::size_t length = 0;
    char32_t value = 0;
    char32_t minimum = 0;
    if (lead < 0x80) {
        *code = lead;
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, value = lead & 0x1F, minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, value = lead & 0x0F, minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, value = lead & 0x07, minimum = 0x10000;
    } else {
        return 0;
    }
    if (bytes.size() < length) return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80) return 0;
        value = (value << 6) | (byte(i) & 0x3F);
    }
    if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
    *code = value;
    return length;
}
}  // namespace

const char* EncodingName(Encoding encoding) { return EntryOf(encoding).name; }

std::string EncodingNameList(bool roms_only) {
    std::vector<const char*> names;
    for (const EncodingEntry& entry : kEncodings)
        if (!roms_only || entry.rom) names.push_back(entry.name);
    return NameList(names);
}

std::optional<Encoding> ParseEncoding(std::string_view name) {
    std::string lower(name);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    for (const EncodingEntry& entry : kEncodings) {
        if (lower == entry.name) return entry.encoding;
        for (const char* alias : entry.aliases)
            if (alias && lower == alias) return entry.encoding;
    }
    return std::nullopt;
}

std::optional<CharacterRom> RomOf(Encoding encoding) { return EntryOf(encoding).rom; }

Encoding EncodingOfRom(CharacterRom rom) {
    for (const EncodingEntry& entry : kEncodings)
        if (entry.rom == rom) return entry.encoding;
    return Encoding::kHd44780A00;
}

std::string DecodeToUtf8(std::string_view bytes, Encoding encoding) {
    std::string text;
    DecodeInto(bytes, encoding, &text);
    return text;
}

void DecodeInto(std::string_view bytes, Encoding encoding, std::string* text) {
    text->clear();
    if (const auto rom = RomOf(encoding)) {
        for (const char byte : bytes)
            AppendUtf8(RomToUnicode(*rom, static_cast<std::uint8_t>(byte)), text);
        return;
    }
    for (std::size_t i = 0; i < bytes.size();) {
        const std::uint8_t byte = static_cast<std::uint8_t>(bytes[i]);
        char32_t code = byte;
        std::size_t used = 1;
        if (encoding == Encoding::kUtf8) {
            used = Utf8Sequence(bytes.substr(i), &code);
            if (used == 0) code = kReplacement, used = 1;
        } else if (encoding == Encoding::kWindows1252 && byte >= 0x80 && byte <= 0x9F) {
            code = kWindows1252High[byte - 0x80];
        }
        AppendUtf8(code, text);
        i += used;
    }
}

}  // namespace view
