#include "view/lcd/character_rom.h"

#include "view/character_rom_table.h"  // generated from the pinned npm package

namespace view {

namespace {
constexpr char32_t kReplacement = 0xFFFD;
constexpr char32_t kBlank = 0x20;

// Which character each glyph reads as is a reading of the datasheet's drawings,
// not glyph data: the dots themselves come only from the generated table.
// A00 0xE0-0xFF: Greek and accented letters, maths, and three kanji.
constexpr char32_t kA00High[32] = {
    0x03B1, 0x00E4, 0x03B2, 0x03B5, 0x03BC, 0x03C3, 0x03C1, 0x0067,  // α ä β ε μ σ ρ g
    0x221A, 0x207B, 0x006A, 0x02E3, 0x00A2, 0x00A3, 0x00F1, 0x00F6,  // √ ⁻(¹) j ˣ ¢ £ ñ ö
    0x0070, 0x0071, 0x03B8, 0x221E, 0x03A9, 0x00FC, 0x03A3, 0x03C0,  // p q θ ∞ Ω ü Σ π
    0x0078, 0x0079, 0x5343, 0x4E07, 0x5186, 0x00F7, kBlank, 0x2588,  // x(̄) y 千 万 円 ÷ █
};
// A02 0x10-0x1F: arrows, quotes and comparison signs.
constexpr char32_t kA02Low[16] = {
    0x25B6, 0x25C0, 0x201C, 0x201D, 0x23EB, 0x23EC, 0x25CF, 0x21B5,  // ▶ ◀ “ ” ⏫ ⏬ ● ↵
    0x2191, 0x2193, 0x2192, 0x2190, 0x2264, 0x2265, 0x25B2, 0x25BC,  // ↑ ↓ → ← ≤ ≥ ▲ ▼
};
// A02 0x80-0xBF: Cyrillic and Greek letters, music and signs; 0xC0-0xFF is
// Latin-1's.
constexpr char32_t kA02High[64] = {
    0x0411,  0x0414, 0x0416, 0x0417, 0x0418, 0x0419, 0x041B, 0x041F,  // Б Д Ж З И Й Л П
    0x0423,  0x0426, 0x0427, 0x0428, 0x0429, 0x042A, 0x042B, 0x042D,  // У Ц Ч Ш Щ Ъ Ы Э
    0x03B1,  0x266A, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x266C, 0x03C4,  // α ♪ Γ π Σ σ ♬ τ
    0x1F514, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x2665, 0x03B5, 0x2229,  // 🔔 Θ Ω δ ∞ ♥ ε ∩
    0x2016,  0x00A1, 0x00A2, 0x00A3, 0x00A4, 0x00A5, 0x00A6, 0x00A7,  // ‖ ¡ ¢ £ ¤ ¥ ¦ §
    0x0192,  0x00A9, 0x00AA, 0x00AB, 0x042E, 0x042F, 0x00AE, 0x2018,  // ƒ © ª « Ю Я ® ‘
    0x00B0,  0x00B1, 0x00B2, 0x00B3, 0x20A7, 0x00B5, 0x00B6, 0x00B7,  // ° ± ² ³ ₧ µ ¶ ·
    0x03C9,  0x00B9, 0x00BA, 0x00BB, 0x00BC, 0x00BD, 0x00BE, 0x00BF,  // ω ¹ º » ¼ ½ ¾ ¿
};

char32_t A00ToUnicode(std::uint8_t code) {
    if (code == 0x5C) return 0x00A5;  // ¥
    if (code == 0x7E) return 0x2192;  // →
    if (code == 0x7F) return 0x2190;  // ←
    if (code == 0xDF) return 0x00B0;  // the small circle, used as the degree sign
    if (code >= 0x20 && code < 0x7F) return code;
    if (code >= 0xA1 && code <= 0xDF) return 0xFF61 + (code - 0xA1);  // half-width katakana
    if (code >= 0xE0) return kA00High[code - 0xE0];
    return kBlank;  // 0x10-0x1F and 0x80-0xA0 hold no glyph
}

char32_t A02ToUnicode(std::uint8_t code) {
    if (code < 0x20) return kA02Low[code - 0x10];
    if (code == 0x7F) return 0x2302;  // ⌂
    if (code < 0x80) return code;
    if (code < 0xC0) return kA02High[code - 0x80];
    return code;
}
}  // namespace

const unsigned char* Glyph(CharacterRom rom, std::uint8_t code) {
    return rom == CharacterRom::kA00 ? rom_data::kA00[code] : rom_data::kA02[code];
}

char32_t RomToUnicode(CharacterRom rom, std::uint8_t code) {
    if (IsUserDefined(code)) return kReplacement;
    return rom == CharacterRom::kA00 ? A00ToUnicode(code) : A02ToUnicode(code);
}

}  // namespace view
