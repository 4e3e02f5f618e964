#include "view/http/token.h"

#include <cstddef>
#include <string>

namespace view {

namespace {
// The value of `name=` among `separator`-separated pairs; nullopt when absent.
std::optional<std::string_view> Find(std::string_view pairs, std::string_view name,
                                     char separator) {
    while (!pairs.empty()) {
        const std::size_t end = pairs.find(separator);
        std::string_view pair = pairs.substr(0, end);
        while (!pair.empty() && pair.front() == ' ') pair.remove_prefix(1);
        if (pair.substr(0, name.size()) == name) return pair.substr(name.size());
        if (end == std::string_view::npos) break;
        pairs.remove_prefix(end + 1);
    }
    return std::nullopt;
}

const std::string kParameterPrefix = std::string(kTokenParameter) + "=";
}  // namespace

std::string TokenCookieName(unsigned short port) {
    return std::string(kTokenCookie) + "_" + std::to_string(port);
}

bool TokenMatches(std::string_view guess, std::string_view token) {
    unsigned char difference = guess.size() == token.size() ? 0 : 1;
    for (std::size_t i = 0; i < token.size(); ++i)
        difference |= static_cast<unsigned char>(token[i] ^ (i < guess.size() ? guess[i] : 0));
    return difference == 0;
}

TokenPlace FindToken(std::string_view query, std::string_view cookies, std::string_view token,
                     unsigned short port) {
    const auto given = Find(query, kParameterPrefix, '&');
    if (given && TokenMatches(*given, token)) return TokenPlace::kQuery;
    const auto cookie = Find(cookies, TokenCookieName(port) + "=", ';');
    if (cookie && TokenMatches(*cookie, token)) return TokenPlace::kCookie;
    return TokenPlace::kNowhere;
}

std::string QueryWithoutToken(std::string_view query) {
    std::string kept;
    while (!query.empty()) {
        const std::size_t end = query.find('&');
        const std::string_view pair = query.substr(0, end);
        if (!pair.empty() && pair.substr(0, kParameterPrefix.size()) != kParameterPrefix)
            kept += (kept.empty() ? "?" : "&") + std::string(pair);
        if (end == std::string_view::npos) break;
        query.remove_prefix(end + 1);
    }
    return kept;
}

std::string TokenCookieValue(std::string_view token, unsigned short port) {
    return TokenCookieName(port) + "=" + std::string(token) +
           "; Max-Age=" + std::to_string(kTokenCookieSeconds) +
           "; HttpOnly; SameSite=Strict; Path=/";
}

}  // namespace view
