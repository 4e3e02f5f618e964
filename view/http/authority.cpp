#include "view/http/authority.h"

#include <algorithm>
#include <boost/asio/ip/address.hpp>
#include <cctype>
#include <string>

namespace view {

namespace {
bool SameLetters(std::string_view text, std::string_view lower) {
    if (text.size() != lower.size()) return false;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(text[i])) != lower[i]) return false;
    return true;
}

// An IPv4 address in four decimal parts: some systems' parsers also take
// "127.1" or a single number, which no browser sends as a Host.
bool IsDottedQuad(std::string_view host) {
    if (std::count(host.begin(), host.end(), '.') != 3 ||
        host.find_first_not_of("0123456789.") != std::string_view::npos)
        return false;
    boost::system::error_code invalid;
    boost::asio::ip::make_address_v4(std::string(host), invalid);
    return !invalid;
}
}  // namespace

bool IsLocalAuthority(std::string_view authority) {
    std::string_view host = authority;
    std::string_view port;
    if (!host.empty() && host.front() == '[') {
        const std::size_t close = host.find(']');
        if (close == std::string_view::npos) return false;
        port = host.substr(close + 1);
        host = host.substr(1, close - 1);
        boost::system::error_code invalid;
        boost::asio::ip::make_address_v6(std::string(host), invalid);
        if (invalid) return false;
    } else {
        const std::size_t colon = host.find(':');
        if (colon != std::string_view::npos) {
            port = host.substr(colon);
            host = host.substr(0, colon);
        }
        if (!IsDottedQuad(host) && !SameLetters(host, "localhost")) return false;
    }
    if (port.empty()) return true;
    return port.size() >= 2 && port.size() <= 6 && port.front() == ':' &&
           port.find_first_not_of("0123456789", 1) == std::string_view::npos;
}

bool SplitAbsoluteTarget(std::string_view target, std::string_view* authority,
                         std::string* path_and_query) {
    constexpr std::string_view kScheme = "http://";
    if (target.size() < kScheme.size() || !SameLetters(target.substr(0, kScheme.size()), kScheme))
        return false;
    target.remove_prefix(kScheme.size());
    const std::size_t end = target.find_first_of("/?");
    *authority = target.substr(0, end);
    const std::string_view rest =
        end == std::string_view::npos ? std::string_view() : target.substr(end);
    *path_and_query = (rest.empty() || rest.front() != '/' ? "/" : "") + std::string(rest);
    return true;
}

}  // namespace view
