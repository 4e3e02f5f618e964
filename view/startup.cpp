#include "view/startup.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <vector>

#include "platform/programs/platform.h"

namespace view {

namespace net = boost::asio;
using tcp = net::ip::tcp;

namespace {

constexpr std::size_t kTokenBytes = 16;  // 128 bits

std::string UrlHost(const net::ip::address& address) {
    return address.is_v6() ? "[" + address.to_string() + "]" : address.to_string();
}

// 128 bits from the system's generator as URL-safe base64 (22 characters).
bool NewToken(std::string* token) {
    unsigned char bytes[kTokenBytes];
    if (!host::RandomBytes(bytes, sizeof bytes)) return false;
    static const char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
    token->clear();
    unsigned bits = 0;
    int count = 0;
    for (const unsigned char byte : bytes) {
        bits = (bits << 8) | byte;
        count += 8;
        while (count >= 6) {
            count -= 6;
            token->push_back(kAlphabet[(bits >> count) & 63]);
        }
    }
    if (count > 0) token->push_back(kAlphabet[(bits << (6 - count)) & 63]);
    return true;
}

// The addresses a URL can name: the bound one, or for a wildcard address the
// machine's own of the same family, loopback left out.
std::vector<net::ip::address> UrlAddresses(const net::ip::address& bound) {
    if (!bound.is_unspecified()) return {bound};
    std::vector<net::ip::address> addresses;
    for (const std::string& text : host::LocalAddresses()) {
        boost::system::error_code invalid;
        const net::ip::address address = net::ip::make_address(text, invalid);
        if (invalid || IsLoopback(address) || address.is_v6() != bound.is_v6()) continue;
        if (address.is_v6() && address.to_v6().is_link_local()) continue;  // needs a zone
        if (std::find(addresses.begin(), addresses.end(), address) == addresses.end())
            addresses.push_back(address);
    }
    if (addresses.empty()) addresses.push_back(bound);
    return addresses;
}

}  // namespace

bool IsLoopback(const net::ip::address& address) {
    if (address.is_v6() && address.to_v6().is_v4_mapped())
        return net::ip::make_address_v4(net::ip::v4_mapped, address.to_v6()).is_loopback();
    return address.is_loopback();
}

bool StartToken(const Options& options, const tcp::endpoint& bound, std::string* token) {
    *token = options.token;
    const bool beyond_loopback = !IsLoopback(bound.address());
    return !beyond_loopback || !token->empty() || options.no_token || NewToken(token);
}

void PrintStartLines(const tcp::endpoint& bound, const std::string& token,
                     const std::filesystem::path& page) {
    const bool beyond_loopback = !IsLoopback(bound.address());
    const std::string query = token.empty() ? "" : "?token=" + token;
    for (const net::ip::address& address : UrlAddresses(bound.address()))
        std::printf("Lumivane view: http://%s:%u/%s (page: %s)\n", UrlHost(address).c_str(),
                    static_cast<unsigned>(bound.port()), query.c_str(), page.u8string().c_str());
    if (beyond_loopback && token.empty())
        std::printf(
            "The view is visible to the network: anyone who can reach port %u of this machine "
            "can watch the screen and read the page.\n",
            static_cast<unsigned>(bound.port()));
    else if (beyond_loopback)
        std::printf(
            "The view is visible to the network, to those who open the address above or hold "
            "its token: keep it to yourself.\n");
    std::fflush(stdout);
}

}  // namespace view
