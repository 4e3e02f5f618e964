// The page the driver writes, read back into its four row texts. Its format
// is the driver's own (platform/page_format.h); any file of another shape is
// not one of its pages.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "view/lcd/encodings.h"
#include "view/lcd/rows.h"

namespace view {

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
