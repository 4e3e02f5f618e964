// The screen's rows as the host sent them: one string of bytes a row.
#pragma once

#include <array>
#include <string>

#include "platform/page_format.h"

namespace view {

constexpr int kRowCount = page_format::kRows;
constexpr int kMaxColumns = page_format::kColumns;
using Rows = std::array<std::string, kRowCount>;

}  // namespace view
