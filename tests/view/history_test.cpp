// The screens the view keeps for looking back, and how /history.json and
// /screen.png?version= answer from them, without a socket.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "view/history/history_json.h"
#include "view/history/screen_history.h"
#include "view/http/route.h"
#include "view/http/shared_state.h"

namespace view {
namespace {

namespace http = boost::beast::http;

Rows Screen(const std::string& first_row) { return {first_row, "b", "", "d"}; }

// The versions a history holds over its whole span, oldest first.
std::vector<std::uint64_t> VersionsOf(const ScreenHistory& history) {
    std::vector<std::uint64_t> versions;
    history.Visit(0, INT64_MAX, 0, SIZE_MAX,
                  [&](const KeptScreen& kept) { versions.push_back(kept.version); });
    return versions;
}

TEST(ScreenHistory, KeepsAtMostItsCountTheOldestGoingFirst) {
    ScreenHistory history;
    for (std::uint64_t version = 1; version <= 100001; ++version)
        history.Add(version, 1000 + static_cast<std::int64_t>(version),
                    Screen(std::to_string(version)));
    EXPECT_EQ(history.size(), 100000u);
    EXPECT_FALSE(history.Find(1));
    ASSERT_TRUE(history.Find(2));
    EXPECT_EQ(history.Find(2)->bytes, Screen("2"));
    ASSERT_TRUE(history.Find(100001));
    EXPECT_EQ(history.Find(100001)->bytes, Screen("100001"));
    EXPECT_EQ(history.Find(100001)->time_ms, 101001);
    const auto versions = VersionsOf(history);
    EXPECT_EQ(versions.front(), 2u);
    EXPECT_EQ(versions.back(), 100001u);
    // The positions go on from where they were: the first one is gone.
    EXPECT_EQ(history.first_position(), 1u);
    EXPECT_EQ(history.Find(2)->position, 1u);
    EXPECT_EQ(history.Find(100001)->position, 100000u);
}

TEST(ScreenHistory, KeepsTheLast24Hours) {
    constexpr std::int64_t kHour = 3600 * 1000;
    ScreenHistory history;
    history.Add(1, 0, Screen("one"));
    history.Add(2, kHour, Screen("two"));
    history.Add(3, 24 * kHour, Screen("three"));  // one is exactly 24 h old: kept
    EXPECT_EQ(VersionsOf(history), (std::vector<std::uint64_t>{1, 2, 3}));
    history.Add(4, 24 * kHour + 1, Screen("four"));
    EXPECT_EQ(VersionsOf(history), (std::vector<std::uint64_t>{2, 3, 4}));
    // With no change for a day, the keep-alive's look drops the rest.
    history.DropOlderThanAge(48 * kHour + 2);
    EXPECT_EQ(VersionsOf(history), (std::vector<std::uint64_t>{}));
    EXPECT_FALSE(history.Find(4));
    history.Add(5, 49 * kHour, Screen("five"));
    EXPECT_EQ(history.Find(5)->bytes, Screen("five"));
}

TEST(ScreenHistory, KeepsNoRepeatNothingAtCountZeroAndTimesInOrder) {
    ScreenHistory history;
    history.Add(1, 100, Screen("a"));
    history.Add(1, 150, Screen("a"));  // the page back after a miss, the same screen
    history.Add(2, 200, Screen("b"));
    history.Add(3, 250, Screen("a"));  // back to an older screen: a change
    history.Add(4, 120, Screen("c"));  // the clock set back
    EXPECT_EQ(VersionsOf(history), (std::vector<std::uint64_t>{1, 2, 3, 4}));
    EXPECT_EQ(history.Find(1)->time_ms, 100);
    EXPECT_EQ(history.Find(4)->time_ms, 250);

    ScreenHistory none(HistoryLimits{0, std::chrono::hours(24)});
    none.Add(1, 100, Screen("a"));
    EXPECT_EQ(none.size(), 0u);
    EXPECT_FALSE(none.Find(1));
}

TEST(ScreenHistory, VisitsASpanOldestFirstWithinItsLimit) {
    ScreenHistory history;
    for (std::uint64_t version = 1; version <= 5; ++version)
        history.Add(version, 100 * static_cast<std::int64_t>(version),
                    Screen(std::to_string(version)));
    history.Add(6, 600, Screen("6"));
    history.Add(7, 700, Screen("7"));
    // Versions 1 and 2 go first: 3 to 7 are kept at positions 2 to 6.
    ScreenHistory five(HistoryLimits{5, std::chrono::hours(24)});
    history.Visit(0, INT64_MAX, 0, SIZE_MAX, [&](const KeptScreen& kept) {
        five.Add(kept.version, kept.time_ms, kept.bytes);
    });
    struct {
        std::int64_t since, until;
        std::uint64_t from_position;
        std::size_t limit;
        std::vector<std::uint64_t> versions;
        bool more;
    } cases[] = {
        {0, INT64_MAX, 0, 10, {3, 4, 5, 6, 7}, false},
        {300, 500, 0, 10, {3, 4, 5}, false},  // both ends included
        {301, 499, 0, 10, {4}, false},
        {300, 500, 0, 2, {3, 4}, true},
        {300, 400, 0, 2, {3, 4}, false},
        {0, INT64_MAX, 0, 0, {}, true},
        {800, 900, 0, 10, {}, false},
        {500, 300, 0, 10, {}, false},
        {0, INT64_MAX, 5, 10, {6, 7}, false},  // from a position on
        {0, INT64_MAX, 4, 1, {5}, true},
        {0, INT64_MAX, 1, 10, {3, 4, 5, 6, 7}, false},  // one no longer kept: from the oldest
        {0, INT64_MAX, 7, 10, {}, false},               // the next to come
        {400, INT64_MAX, 3, 10, {4, 5, 6, 7}, false},   // the later of the two starts
        {400, INT64_MAX, 5, 10, {6, 7}, false},
    };
    ASSERT_EQ(five.first_position(), 2u);
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.since) + ".." + std::to_string(c.until) + " from " +
                     std::to_string(c.from_position));
        std::vector<std::uint64_t> versions;
        const bool more =
            five.Visit(c.since, c.until, c.from_position, c.limit, [&](const KeptScreen& kept) {
                versions.push_back(kept.version);
                EXPECT_EQ(kept.bytes, Screen(std::to_string(kept.version)));
                EXPECT_EQ(kept.position, kept.version - 1);
            });
        EXPECT_EQ(versions, c.versions);
        EXPECT_EQ(more, c.more);
    }
}

Request Get(const std::string& target) {
    Request request(http::verb::get, target, 11);
    request.set(http::field::host, "127.0.0.1");
    return request;
}

// Two screens, the second with bytes above 0x7f and a quote, as the host sent them.
ScreenHistory TwoScreens() {
    ScreenHistory history;
    history.Add(7, 1765461422318,
                {"Temp 21\xdf"
                 "C",
                 "\"q\"", "", ""});
    history.Add(8, 1765461423000, {"\xff\x7e", "", "", ""});
    return history;
}

// Routes with the two screens kept.
class HistoryRoute : public ::testing::Test {
protected:
    HistoryRoute() { snapshot.history = &history; }
    const ScreenHistory history = TwoScreens();
    Snapshot snapshot;
};

TEST_F(HistoryRoute, TheSpansVersionsOldestFirst) {
    struct {
        const char* target;
        const char* body;
    } cases[] = {
        {"/history.json",
         R"({"versions":[{"version":7,"time":1765461422318,"position":0,"codes":["Temp 21ßC","\"q\"","",""]},)"
         R"({"version":8,"time":1765461423000,"position":1,"codes":["ÿ~","","",""]}],"more":false,"first":0,"count":2})"},
        {"/history.json?since=1765461422319",
         R"({"versions":[{"version":8,"time":1765461423000,"position":1,"codes":["ÿ~","","",""]}],"more":false,"first":0,"count":2})"},
        {"/history.json?until=1765461422318&since=0",
         R"({"versions":[{"version":7,"time":1765461422318,"position":0,"codes":["Temp 21ßC","\"q\"","",""]}],"more":false,"first":0,"count":2})"},
        {"/history.json?limit=1",
         R"({"versions":[{"version":7,"time":1765461422318,"position":0,"codes":["Temp 21ßC","\"q\"","",""]}],"more":true,"first":0,"count":2})"},
        {"/history.json?from=1",
         R"({"versions":[{"version":8,"time":1765461423000,"position":1,"codes":["ÿ~","","",""]}],"more":false,"first":0,"count":2})"},
        {"/history.json?since=1765461423001",
         R"({"versions":[],"more":false,"first":0,"count":2})"},
        // What a page asks first: where the kept screens are, and none of them.
        {"/history.json?limit=0", R"({"versions":[],"more":true,"first":0,"count":2})"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.target);
        const Answer answer = Route(Get(c.target), snapshot);
        EXPECT_EQ(answer.response.result(), http::status::ok);
        EXPECT_EQ(answer.response[http::field::content_type], "application/json");
        EXPECT_EQ(answer.response[http::field::cache_control], "no-store");
        EXPECT_EQ(answer.response.body(), c.body);
    }
    // A view that keeps nothing answers with nothing.
    EXPECT_EQ(Route(Get("/history.json"), Snapshot()).response.body(),
              R"({"versions":[],"more":false,"first":0,"count":0})");
}

// Every byte, as /history.json and /screen.json serve it, read back by a
// JSON parser: each row's characters are its bytes, one for one.
TEST(HistoryCodes, EveryByteIsTheCharacterOfItsNumberAsInTheScreen) {
    Rows bytes;
    for (int code = 0; code < 256; ++code) bytes[code / 64].push_back(static_cast<char>(code));
    ScreenHistory history;
    history.Add(1, 5, bytes);
    ScreenState state;
    state.bytes = bytes;
    const auto kept = nlohmann::json::parse(HistoryJson(history, HistoryQuery()));
    const auto screen = nlohmann::json::parse(ScreenJson(state, "page"));
    EXPECT_EQ(kept["versions"][0]["codes"], screen["codes"]);
    for (int row = 0; row < kRowCount; ++row) {
        // UTF-8 of code points below 256: one byte below 0x80, two from there.
        const std::string text = kept["versions"][0]["codes"][row];
        std::string back;
        for (std::size_t i = 0; i < text.size(); ++i) {
            const auto lead = static_cast<unsigned char>(text[i]);
            back.push_back(lead < 0x80
                               ? static_cast<char>(lead)
                               : static_cast<char>((lead & 0x03) << 6 | (text[++i] & 0x3f)));
        }
        EXPECT_EQ(back, bytes[row]) << "row " << row;
    }
}

TEST_F(HistoryRoute, ABadValueGets400WithItsReason) {
    struct {
        const char* target;
        const char* reason;
    } cases[] = {
        {"/history.json?since=", "since '': want a time in milliseconds since 1970\n"},
        {"/history.json?since=-5", "since '-5': want a time in milliseconds since 1970\n"},
        {"/history.json?until=12ab", "until '12ab': want a time in milliseconds since 1970\n"},
        {"/history.json?until=1234567890123456",
         "until '1234567890123456': want a time in milliseconds since 1970\n"},
        {"/history.json?limit=10001", "limit '10001': want a whole number from 0 to 10000\n"},
        {"/history.json?limit=x", "limit 'x': want a whole number from 0 to 10000\n"},
        {"/history.json?from=-1", "from '-1': want a position in the history\n"},
        {"/history.json?from=", "from '': want a position in the history\n"},
        {"/screen.png?version=abc", "version 'abc': want a version number\n"},
        {"/screen.png?version=", "version '': want a version number\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.target);
        const Answer answer = Route(Get(c.target), snapshot);
        EXPECT_EQ(answer.response.result(), http::status::bad_request);
        EXPECT_EQ(answer.response.body(), c.reason);
        EXPECT_FALSE(answer.picture);
    }
}

TEST_F(HistoryRoute, APictureOfAKeptVersionOnly) {
    const Answer kept = Route(Get("/screen.png?version=7&scale=2"), snapshot);
    ASSERT_TRUE(kept.picture && kept.picture_of);
    EXPECT_EQ(kept.picture->scale, 2);
    EXPECT_EQ(kept.picture_of->version, 7u);
    EXPECT_EQ(kept.picture_of->bytes, (Rows{"Temp 21\xdf"
                                            "C",
                                            "\"q\"", "", ""}));
    for (const char* target : {"/screen.png?version=6", "/screen.png?version=9"}) {
        SCOPED_TRACE(target);
        const Answer gone = Route(Get(target), snapshot);
        EXPECT_EQ(gone.response.result(), http::status::not_found);
        EXPECT_FALSE(gone.picture);
    }
    EXPECT_EQ(Route(Get("/screen.png?version=6"), snapshot).response.body(),
              "version 6 is not kept\n");
    const Answer now = Route(Get("/screen.png"), snapshot);
    EXPECT_TRUE(now.picture);
    EXPECT_FALSE(now.picture_of);
}

TEST_F(HistoryRoute, BehindTheTokenLikeEveryOtherPath) {
    snapshot.token = "Tk9uZS1vZi15b3VyLWJpeg";
    snapshot.port = 8080;
    // Where the kept screens are is told only with the token too.
    for (const char* target : {"/history.json", "/history.json?since=0", "/history.json?limit=0",
                               "/history.json?from=1", "/screen.png?version=7"}) {
        SCOPED_TRACE(target);
        const Answer refused = Route(Get(target), snapshot);
        EXPECT_EQ(refused.response.result(), http::status::forbidden);
        EXPECT_EQ(refused.response.body().find("Temp"), std::string::npos);
        EXPECT_EQ(refused.response.body().find("count"), std::string::npos);
        EXPECT_FALSE(refused.picture);
        Request with_cookie = Get(target);
        with_cookie.set(http::field::cookie, "lumivane_token_8080=Tk9uZS1vZi15b3VyLWJpeg");
        EXPECT_EQ(Route(with_cookie, snapshot).response.result(), http::status::ok);
    }
}

}  // namespace
}  // namespace view
