// The page read back into rows: the driver's page with LF and CR LF line
// ends, what rows can hold, each encoding, and files that are not a page.
#include "view/watch/page_rows.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "tests/support/page_oracle.h"

using view::Encoding;
using view::PageToRows;
using view::Rows;

namespace {

// A page as the driver writes it, with `line_end` for every line end.
std::string Page(const std::vector<std::string>& rows, const std::string& line_end = "\n") {
    return testhost::OraclePage(rows, line_end);
}

const std::string kEighty =
    "1234567890abcdefghij1234567890ABCDEFGHIJ1234567890abcdefghij1234567890ABCDEFGHIJ";

struct PageCase {
    const char* what;
    std::string page;
    Encoding encoding;
    std::optional<Rows> rows;  // nullopt: not a page
};

std::vector<PageCase> PageCases() {
    const std::string page = Page({"Quendalore Initialising", "14:07 08/12/26", " ", " "});
    const Rows startup = {"Quendalore Initialising", "14:07 08/12/26", " ", " "};
    return {
        {"LF page", page, Encoding::kWindows1252, startup},
        {"CR LF page", Page({"Quendalore Initialising", "14:07 08/12/26", " ", " "}, "\r\n"),
         Encoding::kWindows1252, startup},
        {"markup stays characters",
         Page({"Hello, <b>world</b>!", "a &amp; b < c", "<script>x</script>", "&"}),
         Encoding::kWindows1252,
         Rows{"Hello, <b>world</b>!", "a &amp; b < c", "<script>x</script>", "&"}},
        {"80-character rows", Page({kEighty, kEighty, kEighty, kEighty}), Encoding::kUtf8,
         Rows{kEighty, kEighty, kEighty, kEighty}},
        {"empty rows", Page({"", "", "", ""}), Encoding::kLatin1, Rows{"", "", "", ""}},
        {"a line end inside a row", Page({"two\nlines", "tab\there", "cr\rhere", "x"}),
         Encoding::kLatin1, Rows{"two\nlines", "tab\there", "cr\rhere", "x"}},
        {"a CR LF inside a row of a CR LF page", Page({"two\r\nlines", "b", "c", "d"}, "\r\n"),
         Encoding::kLatin1, Rows{"two\nlines", "b", "c", "d"}},
        {"windows-1252: 80 to 9F are typographic, A0 to FF as Latin-1",
         Page({"\x80 \x85 \x93q\x94 \x99", "caf\xe9 \xff", "\x81\x8d\x8f\x90\x9d", "\xa0\xa9"}),
         Encoding::kWindows1252,
         Rows{"\u20ac \u2026 \u201cq\u201d \u2122", "caf\u00e9 \u00ff",
              "\u0081\u008d\u008f\u0090\u009d", "\u00a0\u00a9"}},
        {"latin1: every byte its own code point",
         Page({"\x80 \x85 \x93q\x94 \x99", "caf\xe9 \xff", "\x81\x8d\x8f\x90\x9d", "\xa0\xa9"}),
         Encoding::kLatin1,
         Rows{"\u0080 \u0085 \u0093q\u0094 \u0099", "caf\u00e9 \u00ff",
              "\u0081\u008d\u008f\u0090\u009d", "\u00a0\u00a9"}},
        {"utf-8: sequences decode, broken bytes become U+FFFD",
         Page({"caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80", "caf\xe9 \xff", "\xc0\xaf \xed\xa0\x80",
               "\xe2\x82"}),
         Encoding::kUtf8,
         Rows{"caf\u00e9 \u20ac \U0001F600", "caf\ufffd \ufffd", "\ufffd\ufffd \ufffd\ufffd\ufffd",
              "\ufffd\ufffd"}},
        {"utf-8: the last surrogate is refused, the next code point taken",
         Page({"\xed\xbf\xbf", "\xee\x80\x80", "\xed\x9f\xbf", "\xf4\x90\x80\x80"}),
         Encoding::kUtf8,
         Rows{"\ufffd\ufffd\ufffd", "\ue000", "\ud7ff", "\ufffd\ufffd\ufffd\ufffd"}},
        {"windows-1252: the ends of its 80 to 9F block", Page({"\x80\x9f", "\x9e", "\x7f", "\xa0"}),
         Encoding::kWindows1252, Rows{"\u20ac\u0178", "\u017e", "\x7f", "\u00a0"}},
        {"hd44780-a00: each byte its glyph's character",
         Page({"25\xdf"
               "C \xff\xff",
               "\x7e\x5c", "", " "}),
         Encoding::kHd44780A00, Rows{"25\u00b0C \u2588\u2588", "\u2192\u00a5", "", " "}},
        {"utf-8 bytes read as windows-1252", Page({"caf\xc3\xa9", "b", "c", "d"}),
         Encoding::kWindows1252, Rows{"caf\u00c3\u00a9", "b", "c", "d"}},
        {"empty file", "", Encoding::kWindows1252, std::nullopt},
        {"cut short in a row", page.substr(0, page.find("14:07") + 3), Encoding::kWindows1252,
         std::nullopt},
        {"cut short in the tail", page.substr(0, page.size() - 3), Encoding::kWindows1252,
         std::nullopt},
        {"without the last empty line", page.substr(0, page.size() - 1), Encoding::kWindows1252,
         std::nullopt},
        {"three rows", Page({"a", "b", "c"}), Encoding::kWindows1252, std::nullopt},
        {"five rows", Page({"a", "b", "c", "d", "e"}), Encoding::kWindows1252, std::nullopt},
        {"a row holding <br> and a line end can't be told apart", Page({"a<br>\nb", "c", "d", "e"}),
         Encoding::kWindows1252, std::nullopt},
        {"foreign HTML",
         "<!doctype "
         "html>\n<html><head><title>x</title></head>\n<body><pre>\na<br>\nb<br>\nc<br>\nd<br>\n"
         "</pre></body>\n</html>\n\n",
         Encoding::kWindows1252, std::nullopt},
        {"another refresh time",
         [&] {
             std::string other = page;
             other.replace(other.find("content=5"), 9, "content=9");
             return other;
         }(),
         Encoding::kWindows1252, std::nullopt},
    };
}

TEST(PageToRows, Table) {
    for (const PageCase& c : PageCases()) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(PageToRows(c.page, c.encoding), c.rows);
    }
}

}  // namespace
