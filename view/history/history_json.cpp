#include "view/history/history_json.h"

#include <algorithm>

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
        } else if (key == "from") {
            if (!ParseCount(value, &number)) {
                *reason = "from " + Quoted(value) + ": want a position in the history";
                return false;
            }
            history->from_position = number;
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

void AppendCodesJson(const Rows& bytes, std::string* json) {
    static constexpr char kHex[] = "0123456789abcdef";
    json->push_back('[');
    for (const std::string& row : bytes) {
        if (json->back() != '[') json->push_back(',');
        json->push_back('"');
        for (const char c : row) {
            const auto code = static_cast<unsigned char>(c);
            if (code == '"' || code == '\\') {
                json->push_back('\\');
                json->push_back(static_cast<char>(code));
            } else if (code < 0x20) {
                const char* named = code == '\b'   ? "\\b"
                                    : code == '\f' ? "\\f"
                                    : code == '\n' ? "\\n"
                                    : code == '\r' ? "\\r"
                                    : code == '\t' ? "\\t"
                                                   : nullptr;
                if (named)
                    json->append(named);
                else
                    json->append({'\\', 'u', '0', '0', kHex[code >> 4], kHex[code & 15]});
            } else if (code < 0x80) {
                json->push_back(static_cast<char>(code));
            } else {  // the character of the same number, in UTF-8
                json->push_back(static_cast<char>(0xc0 | code >> 6));
                json->push_back(static_cast<char>(0x80 | (code & 0x3f)));
            }
        }
        json->push_back('"');
    }
    json->push_back(']');
}

// Written out directly: ten thousand versions are a few megabytes, and the
// I/O thread waits while they are made.
std::string HistoryJson(const ScreenHistory& history, const HistoryQuery& query) {
    std::string json = "{\"versions\":[";
    json.reserve(std::min(query.limit, history.size()) * 256);
    const bool more = history.Visit(query.since_ms, query.until_ms, query.from_position,
                                    query.limit, [&](const KeptScreen& kept) {
                                        if (json.back() != '[') json.push_back(',');
                                        json += "{\"version\":" + std::to_string(kept.version) +
                                                ",\"time\":" + std::to_string(kept.time_ms) +
                                                ",\"position\":" + std::to_string(kept.position) +
                                                ",\"codes\":";
                                        AppendCodesJson(kept.bytes, &json);
                                        json.push_back('}');
                                    });
    json += more ? "],\"more\":true" : "],\"more\":false";
    json += ",\"first\":" + std::to_string(history.first_position()) +
            ",\"count\":" + std::to_string(history.size()) + "}";
    return json;
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
