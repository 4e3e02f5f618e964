// The page's format as the driver defines it, against the tests' own copy of
// the page's bytes; and the reader the live view takes pages apart with.
#include "platform/page_format.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "tests/support/expected_page_text.h"
#include "tests/support/page_oracle.h"

namespace {

using page_format::PageRows;
using page_format::ReadPageRows;

// The oracle's page of the rows "a" to "d", put together at compile time.
struct CompileTimePage {
    char bytes[sizeof testhost::kExpectedPageText + 64];
    std::size_t size;
    constexpr void Put(std::string_view part) {
        for (const char c : part) bytes[size++] = c;
    }
};
constexpr CompileTimePage PageOfFourLetters() {
    constexpr std::string_view text = testhost::kExpectedPageText;
    constexpr std::string_view marker = "@ROW@";
    const std::size_t row = text.find(marker);
    const std::size_t row_end = row + marker.size();
    const std::size_t after = text.find('\n', row) + 1;
    CompileTimePage page{};
    page.Put(text.substr(0, row));
    for (const std::string_view letter : {"a", "b", "c", "d"}) {
        page.Put(letter);
        page.Put(text.substr(row_end, after - row_end));
    }
    page.Put(text.substr(after));
    return page;
}

// The reader needs no heap: it runs at compile time.
constexpr bool ReadsAtCompileTime() {
    constexpr CompileTimePage page = PageOfFourLetters();
    PageRows rows{};
    return ReadPageRows(std::string_view(page.bytes, page.size), &rows) && rows.rows[3] == "d";
}
static_assert(ReadsAtCompileTime());

TEST(PageFormat, ConstantsMakeTheExpectedPage) {
    using namespace page_format;
    const std::string head = kHead;
    const std::string row_end = kRowEnd;
    const std::string tail = kTail;
    EXPECT_EQ(head + "first" + row_end + "second" + row_end + tail,
              testhost::OraclePage({"first", "second"}, "\n"));
    EXPECT_EQ(kRows, 4);
    EXPECT_EQ(kColumns, 80);
}

std::vector<std::string> Read(const std::string& page) {
    PageRows rows{};
    if (!ReadPageRows(page, &rows)) return {};
    return {rows.rows, rows.rows + page_format::kRows};
}

struct ReadCase {
    const char* what;
    std::string page;
    std::vector<std::string> rows;  // empty: not a page
};

std::vector<ReadCase> ReadCases() {
    const auto page = [](std::vector<std::string> rows, const std::string& line_end = "\n") {
        return testhost::OraclePage(rows, line_end);
    };
    const std::string lf = page({"Quendalore Initialising", "14:07 08/12/26", " ", " "});
    const std::string eighty(80, '8');
    std::string mixed = page({"a", "b", "c", "d"}, "\r\n");
    mixed.replace(mixed.find("b<br>\r\n"), 7, "b<br>\n");
    return {
        {"LF", lf, {"Quendalore Initialising", "14:07 08/12/26", " ", " "}},
        {"CR LF", page({"a", "<b>x</b>", "", eighty}, "\r\n"), {"a", "<b>x</b>", "", eighty}},
        {"LF and CR LF mixed", mixed, {"a", "b", "c", "d"}},
        // A row's own line ends stay as the page holds them: the reader
        // decides what they mean.
        {"a row's CR LF on a CR LF page",
         page({"two\r\nlines", "b", "c", "d"}, "\r\n"),
         {"two\r\nlines", "b", "c", "d"}},
        {"a row's LF and CR on an LF page",
         page({"two\nlines", "cr\rhere", "\r", "d"}),
         {"two\nlines", "cr\rhere", "\r", "d"}},
        {"a row holding <br> with no line end",
         page({"a<br>b", "<br", "br>", "d"}),
         {"a<br>b", "<br", "br>", "d"}},
        {"empty file", "", {}},
        {"the head alone", page({}).substr(0, lf.find("Quendalore")), {}},
        {"no rows", page({}), {}},
        {"three rows", page({"a", "b", "c"}), {}},
        {"five rows", page({"a", "b", "c", "d", "e"}), {}},
        {"a row holding <br> and a line end", page({"a<br>\nb", "c", "d", "e"}), {}},
        {"cut short in the tail", lf.substr(0, lf.size() - 3), {}},
        {"without the last empty line", lf.substr(0, lf.size() - 1), {}},
        {"a byte after the tail", lf + " ", {}},
        {"CR alone as line end", page({"a", "b", "c", "d"}, "\r"), {}},
        {"CR CR LF as line end", page({"a", "b", "c", "d"}, "\r\r\n"), {}},
    };
}

TEST(ReadPageRows, Table) {
    for (const ReadCase& c : ReadCases()) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(Read(c.page), c.rows);
    }
}

TEST(ReadPageRows, RowsAreSlicesOfThePage) {
    const std::string page = testhost::OraclePage({"a", "bb", "ccc", "dddd"}, "\r\n");
    PageRows rows{};
    ASSERT_TRUE(ReadPageRows(page, &rows));
    for (const std::string_view row : rows.rows) {
        EXPECT_GE(row.data(), page.data());
        EXPECT_LE(row.data() + row.size(), page.data() + page.size());
        EXPECT_EQ(page.compare(static_cast<std::size_t>(row.data() - page.data()), row.size(), row),
                  0);
    }
}

}  // namespace
