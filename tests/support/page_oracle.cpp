#include "tests/support/page_oracle.h"

#include <string_view>

#include "tests/support/expected_page_text.h"

namespace testhost {

namespace {

// The file's head, row end and tail, split at its "@ROW@" line.
struct PageParts {
    std::string head;
    std::string row_end;
    std::string tail;
};

std::string WithLineEnd(std::string_view text, const std::string& line_end) {
    std::string stored;
    for (char c : text) {
        if (c == '\n')
            stored += line_end;
        else
            stored += c;
    }
    return stored;
}

PageParts Parts(const std::string& line_end) {
    const std::string_view text = kExpectedPageText;
    const std::string_view marker = "@ROW@";
    const std::size_t row = text.find(marker);
    const std::size_t row_line_end = text.find('\n', row) + 1;
    return {
        WithLineEnd(text.substr(0, row), line_end),
        WithLineEnd(text.substr(row + marker.size(), row_line_end - row - marker.size()), line_end),
        WithLineEnd(text.substr(row_line_end), line_end)};
}

}  // namespace

std::string OraclePage(const std::vector<std::string>& rows, const std::string& line_end) {
    const PageParts parts = Parts(line_end);
    std::string page = parts.head;
    for (const std::string& row : rows) page += row + parts.row_end;
    return page + parts.tail;
}

std::string OracleRefreshLine() {
    const std::string_view text = kExpectedPageText;
    const std::size_t start = text.find("\n<meta ") + 1;
    return std::string(text.substr(start, text.find('\n', start) - start));
}

std::vector<std::string> OraclePageRows(const std::string& page, const std::string& line_end) {
    const PageParts parts = Parts(line_end);
    if (page.size() < parts.head.size() + parts.tail.size() ||
        page.compare(0, parts.head.size(), parts.head) != 0 ||
        page.compare(page.size() - parts.tail.size(), parts.tail.size(), parts.tail) != 0)
        return {};

    std::vector<std::string> rows;
    std::size_t start = parts.head.size();
    const std::size_t body_end = page.size() - parts.tail.size();
    while (start < body_end) {
        const std::size_t end = page.find(parts.row_end, start);
        if (end == std::string::npos || end >= body_end) return {};
        rows.push_back(page.substr(start, end - start));
        start = end + parts.row_end.size();
    }
    if (rows.size() != 4) return {};
    return rows;
}

}  // namespace testhost
