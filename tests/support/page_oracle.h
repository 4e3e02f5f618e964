// The page the tests expect, from their own copy of its bytes
// (tests/support/expected_page.txt), not the driver's: a test that took the
// driver's constants could not catch a wrong one.
#pragma once

#include <string>
#include <vector>

namespace testhost {

// The page for these row texts, byte for byte, every "\n" as `line_end`.
std::string OraclePage(const std::vector<std::string>& rows, const std::string& line_end);

// The page's line that has the browser reload it, without its line end.
std::string OracleRefreshLine();

// The four row texts read back from a page of that shape; empty when the page
// has another shape. A row holding a line end of its own can't be read back.
std::vector<std::string> OraclePageRows(const std::string& page, const std::string& line_end);

}  // namespace testhost
