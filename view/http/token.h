// The token a view beyond loopback asks of every request: where a request
// carries it (its URL's query, then a cookie), and the check itself.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace view {

// The cookie that carries the token after the first visit is named with the
// view's port ("lumivane_token_8080"): a browser shares cookies across a
// host's ports, and two views must not take each other's.
constexpr char kTokenCookie[] = "lumivane_token";
std::string TokenCookieName(unsigned short port);
// How long a browser keeps it: a bookmark works after the browser restarts.
constexpr long kTokenCookieSeconds = 400L * 24 * 60 * 60;
// The query's parameter that carries it on the first visit.
constexpr char kTokenParameter[] = "token";

// True when `guess` is `token`, in a time that depends on the token's
// length only, never on how much of the guess is right.
bool TokenMatches(std::string_view guess, std::string_view token);

// Where a request carries the right token, if anywhere.
enum class TokenPlace { kNowhere, kQuery, kCookie };

// Looks for `token` in a request's query (the target after '?') and then in
// its Cookie header's value, in the cookie of the view on `port`.
TokenPlace FindToken(std::string_view query, std::string_view cookies, std::string_view token,
                     unsigned short port);

// The query without its token pair, "?" included when anything is left.
std::string QueryWithoutToken(std::string_view query);

// The Set-Cookie value that keeps `token` in the browser for the view on `port`.
std::string TokenCookieValue(std::string_view token, unsigned short port);

}  // namespace view
