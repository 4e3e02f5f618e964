#include "view/watch/page_rows.h"

#include "platform/page_format.h"

namespace view {

namespace {
// A row as text mode reads it: each CR LF one line end.
void CopyWithLfLineEnds(std::string_view row, std::string* text) {
    text->clear();
    for (std::size_t i = 0; i < row.size(); ++i) {
        if (row[i] == '\r' && i + 1 < row.size() && row[i + 1] == '\n') continue;
        text->push_back(row[i]);
    }
}
}  // namespace

bool ReadRowBytes(std::string_view page, Rows* rows) {
    page_format::PageRows slices;
    if (!page_format::ReadPageRows(page, &slices)) return false;
    for (int row = 0; row < kRowCount; ++row) CopyWithLfLineEnds(slices.rows[row], &(*rows)[row]);
    return true;
}

std::optional<Rows> PageToRowBytes(std::string_view page) {
    Rows rows;
    if (!ReadRowBytes(page, &rows)) return std::nullopt;
    return rows;
}

std::optional<Rows> PageToRows(std::string_view page, Encoding encoding) {
    std::optional<Rows> rows = PageToRowBytes(page);
    if (rows)
        for (std::string& row : *rows) row = DecodeToUtf8(row, encoding);
    return rows;
}

}  // namespace view
