// The token's check, and where a request carries it.
#include "view/http/token.h"

#include <gtest/gtest.h>

namespace view {
namespace {

constexpr char kToken[] = "Tk9uZS1vZi15b3VyLWJpeg";

TEST(TokenMatches, OnlyTheWholeToken) {
    const struct {
        const char* guess;
        bool matches;
    } cases[] = {
        {"Tk9uZS1vZi15b3VyLWJpeg", true},   {"Tk9uZS1vZi15b3VyLWJpez", false},
        {"Uk9uZS1vZi15b3VyLWJpeg", false},  {"Tk9uZS1vZi15b3VyLWJpe", false},
        {"Tk9uZS1vZi15b3VyLWJpegg", false}, {"", false},
    };
    for (const auto& c : cases) EXPECT_EQ(TokenMatches(c.guess, kToken), c.matches) << c.guess;
}

TEST(FindToken, TheQueryFirstThenTheCookie) {
    const struct {
        const char* what;
        const char* query;
        const char* cookies;
        TokenPlace place;
    } cases[] = {
        {"nothing", "", "", TokenPlace::kNowhere},
        {"in the query", "token=Tk9uZS1vZi15b3VyLWJpeg", "", TokenPlace::kQuery},
        {"among other pairs", "a=1&token=Tk9uZS1vZi15b3VyLWJpeg&b=2", "", TokenPlace::kQuery},
        {"a wrong one in the query", "token=Tk9uZS1vZi15b3VyLWJpez", "", TokenPlace::kNowhere},
        {"in the cookie", "", "lumivane_token_8080=Tk9uZS1vZi15b3VyLWJpeg", TokenPlace::kCookie},
        {"among other cookies", "", "a=b; lumivane_token_8080=Tk9uZS1vZi15b3VyLWJpeg; c=d",
         TokenPlace::kCookie},
        {"a wrong query, the right cookie", "token=nope",
         "lumivane_token_8080=Tk9uZS1vZi15b3VyLWJpeg", TokenPlace::kCookie},
        {"both right", "token=Tk9uZS1vZi15b3VyLWJpeg", "lumivane_token_8080=Tk9uZS1vZi15b3VyLWJpeg",
         TokenPlace::kQuery},
        {"another cookie's value", "", "other_token=Tk9uZS1vZi15b3VyLWJpeg", TokenPlace::kNowhere},
        {"the cookie without a port", "", "lumivane_token=Tk9uZS1vZi15b3VyLWJpeg",
         TokenPlace::kNowhere},
        {"the cookie of another view", "", "lumivane_token_80801=Tk9uZS1vZi15b3VyLWJpeg",
         TokenPlace::kNowhere},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FindToken(c.query, c.cookies, kToken, 8080), c.place) << c.what;
}

TEST(QueryWithoutToken, KeepsEveryOtherPair) {
    EXPECT_EQ(QueryWithoutToken(""), "");
    EXPECT_EQ(QueryWithoutToken("token=x"), "");
    EXPECT_EQ(QueryWithoutToken("a=1&token=x&b=2"), "?a=1&b=2");
    EXPECT_EQ(QueryWithoutToken("token=x&&size=20x4"), "?size=20x4");
}

TEST(TokenCookieValue, NamedWithThePortAndKeptFor400Days) {
    EXPECT_EQ(TokenCookieValue(kToken, 8080),
              "lumivane_token_8080=Tk9uZS1vZi15b3VyLWJpeg; Max-Age=34560000; HttpOnly; "
              "SameSite=Strict; Path=/");
}

}  // namespace
}  // namespace view
