// The page's format: where it lives, the screen's size, and the bytes around
// its rows. The page writer puts pages together from these, and anyone
// reading a page back (the live view) takes it apart with ReadPageRows, so the
// two never drift. It sits with the platform, the lowest layer, so that every
// layer may read it.
//
// A page is the head, each row's bytes followed by the row end, and the
// tail. Every "\n" in them is written as the platform's line end.
// Header only and allocation-free, so the driver can use it too.
#pragma once

#include <cstddef>
#include <string_view>

namespace page_format {

// The page's folder below the current directory, which holds the log too, and
// the page's file there. Also macros, so that each platform spells the page's
// path with its own separator.
#define LUMIVANE_PAGE_FOLDER "logs"
#define LUMIVANE_PAGE_FILE "index.htm"
constexpr char kFolder[] = LUMIVANE_PAGE_FOLDER;
constexpr char kFile[] = LUMIVANE_PAGE_FILE;

// Also macros, so that the live view's page can be given them at build time.
#define LUMIVANE_PAGE_ROWS 4
#define LUMIVANE_PAGE_COLUMNS 80
constexpr int kRows = LUMIVANE_PAGE_ROWS;
constexpr int kColumns = LUMIVANE_PAGE_COLUMNS;

constexpr char kHead[] =
    "<html>\n<head></head>\n<meta http-equiv=refresh content=5 >\n<body><pre>\n";
constexpr char kRowEnd[] = "<br>\n";
constexpr char kTail[] = "</pre></body>\n</html>\n\n";

// A page's rows as slices of the page's own bytes. A page written with CR LF
// line ends keeps them inside its rows: a row that held "\n" reads "\r\n".
struct PageRows {
    std::string_view rows[kRows];
};

namespace detail {

// Whether `format` stands in `page` at `at`, each "\n" of it matching "\n" or
// "\r\n"; on a match, *end is where it ends in `page`.
constexpr bool MatchAt(std::string_view page, std::size_t at, std::string_view format,
                       std::size_t* end) {
    for (const char c : format) {
        if (c == '\n' && at + 1 < page.size() && page[at] == '\r' && page[at + 1] == '\n') ++at;
        if (at >= page.size() || page[at] != c) return false;
        ++at;
    }
    *end = at;
    return true;
}

// Where `format` starts when it ends `page` (matched as MatchAt does), or npos.
constexpr std::size_t MatchEnd(std::string_view page, std::string_view format) {
    std::size_t at = page.size();
    for (std::size_t i = format.size(); i-- > 0;) {
        if (at == 0 || page[at - 1] != format[i]) return std::string_view::npos;
        --at;
        if (format[i] == '\n' && at > 0 && page[at - 1] == '\r') --at;
    }
    return at;
}

}  // namespace detail

// Takes a page apart into its four rows. False when `page` is not a whole
// page of this format: empty, cut short, another file, or a row whose own
// bytes hold the row end (such a page can't be read back unambiguously).
// Line ends may be LF or CR LF, even mixed.
constexpr bool ReadPageRows(std::string_view page, PageRows* out) {
    std::size_t body = 0;
    if (!detail::MatchAt(page, 0, kHead, &body)) return false;
    const std::size_t tail = detail::MatchEnd(page, kTail);
    if (tail == std::string_view::npos || tail < body) return false;

    const std::string_view row_text(kRowEnd, sizeof kRowEnd - 2);  // "<br>"
    std::size_t at = body;
    for (std::string_view& row : out->rows) {
        std::size_t end = at;
        std::size_t next = 0;
        for (;; ++end) {
            end = page.find(row_text, end);
            if (end == std::string_view::npos || end >= tail) return false;
            if (detail::MatchAt(page, end, kRowEnd, &next) && next <= tail) break;
        }
        row = page.substr(at, end - at);
        at = next;
    }
    return at == tail;
}

}  // namespace page_format
