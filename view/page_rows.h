// The page the driver writes, read back into its four row texts. Its format
// is the driver's own (driver/page_format.h); any file of another shape is
// not one of its pages.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "driver/page_format.h"

namespace view {

constexpr int kRowCount = page_format::kRows;
using Rows = std::array<std::string, kRowCount>;

// How the page's 8-bit row bytes become characters.
enum class Encoding { kWindows1252, kLatin1, kUtf8 };

// "windows-1252", "latin1" or "utf-8" (case-insensitive, with a few common
// aliases); nullopt for any other name.
std::optional<Encoding> ParseEncoding(std::string_view name);
const char* EncodingName(Encoding encoding);

// The row bytes decoded into UTF-8. Bytes that are not valid under the
// encoding (a broken UTF-8 sequence) become U+FFFD.
std::string DecodeToUtf8(std::string_view bytes, Encoding encoding);

// The four rows of a page, decoded; nullopt when `page` is not a whole page of
// the driver's format (empty, cut short, another file). Pages written with
// CR LF line ends (Windows text mode) read like LF ones.
std::optional<Rows> PageToRows(std::string_view page, Encoding encoding);

}  // namespace view
