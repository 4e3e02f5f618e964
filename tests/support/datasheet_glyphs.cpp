#include "tests/support/datasheet_glyphs.h"

#include <nlohmann/json.hpp>

#include "tests/support/datasheet_glyphs_text.h"

namespace testhost {

const std::vector<DatasheetGlyph>& DatasheetGlyphs() {
    static const std::vector<DatasheetGlyph> glyphs = [] {
        const nlohmann::json file = nlohmann::json::parse(kDatasheetGlyphsText);
        std::vector<DatasheetGlyph> read;
        for (const nlohmann::json& glyph : file.at("glyphs"))
            read.push_back({glyph.at("rom").get<std::string>(),
                            static_cast<std::uint8_t>(
                                std::stoi(glyph.at("code").get<std::string>(), nullptr, 16)),
                            glyph.at("what").get<std::string>(),
                            glyph.at("dots").get<std::vector<std::string>>()});
        return read;
    }();
    return glyphs;
}

std::vector<std::string> DatasheetDots(const std::string& rom, std::uint8_t code) {
    for (const DatasheetGlyph& glyph : DatasheetGlyphs())
        if (glyph.rom == rom && glyph.code == code) return glyph.dots;
    return {};
}

}  // namespace testhost
