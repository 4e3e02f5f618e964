// lumivane-view: watches the page the driver writes and serves a live view of
// it over HTTP, so the screen can be watched from any browser as it changes.
#include <algorithm>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/signal_set.hpp>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "view/page_rows.h"
#include "view/page_watch.h"
#include "view/platform.h"
#include "view/server.h"

namespace fs = std::filesystem;
namespace net = boost::asio;
using tcp = net::ip::tcp;

namespace {

constexpr int kExitOk = 0;
constexpr int kExitCannotListen = 1;
constexpr int kExitUsage = 2;

constexpr std::size_t kMaxTokenSize = 256;
constexpr char kTokenCharacters[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_.~";
constexpr std::size_t kTokenBytes = 16;  // 128 bits

struct Options {
    std::string listen = "127.0.0.1:8080";
    view::Encoding encoding = view::Encoding::kWindows1252;
    std::string directory = ".";
    bool directory_given = false;
    std::string token;  // --token; empty: a fresh one beyond loopback
    bool no_token = false;
    bool help = false;
};

void PrintHelp() {
    std::printf(
        "Usage: lumivane-view [--listen HOST:PORT] [--encoding ENCODING]\n"
        "                     [--token TEXT | --no-token] [DIR]\n"
        "Watches the page the Lumivane display driver writes (logs/index.htm) and serves\n"
        "a live view of it over HTTP: the four rows on an 80 x 4 character display, in\n"
        "any browser, changing as the screen changes.\n"
        "\n"
        "  DIR                  the host's working directory (the one holding logs), or\n"
        "                       the logs directory itself (default: the current directory)\n"
        "  --listen HOST:PORT   where to listen (default: 127.0.0.1:8080); port 0 picks a\n"
        "                       free port. Any address but loopback makes the view visible\n"
        "                       to the network, e.g. --listen 0.0.0.0:8080\n"
        "  --encoding ENCODING  how the page's bytes become characters: windows-1252\n"
        "                       (default, what a Windows host sends), latin1 or utf-8\n"
        "  --token TEXT         beyond loopback, the token every request must carry\n"
        "                       (default: a fresh random one at each start); letters,\n"
        "                       digits, '-', '_', '.' and '~'\n"
        "  --no-token           beyond loopback, let anyone who can reach the port watch\n"
        "  --help               show this help and exit\n"
        "\n"
        "At start it prints the URL to open and the page it watches. Beyond loopback the\n"
        "URL carries the token (http://HOST:PORT/?token=...), one line for each of the\n"
        "machine's addresses when listening on all of them; a browser that opens it\n"
        "keeps the token in a cookie, and any request without it gets 403. A missing page is\n"
        "waited for; a page deleted later shows as not found until it comes back.\n"
        "\n"
        "What it serves (GET and HEAD only; every other path is 404):\n"
        "  /             the live view\n"
        "  /events       the screen as a stream of server-sent 'screen' events\n"
        "  /screen.json  {\"rows\": [...4 texts], \"version\": N, \"found\": true|false,\n"
        "                 \"page\": \"<absolute path>\"}\n"
        "  /index.htm    the page file's bytes, unchanged (sandboxed: no script runs)\n"
        "Nothing else on disk is ever served.\n"
        "\n"
        "It stops on Ctrl-C or SIGTERM.\n"
        "Exit status: 0 after a clean stop; 1 when it cannot listen; 2 bad usage.\n");
}

int UsageError(const std::string& message) {
    std::fprintf(stderr, "lumivane-view: %s\nTry 'lumivane-view --help'.\n", message.c_str());
    return kExitUsage;
}

// Returns kExitOk, or the exit status after reporting the error.
int ParseArguments(int argc, char** argv, Options* options) {
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        std::string value;
        const auto takes_value = [&](const std::string& name) {
            if (argument == name) {
                if (i + 1 >= argc) return false;
                value = argv[++i];
                return true;
            }
            if (argument.rfind(name + "=", 0) == 0) {
                value = argument.substr(name.size() + 1);
                return true;
            }
            return false;
        };
        if (argument == "--help" || argument == "-h") {
            options->help = true;
        } else if (argument == "--listen" || argument.rfind("--listen=", 0) == 0) {
            if (!takes_value("--listen") || value.empty())
                return UsageError("--listen needs HOST:PORT");
            options->listen = value;
        } else if (argument == "--encoding" || argument.rfind("--encoding=", 0) == 0) {
            if (!takes_value("--encoding")) return UsageError("--encoding needs a name");
            const auto encoding = view::ParseEncoding(value);
            if (!encoding)
                return UsageError("unknown encoding '" + value +
                                  "' (windows-1252, latin1 or utf-8)");
            options->encoding = *encoding;
        } else if (argument == "--token" || argument.rfind("--token=", 0) == 0) {
            if (!takes_value("--token") || value.empty()) return UsageError("--token needs TEXT");
            if (value.size() > kMaxTokenSize ||
                value.find_first_not_of(kTokenCharacters) != std::string::npos)
                return UsageError("--token takes up to 256 letters, digits, '-', '_', '.' and '~'");
            options->token = value;
        } else if (argument == "--no-token") {
            options->no_token = true;
        } else if (argument.size() > 1 && argument[0] == '-') {
            return UsageError("unknown option '" + argument + "'");
        } else if (options->directory_given) {
            return UsageError("one directory at a time ('" + options->directory + "' and '" +
                              argument + "')");
        } else {
            options->directory = argument;
            options->directory_given = true;
        }
    }
    if (options->no_token && !options->token.empty())
        return UsageError("--token and --no-token together");
    return kExitOk;
}

// HOST:PORT, HOST in brackets for IPv6 ("[::1]:8080"). False when malformed.
bool SplitListen(const std::string& listen, std::string* host, std::string* port) {
    const std::size_t colon = listen.rfind(':');
    if (colon == std::string::npos || colon == 0) return false;
    *host = listen.substr(0, colon);
    *port = listen.substr(colon + 1);
    if (host->front() == '[') {
        if (host->size() < 3 || host->back() != ']') return false;
        *host = host->substr(1, host->size() - 2);
    }
    if (port->empty() || port->size() > 5 ||
        port->find_first_not_of("0123456789") != std::string::npos)
        return false;
    return std::stoul(*port) <= 65535;
}

// The page below DIR: DIR/logs/index.htm, or DIR/index.htm when DIR is the
// logs directory itself.
fs::path PagePath(const std::string& directory) {
    std::error_code ignored;
    const fs::path dir = fs::absolute(fs::path(directory)).lexically_normal();
    const fs::path logs = dir / "logs";
    if (fs::is_directory(logs, ignored)) return logs / "index.htm";
    fs::path name = dir;
    if (!name.has_filename()) name = name.parent_path();
    if (name.filename() == "logs") return dir / "index.htm";
    return logs / "index.htm";
}

std::string UrlHost(const net::ip::address& address) {
    return address.is_v6() ? "[" + address.to_string() + "]" : address.to_string();
}

// 128 bits from the system's generator as URL-safe base64 (22 characters).
bool NewToken(std::string* token) {
    unsigned char bytes[kTokenBytes];
    if (!view::platform::RandomBytes(bytes, sizeof bytes)) return false;
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
    for (const std::string& text : view::platform::LocalAddresses()) {
        boost::system::error_code invalid;
        const net::ip::address address = net::ip::make_address(text, invalid);
        if (invalid || address.is_loopback() || address.is_v6() != bound.is_v6()) continue;
        if (address.is_v6() && address.to_v6().is_link_local()) continue;  // needs a zone
        if (std::find(addresses.begin(), addresses.end(), address) == addresses.end())
            addresses.push_back(address);
    }
    if (addresses.empty()) addresses.push_back(bound);
    return addresses;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (const int status = ParseArguments(argc, argv, &options); status != kExitOk) return status;
    if (options.help) {
        PrintHelp();
        return kExitOk;
    }
    std::string host;
    std::string port;
    if (!SplitListen(options.listen, &host, &port))
        return UsageError("--listen wants HOST:PORT with a port from 0 to 65535, not '" +
                          options.listen + "'");
    std::error_code not_a_directory;
    if (!fs::is_directory(options.directory, not_a_directory))
        return UsageError("'" + options.directory + "' is not a directory");

    net::io_context io(1);
    boost::system::error_code resolve_error;
    tcp::resolver resolver(io);
    const auto endpoints = resolver.resolve(host, port, tcp::resolver::passive, resolve_error);
    if (resolve_error || endpoints.empty()) {
        std::fprintf(stderr, "lumivane-view: cannot listen on %s: %s\n", options.listen.c_str(),
                     resolve_error ? resolve_error.message().c_str() : "no such address");
        return kExitCannotListen;
    }

    // Every connection holds a descriptor: take all the system allows, and
    // keep the connections below it, so that the view never runs out.
    view::ServerLimits limits;
    limits.max_connections = view::ConnectionCap(view::platform::RaiseDescriptorLimit());
    view::PageWatch watch(PagePath(options.directory), options.encoding);
    view::Server server(io, watch, limits);
    std::string listen_error;
    if (!server.Listen(endpoints.begin()->endpoint(), &listen_error)) {
        std::fprintf(stderr, "lumivane-view: cannot listen on %s: %s\n", options.listen.c_str(),
                     listen_error.c_str());
        return kExitCannotListen;
    }
    const tcp::endpoint bound = server.LocalEndpoint();
    const bool beyond_loopback = !bound.address().is_loopback();
    std::string token = options.token;
    if (beyond_loopback && token.empty() && !options.no_token && !NewToken(&token)) {
        std::fprintf(stderr, "lumivane-view: no random token from the system\n");
        return kExitCannotListen;
    }
    server.SetToken(token);
    const std::string query = token.empty() ? "" : "?token=" + token;
    for (const net::ip::address& address : UrlAddresses(bound.address()))
        std::printf("Lumivane view: http://%s:%u/%s (page: %s)\n", UrlHost(address).c_str(),
                    static_cast<unsigned>(bound.port()), query.c_str(),
                    watch.page().u8string().c_str());
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

    net::signal_set stop_signals(io, SIGINT, SIGTERM);
    stop_signals.async_wait([&](const boost::system::error_code& error, int) {
        if (!error) server.Stop();
    });
    server.Start();
    io.run();
    std::printf("Lumivane view: stopped\n");
    return kExitOk;
}
