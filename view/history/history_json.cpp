#include "view/history/history_json.h"

namespace view {

namespace {
// Each key=value pair of a query, in order.
template <typename Visit>
bool ForEachPair(std::string_view query, Visit visit) {
    while (!query.empty()) {
        const std::size_t end = query.find('&');
        const std::string_view pair = query.substr(0, end);
        query = end == std::string_view::npos ? std::string_view() : query.substr(end + 1);
        const std::size_t equals = pair.find('=');
        if (!visit(pair.substr(0, equals),
                   equals == std::string_view::npos ? std::string_view() : pair.substr(equals + 1)))
            return false;
    }
    return true;
}

// A whole number of at most 15 digits (every time in ms up to the year 33658).
bool ParseCount(std::string_view text, std::uint64_t* value) {
    if (text.empty() || text.size() > 15 || text.find_first_not_of("0123456789") != text.npos)
        return false;
    *value = 0;
    for (const char digit : text) *value = *value * 10 + static_cast<std::uint64_t>(digit - '0');
    return true;
}

std::string Quoted(std::string_view value) { return "'" + std::string(value.substr(0, 32)) + "'"; }
}  // namespace

bool ParseHistoryQuery(std::string_view query, HistoryQuery* history, std::string* reason) {
    *history = HistoryQuery();
    return ForEachPair(query, [&](std::string_view key, std::string_view value) {
        std::uint64_t number = 0;
        if (key == "since" || key == "until") {
            if (!ParseCount(value, &number)) {
                *reason = std::string(key) + " " + Quoted(value) +
                          ": want a time in milliseconds since 1970";
                return false;
            }
            (key == "since" ? history->since_ms : history->until_ms) =
                static_cast<std::int64_t>(number);
        } else if (key == "limit") {
            if (!ParseCount(value, &number) || number > kMaxHistoryAnswer) {
                *reason = "limit " + Quoted(value) + ": want a whole number from 0 to " +
                          std::to_string(kMaxHistoryAnswer);
                return false;
            }
            history->limit = static_cast<std::size_t>(number);
        }
        return true;
    });
}

nlohmann::ordered_json CodesJson(const Rows& bytes) {
    nlohmann::ordered_json codes = nlohmann::ordered_json::array();
    for (const std::string& row : bytes) codes.push_back(DecodeToUtf8(row, Encoding::kLatin1));
    return codes;
}

std::string HistoryJson(const ScreenHistory& history, const HistoryQuery& query) {
    nlohmann::ordered_json versions = nlohmann::ordered_json::array();
    const bool more =
        history.Visit(query.since_ms, query.until_ms, query.limit, [&](const KeptScreen& kept) {
            versions.push_back(nlohmann::ordered_json{{"version", kept.version},
                                                      {"time", kept.time_ms},
                                                      {"codes", CodesJson(kept.bytes)}});
        });
    nlohmann::ordered_json json;
    json["versions"] = std::move(versions);
    json["more"] = more;
    return json.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

bool ParseVersionParameter(std::string_view query, std::optional<std::uint64_t>* version,
                           std::string* reason) {
    version->reset();
    return ForEachPair(query, [&](std::string_view key, std::string_view value) {
        if (key != "version") return true;
        std::uint64_t number = 0;
        if (!ParseCount(value, &number)) {
            *reason = "version " + Quoted(value) + ": want a version number";
            return false;
        }
        *version = number;
        return true;
    });
}

}  // namespace view
