// What lumivane-view settles once it listens: the token every request beyond
// loopback must carry, and the start lines that tell where to open the view.
#pragma once

#include <boost/asio/ip/tcp.hpp>
#include <filesystem>
#include <string>

#include "view/options.h"

namespace view {

// True for an address of this computer alone: 127.0.0.0/8, ::1, and
// 127.0.0.0/8 mapped into IPv6 (::ffff:127.0.0.2).
bool IsLoopback(const boost::asio::ip::address& address);

// --token's, none with --no-token or on loopback, else a fresh one; false
// when the system gives no random bytes for it.
bool StartToken(const Options& options, const boost::asio::ip::tcp::endpoint& bound,
                std::string* token);

// One URL to open for each address a URL can name, the token in it, and
// beyond loopback who can watch.
void PrintStartLines(const boost::asio::ip::tcp::endpoint& bound, const std::string& token,
                     const std::filesystem::path& page);

}  // namespace view
