// What /history.json and /screen.png?version= ask of the kept screens: the
// query read with a one-line reason for a bad value, and the answer's JSON.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

#include "view/history/screen_history.h"

namespace view {

// The most versions one answer holds: a longer span is fetched in pieces.
constexpr std::size_t kMaxHistoryAnswer = 10000;

struct HistoryQuery {
    std::int64_t since_ms = 0;  // both included
    std::int64_t until_ms = std::numeric_limits<std::int64_t>::max();
    std::uint64_t from_position = 0;  // the first position asked for
    std::size_t limit = kMaxHistoryAnswer;
};

// since=MS, until=MS (ms since 1970), from=POSITION and limit=N (0 to 10000),
// each optional;
// other keys (the token) are left to others. False with a one-line reason.
bool ParseHistoryQuery(std::string_view query, HistoryQuery* history, std::string* reason);

// A screen's rows as served, a JSON array: one string a row, each byte the
// character of the same number, for the page to read with any encoding or ROM.
void AppendCodesJson(const Rows& bytes, std::string* json);

// {"versions": [{"version": N, "time": MS, "position": P, "codes": [4 rows]}...],
//  "more": B, "first": P, "count": N}:
// the kept screens of the span, oldest first, their bytes one character each
// as in /screen.json; "more" when the limit left some of the span out; and the
// positions of all kept screens, `count` from `first`, so that a page can ask
// for the piece it shows (limit=0 answers those alone).
std::string HistoryJson(const ScreenHistory& history, const HistoryQuery& query);

// The value of version=N in a picture's query: nullopt in *version when there
// is none. False with a one-line reason when it is not a version number.
bool ParseVersionParameter(std::string_view query, std::optional<std::uint64_t>* version,
                           std::string* reason);

}  // namespace view
